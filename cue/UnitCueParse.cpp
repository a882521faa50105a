#include "UnitCueParse.h"

#include "UnitDescriptor.h"
#include "UnitIo.h"

#include "UnitUtf8.h"
#include "VelmoraError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

bool IsBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlankOrControl(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlankOrControl(s.back()))
        s.remove_suffix(1);
    return s;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Characters `first` (1-based) … up to, not including, the last one: the text between quotes.
// The text is UTF-8, so neither end may cut a character.
std::string QuotedValue(std::string_view line, std::size_t first) {
    if (line.size() <= first)
        return {};
    std::size_t begin = first - 1;
    std::size_t end = line.size() - 1;
    while (end > begin && IsContinuationByte(line[end]))
        --end;
    while (begin < end && IsContinuationByte(line[begin]))
        ++begin;
    return std::string(line.substr(begin, end - begin));
}

// Like the 1-based Copy of a text: fewer characters near the end, none beyond it.
std::string_view Field(std::string_view line, std::size_t index, std::size_t count) {
    if (index >= line.size())
        return {};
    return line.substr(index, count);
}

std::int64_t FieldValue(std::string_view field) {
    bool ok = !field.empty() && field.size() <= 9;
    std::int64_t value = 0;
    for (std::size_t i = 0; ok && i < field.size(); ++i) {
        ok = IsDigit(field[i]);
        value = value * 10 + (field[i] - '0');
    }
    if (!ok) {
        std::string shown;
        for (char c : field.substr(0, 32))
            shown += (static_cast<unsigned char>(c) < ' ' || c == 0x7F) ? '?' : c;
        throw VelmoraError("'" + shown + "' is not a valid integer value");
    }
    return value;
}

std::string TwoDigits(int n) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", n);
    return text;
}

// The start of an "INDEX 01 mm:ss:hh" line in milliseconds. Minutes of more than two digits
// (sheets of recordings of 100 minutes or more) shift the later fields.
std::int64_t IndexMilliseconds(std::string_view line) {
    std::size_t minutesEnd = 11;
    if (line.size() > 11 && IsDigit(line[11])) {
        minutesEnd = 9;
        while (minutesEnd < line.size() && IsDigit(line[minutesEnd]))
            ++minutesEnd;
    }
    const std::int64_t minutes = FieldValue(Field(line, 9, minutesEnd - 9));
    const std::int64_t seconds = FieldValue(Field(line, minutesEnd + 1, 2));
    const std::int64_t hundredths = FieldValue(Field(line, minutesEnd + 4, 2));
    return minutes * 60000 + seconds * 1000 + hundredths * 10;
}

} // namespace

CueTrackTable ParseCueSheetText(std::string_view sheet, const CueParseContext& context) {
    const std::string utf8 = CueSheetTextToUtf8(sheet);
    const std::string_view text = utf8;
    CueTrackTable table;
    std::string trackPerformer;
    std::string trackTitle;
    bool fileSeen = false;

    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = Trim(text.substr(pos, end - pos));
        pos = end + 1;

        const int count = static_cast<int>(table.tracks.size());
        if (line.size() == 14 && line.substr(0, 6) == "TRACK " && line.substr(8) == " AUDIO") {
            if (line.substr(6, 2) != TwoDigits(count + 1))
                throw VelmoraError("invalid CUE file");
        } else if (StartsWith(line, "TITLE ")) {
            (fileSeen ? trackTitle : table.CueAlbumTitle) = QuotedValue(line, 8);
        } else if (StartsWith(line, "PERFORMER ")) {
            if (!fileSeen) {
                table.CueAlbumPerformer = QuotedValue(line, 12);
            } else {
                if (!trackPerformer.empty())
                    throw VelmoraError("CUE PERFORMER found after INDEX");
                trackPerformer = QuotedValue(line, 12);
            }
        } else if (StartsWith(line, "INDEX 01 ")) {
            if (count >= kMaxCueTracks)
                throw VelmoraError("invalid CUE file");
            const std::int64_t ms = IndexMilliseconds(line);
            const std::int64_t start = MillisecondsToFrames(context.header, ms);
            const std::int64_t sample = (ms * context.header.sampleRate + 500) / 1000;
            if (count > 0 && table.tracks.back().startFrame >= start)
                throw VelmoraError("invalid CUE file - bad index order");
            // A track must hold at least one frame: an index at the very end has none.
            if (start >= context.totalFrames)
                throw VelmoraError("invalid CUE file - index out of range");
            std::string name = TwoDigits(count + 1) + " ";
            if (!trackPerformer.empty())
                name += trackPerformer + " - ";
            name += trackTitle;
            name = std::string(Trim(name)) + (context.outputIsWav ? ".wav" : ".mp3");
            table.tracks.push_back({FitFileNameLength(SanitizeFileName(std::move(name))), start,
                                    trackTitle, sample, trackPerformer});
            trackPerformer.clear();
            trackTitle.clear();
        } else if (StartsWith(line, "FILE ")) {
            fileSeen = true;
        }
    }
    return table;
}

CueTrackTable ParseCueSheet(const std::string& path, const CueParseContext& context) {
    const auto fail = [&path](const std::string& what) {
        throw VelmoraError(std::string(std::strerror(errno)) + " - " + what + " \"" + path + "\"");
    };
    const Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        fail("Could not open");
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        fail("Could not read");
    if (!S_ISREG(st.st_mode)) {
        errno = EISDIR;
        fail("Could not read");
    }
    if (st.st_size > kMaxCueSheetBytes)
        throw VelmoraError("invalid CUE file - more than 16 MiB: \"" + path + "\"");
    std::string text(static_cast<std::size_t>(st.st_size), '\0');
    const IoResult r = ReadFully(fd.get(), text.data(), st.st_size);
    if (r.error != 0) {
        errno = r.error;
        fail("Could not read");
    }
    text.resize(static_cast<std::size_t>(r.bytes));
    return ParseCueSheetText(text, context);
}

std::string SanitizeFileName(std::string name) {
    std::string out;
    out.reserve(name.size() + 8);
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (i + 1 == name.size()) {
            out += c;
            continue;
        }
        switch (c) {
        case '"':
            out += "''";
            break;
        case '*':
            out += 'x';
            break;
        case '/':
        case '\\':
            out += '-';
            break;
        case ':':
        case '?':
        case '|':
            out += ' ';
            break;
        case '<':
            out += '[';
            break;
        case '>':
            out += ']';
            break;
        default:
            // Control characters (a NUL would cut the name short) become blanks as well.
            out += (static_cast<unsigned char>(c) < ' ' || c == 0x7F) ? ' ' : c;
        }
    }
    return out;
}

std::string FitFileNameLength(const std::string& name) {
    if (name.size() <= kNameMax)
        return name;
    std::string extension;
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && name.size() - dot <= 16)
        extension = name.substr(dot);
    std::size_t keep = kNameMax - extension.size();
    // Back up over UTF-8 continuation bytes so that no character is split.
    while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80)
        --keep;
    return name.substr(0, keep) + extension;
}

std::string ChangeFileExt(const std::string& path, const std::string& extension) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path + extension;
    return path.substr(0, dot) + extension;
}

} // namespace velmora
