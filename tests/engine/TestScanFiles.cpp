#include "Fixtures.h"
#include "FrameBuilder.h"
#include "ScanHelpers.h"
#include "UnitFileView.h"
#include "UnitSilence.h"
#include "VelmoraError.h"

#include <gtest/gtest.h>
#include <mpg123.h>

#include <cstring>
#include <fcntl.h>
#include <numeric>
#include <random>
#include <unistd.h>

using namespace velmora;
using namespace velmora::test;

namespace {

constexpr const char* kNoHeader = "Failed to find a valid MPEG header - this is not an MP3 file!";

void ExpectSameScan(const StreamInfo& a, const StreamInfo& b) {
    ASSERT_EQ(a.frameCount, b.frameCount);
    ASSERT_EQ(a.frames.size(), b.frames.size());
    for (std::int64_t i = 0; i < a.frames.size(); ++i) {
        const FrameEntry& x = a.frames[i];
        const FrameEntry& y = b.frames[i];
        ASSERT_TRUE(x.offset == y.offset && x.length == y.length &&
                    x.computedCrc == y.computedCrc && x.headerSize == y.headerSize &&
                    x.reservoirDepth == y.reservoirDepth && x.silent == y.silent)
            << "entry " << i;
    }
    EXPECT_EQ(a.firstHeader.headerWord, b.firstHeader.headerWord);
    EXPECT_EQ(a.missingHeaderCount, b.missingHeaderCount);
    EXPECT_EQ(a.MissingHeaderList, b.MissingHeaderList);
    EXPECT_EQ(a.badCrcCount, b.badCrcCount);
    EXPECT_EQ(a.BitrateHistogram, b.BitrateHistogram);
    EXPECT_EQ(a.ConstantBitsMask, b.ConstantBitsMask);
    EXPECT_EQ(a.ConstantBitsValue, b.ConstantBitsValue);
    EXPECT_EQ(a.leadingGarbage, b.leadingGarbage);
    EXPECT_EQ(a.lastFrameIncomplete, b.lastFrameIncomplete);
    EXPECT_EQ(a.extraInfoPresent, b.extraInfoPresent);
    EXPECT_EQ(a.xingFound, b.xingFound);
    EXPECT_EQ(a.ExtraInfoFrame.bytes, b.ExtraInfoFrame.bytes);
    EXPECT_EQ(a.mp3Pro, b.mp3Pro);
}

// Scans the file's bytes in memory and, for files of ordinary size, again through its
// descriptor piece by piece: both must see exactly the same stream.
StreamInfo ScanFile(const std::string& path, const Settings& settings = {}) {
    const FileView view = OpenFileView(path, FileAccess::ReadOnly, MessageTable::English());
    StreamInfo info;
    NullProgress progress;
    ScanStream(info, view.bytes(), 0, settings, MessageTable::English(), progress);
    if (view.size() < (std::int64_t{64} << 20)) {
        StreamInfo read;
        ScanStream(read, ScanSource::File(view.fd(), 0, view.size()), 0, settings,
                   MessageTable::English(), progress);
        ExpectSameScan(info, read);
    }
    return info;
}

std::string ScanError(const std::string& path) {
    try {
        ScanFile(path);
    } catch (const VelmoraError& e) {
        return e.what();
    }
    return "";
}

// Frames as libmpg123's own full parsing scan counts them, the leading Info/Xing frame
// included (it is told to treat that frame as audio, so the count does not come from the tag).
std::int64_t Mpg123FrameCount(const std::string& path) {
    int err = 0;
    mpg123_handle* mh = mpg123_new(nullptr, &err);
    if (mh == nullptr)
        return -1;
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_IGNORE_INFOFRAME, 0);
    std::int64_t count = -1;
    if (mpg123_open(mh, path.c_str()) == MPG123_OK && mpg123_scan(mh) == MPG123_OK)
        count = mpg123_framelength(mh);
    mpg123_close(mh);
    mpg123_delete(mh);
    return count;
}

// Tones and noise at a few levels, with digital silence at both ends.
std::vector<std::int16_t> Music(const PcmSpec& spec) {
    std::vector<std::int16_t> pcm;
    AppendSilence(pcm, spec, 1.0);
    AppendTone(pcm, spec, 1.5, 440, 12000);
    AppendNoise(pcm, spec, 1.0, 6000, 7);
    AppendTone(pcm, spec, 1.0, 1000, 20000);
    AppendSilence(pcm, spec, 1.0);
    return pcm;
}

} // namespace

TEST(ScanLameFiles, FrameCountsAgreeWithLibmpg123) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame is not installed";
    TempDir dir;
    const PcmSpec stereo44{44100, 2};
    const PcmSpec mono22{22050, 1};
    struct Case {
        const char* name;
        PcmSpec pcm;
        const char* args;
        bool vbr, crc, infoFrame, xing;
        std::uint8_t versionId;
    } cases[] = {
        {"cbr", stereo44, "-b 128", false, false, true, false, kMpeg1},
        {"vbr", stereo44, "-V 2", true, false, true, true, kMpeg1},
        // 104-byte frames: too small for lame to write its Info frame
        {"mpeg2mono", mono22, "-b 32", false, false, false, false, kMpeg2},
        {"crc", stereo44, "-b 160 -p", false, true, true, false, kMpeg1},
        {"vbrcrc", mono22, "-V 5 -p", true, true, true, true, kMpeg2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.File(std::string(c.name) + ".mp3");
        EncodeWithLame(Music(c.pcm), c.pcm, c.args, path);
        const StreamInfo info = ScanFile(path);
        EXPECT_EQ(info.frameCount + (c.infoFrame ? 1 : 0), Mpg123FrameCount(path));
        EXPECT_GT(info.frameCount, 100);
        EXPECT_EQ(info.IsVbr(), c.vbr);
        EXPECT_EQ(info.firstHeader.hasCrc, c.crc);
        EXPECT_EQ(info.firstHeader.versionId, c.versionId);
        EXPECT_EQ(info.firstHeader.sampleRate, static_cast<std::uint32_t>(c.pcm.sampleRate));
        EXPECT_EQ(info.badCrcCount, 0);
        EXPECT_EQ(info.missingHeaderCount, 0);
        EXPECT_FALSE(info.leadingGarbage);
        EXPECT_FALSE(info.lastFrameIncomplete);
        EXPECT_EQ(info.extraInfoPresent, c.infoFrame);
        EXPECT_EQ(info.xingFound, c.xing);
        if (!c.vbr) {
            EXPECT_EQ(info.DominantBitrateIndex(),
                      static_cast<int>((info.firstHeader.headerWord >> 20) & 15));
        }

        // About a second of digital silence at each end (the encoder delay shifts the start).
        const std::int64_t perSecond = SecondsToFrames(info.firstHeader, 1);
        std::int64_t run = 0;
        while (run < info.frameCount && info.frames[run].silent)
            ++run;
        EXPECT_GT(run, perSecond * 3 / 4);
        EXPECT_LE(run, perSecond);
        const auto trim = AutoTrim(info, Settings{}, OperationState::Idle);
        ASSERT_TRUE(trim.has_value());
        EXPECT_EQ(trim->beginFrames, info.mp3Pro ? 0 : run - info.frames[run].reservoirDepth);
        EXPECT_GT(trim->endFrames, perSecond / 2);
        EXPECT_LE(trim->endFrames, perSecond + 2);
    }
}

TEST(ScanLameFiles, TruncatedMidFrame) {
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame is not installed";
    TempDir dir;
    const PcmSpec spec{44100, 2};
    const std::string path = dir.File("cut.mp3");
    EncodeWithLame(Music(spec), spec, "-b 128", path);
    const StreamInfo whole = ScanFile(path);
    std::vector<std::uint8_t> bytes = ReadFile(path);
    const std::int64_t lastStart = whole.frames[whole.frameCount - 1].offset;
    bytes.resize(static_cast<std::size_t>(lastStart + 200));
    WriteFile(path, bytes);
    const StreamInfo cut = ScanFile(path);
    EXPECT_EQ(cut.frameCount, whole.frameCount - 1);
    EXPECT_TRUE(cut.lastFrameIncomplete);
    EXPECT_EQ(cut.missingHeaderCount, 0);
    EXPECT_EQ(cut.frames[cut.frameCount].offset, lastStart);
    EXPECT_EQ(cut.frames[cut.frameCount].length, 200u);
    EXPECT_EQ(cut.frames[cut.frameCount + 1].offset, lastStart + 200);
}

// A stream of several MiB whose frames, damaged stretches and silent runs fall across the
// pieces the descriptor is read in, scanned with every silence setting: reading it piece by
// piece must give exactly what a scan of the whole bytes gives.
TEST(ScanThroughDescriptor, PiecesSeeWhatMemorySees) {
    std::mt19937 random(99);
    FrameSpec silentSpec;
    silentSpec.fill = 0x00;
    FrameSpec crcSpec = AudibleFrameSpec();
    crcSpec.crc = true;
    FrameSpec badCrcSpec = crcSpec;
    badCrcSpec.badCrc = true;
    std::vector<std::uint8_t> bytes(700, 0x00); // leading garbage
    bytes.push_back(0xFF);
    AppendFrames(bytes, silentSpec, 40);
    for (int block = 0; block < 60; ++block) {
        const FrameSpec& spec = block % 7 == 3 ? silentSpec : block % 5 == 1 ? badCrcSpec : crcSpec;
        AppendFrames(bytes, spec, 30 + static_cast<int>(random() % 200));
        // Junk that breaks the chain: short, near the piece size, and with a stray sync byte.
        const std::size_t junk = block % 9 == 4 ? 131000 + random() % 4000 : random() % 900;
        for (std::size_t i = 0; i < junk; ++i)
            bytes.push_back(static_cast<std::uint8_t>(random() % 0xFF));
        if (block % 4 == 0)
            bytes.push_back(0xFF);
    }
    AppendFrames(bytes, silentSpec, 50);
    bytes.resize(bytes.size() - 150); // an incomplete last frame
    ASSERT_GT(bytes.size(), std::size_t{3} << 20);

    TempDir dir;
    const std::string path = dir.File("pieces.mp3");
    WriteFile(path, bytes);
    for (int item = 0; item <= 2; ++item)
        for (const bool fast : {false, true}) {
            Settings settings;
            settings.RadioGroupTrimAggressivity = item;
            settings.CheckBoxFastSilenceDetection = fast;
            const StreamInfo info = ScanFile(path, settings);
            EXPECT_GT(info.missingHeaderCount, 20);
            EXPECT_GT(info.badCrcCount, 0);
            EXPECT_TRUE(info.lastFrameIncomplete);
        }
}

// A file that is shorter than the range the scan was given (cut by another program after it was
// measured) is an error, not a shorter stream.
TEST(ScanThroughDescriptor, FileCutShortIsAnError) {
    TempDir dir;
    const std::string path = dir.File("cut.mp3");
    std::vector<std::uint8_t> bytes;
    AppendFrames(bytes, AudibleFrameSpec(), 2000);
    WriteFile(path, bytes);
    const FileView view = OpenFileView(path, FileAccess::ReadOnly, MessageTable::English());
    StreamInfo info;
    NullProgress progress;
    try {
        ScanStream(info, ScanSource::File(view.fd(), 0, view.size() + 100000), 0, {},
                   MessageTable::English(), progress);
        ADD_FAILURE() << "no error";
    } catch (const VelmoraError& e) {
        EXPECT_EQ(std::string(e.what()), std::string(std::strerror(EIO)) +
                                             " - Error analyzing this file - probably not an "
                                             "MPEG audio file");
    }
}

TEST(ScanBadInput, EachFailsClearlyOrScansSafely) {
    TempDir dir;
    std::mt19937 random(12345);
    std::vector<std::uint8_t> noise(0x100000);
    for (auto& b : noise)
        b = static_cast<std::uint8_t>(random());
    // Headers each followed by 100 bytes where the frame needs 417.
    std::vector<std::uint8_t> shortFrames;
    for (int i = 0; i < 1000; ++i) {
        const std::uint8_t block[4] = {0xFF, 0xFB, 0x90, 0x64};
        shortFrames.insert(shortFrames.end(), block, block + 4);
        shortFrames.insert(shortFrames.end(), 100, 0x00);
    }
    WriteFile(dir.File("empty"), {});
    WriteFile(dir.File("three"), {0xFF, 0xFB, 0x90});
    WriteFile(dir.File("ones"), std::vector<std::uint8_t>(0x100000, 0xFF));
    WriteFile(dir.File("noise"), noise);
    WriteFile(dir.File("short"), shortFrames);

    const std::string missing = dir.File("missing");
    EXPECT_EQ(ScanError(missing),
              "No such file or directory - Failed to open the file \"" + missing + "\"");
    EXPECT_EQ(ScanError(dir.path()),
              "Is a directory - Failed to open the file \"" + dir.path() + "\"");
    EXPECT_EQ(ScanError(dir.File("empty")), "Invalid argument - Failed to create file mapping");
    EXPECT_EQ(ScanError(dir.File("three")), kNoHeader);
    EXPECT_EQ(ScanError(dir.File("ones")), kNoHeader);

    // Whatever random bytes give, every accepted frame lies inside the file, in order.
    const std::string noiseError = ScanError(dir.File("noise"));
    if (noiseError.empty()) {
        const StreamInfo info = ScanFile(dir.File("noise"));
        std::int64_t previousEnd = 0;
        for (std::int64_t i = 0; i < info.frameCount; ++i) {
            EXPECT_GE(info.frames[i].offset, previousEnd);
            previousEnd = info.frames[i].offset + info.frames[i].length;
        }
        EXPECT_LE(previousEnd, static_cast<std::int64_t>(noise.size()));
    } else {
        EXPECT_EQ(noiseError, kNoHeader);
    }

    // Frames at every fifth header (5 × 104 > 417), each after a missing header.
    const StreamInfo shortInfo = ScanFile(dir.File("short"));
    EXPECT_EQ(shortInfo.frameCount, 200);
    EXPECT_EQ(shortInfo.missingHeaderCount, 199);
    // Every one listed; the break after the last frame went with the incomplete tail.
    std::vector<std::int64_t> everyFrame(199);
    std::iota(everyFrame.begin(), everyFrame.end(), 1);
    EXPECT_EQ(shortInfo.MissingHeaderList, everyFrame);
    EXPECT_EQ(shortInfo.frames[199].offset, 199 * 520);
    EXPECT_TRUE(shortInfo.lastFrameIncomplete);
}

TEST(ScanBadInput, SparseFileOverFourGigabytesOfZeros) {
    TempDir dir;
    const std::string path = dir.File("hole");
    const std::int64_t size = (std::int64_t{4} << 30) + 100;
    ASSERT_EQ(RunCommand("truncate -s " + std::to_string(size) + " '" + path + "'"), 0);
    const FileView view = OpenFileView(path, FileAccess::ReadOnly, MessageTable::English());
    EXPECT_EQ(view.size(), size);
    EXPECT_EQ(ScanError(path), kNoHeader);
}

TEST(ScanBadInput, FramesPastFourGigabytesKeepTheirOffsets) {
    // A valid start, one frame a little under every MiB across a hole (each after a missing
    // header, found by the resynchronising search), and a run of frames past 4 GiB.
    TempDir dir;
    const std::string path = dir.File("big.mp3");
    FrameSpec spec;
    spec.part23Length = {800, 800, 800, 800};
    spec.fill = 0x3C;
    const std::vector<std::uint8_t> frame = BuildFrame(spec);
    const std::int64_t frameLength = static_cast<std::int64_t>(frame.size());
    const std::int64_t stride = 0x100000 - 4096;
    const std::int64_t finalRun = (std::int64_t{4} << 30) + 1000;

    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    auto put = [&](std::int64_t at) {
        return ::pwrite(fd, frame.data(), frame.size(), at) == frameLength;
    };
    bool written = true;
    for (int i = 0; i < 10; ++i)
        written = written && put(i * frameLength);
    std::int64_t chainEnd = 10 * frameLength;
    std::vector<std::int64_t> bridges;
    while (finalRun - chainEnd > stride) {
        bridges.push_back(chainEnd + stride - frameLength);
        written = written && put(bridges.back());
        chainEnd = bridges.back() + frameLength;
    }
    for (int i = 0; i < 5; ++i)
        written = written && put(finalRun + i * frameLength);
    ::close(fd);
    ASSERT_TRUE(written);

    const StreamInfo info = ScanFile(path);
    const std::int64_t bridgeCount = static_cast<std::int64_t>(bridges.size());
    ASSERT_EQ(info.frameCount, 10 + bridgeCount + 5);
    EXPECT_EQ(info.missingHeaderCount, bridgeCount + 1);
    EXPECT_EQ(info.frames[10].offset, bridges.front());
    EXPECT_EQ(info.frames[10 + bridgeCount - 1].offset, bridges.back());
    for (std::int64_t i = 0; i < 5; ++i)
        EXPECT_EQ(info.frames[10 + bridgeCount + i].offset, finalRun + i * frameLength);
    EXPECT_EQ(info.frames[info.frameCount].offset, finalRun + 5 * frameLength);
    EXPECT_FALSE(info.lastFrameIncomplete);
    EXPECT_FALSE(info.IsVbr());
}
