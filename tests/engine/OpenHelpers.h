#pragma once

#include "FrameBuilder.h"
#include "Progress.h"
#include "UnitMessages.h"
#include "UnitOpen.h"
#include "UnitOptions.h"
#include "VelmoraError.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::test {

// A frame that no silence test takes for silence: coded audio and varied main data.
inline FrameSpec AudibleFrame(std::uint8_t bitrateIndex = 9) {
    FrameSpec s;
    s.bitrateIndex = bitrateIndex;
    s.part23Length = {800, 800, 800, 800};
    s.fill = 0;
    for (int i = 0; i < 1400; ++i)
        s.mainData.push_back(static_cast<std::uint8_t>(i * 7 + 3));
    return s;
}

inline std::vector<std::uint8_t> AudibleFrames(int count, std::uint8_t bitrateIndex = 9) {
    std::vector<std::uint8_t> out;
    AppendFrames(out, AudibleFrame(bitrateIndex), count);
    return out;
}

// An ID3v2.3 tag of `size` bytes in all, its frames area zero padding.
inline std::vector<std::uint8_t> Id3v2Tag(std::int64_t size) {
    std::vector<std::uint8_t> tag(static_cast<std::size_t>(size), 0);
    const std::int64_t body = size - 10;
    const std::uint8_t header[10] = {'I',
                                     'D',
                                     '3',
                                     3,
                                     0,
                                     0,
                                     static_cast<std::uint8_t>((body >> 21) & 0x7F),
                                     static_cast<std::uint8_t>((body >> 14) & 0x7F),
                                     static_cast<std::uint8_t>((body >> 7) & 0x7F),
                                     static_cast<std::uint8_t>(body & 0x7F)};
    std::copy(header, header + 10, tag.begin());
    return tag;
}

inline std::vector<std::uint8_t> Concat(std::initializer_list<std::vector<std::uint8_t>> parts) {
    std::vector<std::uint8_t> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Tail analysis stand-in: every decoded frame gets `energy`; remembers the range asked for.
struct FakeTail {
    std::uint32_t energy = 0;
    std::int64_t begin = -1, end = -1;
    TailAnalysis Bind() {
        return [this](StreamInfo& info, std::int64_t b, std::int64_t e) {
            begin = b;
            end = e;
            for (std::int64_t i = b; i < e; ++i)
                info.frames[i].energy = energy;
        };
    }
};

inline OpenResult Analyse(const std::vector<std::uint8_t>& bytes, const Settings& settings = {},
                          const TailAnalysis& tail = {}) {
    NullProgress progress;
    return AnalyseFile(bytes, settings, MessageTable::English(), progress, tail);
}

inline std::string AnalyseError(const std::vector<std::uint8_t>& bytes,
                                const Settings& settings = {}) {
    try {
        Analyse(bytes, settings);
    } catch (const VelmoraError& e) {
        return e.what();
    }
    return "";
}

} // namespace velmora::test
