#include "Fixtures.h"
#include "FrameBuilder.h"
#include "Progress.h"
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
