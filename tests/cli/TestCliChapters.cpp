// Unicode tags and chapters written by ffmpeg and mutagen, read back by Velmora; what Velmora
// writes, read back by them.

#include "CliRunner.h"
#include "Fixtures.h"
#include "FrameBuilder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace velmora;
using namespace velmora::test;
namespace fs = std::filesystem;

namespace {

const std::string kTitle = "Bj\xC3\xB6rk \xE2\x80\x93 J\xC3\xB3ga \xE6\x97\xA5\xE6\x9C\xAC";
const std::string kArtist = "Sigur R\xC3\xB3s";
// Three chapters of a 100-second recording: 0-30 s, 30-60 s, 60-100 s.
const char* const kChapterTitles[] = {"Intro", "J\xC3\xB3ga \xE6\x97\xA5\xE6\x9C\xAC",
                                      "Sigur R\xC3\xB3s"};

// The system's Python, where Debian's python3-mutagen lives.
const std::string kPython = "/usr/bin/python3";

std::string Quoted(const std::string& s) {
    return "'" + s + "'";
}

std::string Shell(const std::string& command) {
    std::string output;
    const int status = RunCommand(command, &output);
    EXPECT_EQ(status, 0) << command << "\n" << output;
    return output;
}

// One recording and its cover for the whole suite; each test tags its own copies.
class CliChapters : public testing::Test {
protected:
    static void SetUpTestSuite() {
        for (const char* program : {"lame", "ffmpeg", "ffprobe", "mid3v2"})
            if (!HaveProgram(program))
                return;
        if (RunCommand(kPython + " -c 'import mutagen'") != 0)
            return;
        s_dir = new TempDir;
        const PcmSpec spec{22050, 1};
        std::vector<std::int16_t> pcm;
        AppendTone(pcm, spec, 100, 440, 8000);
        EncodeWithLame(pcm, spec, "-b 32", s_dir->File("plain.mp3"));
        Shell("ffmpeg -v error -y -f lavfi -i color=c=red:s=8x8 -frames:v 1 " +
              Quoted(s_dir->File("cover.png")));
        std::ofstream meta(s_dir->File("meta.txt"));
        meta << ";FFMETADATA1\ntitle=" << kTitle << "\nartist=" << kArtist << "\n";
        for (int k = 0; k < 3; ++k)
            meta << "[CHAPTER]\nTIMEBASE=1/1000\nSTART=" << k * 30000
                 << "\nEND=" << (k == 2 ? 100000 : (k + 1) * 30000)
                 << "\ntitle=" << kChapterTitles[k] << "\n";
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override {
        if (!s_dir)
            GTEST_SKIP() << "lame, ffmpeg, ffprobe, mid3v2 or python3-mutagen is missing";
    }

    // The recording tagged by ffmpeg with ID3v2 `version`, title, artist, chapters and cover.
    std::string TaggedByFfmpeg(int version) {
        const std::string out = m_dir.File("ffmpeg" + std::to_string(version) + ".mp3");
        Shell("ffmpeg -v error -y -i " + Quoted(s_dir->File("plain.mp3")) + " -i " +
              Quoted(s_dir->File("cover.png")) + " -i " + Quoted(s_dir->File("meta.txt")) +
              " -map 0:a -map 1:v -map_metadata 2 -map_chapters 2 -c copy -id3v2_version " +
              std::to_string(version) + " -metadata:s:v comment='Cover (front)' " + Quoted(out));
        return out;
    }
    std::string TaggedByMutagen(int version) {
        const std::string out = m_dir.File("mutagen" + std::to_string(version) + ".mp3");
        fs::copy_file(s_dir->File("plain.mp3"), out);
        if (version == 4) // mid3v2 writes version 4, in UTF-8
            Shell("mid3v2 -t " + Quoted(kTitle) + " -a " + Quoted(kArtist) + " " + Quoted(out));
        else
            Shell(kPython +
                  " -c 'import sys; from mutagen.id3 import ID3, TIT2, TPE1; t = ID3(); "
                  "t.add(TIT2(encoding=1, text=sys.argv[2])); t.add(TPE1(encoding=1, "
                  "text=sys.argv[3])); t.save(sys.argv[1], v2_version=3)' " +
                  Quoted(out) + " " + Quoted(kTitle) + " " + Quoted(kArtist));
        return out;
    }

    // start_time,end_time,title per chapter, as ffprobe reports them.
    static std::vector<std::string> ProbeChapters(const std::string& file) {
        return Lines(
            Shell("ffprobe -v error -show_entries chapter=start_time,end_time:chapter_tags="
                  "title -of csv=p=0 " +
                  Quoted(file)));
    }
    static std::string CoverArt(const std::string& file) {
        return Shell(
            kPython +
            " -c 'import sys, mutagen.id3; "
            "sys.stdout.buffer.write(mutagen.id3.ID3(sys.argv[1]).getall(\"APIC\")[0].data)' " +
            Quoted(file));
    }

    static TempDir* s_dir;
    TempDir m_dir;
};

TempDir* CliChapters::s_dir = nullptr;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace

TEST_F(CliChapters, TitlesAndArtistsOfFfmpegAndMutagenTagsShowExactly) {
    const struct {
        const char* name;
        std::string file;
    } cases[] = {
        {"ffmpeg, ID3v2.3 UTF-16", TaggedByFfmpeg(3)},
        {"ffmpeg, ID3v2.4 UTF-8", TaggedByFfmpeg(4)},
        {"mutagen, ID3v2.3 UTF-16", TaggedByMutagen(3)},
        {"mid3v2, ID3v2.4", TaggedByMutagen(4)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CliRun json = RunCliCaptured({"info", "--defaults", "--json", c.file});
        ASSERT_EQ(json.status, 0) << json.err;
        EXPECT_TRUE(Has(json.out, "\"id3v2Title\": \"" + kTitle + "\"")) << json.out;
        EXPECT_TRUE(Has(json.out, "\"id3v2Artist\": \"" + kArtist + "\"")) << json.out;
        EXPECT_TRUE(Has(json.out, "\"id3v2Notes\": []")) << json.out;
        const CliRun text = RunCliCaptured({"info", "--defaults", c.file});
        EXPECT_TRUE(Has(text.out, "ID3v2 title:           " + kTitle + "\n")) << text.out;
        EXPECT_TRUE(Has(text.out, "ID3v2 artist:          " + kArtist + "\n")) << text.out;
    }
}

TEST_F(CliChapters, AStartTrimMovesFfmpegChaptersAndKeepsTheCover) {
    for (int version : {3, 4}) {
        SCOPED_TRACE(version);
        const std::string file = TaggedByFfmpeg(version);
        const std::string cover = CoverArt(file);
        ASSERT_EQ(cover, Shell("cat " + Quoted(s_dir->File("cover.png"))));
        const CliRun before = RunCliCaptured({"info", "--defaults", "--json", file});
        EXPECT_TRUE(Has(before.out, "{\"id\": \"ch1\", \"title\": \"" +
                                        std::string(kChapterTitles[1]) +
                                        "\", \"startMs\": 30000, \"endMs\": 60000}"))
            << before.out;
        const std::uintmax_t sizeBefore = fs::file_size(file);

        // Saved in place and as a new file: 30 s go at the start, which rounds up to 1149
        // frames of 576 samples at 22050 Hz, 30.014 s.
        const CliRun saveAs = RunCliCaptured(
            {"save", "--defaults", file, "--begin", "30s", "-o", m_dir.File("cut.mp3")});
        ASSERT_EQ(saveAs.status, 0) << saveAs.err;
        const CliRun save = RunCliCaptured({"save", "--defaults", file, "--begin", "30s", "--yes"});
        ASSERT_EQ(save.status, 0) << save.err;
        for (const std::string& saved : {file, m_dir.File("cut.mp3")}) {
            SCOPED_TRACE(saved);
            const std::vector<std::string> chapters = ProbeChapters(saved);
            EXPECT_EQ(chapters, (std::vector<std::string>{
                                    "0.000000,29.986000," + std::string(kChapterTitles[1]),
                                    "29.986000,69.986000," + std::string(kChapterTitles[2])}));
            EXPECT_EQ(CoverArt(saved), cover);
            const CliRun after = RunCliCaptured({"info", "--defaults", "--json", saved});
            EXPECT_TRUE(Has(after.out, "\"id3v2Title\": \"" + kTitle + "\"")) << after.out;
        }
        // The chapter cut away left padding: the tag keeps its size.
        EXPECT_EQ(fs::file_size(file), fs::file_size(m_dir.File("cut.mp3")));
        EXPECT_LT(fs::file_size(file), sizeBefore);
        fs::remove(m_dir.File("cut.mp3"));
    }
}

TEST_F(CliChapters, SplitByChaptersWritesOneFilePerChapterNamedByItsTitle) {
    const std::string file = TaggedByFfmpeg(3);
    const CliRun split = RunCliCaptured({"split", "--defaults", file, "--chapters"});
    ASSERT_EQ(split.status, 0) << split.err;
    const std::string folder = m_dir.File(kArtist + " - " + kTitle);
    std::vector<std::string> expected;
    for (int k = 0; k < 3; ++k)
        expected.push_back(folder + "/0" + std::to_string(k + 1) + " " + kChapterTitles[k] +
                           ".mp3");
    EXPECT_EQ(Lines(split.out), expected);
    const double lengths[] = {30, 30, 40};
    for (int k = 0; k < 3; ++k) {
        const double seconds = std::stod(Shell("ffprobe -v error -show_entries format=duration "
                                               "-of csv=p=0 " +
                                               Quoted(expected[std::size_t(k)])));
        EXPECT_NEAR(seconds, lengths[k], 0.1) << expected[std::size_t(k)];
    }

    const CliRun none = RunCliCaptured({"split", "--defaults", TaggedByMutagen(4), "--chapters"});
    EXPECT_EQ(none.status, 1);
    EXPECT_TRUE(Has(none.err, "no chapters")) << none.err;
}

TEST_F(CliChapters, ChaptersFromACueSheetAreReadBackByFfprobeAndMutagen) {
    for (int version : {3, 4}) {
        SCOPED_TRACE(version);
        const std::string file = TaggedByMutagen(version);
        const std::string sheet = m_dir.File("sheet.cue");
        std::ofstream(sheet) << "TITLE \"Album\"\nFILE \"x.mp3\" MP3\n"
                             << "  TRACK 01 AUDIO\n    TITLE \"" << kChapterTitles[1]
                             << "\"\n    INDEX 01 00:00:00\n"
                             << "  TRACK 02 AUDIO\n    TITLE \"Second\"\n    INDEX 01 00:45:00\n";
        const CliRun r = RunCliCaptured({"chapters", "--defaults", file, "--from-cue", sheet});
        ASSERT_EQ(r.status, 0) << r.err;
        // 45 s is frame 1722, 44.982 s; the recording ends at 100.075 s (3831 frames).
        EXPECT_EQ(Lines(r.out), (std::vector<std::string>{"0:00.000 - 0:44.982  " +
                                                              std::string(kChapterTitles[1]),
                                                          "0:44.982 - 1:40.075  Second"}));
        EXPECT_EQ(ProbeChapters(file),
                  (std::vector<std::string>{"0.000000,44.982000," + std::string(kChapterTitles[1]),
                                            "44.982000,100.075000,Second"}));
        const std::string mutagen =
            Shell(kPython +
                  " -c 'import sys, mutagen.id3; t = mutagen.id3.ID3(sys.argv[1]); "
                  "print(t.version[1], t[\"TIT2\"].text[0]); "
                  "[print(c.element_id, c.start_time, c.end_time, c.sub_frames[\"TIT2\"].text[0]) "
                  "for c in t.getall(\"CHAP\")]; "
                  "[print(c.element_id, int(c.flags), c.child_element_ids) for c in "
                  "t.getall(\"CTOC\")]' " +
                  Quoted(file));
        EXPECT_EQ(mutagen, std::to_string(version) + " " + kTitle + "\nchp0 0 44982 " +
                               kChapterTitles[1] + "\nchp1 44982 100075 Second\n" +
                               "toc 3 ['chp0', 'chp1']\n");
        // And Velmora reads them back too.
        const CliRun info = RunCliCaptured({"info", "--defaults", "--json", file});
        EXPECT_TRUE(Has(info.out, "{\"id\": \"chp1\", \"title\": \"Second\", \"startMs\": 44982, "
                                  "\"endMs\": 100075}"))
            << info.out;
    }
}
