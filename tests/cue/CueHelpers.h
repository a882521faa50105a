#pragma once

#include "FrameBuilder.h"
#include "Progress.h"
#include "UnitMessages.h"
#include "UnitOpenAudio.h"
#include "UnitOptions.h"
#include "UnitVolume.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace velmora::test {

// `count` MPEG-1 Layer III frames of 417 bytes whose main data differs from frame to frame, so a
// wrong range or order shows in the bytes.
inline std::vector<std::uint8_t> NumberedFrames(int count) {
    std::vector<std::uint8_t> out;
    for (int i = 0; i < count; ++i) {
        FrameSpec s;
        s.part23Length = {800, 800, 800, 800};
        s.mainData.assign(300, 0);
        for (int j = 0; j < 300; ++j)
            s.mainData[static_cast<std::size_t>(j)] = static_cast<std::uint8_t>(i * 31 + j * 7);
        s.mainData[0] = static_cast<std::uint8_t>(i & 0xFF);
        s.mainData[1] = static_cast<std::uint8_t>(i >> 8);
        const std::vector<std::uint8_t> f = BuildFrame(s);
        out.insert(out.end(), f.begin(), f.end());
    }
    return out;
}

// One ID3v2.3 text or GEOB frame.
inline std::vector<std::uint8_t> Id3Frame(const char* id, const std::vector<std::uint8_t>& body) {
    std::vector<std::uint8_t> f(id, id + 4);
    const std::uint32_t n = static_cast<std::uint32_t>(body.size());
    for (int shift : {24, 16, 8, 0})
        f.push_back(static_cast<std::uint8_t>(n >> shift));
    f.push_back(0);
    f.push_back(0);
    f.insert(f.end(), body.begin(), body.end());
    return f;
}

inline std::vector<std::uint8_t> Id3Text(const char* id, const std::string& text) {
    std::vector<std::uint8_t> body{0};
    body.insert(body.end(), text.begin(), text.end());
    return Id3Frame(id, body);
}

// An embedded object: encoding 0, MIME type, file name, then the sheet itself.
inline std::vector<std::uint8_t> Id3Geob(const std::string& sheet) {
    std::string body = std::string(1, '\0') + "text/plain" + '\0' + "album.cue" + '\0' + sheet;
    return Id3Frame("GEOB", std::vector<std::uint8_t>(body.begin(), body.end()));
}

// An ID3v2.3 tag holding `frames` and 16 bytes of padding.
inline std::vector<std::uint8_t> Id3Tag(std::initializer_list<std::vector<std::uint8_t>> frames) {
    std::vector<std::uint8_t> body;
    for (const auto& f : frames)
        body.insert(body.end(), f.begin(), f.end());
    body.insert(body.end(), 16, 0);
    const std::uint32_t n = static_cast<std::uint32_t>(body.size());
    std::vector<std::uint8_t> tag;
    tag.reserve(10 + body.size());
    for (char c : {'I', 'D', '3'})
        tag.push_back(static_cast<std::uint8_t>(c));
    for (int b : {3, 0, 0})
        tag.push_back(static_cast<std::uint8_t>(b));
    for (int shift : {21, 14, 7, 0})
        tag.push_back(static_cast<std::uint8_t>((n >> shift) & 0x7F));
    for (std::uint8_t b : body)
        tag.push_back(b);
    return tag;
}

inline void WriteText(const std::string& path, const std::string& text) {
    WriteFile(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

// Opens a file the way the editor does; `decode` runs the real tail analysis (built frames
// carry no decodable audio, so they are opened without it).
inline OpenResult OpenWithDecoder(const std::string& path, const Settings& settings = {},
                                  bool decode = false) {
    NullProgress progress;
    return OpenWithTailAnalysis(path, settings, MessageTable::English(), progress,
                                {decode ? TailDecode::Decode : TailDecode::Skip});
}

// The bytes of frames [first, first + count) of an opened file.
inline std::vector<std::uint8_t> FrameBytes(const std::vector<std::uint8_t>& file,
                                            const StreamInfo& info, std::int64_t first,
                                            std::int64_t count) {
    std::vector<std::uint8_t> out;
    for (std::int64_t i = first; i < first + count; ++i) {
        const FrameEntry& e = info.frames[i];
        out.insert(out.end(), file.begin() + e.offset, file.begin() + e.offset + e.length);
    }
    return out;
}

// Runs the test body in another working directory and comes back.
class ScopedCurrentDir {
public:
    explicit ScopedCurrentDir(const std::string& dir) : m_old(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~ScopedCurrentDir() { std::filesystem::current_path(m_old); }
    ScopedCurrentDir(const ScopedCurrentDir&) = delete;
    ScopedCurrentDir& operator=(const ScopedCurrentDir&) = delete;

private:
    std::filesystem::path m_old;
};

// The names of the files in `dir`, sorted.
inline std::vector<std::string> Listing(const std::string& dir) {
    std::vector<std::string> names;
    if (!std::filesystem::exists(dir))
        return names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace velmora::test
