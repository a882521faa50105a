#include "Fixtures.h"
#include "FrameBuilder.h"
#include "Progress.h"
#include "UnitMessages.h"
#include "UnitOpen.h"
#include "UnitOptions.h"
#include "UnitPreviewClip.h"
#include "UnitPreviewRender.h"
#include "UnitSpecialFolder.h"
#include "VelmoraError.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sys/stat.h>
#include <unistd.h>

using namespace velmora;
using namespace velmora::test;

namespace {

double RmsDb(std::span<const std::int16_t> pcm) {
    double sum = 0;
    for (const std::int16_t s : pcm)
        sum += static_cast<double>(s) * s;
    return 10.0 * std::log10(sum / static_cast<double>(std::max<std::size_t>(pcm.size(), 1)));
}

bool Exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

// Twelve seconds of a 1 kHz tone from lame, opened as the editor opens it.
class PreviewRender : public testing::Test {
protected:
    void SetUp() override {
        if (!HaveProgram("lame"))
            GTEST_SKIP() << "lame is not installed";
        std::vector<std::int16_t> pcm;
        AppendTone(pcm, {}, 12.0, 1000.0, 8000);
        EncodeWithLame(pcm, {}, "-b 128", m_path);
        NullProgress progress;
        m_info = OpenSourceFile(m_path, m_settings, m_messages, progress, {}).info;
    }

    PreviewClip Clip(std::int64_t start, std::int64_t count, int gain = 0) const {
        PreviewClip clip;
        clip.startFrame = start;
        clip.frameCount = count;
        clip.gainSteps = gain;
        return clip;
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
    PreviewClip clip = Clip(100, 192, 2);
    clip.silenceBeginFrames = 3;
    clip.silenceEndFrames = 4;
    clip.fadeInIndex = 5;
    const std::vector<std::uint8_t> mp3 = RenderPreviewMp3(m_path, m_info, clip, m_context);
    PreviewFiles files({m_dir.File("previews"), false});
    ASSERT_EQ(::mkdir(files.Folder().path.c_str(), 0700), 0);
    const std::string name = WritePreviewFile(m_path, m_info, clip, m_context, files);
    EXPECT_EQ(name, m_dir.File("previews/Velmora.preview.mp3"));
    EXPECT_EQ(ReadFile(name), mp3);

    const PcmClip pcm = RenderPreviewClip(m_path, m_info, clip, m_context);
    EXPECT_EQ(pcm.sampleRate, 44100);
    EXPECT_EQ(pcm.channels, 2);
    ASSERT_EQ(pcm.samples.size(), std::size_t{(3 + 192 + 4) * 1152 * 2});
    EXPECT_EQ(pcm.Milliseconds(), 199 * 1152 * 1000 / 44100);

    if (!HaveProgram("mpg123"))
        GTEST_SKIP() << "mpg123 is not installed";
    std::string out;
    ASSERT_EQ(RunCommand("mpg123 -q -s '" + name + "' > '" + m_dir.File("peer.raw") + "'", &out), 0)
        << out;
    const std::vector<std::uint8_t> raw = ReadFile(m_dir.File("peer.raw"));
    std::vector<std::int16_t> peer(raw.size() / 2);
    std::memcpy(peer.data(), raw.data(), peer.size() * 2);
    ASSERT_EQ(peer.size(), pcm.samples.size());
    EXPECT_NEAR(RmsDb(pcm.samples), RmsDb(peer), 0.05);
}

TEST_F(PreviewRender, CtrlMakesTheClipTwelveDecibelsLouder) {
    const PcmClip plain = RenderPreviewClip(m_path, m_info, Clip(100, 100), m_context);
    const PcmClip loud =
        RenderPreviewClip(m_path, m_info, Clip(100, 100, kPreviewCtrlSteps), m_context);
    EXPECT_NEAR(RmsDb(loud.samples) - RmsDb(plain.samples), 12.0, 0.5);
}

TEST_F(PreviewRender, LongAddedSilenceGrowsTheBufferPastTheOldFixedSize) {
    PreviewClip clip = Clip(0, 192);
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

TEST_F(PreviewRender, DecoderStopsAtBytesThatAreNoFrame) {
    std::vector<std::uint8_t> mp3 = RenderPreviewMp3(m_path, m_info, Clip(10, 20), m_context);
    const std::size_t clean = mp3.size();
    for (const char* tail : {"APETAGEX and the rest of an APE tag", "LYRICSBEGIN", ""}) {
        mp3.resize(clean);
        mp3.insert(mp3.end(), tail, tail + std::strlen(tail));
        EXPECT_EQ(DecodeClip(mp3, m_info.firstHeader, "x").samples.size(), 20u * 1152 * 2) << tail;
    }
    mp3.resize(clean - 100); // an incomplete last frame is left out
    EXPECT_EQ(DecodeClip(mp3, m_info.firstHeader, "x").samples.size(), 19u * 1152 * 2);
    EXPECT_TRUE(DecodeClip({}, m_info.firstHeader, "x").samples.empty());
}

TEST_F(PreviewRender, ExternalFilesAlternateAndAreDeleted) {
    std::string folderPath;
    {
        PreviewFiles files(ChoosePreviewFolder({}, m_dir.path()));
        folderPath = files.Folder().path;
        std::vector<std::string> written;
        for (int i = 0; i < 3; ++i)
            written.push_back(WritePreviewFile(m_path, m_info, Clip(0, 10), m_context, files));
        m_settings.RadioGroupPreviewPlaysWhat = true;
        written.push_back(WritePreviewFile(m_path, m_info, Clip(0, 10), m_context, files));
        EXPECT_EQ(written,
                  (std::vector<std::string>{folderPath + "/Velmora.preview.mp3",
                                            folderPath + "/Velmora.preview.alt.mp3",
                                            folderPath + "/Velmora.preview.mp3",
                                            folderPath + "/Velmora.preview.trim.alt.mp3"}));
        files.DeletePreviewFiles();
        for (const std::string& name : files.Names())
            EXPECT_FALSE(Exists(name)) << name;
        WritePreviewFile(m_path, m_info, Clip(0, 10), m_context, files);
    }
    EXPECT_FALSE(Exists(folderPath)) << "the private folder goes with its files";
}

TEST_F(PreviewRender, UnwritableFolderIsAPreviewFailure) {
    PreviewFiles files({"/dev/null/nowhere", false});
    try {
        WritePreviewFile(m_path, m_info, Clip(0, 10), m_context, files);
        ADD_FAILURE() << "no error";
    } catch (const VelmoraError& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("/dev/null/nowhere/Velmora.preview.mp3"), std::string::npos) << text;
        EXPECT_TRUE(text.ends_with(" - Preview failed.")) << text;
    }
}

TEST(PreviewFolder, FirstUsableCandidateElsePrivateTemporaryFolder) {
    TempDir dir;
    const std::string appData = dir.File("home/.local/share/Velmora");
    const std::string docs = dir.File("docs");
    const struct {
        const char* name;
        std::vector<std::string> candidates;
        std::string expected; // empty: a private folder in the temporary root
    } cases[] = {
        {"application data, made with its parents", {appData, docs}, appData},
        {"a trailing slash", {appData + "/"}, appData},
        {"no application data: documents", {"", docs}, docs},
        {"below a file: documents", {"/dev/null/Velmora", docs}, docs},
        {"a relative path is no folder", {"Velmora"}, ""},
        {"nothing at all", {"", ""}, ""},
    };
    for (const auto& c : cases) {
        const PreviewFolder folder = ChoosePreviewFolder(c.candidates, dir.File("tmp"));
        if (!c.expected.empty()) {
            EXPECT_EQ(folder.path, c.expected) << c.name;
            EXPECT_FALSE(folder.privateFolder) << c.name;
            continue;
        }
        ::mkdir(dir.File("tmp").c_str(), 01777);
        const PreviewFolder made = ChoosePreviewFolder(c.candidates, dir.File("tmp"));
        EXPECT_TRUE(made.privateFolder) << c.name;
        EXPECT_EQ(made.path.rfind(dir.File("tmp/Velmora-preview-"), 0), 0u) << made.path;
        struct stat st {};
        ASSERT_EQ(::stat(made.path.c_str(), &st), 0) << c.name;
        EXPECT_EQ(st.st_mode & 0777, 0700u) << c.name;
        EXPECT_EQ(st.st_uid, ::getuid()) << c.name;
    }
    EXPECT_TRUE(ChoosePreviewFolder({}, "/dev/null").path.empty());
}
