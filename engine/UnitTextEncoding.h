#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velmora {

// ID3v2 text encodings, by the byte that starts a text frame.
enum Id3TextEncoding : std::uint8_t {
    kEncodingLatin1 = 0,
    kEncodingUtf16 = 1, // with a byte-order mark
    kEncodingUtf16BE = 2,
    kEncodingUtf8 = 3,
};

// Single-byte ISO-8859-1 text as UTF-8.
std::string Latin1ToUtf8(std::string_view text);

// Whether `text` is well-formed UTF-8 (no overlong forms, surrogates or code points past
// U+10FFFF).
bool IsUtf8(std::string_view text);

// The strings of an ID3v2 text in `encoding`, as UTF-8, split at the encoding's terminator; a
// terminator at the very end ends the last string and adds none. Empty with `problem` set when
// the bytes are not text of that encoding (odd-length UTF-16, no byte-order mark, invalid UTF-8,
// lone surrogates, an unknown encoding byte).
std::optional<std::string> DecodeId3Strings(std::uint8_t encoding,
                                            std::span<const std::uint8_t> bytes,
                                            std::string& problem, char separator);

// Where the first string of `bytes` in `encoding` ends and the next begins (past its
// terminator); bytes.size() when there is no terminator.
std::size_t Id3StringEnd(std::uint8_t encoding, std::span<const std::uint8_t> bytes,
                         std::size_t& next);

// UTF-8 text for an ID3v1 record, which holds ISO-8859-1: characters outside it become their
// nearest ASCII letter ("Ł" "L", "ő" "o", "œ" "oe") or "?". Text that is not UTF-8 is taken to be
// single-byte already and kept as it is.
std::string Utf8ToLatin1Nearest(std::string_view text);

} // namespace velmora
