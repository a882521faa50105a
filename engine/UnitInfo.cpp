#include "UnitInfo.h"

#include "UnitExactCut.h"

#include "UnitMessages.h"
#include "UnitOutputPlan.h"
#include "UnitScanner.h"
#include "UnitTags.h"
#include "UnitTextEncoding.h"

namespace velmora {

namespace {

std::string Message(const MessageTable& messages, int index) {
    const auto& strings = messages.MessageStrings;
    if (index >= 0 && static_cast<std::size_t>(index) < strings.size())
        return strings[static_cast<std::size_t>(index)];
    return MessageTable::English().MessageStrings[static_cast<std::size_t>(index)];
}

struct BitGroup {
    std::uint32_t bits;
    const char* text;
};

// The header bits whose changes the "Errors" page lists, in its order.
constexpr BitGroup kInconsistencies[] = {
    {0x03000000, "Emphasis setting"}, {0x04000000, "Original music"},
    {0x08000000, "Copyright bit"},    {0xC0000000, "Channel Mode"},
    {0x00010000, "Private bit"},      {0x00000100, "CRC protection"},
    {0x00000600, "MPEG layer"},       {0x000C0000, "Sampling freq."},
};

} // namespace

double AverageBitrateKbps(const StreamInfo& info) {
    const std::int64_t ms = FramesToMilliseconds(info.firstHeader, info.frameCount);
    return ms > 0 ? static_cast<double>(info.sourceSize) * 8.0 / static_cast<double>(ms) : 0.0;
}

std::string AverageBitrateText(const StreamInfo& info, std::string_view decimalSeparator) {
    return FormatOneDecimal(AverageBitrateKbps(info), decimalSeparator) + " Kbps";
}

namespace {

// The ID3v1 and ID3v2 pages.
void SetTagPages(InformationTexts& t, const StreamInfo& info, const MessageTable& messages) {
    if (info.id3v1Size > 0) {
        const Id3v1Tag tag = Id3v1Tag::FromBytes(info.id3v1Bytes);
        // The record's texts are ISO-8859-1; every text shown is UTF-8.
        t.id3v1 = {true,
                   Latin1ToUtf8(tag.Title()),
                   Latin1ToUtf8(tag.Artist()),
                   Latin1ToUtf8(tag.Album()),
                   Latin1ToUtf8(tag.Year()),
                   Latin1ToUtf8(tag.Comment()),
                   std::string(GenreName(tag.Genre()))};
    } else {
        t.id3v1.title = Message(messages, kMsgNoTagFound);
    }
    if (info.id3v2.tagSize > 0) {
        const TID3v2& tag = info.id3v2;
        t.id3v2 = {true,
                   StripBlanksAndControls(tag.title),
                   StripBlanksAndControls(tag.artist),
                   StripBlanksAndControls(tag.album),
                   StripBlanksAndControls(tag.year),
                   StripBlanksAndControls(tag.comment),
                   StripBlanksAndControls(tag.genre)};
    } else {
        t.id3v2.title = Message(messages, kMsgNoTagFound);
    }
}

} // namespace

std::vector<std::string> InconsistentHeaderFields(const StreamInfo& info) {
    std::vector<std::string> fields;
    for (const BitGroup& group : kInconsistencies)
        if ((info.ConstantBitsMask & group.bits) != group.bits)
            fields.emplace_back(group.text);
    return fields;
}

InformationTexts BuildInformationTexts(const StreamInfo& info, TagsKept tagsKept,
                                       const MessageTable& messages,
                                       std::string_view decimalSeparator) {
    InformationTexts t;
    const MpegHeader& h = info.firstHeader;
    const std::string yes = Message(messages, kMsgYes);
    const std::string no = Message(messages, kMsgNo);
    auto yesNo = [&](bool v) { return v ? yes : no; };

    t.EditType = std::string("MPEG ") + VersionText(h.versionId) + " layer " +
                 LayerText(h.layerId) + " " + std::to_string(h.sampleRate) + "Hz";
    if (info.mp3Pro)
        t.EditType += " or mp3PRO " + std::to_string(2 * std::int64_t{h.sampleRate}) + "Hz";
    t.EditType += std::string(" - ") + ChannelModeText(h.channelMode);

    // What a player plays: the encoder's delay and padding, an exact cut's warm-up, left out.
    t.durationSeconds = PlayedSeconds(info);
    t.EditLength = FormatSecondsLength(t.durationSeconds);

    const bool v1 = tagsKept == TagsKept::Yes && info.id3v1Size > 0;
    const bool v2 = tagsKept == TagsKept::Yes && info.id3v2.tagSize > 0;
    t.EditID3 = v1 && v2 ? "1&2" : v1 ? "v1" : v2 ? "v2" : no;

    t.EditCRC = info.badCrcCount > 0 ? Message(messages, kMsgBad) : yesNo(h.hasCrc);

    const std::string average = AverageBitrateText(info, decimalSeparator);
    t.EditBitrate = info.IsVbr() ? "VBR" : "CBR";
    if (info.extraInfoPresent)
        t.EditBitrate += "+";
    if (info.IsVbr())
        t.EditBitrate += " (" + average + " average)";
    else
        t.EditBitrate += " " + std::to_string(h.bitrateKbps) + "Kbps";

    t.EditEnding = info.abruptEnding ? "abrupt" : "natural";
    t.EditEndingColor = info.abruptEnding ? kEndingColorAbrupt : kEndingColorNatural;

    t.LabelNumberMissingFH = std::to_string(info.missingHeaderCount);
    t.LabelLastFrameIncomplete = yesNo(info.lastFrameIncomplete);
    t.LabelFirstFrameMissing = yesNo(info.leadingGarbage);
    t.LabelNumberFH = std::to_string(info.frameCount);
    t.LabelWAVembedded = yesNo(info.riffHeaderSize > 0);
    t.LabelFirstFrameInvalid = yesNo(info.retried);
    t.LabelNumberAverageBitrate = average;

    t.ListBoxInconsistent = InconsistentHeaderFields(info);
    if (t.ListBoxInconsistent.empty())
        t.ListBoxInconsistent.push_back(Message(messages, kMsgNone));

    // The tag pages show what the file holds, whatever the Ctrl+T toggle says.
    SetTagPages(t, info, messages);

    if (info.missingHeaderCount == 0)
        t.ListBoxMissingFH.push_back(Message(messages, kMsgNone));
    const std::int64_t listed = std::min<std::int64_t>(
        info.missingHeaderCount, static_cast<std::int64_t>(info.MissingHeaderList.size()));
    for (std::int64_t i = 0; i < std::min<std::int64_t>(listed, 10); ++i)
        t.ListBoxMissingFH.push_back(
            FormatClock(h, info.MissingHeaderList[static_cast<std::size_t>(i)]));
    if (info.missingHeaderCount >= 10)
        t.ListBoxMissingFH.emplace_back("...");

    for (const Chapter& chapter : info.id3v2.ChaptersInOrder())
        t.ListViewChapters.push_back(
            {chapter.title, FormatChapterTime(chapter.startMs), FormatChapterTime(chapter.endMs)});
    t.ListBoxTagNotes = info.id3v2.notes;
    return t;
}

} // namespace velmora
