#include "DecoderOracle.h"
#include "Fixtures.h"
#include "FrameBuilder.h"
#include "Progress.h"
#include "UnitExactCut.h"
#include "UnitMessages.h"
#include "UnitOpen.h"
#include "UnitOptions.h"
#include "UnitPreviewClip.h"
#include "UnitPreviewRender.h"
#include "UnitSpecialFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sys/stat.h>

using namespace velmora;
using namespace velmora::test;

namespace {

double RmsDb(std::span<const std::int16_t> pcm) {
    double sum = 0;
    for (const std::int16_t s : pcm)
        sum += static_cast<double>(s) * s;
    return 10.0 * std::log10(sum / static_cast<double>(std::max<std::size_t>(pcm.size(), 1)));
}

// Twelve seconds of a 1 kHz tone from lame, opened as the editor opens it.
class PreviewRender : public testing::Test {
protected:
    void SetUp() override {
        if (!HaveProgram("lame") || !HaveProgram("mpg123"))
            GTEST_SKIP() << "lame and mpg123 are needed";
        std::vector<std::int16_t> pcm;
        AppendTone(pcm, {}, 12.0, 1000.0, 8000);
        EncodeWithLame(pcm, {}, "-b 128", m_path);
        NullProgress progress;
        m_info = OpenSourceFile(m_path, m_settings, m_messages, progress, {}).info;
    }

    TempDir m_dir;
    std::string m_path = m_dir.File("tone.mp3");
    Settings m_settings;
    MessageTable m_messages = MessageTable::English();
    WriteContext m_context{m_settings, m_messages};
    StreamInfo m_info;
};

} // namespace

TEST_F(PreviewRender, MemoryClipIsTheExternalPlayersFileAndDecodesLikeMpg123) {
    const PreviewClip clip{PreviewOutcome::Play, 100, 192, 3, 4, 5, 0, 2};
    const std::vector<std::uint8_t> mp3 = RenderPreviewMp3(m_path, m_info, clip, m_context);
    PreviewFiles files({m_dir.path(), false});
    const std::string name = WritePreviewFile(m_path, m_info, clip, m_context, files);
    EXPECT_EQ(ReadFile(name), mp3);

    const PcmClip pcm = RenderPreviewClip(m_path, m_info, clip, m_context);
    EXPECT_EQ(pcm.sampleRate, 44100);
    ASSERT_EQ(pcm.samples.size(), std::size_t{(3 + 192 + 4) * 1152 * 2});
    ASSERT_EQ(RunCommand("mpg123 -q -s '" + name + "' > '" + m_dir.File("peer.raw") + "'"), 0);
    const std::vector<std::uint8_t> raw = ReadFile(m_dir.File("peer.raw"));
    std::vector<std::int16_t> peer(raw.size() / 2);
    std::memcpy(peer.data(), raw.data(), peer.size() * 2);
    ASSERT_EQ(peer.size(), pcm.samples.size());
    EXPECT_NEAR(RmsDb(pcm.samples), RmsDb(peer), 0.05);
}

// The clip buffer used to be a fixed 560000 bytes, which long added silence overran.
TEST_F(PreviewRender, LongAddedSilenceGrowsTheBuffer) {
    PreviewClip clip;
    clip.frameCount = 192;
    clip.silenceBeginFrames = SecondsToFrames(m_info.firstHeader, 150);
    const std::vector<std::uint8_t> mp3 = RenderPreviewMp3(m_path, m_info, clip, m_context);
    EXPECT_GT(mp3.size(), std::size_t{560000});
    const PcmClip pcm = DecodeClip(mp3, m_info.firstHeader, "open failed");
    const std::size_t silent = static_cast<std::size_t>(clip.silenceBeginFrames) * 1152 * 2;
    ASSERT_EQ(pcm.samples.size(), silent + 192 * 1152 * 2);
    EXPECT_TRUE(std::all_of(pcm.samples.begin(), pcm.samples.begin() + silent,
                            [](std::int16_t s) { return s == 0; }));
    EXPECT_GT(RmsDb(std::span(pcm.samples).subspan(silent)), 60.0);
}

TEST(PreviewFolder, FirstUsableCandidateElsePrivateTemporaryFolder) {
    TempDir dir;
    const std::string appData = dir.File("home/.local/share/Velmora"), docs = dir.File("docs");
    const struct {
        std::vector<std::string> candidates;
        std::string expected; // empty: a private folder in the temporary folder
    } cases[] = {
        {{appData + "/", docs}, appData}, // made with its parents
        {{"", docs}, docs},
        {{"/dev/null/Velmora", docs}, docs},
        {{"Velmora"}, ""}, // relative: no folder
        {{}, ""},
    };
    for (const auto& c : cases) {
        const PreviewFolder folder = ChoosePreviewFolder(c.candidates, dir.path());
        EXPECT_EQ(folder.privateFolder, c.expected.empty()) << folder.path;
        if (!c.expected.empty()) {
            EXPECT_EQ(folder.path, c.expected);
            continue;
        }
        EXPECT_EQ(folder.path.rfind(dir.File("Velmora-preview-"), 0), 0u) << folder.path;
        struct stat st {};
        ASSERT_EQ(::stat(folder.path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
    EXPECT_TRUE(ChoosePreviewFolder({}, "/dev/null").path.empty());
}

// With the exact cut a preview starts and ends where the save would: the clip decodes to the
// source's decoded samples between its points, from the external player's file (mpg123 and
// ffmpeg play it gapless) and from the internal player's decoder alike.
TEST(PreviewExact, ClipsPlayTheSourceSamplesBetweenTheirPoints) {
    if (!HaveProgram("lame") || !HaveProgram("mpg123") || !HaveProgram("ffmpeg"))
        GTEST_SKIP() << "lame, mpg123 and ffmpeg needed";
    TempDir dir;
    Settings s;
    s.SpinEditPreviewLength = 1;
    const MessageTable messages = MessageTable::English();
    const WriteContext context{s, messages};
    constexpr bool kKept = false, kTrimmed = true;
    const struct {
        const char* what;
        bool endButton, trimmed;
    } buttons[] = {{"begin, kept", false, kKept},
                   {"end, kept", true, kKept},
                   {"begin, trimmed", false, kTrimmed},
                   {"end, trimmed", true, kTrimmed}};
    for (const char* lame : {"-V 2", "-b 64 -m m --resample 22.05"}) {
        const std::string path = EncodeMixture(dir, "a.mp3", lame, 6, 44100, 2);
        const DecodedPair whole = DecodeBoth(path);
        NullProgress progress;
        StreamInfo info = OpenSourceFile(path, s, messages, progress, {}).info;
        const int channels = info.firstHeader.channelMode == kMono ? 1 : 2;
        const std::int64_t spf = SamplesPerFrame(info.firstHeader);
        const std::int64_t n = SecondsToFrames(info.firstHeader, 1) * spf;
        const std::int64_t decoded = DecodedSamples(info);
        const std::int64_t b = info.frameCount / 3, e = info.frameCount / 4;
        for (const auto& button : buttons) {
            const std::string what = std::string(lame) + ", " + button.what;
            s.RadioGroupPreviewPlaysWhat = button.trimmed;
            PreviewRequest r;
            r.endButton = button.endButton;
            r.beginFrames = b;
            r.endFrames = e;
            r.totalFrames = info.frameCount;
            const PreviewClip clip = ComputePreviewClip(info.firstHeader, s, r);
            // Begin point b * spf, end point `decoded` - e * spf, as the save counts them.
            const std::int64_t point = button.endButton ? decoded - e * spf : b * spf;
            const std::int64_t from = button.endButton != button.trimmed ? point - n : point;
            PreviewFiles files({dir.path(), false});
            const std::string file = WritePreviewFile(path, info, clip, context, files);
            const DecodedPair got = DecodeBoth(file);
            const PcmClip internal = RenderPreviewClip(path, info, clip, context);
            const auto want = Slice(whole.mpg123, from, from + n, channels);
            EXPECT_EQ(Differing(got.ffmpeg, Slice(whole.ffmpeg, from, from + n, channels)), 0)
                << what;
            // The decoder library's synthesis rounds mono a step off at a few samples where the
            // clip cannot start on its phase (a known property of its x86-64 routines).
            for (const auto* pcm : {&got.mpg123, &internal.samples}) {
                ASSERT_EQ(pcm->size(), want.size()) << what;
                EXPECT_LE(Differing(*pcm, want) * (channels == 1 ? 1000 : 1),
                          channels == 1 ? static_cast<std::int64_t>(want.size()) : 0)
                    << what;
                EXPECT_LE(MaxDifference(*pcm, want), channels == 1 ? 1 : 0) << what;
            }
        }
    }
}
