#pragma once

#include "Fixtures.h"
#include "FrameBuilder.h"
#include "Progress.h"
#include "UnitMessages.h"
#include "UnitOpen.h"
#include "UnitOptions.h"
#include "UnitOutputPlan.h"
#include "UnitWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <regex>
#include <string>
#include <sys/mount.h>
#include <vector>

namespace velmora::test {

inline const MessageTable& Messages() {
    static const MessageTable table = MessageTable::English();
    return table;
}

// Options that change nothing: no tags touched, no extra-info frame, nothing closed.
inline Settings NeutralSettings() {
    Settings s;
    s.CheckBoxCloseAfterSave = false;
    s.CheckBoxRemoveLastFrame = false;
    s.CheckBoxPreserveDate = false;
    s.CheckBoxExactCut = false; // the frame cut, whose bytes these tests pin
    return s;
}

inline StreamInfo OpenFile(const std::string& path, const Settings& settings) {
    NullProgress progress;
    return OpenSourceFile(path, settings, Messages(), progress, {}).info;
}

struct SaveSpec {
    TrimPoints trim;
    int gain = 0;
    int fadeIn = 0;
    int fadeOut = 0;
    bool wav = false;
    bool tagsKept = true;
};

inline OutputPlan PlanFor(const StreamInfo& info, const Settings& s, const SaveSpec& spec) {
    return ComputeOutputPlan(info, spec.trim, s,
                             {.tagsKept = TagsKept{spec.tagsKept}, .outputIsWav = spec.wav})
        .plan;
}

// Save (output empty) or Save As with the parameters the commands use; the writer must produce
// exactly the size the plan predicted.
inline WriteResult Save(const std::string& source, const std::string& output, StreamInfo& info,
                        const Settings& s, const SaveSpec& spec = {},
                        IProgress* progress = nullptr) {
    const OutputPlan plan = PlanFor(info, s, spec);
    const WriteParams p = MakeSaveParams(source, output, info, spec.trim, plan, s, spec.gain,
                                         spec.fadeIn, spec.fadeOut);
    const WriteContext context{s, Messages(), spec.wav, spec.tagsKept};
    NullProgress none;
    WriteResult r = WriteOutput(p, info, context, progress ? *progress : none);
    if (!r.nothingToDo) {
        EXPECT_EQ(r.outputSize, plan.predictedSize);
    }
    EXPECT_EQ(r.outputFrames, plan.outputFrames);
    return r;
}

inline std::string SaveError(const std::string& source, const std::string& output, StreamInfo& info,
                             const Settings& s, const SaveSpec& spec = {}) {
    try {
        Save(source, output, info, s, spec);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

inline std::vector<std::uint8_t> Bytes(const char* text) {
    return std::vector<std::uint8_t>(text, text + std::strlen(text));
}

inline void Append(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& part) {
    out.insert(out.end(), part.begin(), part.end());
}

// An ID3v2.3 tag with one TLEN frame whose value is `tlen`, then `padding` zero bytes.
inline std::vector<std::uint8_t> Id3v2WithTlen(const std::string& tlen, int padding = 20,
                                               std::uint8_t encoding = 0) {
    std::vector<std::uint8_t> frame = Bytes("TLEN");
    const std::uint32_t size = static_cast<std::uint32_t>(tlen.size() + 1);
    for (int shift : {24, 16, 8, 0})
        frame.push_back(static_cast<std::uint8_t>(size >> shift));
    frame.insert(frame.end(), {0, 0, encoding});
    frame.insert(frame.end(), tlen.begin(), tlen.end());
    const std::uint32_t body = static_cast<std::uint32_t>(frame.size()) + padding;
    std::vector<std::uint8_t> tag = {'I', 'D', '3', 3, 0, 0};
    for (int shift : {21, 14, 7, 0})
        tag.push_back(static_cast<std::uint8_t>((body >> shift) & 0x7F));
    Append(tag, frame);
    tag.resize(tag.size() + static_cast<std::size_t>(padding), 0);
    return tag;
}

// An APE tag with a header, `itemBytes` bytes of items and a footer.
inline std::vector<std::uint8_t> ApeTag(int itemBytes, std::uint8_t fill = 'a') {
    auto block = [&](bool header) {
        std::vector<std::uint8_t> b = Bytes("APETAGEX");
        const std::uint32_t fields[4] = {2000, static_cast<std::uint32_t>(itemBytes + 32), 1,
                                         header ? 0xA0000000u : 0x80000000u};
        for (std::uint32_t f : fields)
            for (int k = 0; k < 4; ++k)
                b.push_back(static_cast<std::uint8_t>(f >> (8 * k)));
        b.resize(32, 0);
        return b;
    };
    std::vector<std::uint8_t> tag = block(true);
    tag.resize(tag.size() + static_cast<std::size_t>(itemBytes), fill);
    Append(tag, block(false));
    return tag;
}

inline std::vector<std::uint8_t> Lyrics3v2(const std::string& lyrics) {
    std::vector<std::uint8_t> b = Bytes("LYRICSBEGIN");
    b.insert(b.end(), lyrics.begin(), lyrics.end());
    char digits[8];
    std::snprintf(digits, sizeof digits, "%06zu", b.size());
    Append(b, Bytes(digits));
    Append(b, Bytes("LYRICS200"));
    return b;
}

inline std::vector<std::uint8_t> Id3v1(const std::string& title) {
    std::vector<std::uint8_t> tag(128, 0);
    std::memcpy(tag.data(), "TAG", 3);
    std::memcpy(tag.data() + 3, title.data(), std::min<std::size_t>(title.size(), 30));
    tag[127] = 255;
    return tag;
}

// Frames with varied global gains and main data, optionally with CRCs.
inline FrameSpec GainFrame(int k, bool crc = false, bool badCrc = false) {
    FrameSpec s;
    s.crc = crc;
    s.badCrc = badCrc;
    s.part23Length = {700, 700, 700, 700};
    s.globalGain = {100 + k % 50, 90 + k % 40, 0, 140 + k % 30};
    s.fill = static_cast<std::uint8_t>(k * 13 + 1);
    for (int i = 0; i < 300; ++i)
        s.mainData.push_back(static_cast<std::uint8_t>(i * 5 + k));
    return s;
}

inline std::vector<std::uint8_t> GainFrames(int count, bool crc = false, int badEvery = 0) {
    std::vector<std::uint8_t> out;
    for (int k = 0; k < count; ++k)
        Append(out, BuildFrame(GainFrame(k, crc, badEvery > 0 && k % badEvery == 0)));
    return out;
}

// A 1 MiB tmpfs, unmounted when the object goes; absent without the right to mount.
class SmallFilesystem {
public:
    explicit SmallFilesystem(const std::string& folder) : m_folder(folder) {
        std::filesystem::create_directories(folder);
        m_mounted = ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=1m") == 0;
    }
    ~SmallFilesystem() {
        if (m_mounted)
            ::umount2(m_folder.c_str(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }

private:
    std::string m_folder;
    bool m_mounted = false;
};

// A way to save: the settings it changes and its trim, gain and fades.
struct SaveVariant {
    const char* name;
    void (*adjust)(Settings&);
    SaveSpec spec;
};

// Saves that copy every kept frame unchanged.
inline std::vector<SaveVariant> UnchangedFrameVariants() {
    return {
        {"neutral", [](Settings&) {}, {}},
        {"trim", [](Settings&) {}, {{20, 30}}},
        {"silence",
         [](Settings& s) {
             s.ComboBoxAddSilenceBeginning = 10;
             s.ComboBoxAddSilenceEnd = 5;
         },
         {{1, 1}}},
        {"cleanup off, no extra frame",
         [](Settings& s) {
             s.CheckBoxCleanup = false;
             s.CheckBoxKeepExtraInfo = false;
         },
         {{7, 0}}},
    };
}

// The names in `folder`, sorted.
inline std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Decodes with the mpg123 program: the number of frames it decoded, and whatever it said that
// sounds like a complaint.
struct Mpg123Report {
    int status = -1;
    long frames = -1;
    std::string complaints;
};
inline Mpg123Report RunMpg123(const std::string& path) {
    Mpg123Report report;
    std::string output;
    report.status = RunCommand("mpg123 -t -v --no-gapless '" + path + "'", &output);
    // The progress line ends with "> decoded+left"; the last one has the count.
    static const std::regex progress(R"(> (\d+)\+(\d+))");
    for (auto it = std::sregex_iterator(output.begin(), output.end(), progress);
         it != std::sregex_iterator(); ++it)
        report.frames = std::stol((*it)[1]);
    std::string lower = output;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const char* word : {"warning", "error", "illegal", "resync", "note:", "can't", "cannot",
                             "big_values", "part2_3"})
        if (lower.find(word) != std::string::npos)
            report.complaints += std::string(word) + " ";
    if (!report.complaints.empty())
        report.complaints += "in: " + output.substr(0, 2000);
    return report;
}

} // namespace velmora::test
