#include "OpenHelpers.h"
#include "ScanHelpers.h"
#include "UnitApeTag.h"
#include "UnitGain.h"
#include "UnitGainTags.h"
#include "UnitMP3.h"
#include "UnitTags.h"
#include "VelmoraError.h"
#include "WriterHelpers.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>

namespace velmora {
namespace {

using namespace test;
namespace fs = std::filesystem;

// ID3v2 tag, 50 bytes of junk, 40 frames with junk between two of them, Lyrics3, APE, ID3v1.
std::vector<std::uint8_t> TaggedSource(bool apeFirst = false, const std::string& tlen = "") {
    std::vector<std::uint8_t> f = tlen.empty() ? Id3v2Tag(300) : Id3v2WithTlen(tlen);
    f.resize(f.size() + 50, 0x11);
    for (int k = 0; k < 40; ++k) {
        Append(f, BuildFrame(GainFrame(k)));
        if (k == 10 || k == 25)
            f.resize(f.size() + 77, 0x22);
    }
    const auto lyrics = Lyrics3v2("la la la"), ape = test::ApeTag(100);
    Append(f, apeFirst ? ape : lyrics);
    Append(f, apeFirst ? lyrics : ape);
    Append(f, Id3v1("Title"));
    return f;
}

std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t>& v, std::int64_t from,
                                std::int64_t n) {
    return {v.begin() + from, v.begin() + from + n};
}

std::int64_t MtimeNs(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return std::int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
}

void SetMtime(const std::string& path, std::int64_t seconds) {
    const timespec t[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), t, 0), 0);
}

TEST(Writer, NeutralSaveAsReproducesTheFile) {
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"frames only", GainFrames(40)},
        {"tags, Lyrics3 before APE", TaggedSource(false)},
        {"tags, APE before Lyrics3", TaggedSource(true)},
    };
    for (const auto& c : cases) {
        TempDir dir;
        WriteFile(dir.File("a.mp3"), c.bytes);
        Settings s = NeutralSettings();
        s.CheckBoxCleanup = false; // the junk between frames stays too
        StreamInfo info = OpenFile(dir.File("a.mp3"), s);
        Save(dir.File("a.mp3"), dir.File("b.mp3"), info, s);
        // Only the junk in front of the first frame goes: it belongs to no frame.
        std::vector<std::uint8_t> expected = c.bytes;
        expected.erase(expected.begin() + info.id3v2.tagSize,
                       expected.begin() + info.frames[0].offset);
        EXPECT_EQ(ReadFile(dir.File("b.mp3")), expected) << c.name;
    }
}

TEST(Writer, InPlaceAndSaveAsGiveTheSameBytes) {
    const struct {
        const char* name;
        void (*adjust)(Settings&);
        SaveSpec spec;
        bool apeFirst;
    } cases[] = {
        {"trim", [](Settings&) {}, {{3, 4}}, false},
        {"trim, APE first", [](Settings&) {}, {{3, 4}}, true},
        {"added silence",
         [](Settings& s) { s.ComboBoxAddSilenceBeginning = s.ComboBoxAddSilenceEnd = 10; },
         {{0, 0}},
         true},
        {"gain and fades", [](Settings&) {}, {{1, 1}, 3, 8, 4}, false},
        // Frames that stay where they are take their gain through a piece buffer.
        {"gain, frames stay", [](Settings&) {}, {{0, 0}, 3}, false},
        {"gain and fades, end cut", [](Settings&) {}, {{0, 4}, -2, 8, 4}, true},
        {"cleanup off", [](Settings& s) { s.CheckBoxCleanup = false; }, {{2, 0}}, false},
        {"no tags",
         [](Settings& s) {
             s.RadioButtonID3Remove = kId3v1Remove;
             s.CheckBoxKeepID3v2 = false;
         },
         {{0, 0}},
         false},
        {"WAV", [](Settings&) {}, {{0, 5}, 0, 0, 0, true}, false},
        {"recreate, tags off",
         [](Settings& s) { s.RadioButtonID3Remove = kId3v1Recreate; },
         {{0, 0}, -2, 0, 0, false, false},
         true},
        {"model kept", [](Settings& s) { s.CheckBoxCloseAfterSave = false; }, {{5, 5}}, false},
    };
    for (const auto& c : cases) {
        TempDir a, b;
        const auto source = TaggedSource(c.apeFirst, "000000");
        WriteFile(a.File("song.mp3"), source);
        WriteFile(b.File("song.mp3"), source);
        Settings s = NeutralSettings();
        c.adjust(s);

        StreamInfo forSaveAs = OpenFile(a.File("song.mp3"), s);
        Save(a.File("song.mp3"), a.File("out.mp3"), forSaveAs, s, c.spec);
        EXPECT_EQ(ReadFile(a.File("song.mp3")), source) << c.name;

        StreamInfo inPlace = OpenFile(b.File("song.mp3"), s);
        const WriteResult r = Save(b.File("song.mp3"), "", inPlace, s, c.spec);
        const auto saved = ReadFile(b.File("song.mp3"));
        EXPECT_EQ(saved, ReadFile(a.File("out.mp3"))) << c.name;
        EXPECT_EQ(r.value, static_cast<std::int64_t>(saved.size()));

        if (r.windowAction == WindowAction::RefreshOpenFile) {
            // The updated model describes the saved file as a fresh analysis does.
            const StreamInfo fresh = OpenFile(b.File("song.mp3"), s);
            EXPECT_EQ(Offsets(inPlace), Offsets(fresh)) << c.name;
            EXPECT_EQ(inPlace.sourceSize, fresh.sourceSize);
            EXPECT_EQ(inPlace.sourceTimeNs, fresh.sourceTimeNs);
            EXPECT_EQ(inPlace.apeOffset, fresh.apeOffset);
            EXPECT_EQ(inPlace.lyrics3Offset, fresh.lyrics3Offset);
            EXPECT_EQ(inPlace.id3v1Size, fresh.id3v1Size);
            EXPECT_EQ(inPlace.id3v2.tagSize, fresh.id3v2.tagSize);
            EXPECT_EQ(inPlace.id3v2.lengthText, fresh.id3v2.lengthText);
            EXPECT_FALSE(inPlace.leadingGarbage);
            // A second save of the updated model finds nothing changed.
            SaveSpec again;
            again.wav = c.spec.wav;
            again.tagsKept = c.spec.tagsKept;
            Save(b.File("song.mp3"), b.File("again.mp3"), inPlace, s, again);
            EXPECT_EQ(ReadFile(b.File("again.mp3")), saved);
        }
    }
}

// A gain change in place on a file of many pieces, with and without frames that move: the same
// bytes as Save As, and back to the source after the opposite change.
TEST(Writer, InPlaceGainOverManyPiecesMatchesSaveAs) {
    const auto source = GainFrames(1500, true, 7); // about 600 KB, some wrong CRCs
    for (const TrimPoints trim : {TrimPoints{0, 0}, TrimPoints{0, 11}, TrimPoints{3, 0}}) {
        TempDir dir;
        WriteFile(dir.File("a.mp3"), source);
        WriteFile(dir.File("b.mp3"), source);
        const Settings s = NeutralSettings();
        StreamInfo forSaveAs = OpenFile(dir.File("a.mp3"), s);
        Save(dir.File("a.mp3"), dir.File("out.mp3"), forSaveAs, s, {trim, 5});
        StreamInfo inPlace = OpenFile(dir.File("b.mp3"), s);
        Save(dir.File("b.mp3"), "", inPlace, s, {trim, 5});
        EXPECT_EQ(ReadFile(dir.File("b.mp3")), ReadFile(dir.File("out.mp3")))
            << trim.beginFrames << " " << trim.endFrames;
        if (trim.beginFrames == 0 && trim.endFrames == 0) {
            StreamInfo again = OpenFile(dir.File("b.mp3"), s);
            Save(dir.File("b.mp3"), "", again, s, {trim, -5});
            EXPECT_EQ(ReadFile(dir.File("b.mp3")), source);
        }
    }
}

TEST(Writer, TrimmingKeepsExactlyTheMiddleFrames) {
    TempDir dir;
    const auto source = GainFrames(30);
    WriteFile(dir.File("a.mp3"), source);
    const Settings s = NeutralSettings();
    const std::int64_t frame = static_cast<std::int64_t>(BuildFrame(GainFrame(0)).size());
    for (const TrimPoints trim :
         {TrimPoints{0, 0}, TrimPoints{5, 7}, TrimPoints{29, 0}, TrimPoints{0, 30}}) {
        StreamInfo info = OpenFile(dir.File("a.mp3"), s);
        Save(dir.File("a.mp3"), dir.File("b.mp3"), info, s, {trim});
        EXPECT_EQ(ReadFile(dir.File("b.mp3")),
                  Slice(source, trim.beginFrames * frame,
                        (30 - trim.beginFrames - trim.endFrames) * frame))
            << trim.beginFrames << " " << trim.endFrames;
    }
}

// Bit positions of the gain fields of an MPEG-1 two-channel frame, from the frame start.
bool InGainField(int headerSize, int bit) {
    for (int field = 0; field < 4; ++field) {
        const int first = headerSize * 8 + 41 + 59 * field;
        if (bit >= first && bit < first + 8)
            return true;
    }
    return false;
}

TEST(Writer, GainChangesOnlyGainBitsAndRestampsOnlyRightCrcs) {
    TempDir dir;
    const auto source = GainFrames(24, true, 4); // every fourth frame has a wrong CRC
    WriteFile(dir.File("a.mp3"), source);
    const Settings s = NeutralSettings();
    StreamInfo info = OpenFile(dir.File("a.mp3"), s);
    ASSERT_EQ(info.frameCount, 24);
    ASSERT_EQ(info.badCrcCount, 6);
    Save(dir.File("a.mp3"), dir.File("up.mp3"), info, s, {{}, 3});
    const auto up = ReadFile(dir.File("up.mp3"));
    ASSERT_EQ(up.size(), source.size());

    for (std::int64_t k = 0; k < info.frameCount; ++k) {
        const FrameEntry& e = info.frames[k];
        const std::uint8_t* before = source.data() + e.offset;
        const std::uint8_t* after = up.data() + e.offset;
        const bool wrongCrc = k % 4 == 0;
        for (int byte = 0; byte < static_cast<int>(e.length); ++byte) {
            for (int bit = 0; bit < 8; ++bit) {
                const bool differs = ((before[byte] ^ after[byte]) >> (7 - bit)) & 1;
                if (differs && !InGainField(6, byte * 8 + bit) && byte != 4 && byte != 5)
                    ADD_FAILURE() << "frame " << k << " byte " << byte;
            }
        }
        MpegHeader h;
        ASSERT_TRUE(DecodeHeader(h, HeaderWordAt(after)));
        if (wrongCrc)
            EXPECT_EQ(StoredCrc(after), StoredCrc(before)) << k;
        else
            EXPECT_EQ(StoredCrc(after), FrameCrc(h, after)) << k;
        // Fields of 0 stay 0; the others moved by exactly 3.
        for (int field = 0; field < 4; ++field) {
            const int pos = 41 + 59 * field;
            const auto was = GetBits(before + 6, pos, 8), now = GetBits(after + 6, pos, 8);
            EXPECT_EQ(now, was == 0 ? 0u : was + 3) << k << " " << field;
        }
    }

    // Down again restores every byte, since nothing clamped.
    StreamInfo upInfo = OpenFile(dir.File("up.mp3"), s);
    Save(dir.File("up.mp3"), dir.File("back.mp3"), upInfo, s, {{}, -3});
    EXPECT_EQ(ReadFile(dir.File("back.mp3")), source);
}

TEST(Writer, FadesFollowFadeOffsetFrameByFrame) {
    TempDir dir;
    WriteFile(dir.File("a.mp3"), GainFrames(200));
    const Settings s = NeutralSettings();
    StreamInfo info = OpenFile(dir.File("a.mp3"), s);
    const SaveSpec spec{{0, 0}, 2, 8, 13}; // fade-out of 105 frames is cut to 100
    Save(dir.File("a.mp3"), dir.File("b.mp3"), info, s, spec);
    const auto out = ReadFile(dir.File("b.mp3"));
    const FadeParams fades{8, 13, 200, 200, s.ComboBoxFadeDepth};
    int faded = 0;
    for (std::int64_t i = 0; i < 200; ++i) {
        const int delta = FadeOffset(fades, info.firstHeader, i) + 2;
        faded += delta != 2;
        const FrameSpec spec = GainFrame(static_cast<int>(i));
        for (int field = 0; field < 4; ++field) {
            const int was = spec.globalGain[static_cast<std::size_t>(field)];
            const auto now = GetBits(out.data() + info.frames[i].offset + 4, 41 + 59 * field, 8);
            EXPECT_EQ(static_cast<int>(now), was == 0 ? 0 : std::clamp(was + delta, 0, 255))
                << i << " " << field;
        }
    }
    EXPECT_EQ(faded, 48 + 94);
}

TEST(Writer, TrackLengthValueIsRewrittenRightAligned) {
    const struct {
        std::string value;
        std::string expected; // for 20 frames at 44100 Hz: 522 ms
        std::uint8_t encoding = 0;
    } cases[] = {
        {"000000", "000522"},
        {"99", "22"},
        {"1234567", "0000522"},
        {std::string(300, '7'), std::string(297, '0') + "522"},
        {"123456", "000522", 3}, // UTF-8 digits are the same bytes
        {std::string("1\0002\0003\0", 6), std::string("1\0002\0003\0", 6), 1}, // UTF-16 stays
    };
    for (const auto& c : cases) {
        for (bool inPlace : {false, true}) {
            TempDir dir;
            const auto tag = Id3v2WithTlen(c.value, 20, c.encoding);
            std::vector<std::uint8_t> source = tag;
            Append(source, GainFrames(25));
            WriteFile(dir.File("a.mp3"), source);
            const Settings s = NeutralSettings();
            StreamInfo info = OpenFile(dir.File("a.mp3"), s);
            ASSERT_EQ(info.id3v2.tlenLength, static_cast<std::int64_t>(c.value.size()));
            const std::string out = inPlace ? dir.File("a.mp3") : dir.File("b.mp3");
            Save(dir.File("a.mp3"), inPlace ? "" : out, info, s, {{2, 3}});
            const auto bytes = ReadFile(out);
            auto expected = tag;
            std::copy(c.expected.begin(), c.expected.end(), expected.begin() + 21);
            EXPECT_EQ(Slice(bytes, 0, static_cast<std::int64_t>(tag.size())), expected)
                << c.value.size() << " " << inPlace;
        }
    }
}

TEST(Writer, Id3v1ModesAtTheEndOfTheOutput) {
    const struct {
        const char* name;
        std::uint8_t mode;
        bool sourceTag;
        bool tagsKept;
        const char* title; // nullptr: no tag written
    } cases[] = {
        {"keep, no tag", kId3v1Keep, false, true, nullptr},
        {"keep", kId3v1Keep, true, true, "Title"},
        {"keep, tags off", kId3v1Keep, true, false, nullptr},
        {"remove", kId3v1Remove, true, true, nullptr},
        {"recreate, tags off", kId3v1Recreate, true, false, "Song"},
        {"recreate, no tag", kId3v1Recreate, false, true, "Song"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        auto source = GainFrames(10);
        const auto frames = source;
        if (c.sourceTag)
            Append(source, Id3v1("Title"));
        WriteFile(dir.File("Artist - Song.mp3"), source);
        Settings s = NeutralSettings();
        s.RadioButtonID3Remove = c.mode;
        StreamInfo info = OpenFile(dir.File("Artist - Song.mp3"), s);
        SaveSpec spec;
        spec.tagsKept = c.tagsKept;
        Save(dir.File("Artist - Song.mp3"), dir.File("out.mp3"), info, s, spec);
        const auto out = ReadFile(dir.File("out.mp3"));
        if (!c.title) {
            EXPECT_EQ(out, frames) << c.name;
            continue;
        }
        ASSERT_EQ(out.size(), frames.size() + 128) << c.name;
        Id3v1Tag tag = Id3v1Tag::FromBytes(std::span(out).last(128));
        EXPECT_TRUE(tag.HasIdentifier());
        EXPECT_EQ(tag.Title(), c.title) << c.name;
    }
}

TEST(Writer, NothingToDoLeavesTheFileUntouched) {
    TempDir dir;
    const auto source = GainFrames(12);
    Settings s = NeutralSettings();
    s.RadioButtonID3Remove = kId3v1Remove;
    for (bool close : {false, true}) {
        WriteFile(dir.File("a.mp3"), source);
        SetMtime(dir.File("a.mp3"), 978307200);
        const std::int64_t before = MtimeNs(dir.File("a.mp3"));
        s.CheckBoxCloseAfterSave = close;
        StreamInfo info = OpenFile(dir.File("a.mp3"), s);
        const WriteResult r = Save(dir.File("a.mp3"), "", info, s);
        EXPECT_TRUE(r.nothingToDo);
        EXPECT_EQ(r.value, 0);
        EXPECT_EQ(r.windowAction, close ? WindowAction::CloseFile : WindowAction::None);
        EXPECT_EQ(ReadFile(dir.File("a.mp3")), source);
        EXPECT_EQ(MtimeNs(dir.File("a.mp3")), before);
    }
    // Any gain makes it a real save.
    StreamInfo info = OpenFile(dir.File("a.mp3"), s);
    EXPECT_FALSE(Save(dir.File("a.mp3"), "", info, s, {{}, 1}).nothingToDo);
    EXPECT_NE(ReadFile(dir.File("a.mp3")), source);
}

TEST(Writer, IncompleteLastFrameIsCopiedOnlyWhenThePlanKeepsIt) {
    const auto frames = GainFrames(10);
    const auto partial = Slice(BuildFrame(GainFrame(10)), 0, 200);
    auto source = frames;
    Append(source, partial);
    const std::int64_t frame = static_cast<std::int64_t>(frames.size() / 10);
    const struct {
        bool removeLast;
        TrimPoints trim;
        int gain;
        std::vector<std::uint8_t> expected;
    } cases[] = {
        {false, {0, 0}, 0, source},
        {false, {2, 0}, 0, Slice(source, 2 * frame, 8 * frame + 200)},
        {false, {0, 1}, 0, Slice(frames, 0, 9 * frame)},
        {true, {0, 0}, 0, frames},
    };
    for (const auto& c : cases) {
        TempDir dir;
        WriteFile(dir.File("a.mp3"), source);
        Settings s = NeutralSettings();
        s.CheckBoxRemoveLastFrame = c.removeLast;
        StreamInfo info = OpenFile(dir.File("a.mp3"), s);
        ASSERT_TRUE(info.lastFrameIncomplete);
        Save(dir.File("a.mp3"), dir.File("b.mp3"), info, s, {c.trim, c.gain});
        EXPECT_EQ(ReadFile(dir.File("b.mp3")), c.expected) << c.removeLast << c.trim.beginFrames;
    }
    // A gain change reaches the partial frame's side information too, in place as well.
    TempDir dir;
    WriteFile(dir.File("a.mp3"), source);
    Settings s = NeutralSettings();
    StreamInfo info = OpenFile(dir.File("a.mp3"), s);
    Save(dir.File("a.mp3"), "", info, s, {{}, 2});
    const auto out = ReadFile(dir.File("a.mp3"));
    ASSERT_EQ(out.size(), source.size());
    EXPECT_EQ(GetBits(out.data() + 10 * frame + 4, 41, 8), 100u + 10 + 2);
}

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

TEST(Writer, WavOutputSizesAndPayload) {
    TempDir dir;
    WriteFile(dir.File("a.mp3"), TaggedSource());
    Settings s = NeutralSettings();
    StreamInfo info = OpenFile(dir.File("a.mp3"), s);
    Save(dir.File("a.mp3"), dir.File("w.wav"), info, s, {{1, 2}, 0, 0, 0, true});
    s.CheckBoxKeepID3v2 = false; // a WAV file never carries it
    Save(dir.File("a.mp3"), dir.File("m.mp3"), info, s, {{1, 2}});
    const auto wav = ReadFile(dir.File("w.wav")), mp3 = ReadFile(dir.File("m.mp3"));
    ASSERT_EQ(wav.size(), mp3.size() + 58);
    EXPECT_EQ(Slice(wav, 0, 4), Bytes("RIFF"));
    EXPECT_EQ(Le32(wav, 4), wav.size() - 8);
    EXPECT_EQ(Le32(wav, 54), wav.size() - 58);
    EXPECT_EQ(Slice(wav, 58, static_cast<std::int64_t>(mp3.size())), mp3);
}

TEST(Writer, PreserveDateAndRenameWithTheLength) {
    for (bool preserve : {false, true}) {
        TempDir dir;
        WriteFile(dir.File("a.mp3"), GainFrames(40));
        SetMtime(dir.File("a.mp3"), 978307200);
        Settings s = NeutralSettings();
        s.CheckBoxPreserveDate = preserve;
        StreamInfo info = OpenFile(dir.File("a.mp3"), s);
        Save(dir.File("a.mp3"), "", info, s, {{}, 1});
        EXPECT_EQ(MtimeNs(dir.File("a.mp3")) == std::int64_t{978307200} * 1000000000, preserve);
    }
    TempDir dir;
    WriteFile(dir.File("a.mp3"), GainFrames(40));
    WriteFile(dir.File("b.mp3"), GainFrames(40));
    WriteFile(dir.File("b (0m 01s).mp3"), {1, 2, 3});
    Settings s = NeutralSettings();
    s.CheckBoxSave_WithTime = true;
    StreamInfo info = OpenFile(dir.File("a.mp3"), s);
    WriteResult r = Save(dir.File("a.mp3"), "", info, s);
    EXPECT_EQ(r.savedPath, dir.File("a (0m 01s).mp3"));
    EXPECT_EQ(r.windowAction, WindowAction::CloseFile);
    EXPECT_FALSE(fs::exists(dir.File("a.mp3")));
    EXPECT_EQ(ReadFile(dir.File("a (0m 01s).mp3")), GainFrames(40));
    // A file already bearing the new name is never replaced.
    info = OpenFile(dir.File("b.mp3"), s);
    r = Save(dir.File("b.mp3"), "", info, s);
    EXPECT_EQ(r.savedPath, dir.File("b.mp3"));
    EXPECT_NE(r.renameProblem.find("File exists"), std::string::npos);
    EXPECT_EQ(ReadFile(dir.File("b (0m 01s).mp3")), (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST(Writer, ProgressIsDrawnAtMost62TimesAndPumpedEvery1024Frames) {
    TempDir dir;
    FrameSpec small;
    small.bitrateIndex = 1; // 104-byte frames
    std::vector<std::uint8_t> source;
    for (int k = 0; k < 3000; ++k) {
        small.globalGain[0] = 10 + k % 100;
        Append(source, BuildFrame(small));
    }
    WriteFile(dir.File("a.mp3"), source);
    const Settings s = NeutralSettings();
    for (bool inPlace : {false, true}) {
        StreamInfo info = OpenFile(dir.File("a.mp3"), s);
        RecordingProgress progress;
        Save(dir.File("a.mp3"), inPlace ? "" : dir.File("b.mp3"), info, s, {{}, 1}, &progress);
        EXPECT_EQ(progress.totals, std::vector<int>{62});
        ASSERT_EQ(progress.reports.size(), 62u);
        EXPECT_EQ(progress.reports.front(), 1);
        EXPECT_EQ(progress.reports.back(), 62);
        EXPECT_TRUE(std::is_sorted(progress.reports.begin(), progress.reports.end()));
        EXPECT_EQ(progress.pumps, 2);
    }
}

// Faults a fuzzer found: each case once by hand.

// A stream may mix in frames of another channel mode (the constant bits do not cover it): a gain
// change puts each frame's fields where its own header has them and never writes past a short
// frame into the next one.
TEST(WriterFaults, GainFollowsEachFramesOwnLayout) {
    FrameSpec mono = GainFrame(7);
    mono.channelMode = 3;
    mono.part23Length = {700, 700, 0, 0};
    mono.globalGain = {120, 130, 0, 0};
    std::vector<std::uint8_t> source = GainFrames(6);
    const std::size_t monoAt = source.size();
    Append(source, BuildFrame(mono));
    const std::size_t after = source.size();
    Append(source, GainFrames(6));

    TempDir dir;
    WriteFile(dir.File("a.mp3"), source);
    WriteFile(dir.File("b.mp3"), source);
    const Settings s = NeutralSettings();
    StreamInfo info = OpenFile(dir.File("a.mp3"), s);
    ASSERT_EQ(info.frameCount, 13);
    Save(dir.File("a.mp3"), dir.File("up.mp3"), info, s, {{}, 2});
    const auto up = ReadFile(dir.File("up.mp3"));
    ASSERT_EQ(up.size(), source.size());
    // The mono frame: its two fields (MPEG-1 single channel, from bit 39, 59 apart) moved by 2.
    EXPECT_EQ(GetBits(up.data() + monoAt + 4, 39, 8), 122u);
    EXPECT_EQ(GetBits(up.data() + monoAt + 4, 98, 8), 132u);
    std::size_t changed = 0;
    for (std::size_t i = monoAt; i < after; ++i)
        changed += up[i] != source[i];
    EXPECT_LE(changed, 4u);
    // The next frame's header and stereo fields are its own.
    EXPECT_EQ(HeaderWordAt(up.data() + after), HeaderWordAt(source.data() + after));
    EXPECT_EQ(GetBits(up.data() + after + 4, 41, 8), GetBits(source.data() + after + 4, 41, 8) + 2);

    StreamInfo inPlace = OpenFile(dir.File("b.mp3"), s);
    Save(dir.File("b.mp3"), "", inPlace, s, {{}, 2});
    EXPECT_EQ(ReadFile(dir.File("b.mp3")), up);
}

// Trimmed frames made up by added silence of the same size still change the file.
TEST(WriterFaults, EqualSizeIsNotNothingToDo) {
    TempDir dir;
    const auto source = GainFrames(60);
    WriteFile(dir.File("a.mp3"), source);
    Settings s = NeutralSettings();
    s.ComboBoxAddSilenceBeginning = 1;
    s.RadioButtonID3Remove = kId3v1Remove;
    StreamInfo info = OpenFile(dir.File("a.mp3"), s);
    const std::int64_t silent = PlanFor(info, s, {}).silenceBeginFrames;
    ASSERT_GT(silent, 0);
    const SaveSpec spec{{silent, 0}};
    ASSERT_EQ(PlanFor(info, s, spec).predictedSize, static_cast<std::int64_t>(source.size()));
    Save(dir.File("a.mp3"), dir.File("as.mp3"), info, s, spec);
    const WriteResult r = Save(dir.File("a.mp3"), "", info, s, spec);
    EXPECT_FALSE(r.nothingToDo);
    EXPECT_NE(ReadFile(dir.File("a.mp3")), source);
    EXPECT_EQ(ReadFile(dir.File("a.mp3")), ReadFile(dir.File("as.mp3")));
}

// After an in-place save that keeps an incomplete last frame, the model still counts it apart,
// as a fresh analysis of the saved file does.
TEST(WriterFaults, RefreshedModelKeepsTheIncompleteLastFrameApart) {
    TempDir dir;
    auto source = GainFrames(30);
    const auto last = BuildFrame(GainFrame(30));
    source.insert(source.end(), last.begin(), last.begin() + 200);
    WriteFile(dir.File("a.mp3"), source);
    const Settings s = NeutralSettings();
    StreamInfo info = OpenFile(dir.File("a.mp3"), s);
    ASSERT_TRUE(info.lastFrameIncomplete);
    const WriteResult r = Save(dir.File("a.mp3"), "", info, s, {{2, 0}, 1});
    ASSERT_EQ(r.windowAction, WindowAction::RefreshOpenFile);
    const StreamInfo fresh = OpenFile(dir.File("a.mp3"), s);
    EXPECT_EQ(info.frameCount, fresh.frameCount);
    EXPECT_EQ(info.lastFrameIncomplete, fresh.lastFrameIncomplete);
    EXPECT_EQ(Offsets(info), Offsets(fresh));
    EXPECT_EQ(info.frames[info.frameCount].length, fresh.frames[fresh.frameCount].length);
    EXPECT_EQ(PlanFor(info, s, {}).predictedSize, PlanFor(fresh, s, {}).predictedSize);
}

// A save as the editor makes it, recording the undo of a gain change unless told not to; the
// writer must produce exactly the size the plan predicted from the model.
WriteResult SaveRecordingUndo(const std::string& path, StreamInfo& info, const Settings& s,
                              const TrimPoints& trim, int gain, const std::string& output = "",
                              bool recordUndo = true) {
    PlanOptions options;
    options.gainSteps = gain;
    options.recordGainUndo = recordUndo;
    const OutputPlan plan = ComputeOutputPlan(info, trim, s, options).plan;
    WriteParams p = MakeSaveParams(path, output, info, trim, plan, s, gain, 0, 0);
    p.recordGainUndo = recordUndo;
    NullProgress none;
    const WriteResult r = WriteOutput(p, info, WriteContext{s, Messages(), false, true}, none);
    EXPECT_EQ(r.outputSize, plan.predictedSize);
    return r;
}

std::vector<std::string> ItemTexts(const StreamInfo& info) {
    std::vector<std::string> texts;
    if (info.apeItems)
        for (const ApeItem& item : *info.apeItems)
            texts.push_back(std::to_string(item.flags) + " " + item.key + "=" + item.value);
    return texts;
}

// After an in-place save the model holds the APE items as a fresh analysis reads them, whether
// or not the save changed the tag; a later gain change then predicts the undo item it adds.
TEST(WriterFaults, RefreshedModelKeepsTheApeItems) {
    const struct {
        const char* name;
        TrimPoints trim;
        int gain;
    } cases[] = {
        {"trim only", {2, 3}, 0},
        {"gain", {0, 0}, 2},
        {"trim and gain", {1, 1}, -2},
    };
    for (const auto& c : cases) {
        TempDir dir;
        auto source = GainFrames(40);
        Append(source,
               RenderApeTag({{0, "REPLAYGAIN_TRACK_GAIN", "-3.00 dB"}, {0, "ARTIST", "b"}}));
        Append(source, Id3v1("Title"));
        WriteFile(dir.File("a.mp3"), source);
        Settings s = NeutralSettings();
        s.CheckBoxCloseAfterSave = false;
        StreamInfo info = OpenFile(dir.File("a.mp3"), s);
        ASSERT_TRUE(info.apeItems) << c.name;

        const WriteResult r = SaveRecordingUndo(dir.File("a.mp3"), info, s, c.trim, c.gain);
        ASSERT_EQ(r.windowAction, WindowAction::RefreshOpenFile) << c.name;
        const StreamInfo fresh = OpenFile(dir.File("a.mp3"), s);
        ASSERT_TRUE(fresh.apeItems) << c.name;
        EXPECT_EQ(info.apeSize, fresh.apeSize) << c.name;
        EXPECT_EQ(info.apeOffset, fresh.apeOffset) << c.name;
        EXPECT_EQ(ItemTexts(info), ItemTexts(fresh)) << c.name;

        // The next gain change, from the kept model: its undo item is in the prediction.
        SaveRecordingUndo(dir.File("a.mp3"), info, s, {0, 0}, 3);
        const auto undo = ReadGainUndo(ReadFile(dir.File("a.mp3")));
        ASSERT_TRUE(undo) << c.name;
        EXPECT_EQ(undo->left, -3 - c.gain) << c.name;
    }
}

// A save that keeps no frame changes no gain: it succeeds, records no undo and writes the size
// planned, whether the output is then empty or holds only the kept tags, in place and as a new
// file.
TEST(WriterFaults, AGainOnNoKeptFrameRecordsNothing) {
    for (const bool tagged : {false, true}) {
        for (const bool inPlace : {false, true}) {
            const std::string name =
                std::string(tagged ? "tagged" : "bare") + (inPlace ? ", in place" : ", save as");
            TempDir dir;
            auto source = GainFrames(10);
            if (tagged)
                Append(source, RenderApeTag({{0, "ARTIST", "b"}}));
            WriteFile(dir.File("a.mp3"), source);
            Settings s = NeutralSettings();
            s.CheckBoxCloseAfterSave = false;
            StreamInfo info = OpenFile(dir.File("a.mp3"), s);
            const std::string out = inPlace ? dir.File("a.mp3") : dir.File("b.mp3");
            const WriteResult r =
                SaveRecordingUndo(dir.File("a.mp3"), info, s, {4, 6}, 2, inPlace ? "" : out);
            EXPECT_EQ(r.gainSteps, 0) << name;
            const auto bytes = ReadFile(out);
            EXPECT_EQ(bytes.size(), tagged ? RenderApeTag({{0, "ARTIST", "b"}}).size() : 0u)
                << name;
            EXPECT_FALSE(ReadGainUndo(bytes)) << name;
        }
    }
}

// A gain change that alters none of the APE tag's items (no undo recorded, no gain items in it)
// leaves the tag's bytes as they stand: a footer-only tag keeps its layout, an empty one with
// room after its footer stays, and the plan predicts that size.
TEST(WriterFaults, AnApeTagTheGainLeavesAloneKeepsItsBytes) {
    auto footerOnly = RenderApeTag({{0, "ARTIST", "b"}});
    footerOnly.erase(footerOnly.begin(), footerOnly.begin() + ApeFooter::kSize);
    footerOnly[footerOnly.size() - ApeFooter::kSize + ApeFooter::kFlagsOffset + 3] &= 0x7F;
    // An empty tag as another tool writes it: no item, its footer claiming room before it.
    auto empty = RenderApeTag({{0, "A", "b"}});
    empty.erase(empty.begin(), empty.end() - ApeFooter::kSize);
    empty.insert(empty.begin(), 100, 0x55);
    empty[100 + ApeFooter::kItemCountOffset] = 0;
    empty[100 + ApeFooter::kTagSizeOffset] = 100 + ApeFooter::kSize;
    empty[100 + ApeFooter::kFlagsOffset + 3] = 0;
    for (const auto& [name, tag] : {std::pair{"footer only", footerOnly}, {"no item", empty}}) {
        TempDir dir;
        auto source = GainFrames(20);
        Append(source, tag);
        WriteFile(dir.File("a.mp3"), source);
        const Settings s = NeutralSettings();
        StreamInfo info = OpenFile(dir.File("a.mp3"), s);
        ASSERT_EQ(info.apeSize, static_cast<std::int64_t>(tag.size())) << name;
        SaveRecordingUndo(dir.File("a.mp3"), info, s, {}, 2, dir.File("b.mp3"), false);
        const auto out = ReadFile(dir.File("b.mp3"));
        ASSERT_EQ(out.size(), source.size()) << name;
        EXPECT_TRUE(std::equal(tag.begin(), tag.end(), out.end() - tag.size())) << name;
    }
}

} // namespace
} // namespace velmora
