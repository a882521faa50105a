#include "UnitGainTags.h"

#include "UnitApeTag.h"
#include "UnitFileView.h"
#include "UnitIo.h"
#include "UnitMessages.h"
#include "UnitScanner.h"
#include "UnitTags.h"
#include "VelmoraError.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace velmora {

namespace {

// One global-gain step is a factor 2^(1/4): 5 log10(2) dB, as the other volume tools count it.
const double kStepDb = 5.0 * std::log10(2.0);

struct Number {
    double value = 0;
    int decimals = 0;
    bool plus = false; // written with a leading "+"
};

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\0'))
        s.remove_suffix(1);
    return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x | 0x20) == (y | 0x20);
           });
}

// A decimal number, then optionally `unit`; nothing else.
std::optional<Number> ParseNumber(std::string_view text, std::string_view unit) {
    text = Trim(text);
    Number n;
    if (!text.empty() && text.front() == '+') {
        n.plus = true;
        text.remove_prefix(1);
    }
    const auto r =
        std::from_chars(text.data(), text.data() + text.size(), n.value, std::chars_format::fixed);
    if (r.ec != std::errc() || !std::isfinite(n.value))
        return std::nullopt;
    const std::string_view number(text.data(), static_cast<std::size_t>(r.ptr - text.data()));
    if (const std::size_t dot = number.find('.'); dot != std::string_view::npos)
        n.decimals = static_cast<int>(std::min<std::size_t>(number.size() - dot - 1, 9));
    const std::string_view rest = Trim(text.substr(number.size()));
    if (!rest.empty() && !EqualsNoCase(rest, unit))
        return std::nullopt;
    return n;
}

std::string FormatNumber(double value, int decimals, bool plus) {
    char text[64];
    const auto r =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    std::string out(text, r.ptr);
    if (out.starts_with("-") && out.find_first_not_of("-0.") == std::string::npos)
        out.erase(0, 1); // no "-0.00"
    if (plus && !out.starts_with("-"))
        out.insert(0, "+");
    return out;
}

std::optional<int> ParseField(std::string_view text, int low, int high) {
    text = Trim(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    int v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size() || v < low || v > high)
        return std::nullopt;
    return v;
}

std::string ThreeDigits(int v, bool sign) {
    char text[16];
    std::snprintf(text, sizeof text, sign ? "%+04d" : "%03d", v);
    return text;
}

enum class ItemKind { Gain, Peak, MinMax };
struct GainItem {
    std::string_view key;
    ItemKind kind;
};
constexpr GainItem kGainItems[] = {
    {"REPLAYGAIN_TRACK_GAIN", ItemKind::Gain}, {"REPLAYGAIN_ALBUM_GAIN", ItemKind::Gain},
    {"REPLAYGAIN_TRACK_PEAK", ItemKind::Peak}, {"REPLAYGAIN_ALBUM_PEAK", ItemKind::Peak},
    {"MP3GAIN_MINMAX", ItemKind::MinMax},      {"MP3GAIN_ALBUM_MINMAX", ItemKind::MinMax},
};

std::optional<std::string> Correct(ItemKind kind, std::string_view text, int steps) {
    switch (kind) {
    case ItemKind::Gain:
        return CorrectGainText(text, steps);
    case ItemKind::Peak:
        return CorrectPeakText(text, steps);
    case ItemKind::MinMax:
        return CorrectMinMaxText(text, steps);
    }
    return std::nullopt;
}

std::string Quoted(std::string_view key, std::string_view value) {
    std::string shown(value.substr(0, 40));
    std::replace_if(
        shown.begin(), shown.end(), [](char c) { return c < 0x20; }, '?');
    return std::string(key) + " \"" + shown + "\"";
}

} // namespace

std::optional<GainUndo> ParseGainUndo(std::string_view text) {
    text = Trim(text);
    const std::size_t c1 = text.find(',');
    const std::size_t c2 = c1 == std::string_view::npos ? c1 : text.find(',', c1 + 1);
    if (c2 == std::string_view::npos)
        return std::nullopt;
    const auto left = ParseField(text.substr(0, c1), -255, 255);
    const auto right = ParseField(text.substr(c1 + 1, c2 - c1 - 1), -255, 255);
    const std::string_view flag = Trim(text.substr(c2 + 1));
    if (!left || !right || (flag != "N" && flag != "W"))
        return std::nullopt;
    return GainUndo{*left, *right, flag == "W"};
}

std::string FormatGainUndo(const GainUndo& undo) {
    return ThreeDigits(undo.left, true) + "," + ThreeDigits(undo.right, true) + "," +
           (undo.wrap ? "W" : "N");
}

std::optional<std::string> CorrectGainText(std::string_view text, int steps) {
    const auto n = ParseNumber(text, "dB");
    if (!n)
        return std::nullopt;
    return FormatNumber(n->value - kStepDb * steps, std::max(n->decimals, 2), n->plus) + " dB";
}

std::optional<std::string> CorrectPeakText(std::string_view text, int steps) {
    const auto n = ParseNumber(text, "");
    if (!n || n->value < 0)
        return std::nullopt;
    return FormatNumber(n->value * std::pow(2.0, steps / 4.0), std::max(n->decimals, 6), false);
}

std::optional<std::string> CorrectMinMaxText(std::string_view text, int steps) {
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos)
        return std::nullopt;
    const auto low = ParseField(text.substr(0, comma), 0, 255);
    const auto high = ParseField(text.substr(comma + 1), 0, 255);
    if (!low || !high)
        return std::nullopt;
    return ThreeDigits(std::clamp(*low + steps, 0, 255), false) + "," +
           ThreeDigits(std::clamp(*high + steps, 0, 255), false);
}

void CorrectApeGainItems(ApeTag& tag, const GainTagChange& change,
                         std::vector<std::string>& notes) {
    for (const GainItem& g : kGainItems) {
        ApeItem* item = tag.Find(g.key);
        if (item == nullptr)
            continue;
        if (const auto corrected = Correct(g.kind, item->value, change.steps))
            item->value = *corrected;
        else
            notes.push_back("APE item " + Quoted(item->key, item->value) +
                            " is not a value this program reads: left as it was");
    }
    if (!change.recordUndo || change.steps == 0)
        return;
    if (ApeItem* item = tag.Find(kUndoKey)) {
        const auto undo = ParseGainUndo(item->value);
        if (!undo) {
            notes.push_back("APE item " + Quoted(item->key, item->value) +
                            " is damaged: left as it was, so it cannot undo this change");
            return;
        }
        const GainUndo sum{undo->left - change.steps, undo->right - change.steps, undo->wrap};
        if (sum.left == 0 && sum.right == 0)
            tag.Remove(kUndoKey);
        else
            item->value = FormatGainUndo(sum);
        return;
    }
    tag.Set(kUndoKey, FormatGainUndo({-change.steps, -change.steps, false}));
}

namespace {

// The APE tag a gain `change` leaves: `tag`, the readable tag the file has, corrected, or a new
// one; std::nullopt when the file keeps the tag it has (none, or one whose items the change
// leaves as they are: its bytes stay as they stand) (`setInId3v2`: the `set` values found room
// in the ID3v2 tag).
std::optional<ApeTag> GainTagAfter(std::optional<ApeTag> tag, const GainTagChange& change,
                                   bool setInId3v2, std::vector<std::string>& notes) {
    const bool had = tag.has_value();
    if (!had) {
        if (!change.recordUndo && (change.set.empty() || setInId3v2))
            return std::nullopt;
        tag.emplace();
    }
    const std::vector<ApeItem> before = tag->items;
    CorrectApeGainItems(*tag, change, notes);
    // The measured values go where the file keeps its other tags: an APE tag it had, or the
    // ID3v2 tag; without room there, a new APE tag.
    if (had || !setInId3v2)
        for (const GainTagValue& v : change.set)
            tag->Set(v.key, v.value);
    if (had && tag->items == before)
        return std::nullopt;
    return tag;
}

} // namespace

std::int64_t GainTagGrowth(const TagLayout& tags, bool tagKept, int steps, bool recordUndo) {
    if (steps == 0)
        return 0;
    const bool hasTag = tagKept && tags.apeSize > 0;
    // As KeepGainTagsTrue: a damaged tag is left alone.
    if (hasTag && !tags.apeItems)
        return 0;
    std::optional<ApeTag> tag;
    if (hasTag)
        tag.emplace().items = *tags.apeItems;
    std::vector<std::string> notes;
    tag = GainTagAfter(std::move(tag), {steps, recordUndo, {}}, false, notes);
    if (!tag)
        return 0;
    return static_cast<std::int64_t>(RenderApeTag(tag->items).size()) - (hasTag ? tags.apeSize : 0);
}

std::optional<GainUndo> ReadGainUndo(std::span<const std::uint8_t> file) {
    const TrailingTags tags = DetectTrailingTags(file);
    if (!tags.ape)
        return std::nullopt;
    const auto tag = ParseApeTag(file, tags.ape.offset + tags.ape.size);
    if (!tag)
        throw VelmoraError("The APE tag is damaged: no undo information can be read");
    const ApeItem* item = tag->Find(kUndoKey);
    if (item == nullptr)
        return std::nullopt;
    const auto undo = ParseGainUndo(item->value);
    if (!undo)
        throw VelmoraError("The undo information " + Quoted(item->key, item->value) +
                           " is damaged: nothing was changed");
    return undo;
}

std::vector<GainTagValue> ReplayGainTrackValues(double loudnessLufs, double truePeakDbtp,
                                                int steps) {
    constexpr double kReferenceLufs = -18.0;
    const double change = steps * kStepDb;
    return {{"REPLAYGAIN_TRACK_GAIN",
             FormatNumber(kReferenceLufs - (loudnessLufs + change), 2, true) + " dB"},
            {"REPLAYGAIN_TRACK_PEAK",
             FormatNumber(std::pow(10.0, (truePeakDbtp + change) / 20.0), 6, false)}};
}

GainTagOutcome KeepGainTagsTrue(const std::string& path, std::int64_t id3v2Start,
                                std::int64_t id3v2Size, const GainTagChange& change,
                                const FileIdentity* keepTimes) {
    GainTagOutcome outcome;
    FileView view = OpenFileView(path, FileAccess::ReadWrite, MessageTable::English());
    outcome.size = view.size();
    if (change.steps == 0 && change.set.empty())
        return outcome;
    bool setInId3v2 = false;
    if (id3v2Size > 0 && id3v2Start >= 0 && id3v2Start + id3v2Size <= view.size()) {
        const auto tag = view.writableBytes().subspan(static_cast<std::size_t>(id3v2Start),
                                                      static_cast<std::size_t>(id3v2Size));
        outcome.changed =
            CorrectId3v2GainFrames(tag, change.steps, outcome.notes, change.set, &setInId3v2);
    }

    const std::span<const std::uint8_t> bytes = view.bytes();
    const TrailingTags tags = DetectTrailingTags(bytes);
    std::optional<ApeTag> ape;
    std::int64_t start = view.size() - tags.id3v1Size; // a new tag goes before ID3v1
    std::int64_t end = start;
    if (tags.ape) {
        ape = ParseApeTag(bytes, tags.ape.offset + tags.ape.size);
        if (!ape) {
            outcome.notes.push_back("The APE tag is damaged: its gain items were left as they "
                                    "were and no undo information was written");
            return outcome;
        }
        start = ape->start;
        end = ape->end;
    }
    ape = GainTagAfter(std::move(ape), change, setInId3v2, outcome.notes);
    if (!ape)
        return outcome;

    std::vector<std::uint8_t> tail = RenderApeTag(ape->items);
    tail.insert(tail.end(), bytes.begin() + end, bytes.end());
    if (view.Shrunk())
        throw VelmoraError(std::string(std::strerror(EIO)) + " - \"" + path + "\"");
    view.Flush();
    view.Unmap();
    const std::int64_t newSize = start + static_cast<std::int64_t>(tail.size());
    // Growing reserves the room first, so a full disk fails before the tail moves.
    auto fail = [&path](int error) {
        return VelmoraError(std::string(std::strerror(error)) + " - \"" + path + "\"");
    };
    if (newSize > outcome.size) {
        if (const int error = ::posix_fallocate(view.fd(), outcome.size, newSize - outcome.size);
            error != 0 && error != EOPNOTSUPP && error != EINVAL) {
            IgnoreFailure(::ftruncate(view.fd(), outcome.size));
            throw fail(error);
        }
    }
    if (const IoResult w =
            PwriteFully(view.fd(), tail.data(), static_cast<std::int64_t>(tail.size()), start);
        w.error != 0)
        throw fail(w.error);
    if (::ftruncate(view.fd(), newSize) != 0)
        throw fail(errno);
    if (keepTimes != nullptr && !PutTimesBack(view.fd(), *keepTimes))
        throw fail(errno);
    outcome.size = newSize;
    outcome.changed = true;
    return outcome;
}

} // namespace velmora
