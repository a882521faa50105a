#include "UnitApeTag.h"
#include "UnitGainTags.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace velmora;

namespace {

std::vector<std::uint8_t> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

std::string Le32(std::uint32_t v) {
    return {char(v & 0xFF), char(v >> 8 & 0xFF), char(v >> 16 & 0xFF), char(v >> 24 & 0xFF)};
}

TEST(ApeTag, RendersVersionTwoWithHeaderAndFooterAndReadsItBack) {
    const std::vector<ApeItem> items = {{0, "MP3GAIN_UNDO", "+002,+002,N"},
                                        {0, "REPLAYGAIN_TRACK_PEAK", "0.5"}};
    const std::vector<std::uint8_t> tag = RenderApeTag(items);
    const std::string body = Le32(11) + Le32(0) + "MP3GAIN_UNDO" + '\0' + "+002,+002,N" + Le32(3) +
                             Le32(0) + "REPLAYGAIN_TRACK_PEAK" + '\0' + "0.5";
    const std::string size = Le32(static_cast<std::uint32_t>(body.size() + 32));
    const std::string expected = std::string("APETAGEX") + Le32(2000)        // preamble, version
                                 + size + Le32(2)                            // tag size, items
                                 + Le32(0xA0000000u) + std::string(8, '\0')  // header flags
                                 + body                                      //
                                 + "APETAGEX" + Le32(2000) + size + Le32(2)  //
                                 + Le32(0x80000000u) + std::string(8, '\0'); // footer flags
    EXPECT_EQ(tag, Bytes(expected));

    std::vector<std::uint8_t> file = Bytes("audio");
    file.insert(file.end(), tag.begin(), tag.end());
    const auto back = ParseApeTag(file, static_cast<std::int64_t>(file.size()));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->start, 5);
    EXPECT_EQ(back->end, static_cast<std::int64_t>(file.size()));
    ASSERT_EQ(back->items.size(), 2u);
    EXPECT_EQ(back->items[1].value, "0.5");
    EXPECT_EQ(back->Find("replaygain_track_peak"), &back->items[1]);
    EXPECT_TRUE(RenderApeTag({}).empty());
}

TEST(ApeTag, DamagedTagsAreRefused) {
    const std::vector<std::uint8_t> good = RenderApeTag({{0, "KEY", "value"}});
    const auto end = static_cast<std::int64_t>(good.size());
    struct Case {
        const char* name;
        std::size_t at; // from the end
        std::uint8_t byte;
    } cases[] = {
        {"preamble", 32, 'X'},
        {"tag size larger than the file", 32 - 13, 0x7F},
        {"more items than there are", 32 - 16, 9},
        {"header flag in the footer", 32 - 23, 0xA0},
        {"value longer than the tag", 32 + 5 + 1 + 3 + 8 - 1, 0x7F},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> bad = good;
        bad[bad.size() - c.at] = c.byte;
        EXPECT_FALSE(ParseApeTag(bad, end)) << c.name;
    }
    // A version 1 tag has no header: it starts at its first item.
    std::vector<std::uint8_t> v1(good.begin() + 32, good.end());
    const auto read = ParseApeTag(v1, static_cast<std::int64_t>(v1.size()));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->start, 0);
}

TEST(GainTags, ValuesFollowTheGainChange) {
    struct Case {
        const char* text;
        int steps;
        const char* expected; // "" = not a value
    } gains[] = {
        {"+0.690000 dB", 2, "-2.320300 dB"},
        {"-3.14 dB", -2, "-0.13 dB"},
        {"-3.14 dB", 2, "-6.15 dB"},
        {"1.50 dB", 1, "-0.01 dB"},
        {"+1.51 dB", 1, "+0.00 dB"},
        {" -7 dB ", 3, "-11.52 dB"},
        {"4.2", 0, "4.20 dB"},
        {"loud", 1, ""},
        {"3 dBFS", 1, ""},
        {"", 1, ""},
    };
    for (const Case& c : gains)
        EXPECT_EQ(CorrectGainText(c.text, c.steps).value_or(""), c.expected) << c.text;

    const Case peaks[] = {{"0.168529", 4, "0.337058"},
                          {"1.000000", -4, "0.500000"},
                          {"0.5", 0, "0.500000"},
                          {"-1", 1, ""},
                          {"nan", 1, ""}};
    for (const Case& c : peaks)
        EXPECT_EQ(CorrectPeakText(c.text, c.steps).value_or(""), c.expected) << c.text;

    const Case minmax[] = {{"128,214", 3, "131,217"},
                           {"128,254", 3, "131,255"},
                           {"002,100", -5, "000,095"},
                           {"128", 1, ""},
                           {"300,1", 1, ""}};
    for (const Case& c : minmax)
        EXPECT_EQ(CorrectMinMaxText(c.text, c.steps).value_or(""), c.expected) << c.text;
}

TEST(GainTags, UndoItemsParseAndAddUp) {
    struct Case {
        const char* text;
        bool valid;
        int left, right;
        bool wrap;
    } cases[] = {
        {"-004,-004,N", true, -4, -4, false}, {"+003,+002,W", true, 3, 2, true},
        {"+000,+000,N", true, 0, 0, false},   {"-004,-004", false, 0, 0, false},
        {"x,1,N", false, 0, 0, false},        {"+003,+003,Q", false, 0, 0, false},
        {"+300,+003,N", false, 0, 0, false},
    };
    for (const Case& c : cases) {
        const auto undo = ParseGainUndo(c.text);
        ASSERT_EQ(undo.has_value(), c.valid) << c.text;
        if (undo) {
            EXPECT_EQ(undo->left, c.left);
            EXPECT_EQ(undo->right, c.right);
            EXPECT_EQ(undo->wrap, c.wrap);
            EXPECT_EQ(FormatGainUndo(*undo), c.text);
        }
    }

    ApeTag tag;
    std::vector<std::string> notes;
    CorrectApeGainItems(tag, {2, true, {}}, notes);
    EXPECT_EQ(tag.Find(kUndoKey)->value, "-002,-002,N"); // what takes the change back
    tag.Set("REPLAYGAIN_TRACK_GAIN", "-1.00 dB");
    CorrectApeGainItems(tag, {3, true, {}}, notes);
    EXPECT_EQ(tag.Find(kUndoKey)->value, "-005,-005,N");
    EXPECT_EQ(tag.Find("REPLAYGAIN_TRACK_GAIN")->value, "-5.52 dB");
    CorrectApeGainItems(tag, {-5, true, {}}, notes);
    EXPECT_EQ(tag.Find(kUndoKey), nullptr); // back where it started: nothing to undo
    EXPECT_TRUE(notes.empty());

    tag.Set(kUndoKey, "garbage");
    tag.Set("REPLAYGAIN_ALBUM_GAIN", "loud");
    CorrectApeGainItems(tag, {1, true, {}}, notes);
    EXPECT_EQ(tag.Find(kUndoKey)->value, "garbage");
    EXPECT_EQ(tag.Find("REPLAYGAIN_ALBUM_GAIN")->value, "loud");
    EXPECT_EQ(notes.size(), 2u);
}

// An ID3v2.3 tag of `size` bytes (header included) holding `frames`.
std::vector<std::uint8_t> Id3v23(const std::string& frames, std::size_t size) {
    const std::size_t body = size - 10;
    std::string tag = std::string("ID3") + char(3) + char(0) + char(0) + char(body >> 21 & 0x7F) +
                      char(body >> 14 & 0x7F) + char(body >> 7 & 0x7F) + char(body & 0x7F) + frames;
    tag.resize(size, '\0');
    return Bytes(tag);
}

std::string Frame23(const std::string& id, const std::string& content) {
    const auto n = static_cast<std::uint32_t>(content.size());
    return id + char(n >> 24) + char(n >> 16 & 0xFF) + char(n >> 8 & 0xFF) + char(n & 0xFF) +
           std::string(2, '\0') + content;
}

std::string Txxx(const std::string& description, const std::string& value) {
    return Frame23("TXXX", std::string(1, '\0') + description + '\0' + value);
}

TEST(GainTags, Id3v2ValuesAreRewrittenInsideTheTag) {
    const std::string title = Frame23("TIT2", std::string(1, '\0') + "Song");
    struct Case {
        const char* name;
        std::string frames;
        std::size_t size;
        int steps;
        std::string expected; // frames after the change
        std::size_t notes;
    } cases[] = {
        {"same length", Txxx("REPLAYGAIN_TRACK_GAIN", "-3.14 dB") + title, 200, 2,
         Txxx("REPLAYGAIN_TRACK_GAIN", "-6.15 dB") + title, 0},
        {"longer, from the padding", title + Txxx("replaygain_track_gain", "0.50 dB") + title, 200,
         8, title + Txxx("replaygain_track_gain", "-11.54 dB") + title, 0},
        {"peak and minmax",
         Txxx("REPLAYGAIN_TRACK_PEAK", "0.5") + Txxx("MP3GAIN_MINMAX", "100,200"), 200, 4,
         Txxx("REPLAYGAIN_TRACK_PEAK", "1.000000") + Txxx("MP3GAIN_MINMAX", "104,204"), 0},
        {"no room: removed", title + Txxx("REPLAYGAIN_TRACK_GAIN", "0.50 dB"),
         10 + title.size() + 40, 8, title, 1},
        {"other TXXX kept", Txxx("MOOD", "calm"), 100, 2, "", 0},
        {"unreadable value", Txxx("REPLAYGAIN_TRACK_GAIN", "loud"), 100, 2, "", 1},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> tag = Id3v23(c.frames, c.size);
        const std::vector<std::uint8_t> before = tag;
        std::vector<std::string> notes;
        const bool changed = CorrectId3v2GainFrames(tag, c.steps, notes);
        EXPECT_EQ(notes.size(), c.notes) << c.name;
        EXPECT_EQ(tag.size(), c.size) << c.name;
        if (c.expected.empty()) {
            EXPECT_FALSE(changed) << c.name;
            EXPECT_EQ(tag, before) << c.name;
        } else {
            EXPECT_TRUE(changed) << c.name;
            EXPECT_EQ(tag, Id3v23(c.expected, c.size)) << c.name;
        }
    }
}

} // namespace
