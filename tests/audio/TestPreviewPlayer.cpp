#include "FakeAudioOutput.h"
#include "Fixtures.h"
#include "FrameBuilder.h"
#include "Progress.h"
#include "UnitMessages.h"
#include "UnitOpen.h"
#include "UnitOptions.h"
#include "UnitPreviewPlayer.h"
#include "UnitSpecialFolder.h"
#include "VelmoraError.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace velmora;
using namespace velmora::test;

namespace {

// The preview player over a fake sound output, on a 20-second tone from lame; the seams record
// what the window would show and answer the questions from `answers`.
class PreviewPlayerTest : public testing::Test {
protected:
    void SetUp() override {
        if (!HaveProgram("lame"))
            GTEST_SKIP() << "lame is not installed";
        std::vector<std::int16_t> pcm;
        AppendTone(pcm, {}, 20.0, 440.0, 8000);
        EncodeWithLame(pcm, {}, "-b 128", m_path);
        m_info = Open(m_path);
    }

    StreamInfo Open(const std::string& path) {
        NullProgress progress;
        return OpenSourceFile(path, m_settings, m_messages, progress, {}).info;
    }

    PreviewRequest Request(bool endButton) const {
        PreviewRequest r;
        r.endButton = endButton;
        r.beginFrames = 100;
        r.endFrames = 100;
        r.totalFrames = m_info.frameCount;
        r.amplificationEnabled = true;
        return r;
    }

    bool Click(bool endButton, bool down = true) {
        return m_player.ButtonClick(down, Request(endButton), {m_path, m_info}, m_settings,
                                    m_messages);
    }

    TempDir m_dir;
    std::string m_path = m_dir.File("tone.mp3");
    Settings m_settings;
    MessageTable m_messages = MessageTable::English();
    StreamInfo m_info;
    FakeAudioOutput m_output;
    PreviewFiles m_files{ChoosePreviewFolder({m_dir.File("appdata")}, m_dir.path())};
    std::vector<std::string> m_questions, m_informed, m_opened;
    std::vector<bool> m_answers;
    int m_finished = 0;
    PreviewPlayer m_player{
        m_output, m_files,
        PreviewSeams{[this](const std::string& text, bool) {
                         m_questions.push_back(text);
                         const bool yes = !m_answers.empty() && m_answers[0];
                         if (!m_answers.empty())
                             m_answers.erase(m_answers.begin());
                         return yes;
                     },
                     [this](const std::string& text) { m_informed.push_back(text); },
                     [this](const std::string& path) { m_opened.push_back(path); },
                     [this] { ++m_finished; }}};
};

} // namespace

TEST_F(PreviewPlayerTest, StickyButtonStaysDownUntilTheClipEnds) {
    EXPECT_TRUE(Click(false));
    ASSERT_EQ(m_output.played.size(), 1u);
    EXPECT_EQ(m_output.played[0].samples.size(), std::size_t{192 * 1152 * 2});
    EXPECT_EQ(m_finished, 0);
    m_output.ReportEndOfLast();
    EXPECT_EQ(m_finished, 1);
    EXPECT_FALSE(m_player.Playing());

    m_settings.CheckBoxStickyPreviewButtons = false;
    EXPECT_FALSE(Click(true)) << "up at once, and the clip plays";
    EXPECT_TRUE(m_player.Playing());
}

TEST_F(PreviewPlayerTest, OtherButtonOrReleaseStopsTheClipAndItsLateEndIsIgnored) {
    EXPECT_TRUE(Click(false));
    EXPECT_TRUE(Click(true));
    EXPECT_EQ(m_output.stops, 1);
    m_output.ReportEnd(0);
    EXPECT_EQ(m_finished, 0);
    EXPECT_FALSE(Click(true, false)); // the user releases the button
    EXPECT_FALSE(m_player.Playing());
    m_output.ReportEnd(1);
    EXPECT_EQ(m_finished, 0);
}

TEST_F(PreviewPlayerTest, FailedStartAsksAndYesUsesTheExternalPlayerFromThenOn) {
    m_output.startFails = true;
    m_answers = {false};
    EXPECT_FALSE(Click(false));
    ASSERT_EQ(m_questions.size(), 1u);
    EXPECT_EQ(m_questions[0], MessageTable::Join(m_messages.MessageDlgPreviewFailed));
    EXPECT_TRUE(m_opened.empty());
    EXPECT_TRUE(m_settings.RadioGroupPreviewMode);

    m_answers = {true};
    EXPECT_FALSE(Click(false));
    EXPECT_FALSE(Click(true));
    EXPECT_FALSE(m_settings.RadioGroupPreviewMode);
    EXPECT_EQ(m_questions.size(), 2u) << "asked once; the second preview goes out directly";
    const std::string folder = m_files.Folder().path;
    EXPECT_EQ(folder, m_dir.File("appdata"));
    ASSERT_EQ(m_opened, (std::vector<std::string>{folder + "/Velmora.preview.mp3",
                                                  folder + "/Velmora.preview.alt.mp3"}));
    for (const std::string& name : m_opened)
        EXPECT_EQ(::access(name.c_str(), F_OK), 0) << name;
    m_player.DeletePreviewFiles(); // Close, exit, Options
    for (const std::string& name : m_opened)
        EXPECT_NE(::access(name.c_str(), F_OK), 0) << name;
}

TEST_F(PreviewPlayerTest, NothingToPreviewAndRefusedPointsPlayNothing) {
    PreviewRequest atStart = Request(false);
    atStart.beginFrames = 0;
    m_settings.RadioGroupPreviewPlaysWhat = true; // the part before frame 0: nothing
    EXPECT_FALSE(m_player.ButtonClick(true, atStart, {m_path, m_info}, m_settings, m_messages));
    EXPECT_EQ(m_informed, std::vector<std::string>{"Nothing to preview."});
    for (const auto& [b, e] : {std::pair{-1, 0}, {0, -1}, {400, 400}}) {
        PreviewRequest r = Request(true);
        r.beginFrames = b;
        r.endFrames = e;
        r.totalFrames = 700;
        EXPECT_FALSE(m_player.ButtonClick(true, r, {m_path, m_info}, m_settings, m_messages));
    }
    EXPECT_EQ(m_informed.size(), 1u);
    EXPECT_TRUE(m_output.played.empty());
    EXPECT_TRUE(m_questions.empty());
}

TEST_F(PreviewPlayerTest, LayerTwoFileAsksBeforeTheInternalPlayer) {
    FrameSpec spec;
    spec.layerId = 2;
    spec.bitrateIndex = 10;
    std::vector<std::uint8_t> bytes;
    AppendFrames(bytes, spec, 600);
    const std::string layer2 = m_dir.File("layer2.mp2");
    WriteFile(layer2, bytes);
    StreamInfo info = Open(layer2);
    PreviewRequest r = Request(false);
    r.totalFrames = info.frameCount;
    r.ctrl = true;
    r.amplificationEnabled = false;
    m_answers = {false, true};
    EXPECT_FALSE(m_player.ButtonClick(true, r, {layer2, info}, m_settings, m_messages));
    EXPECT_TRUE(m_opened.empty());
    EXPECT_FALSE(m_player.ButtonClick(true, r, {layer2, info}, m_settings, m_messages));
    EXPECT_EQ(m_questions, std::vector<std::string>(2, kInternalPlayerLayer3Only));
    ASSERT_EQ(m_opened.size(), 1u);
    EXPECT_TRUE(m_output.played.empty());
    // Ctrl has no effect on Layer II: the file holds the source frames unchanged.
    const std::vector<std::uint8_t> written = ReadFile(m_opened[0]);
    const std::int64_t frame = info.frames[0].length;
    ASSERT_EQ(static_cast<std::int64_t>(written.size()), 192 * frame);
    EXPECT_TRUE(std::equal(written.begin(), written.end(),
                           bytes.begin() + static_cast<std::ptrdiff_t>(100 * frame)));
}

TEST_F(PreviewPlayerTest, UnwritablePreviewFolderIsAPreviewFailure) {
    PreviewFiles nowhere({"/dev/null/nowhere", false});
    PreviewPlayer player(m_output, nowhere, {});
    m_settings.RadioGroupPreviewMode = false;
    try {
        player.ButtonClick(true, Request(false), {m_path, m_info}, m_settings, m_messages);
        ADD_FAILURE() << "no error";
    } catch (const VelmoraError& e) {
        EXPECT_TRUE(std::string(e.what()).ends_with(" - Preview failed.")) << e.what();
    }
}
