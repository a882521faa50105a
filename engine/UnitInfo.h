#pragma once

#include "UnitTags.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// The colour of EditEnding's text, as 0xRRGGBB.
inline constexpr std::uint32_t kEndingColorNatural = 0x000000; // black
inline constexpr std::uint32_t kEndingColorAbrupt = 0xFF0000;  // red

struct MessageTable;
struct StreamInfo;

// The six text boxes of one tag page.
struct TagPageTexts {
    bool enabled = false;
    std::string title, artist, album, year, comment, genre;
};

// Every text of the "Information" box and of the advanced information pages.
struct InformationTexts {
    // GroupBoxInfo
    std::string EditType;                                // MPEG 1 layer III 44100Hz - joint-stereo
    std::string EditLength;                              // 3:07
    std::string EditID3;                                 // no, v1, v2, 1&2
    std::string EditCRC;                                 // yes, no, bad
    std::string EditBitrate;                             // CBR 128Kbps, VBR+ (131.4 Kbps average)
    std::string EditEnding;                              // natural, abrupt
    std::uint32_t EditEndingColor = kEndingColorNatural; // 0xRRGGBB, as QColor(QRgb) takes it
    std::int64_t durationSeconds = 0;

    // Page "Frames"
    std::string LabelNumberMissingFH;
    std::string LabelLastFrameIncomplete;
    std::string LabelFirstFrameMissing;
    std::string LabelNumberFH;
    std::string LabelWAVembedded;
    std::string LabelFirstFrameInvalid;
    std::string LabelNumberAverageBitrate; // 131.4 Kbps
    // Page "Errors"
    std::vector<std::string> ListBoxInconsistent;
    // Pages "ID3v1" and "ID3v2"
    TagPageTexts id3v1;
    TagPageTexts id3v2;
    // Page "Missing FHs"
    std::vector<std::string> ListBoxMissingFH;
    // Page "Chapters": the ID3v2 chapters by start time, and what the tag reader left out
    struct ChapterRow {
        std::string title, start, end;
    };
    std::vector<ChapterRow> ListViewChapters;
    std::vector<std::string> ListBoxTagNotes;
};

// The texts for the analysed file. tagsKept: the Ctrl+T toggle. decimalSeparator: the user's
// locale's, for the average bitrate.
InformationTexts BuildInformationTexts(const StreamInfo& info, TagsKept tagsKept,
                                       const MessageTable& messages,
                                       std::string_view decimalSeparator = ".");

// The header fields that change between frames, as the "Errors" page names them; empty when
// none do.
std::vector<std::string> InconsistentHeaderFields(const StreamInfo& info);

// The average bitrate in kbit/s over the whole file (0 for no length), and as the "Frames"
// page shows it.
double AverageBitrateKbps(const StreamInfo& info);
std::string AverageBitrateText(const StreamInfo& info, std::string_view decimalSeparator);

} // namespace velmora
