#include "UnitTextEncoding.h"

namespace velmora {

namespace {

constexpr char32_t kReplacementNone = 0xFFFFFFFF;

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The code point at `pos` and the bytes it takes, or kReplacementNone when no well-formed
// sequence starts there.
char32_t NextUtf8(std::string_view s, std::size_t pos, std::size_t& length) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char b = byte(pos);
    length = 1;
    if (b < 0x80)
        return b;
    int extra = 0;
    char32_t c = 0, min = 0;
    if ((b & 0xE0) == 0xC0) {
        extra = 1, c = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        extra = 2, c = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        extra = 3, c = b & 0x07, min = 0x10000;
    } else {
        return kReplacementNone;
    }
    if (pos + extra >= s.size())
        return kReplacementNone;
    for (int k = 1; k <= extra; ++k) {
        const unsigned char next = byte(pos + k);
        if ((next & 0xC0) != 0x80)
            return kReplacementNone;
        c = c << 6 | (next & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return kReplacementNone;
    length = static_cast<std::size_t>(extra) + 1;
    return c;
}

// UTF-16 code units to UTF-8; false on a lone surrogate.
bool Utf16ToUtf8(std::span<const std::uint8_t> bytes, bool bigEndian, std::string& out) {
    const auto unit = [&](std::size_t i) -> char32_t {
        return bigEndian ? (bytes[i] << 8 | bytes[i + 1]) : (bytes[i + 1] << 8 | bytes[i]);
    };
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char32_t c = unit(i);
        if (c >= 0xDC00 && c <= 0xDFFF)
            return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 3 >= bytes.size())
                return false;
            const char32_t low = unit(i + 2);
            if (low < 0xDC00 || low > 0xDFFF)
                return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        AppendUtf8(out, c);
    }
    return true;
}

bool Wide(std::uint8_t encoding) {
    return encoding == kEncodingUtf16 || encoding == kEncodingUtf16BE;
}

// One string (no terminator) of `encoding` as UTF-8. `bigEndian` carries the byte order of a
// UTF-16 string without its own mark from the string before it.
bool DecodeOne(std::uint8_t encoding, std::span<const std::uint8_t> s,
               std::optional<bool>& bigEndian, std::string& out, std::string& problem) {
    switch (encoding) {
    case kEncodingLatin1:
        out += Latin1ToUtf8({reinterpret_cast<const char*>(s.data()), s.size()});
        return true;
    case kEncodingUtf8: {
        std::string_view text(reinterpret_cast<const char*>(s.data()), s.size());
        if (text.starts_with("\xEF\xBB\xBF"))
            text.remove_prefix(3);
        if (!IsUtf8(text)) {
            problem = "invalid UTF-8";
            return false;
        }
        out += text;
        return true;
    }
    case kEncodingUtf16:
    case kEncodingUtf16BE:
        if (s.size() % 2 != 0) {
            problem = "odd-length UTF-16";
            return false;
        }
        if (s.size() >= 2 && ((s[0] == 0xFF && s[1] == 0xFE) || (s[0] == 0xFE && s[1] == 0xFF))) {
            bigEndian = s[0] == 0xFE;
            s = s.subspan(2);
        } else if (encoding == kEncodingUtf16BE) {
            bigEndian = true;
        } else if (!bigEndian && !s.empty()) {
            problem = "UTF-16 without a byte-order mark";
            return false;
        }
        if (!Utf16ToUtf8(s, bigEndian.value_or(true), out)) {
            problem = "a lone UTF-16 surrogate";
            return false;
        }
        return true;
    default:
        problem = "unknown text encoding " + std::to_string(encoding);
        return false;
    }
}

// The nearest ASCII letter of U+0100 … U+017F ('?' where two letters are needed).
constexpr std::string_view kLatinExtendedA = "AaAaAaCcCcCcCcDd"
                                             "DdEeEeEeEeEeGgGg"
                                             "GgGgHhHhIiIiIiIi"
                                             "Ii??JjKkkLlLlLlL"
                                             "lLlNnNnNnnNnOoOo"
                                             "Oo??RrRrRrSsSsSs"
                                             "SsTtTtTtUuUuUuUu"
                                             "UuUuWwYyYZzZzZzs";

std::string_view NearestAscii(char32_t c) {
    switch (c) {
    case 0x132:
        return "IJ";
    case 0x133:
        return "ij";
    case 0x152:
        return "OE";
    case 0x153:
        return "oe";
    case 0x2018:
    case 0x2019:
    case 0x201A:
        return "'";
    case 0x201C:
    case 0x201D:
    case 0x201E:
        return "\"";
    case 0x2010:
    case 0x2013:
    case 0x2014:
        return "-";
    case 0x2026:
        return "...";
    default:
        break;
    }
    if (c >= 0x100 && c < 0x180)
        return kLatinExtendedA.substr(c - 0x100, 1);
    return "?";
}

} // namespace

std::string Latin1ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text)
        AppendUtf8(out, static_cast<unsigned char>(c));
    return out;
}

bool IsUtf8(std::string_view text) {
    for (std::size_t pos = 0, length = 0; pos < text.size(); pos += length)
        if (NextUtf8(text, pos, length) == kReplacementNone)
            return false;
    return true;
}

std::size_t Id3StringEnd(std::uint8_t encoding, std::span<const std::uint8_t> bytes,
                         std::size_t& next) {
    const std::size_t step = Wide(encoding) ? 2 : 1;
    for (std::size_t i = 0; i + step <= bytes.size(); i += step) {
        if (bytes[i] == 0 && (step == 1 || bytes[i + 1] == 0)) {
            next = i + step;
            return i;
        }
    }
    next = bytes.size();
    return bytes.size();
}

std::optional<std::string> DecodeId3Strings(std::uint8_t encoding,
                                            std::span<const std::uint8_t> bytes,
                                            std::string& problem, char separator) {
    std::string out;
    std::optional<bool> bigEndian;
    if (Wide(encoding) && bytes.size() % 2 != 0) {
        problem = "odd-length UTF-16";
        return std::nullopt;
    }
    bool first = true;
    while (!bytes.empty()) {
        std::size_t next = 0;
        const std::size_t end = Id3StringEnd(encoding, bytes, next);
        if (!first)
            out += separator;
        first = false;
        if (!DecodeOne(encoding, bytes.first(end), bigEndian, out, problem))
            return std::nullopt;
        bytes = bytes.subspan(next);
    }
    return out;
}

std::string Utf8ToLatin1Nearest(std::string_view text) {
    if (!IsUtf8(text))
        return std::string(text);
    std::string out;
    for (std::size_t pos = 0, length = 0; pos < text.size(); pos += length) {
        const char32_t c = NextUtf8(text, pos, length);
        if (c < 0x100)
            out += static_cast<char>(c);
        else
            out += NearestAscii(c);
    }
    return out;
}

} // namespace velmora
