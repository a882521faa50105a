// The ReplayGain TXXX frames of an ID3v2 tag, corrected where the tag stands.
#include "UnitGainTags.h"

#include <algorithm>
#include <cstring>

namespace velmora {

namespace {

// The 10-byte tag header.
constexpr std::size_t kTagHeaderSize = 10;
constexpr std::size_t kVersionOffset = 3; // 2, 3 or 4
constexpr std::size_t kFlagsOffset = 5;
constexpr std::uint8_t kUnsynchronised = 0x80, kExtendedHeader = 0x40, kFooter = 0x10;

std::uint32_t SyncSafe(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0] & 0x7F) << 21 |
           static_cast<std::uint32_t>(p[1] & 0x7F) << 14 |
           static_cast<std::uint32_t>(p[2] & 0x7F) << 7 | (p[3] & 0x7F);
}
std::uint32_t BigEndian(const std::uint8_t* p, int n) {
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i)
        v = v << 8 | p[i];
    return v;
}

struct Frame {
    std::size_t at = 0;   // where the frame starts in the tag
    std::size_t size = 0; // header included
    std::vector<std::uint8_t> bytes;
    bool gain = false; // a ReplayGain value that was rewritten or is to go
};

// The frames layout of one version.
struct Version {
    int major = 3;
    std::size_t headerSize() const { return major == 2 ? 6 : 10; }
    std::size_t idSize() const { return major == 2 ? 3 : 4; }
    std::uint32_t FrameSize(const std::uint8_t* h) const {
        if (major == 2)
            return BigEndian(h + 3, 3);
        return major == 4 ? SyncSafe(h + 4) : BigEndian(h + 4, 4);
    }
    void PutFrameSize(std::uint8_t* h, std::uint32_t size) const {
        if (major == 2) {
            h[3] = static_cast<std::uint8_t>(size >> 16);
            h[4] = static_cast<std::uint8_t>(size >> 8);
            h[5] = static_cast<std::uint8_t>(size);
        } else {
            for (int i = 0; i < 4; ++i)
                h[4 + i] = static_cast<std::uint8_t>(major == 4 ? (size >> (7 * (3 - i))) & 0x7F
                                                                : size >> (8 * (3 - i)));
        }
    }
    // Compressed, encrypted or unsynchronised frames are carried as they are.
    bool Plain(const std::uint8_t* h) const {
        if (major == 2)
            return true;
        const std::uint8_t format = h[9];
        return major == 4 ? (format & 0x0F) == 0 : (format & 0xC0) == 0;
    }
    bool IsUserText(const std::uint8_t* h) const {
        return std::memcmp(h, major == 2 ? "TXX" : "TXXX", idSize()) == 0;
    }
};

// The description and value of a user text frame, as ASCII where they are ASCII.
struct UserText {
    std::uint8_t encoding = 0;
    std::string description;
    std::string value;
};

std::optional<UserText> ReadUserText(std::span<const std::uint8_t> body) {
    if (body.empty() || body[0] > 3)
        return std::nullopt;
    UserText t;
    t.encoding = body[0];
    const bool wide = t.encoding == 1 || t.encoding == 2;
    std::size_t i = 1;
    bool bigEndian = t.encoding == 2;
    auto readString = [&](std::string& out) {
        if (!wide) {
            while (i < body.size() && body[i] != 0)
                out.push_back(static_cast<char>(body[i++]));
            ++i;
            return;
        }
        if (i + 1 < body.size() && ((body[i] == 0xFF && body[i + 1] == 0xFE) ||
                                    (body[i] == 0xFE && body[i + 1] == 0xFF))) {
            bigEndian = body[i] == 0xFE;
            i += 2;
        }
        for (; i + 1 < body.size(); i += 2) {
            const unsigned unit =
                bigEndian ? body[i] << 8 | body[i + 1] : body[i + 1] << 8 | body[i];
            if (unit == 0) {
                i += 2;
                return;
            }
            out.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
        }
    };
    readString(t.description);
    readString(t.value);
    return t;
}

std::vector<std::uint8_t> UserTextBody(const UserText& t) {
    std::vector<std::uint8_t> body{t.encoding};
    auto put = [&](const std::string& s) {
        if (t.encoding == 0 || t.encoding == 3) {
            body.insert(body.end(), s.begin(), s.end());
            body.push_back(0);
            return;
        }
        if (t.encoding == 1) {
            body.push_back(0xFF);
            body.push_back(0xFE);
        }
        for (const char c : s) {
            body.push_back(t.encoding == 2 ? 0 : static_cast<std::uint8_t>(c));
            body.push_back(t.encoding == 2 ? static_cast<std::uint8_t>(c) : 0);
        }
        body.push_back(0);
        body.push_back(0);
    };
    put(t.description);
    put(t.value);
    if (t.encoding == 0 || t.encoding == 3)
        body.pop_back(); // the value needs no terminator
    else
        body.resize(body.size() - 2);
    return body;
}

std::string Upper(std::string key) {
    std::transform(key.begin(), key.end(), key.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; });
    return key;
}

std::optional<std::string> CorrectValue(const std::string& description, const std::string& value,
                                        int steps, bool& known) {
    const std::string key = Upper(description);
    known = true;
    if (key == "REPLAYGAIN_TRACK_GAIN" || key == "REPLAYGAIN_ALBUM_GAIN")
        return CorrectGainText(value, steps);
    if (key == "REPLAYGAIN_TRACK_PEAK" || key == "REPLAYGAIN_ALBUM_PEAK")
        return CorrectPeakText(value, steps);
    if (key == "MP3GAIN_MINMAX" || key == "MP3GAIN_ALBUM_MINMAX")
        return CorrectMinMaxText(value, steps);
    known = false;
    return std::nullopt;
}

} // namespace

bool CorrectId3v2GainFrames(std::span<std::uint8_t> tag, int steps, std::vector<std::string>& notes,
                            const std::vector<GainTagValue>& set, bool* placed) {
    if (placed != nullptr)
        *placed = false;
    if (tag.size() < kTagHeaderSize || std::memcmp(tag.data(), "ID3", 3) != 0 ||
        (steps == 0 && set.empty()))
        return false;
    const Version version{tag[kVersionOffset]};
    if (version.major < 2 || version.major > 4)
        return false;
    const std::uint8_t flags = tag[kFlagsOffset];
    if ((flags & kUnsynchronised) != 0 || (version.major == 2 && (flags & kExtendedHeader) != 0)) {
        notes.push_back("The ID3v2 tag is unsynchronised: its ReplayGain values were left as "
                        "they were");
        return false;
    }
    std::size_t start = kTagHeaderSize;
    if ((flags & kExtendedHeader) != 0 && tag.size() >= start + 4) {
        const std::uint32_t ext = version.major == 4 ? SyncSafe(tag.data() + start)
                                                     : BigEndian(tag.data() + start, 4) + 4;
        start += ext;
    }
    const std::size_t end = std::min(tag.size(), kTagHeaderSize + SyncSafe(tag.data() + 6)) -
                            ((flags & kFooter) != 0 && version.major == 4 ? kTagHeaderSize : 0);
    if (start > end)
        return false;

    std::vector<Frame> frames;
    std::vector<bool> setDone(set.size(), false);
    bool touched = false;
    std::size_t at = start;
    while (at + version.headerSize() <= end && tag[at] != 0) {
        const std::uint8_t* h = tag.data() + at;
        const std::size_t size = version.headerSize() + version.FrameSize(h);
        if (size > end - at)
            break; // a damaged frame ends the list, as readers see it
        Frame f{at, size, {h, h + size}, false};
        if (version.IsUserText(h) && version.Plain(h)) {
            if (auto text = ReadUserText({h + version.headerSize(), size - version.headerSize()})) {
                bool known = false;
                auto corrected = CorrectValue(text->description, text->value, steps, known);
                for (std::size_t k = 0; k < set.size(); ++k)
                    if (Upper(text->description) == set[k].key) {
                        corrected = set[k].value;
                        known = true;
                        setDone[k] = true;
                    }
                if (known && corrected) {
                    text->value = *corrected;
                    const std::vector<std::uint8_t> body = UserTextBody(*text);
                    f.bytes.resize(version.headerSize());
                    f.bytes.insert(f.bytes.end(), body.begin(), body.end());
                    version.PutFrameSize(f.bytes.data(), static_cast<std::uint32_t>(body.size()));
                    f.gain = true;
                    touched = true;
                } else if (known) {
                    notes.push_back("ID3v2 TXXX " + text->description + " \"" +
                                    text->value.substr(0, 40) +
                                    "\" is not a value this program reads: left as it was");
                }
            }
        }
        frames.push_back(std::move(f));
        at += size;
    }
    std::vector<Frame> added;
    for (std::size_t k = 0; k < set.size(); ++k) {
        if (setDone[k])
            continue;
        const std::vector<std::uint8_t> body = UserTextBody({0, set[k].key, set[k].value});
        Frame f{0, 0, std::vector<std::uint8_t>(version.headerSize(), 0), true};
        std::memcpy(f.bytes.data(), version.major == 2 ? "TXX" : "TXXX", version.idSize());
        version.PutFrameSize(f.bytes.data(), static_cast<std::uint32_t>(body.size()));
        f.bytes.insert(f.bytes.end(), body.begin(), body.end());
        added.push_back(std::move(f));
    }
    if (!touched && added.empty())
        return false;
    // Bytes after the frames that are not padding cannot be moved safely.
    if (!std::all_of(tag.begin() + static_cast<std::ptrdiff_t>(at),
                     tag.begin() + static_cast<std::ptrdiff_t>(end),
                     [](std::uint8_t b) { return b == 0; })) {
        notes.push_back("The ID3v2 tag is damaged after its frames: its ReplayGain values were "
                        "left as they were");
        return false;
    }

    std::size_t total = 0;
    for (const Frame& f : frames)
        total += f.bytes.size();
    std::size_t addedTotal = 0;
    for (const Frame& f : added)
        addedTotal += f.bytes.size();
    const bool allFit = total + addedTotal <= end - start;
    if (allFit)
        frames.insert(frames.end(), added.begin(), added.end());
    if (placed != nullptr)
        *placed = allFit;
    const bool fits = total <= end - start;
    if (!fits) {
        notes.push_back("The ID3v2 tag has no room for the corrected ReplayGain values: they "
                        "were removed");
        std::erase_if(frames, [](const Frame& f) { return f.gain; });
    }
    std::vector<std::uint8_t> area;
    area.reserve(end - start);
    for (const Frame& f : frames)
        area.insert(area.end(), f.bytes.begin(), f.bytes.end());
    area.resize(end - start, 0); // the rest is padding
    std::copy(area.begin(), area.end(), tag.begin() + static_cast<std::ptrdiff_t>(start));
    return true;
}

} // namespace velmora
