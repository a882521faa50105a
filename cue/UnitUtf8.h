#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora {

// The length of the well-formed UTF-8 sequence at `pos` (1 … 4), or 0 when the bytes there are
// not one: overlong forms, surrogates and code points above U+10FFFF are refused.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t pos);

bool IsValidUtf8(std::string_view text);

// `text` with every byte that starts no well-formed sequence replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

// Single-byte Windows-1252 text as UTF-8; the five bytes the code page leaves undefined keep
// their Latin-1 meaning.
std::string Windows1252ToUtf8(std::string_view text);

// A sheet's text as UTF-8: a byte-order mark is skipped, and text that is not UTF-8 is read as
// Windows-1252, the encoding of sheets written by older tools.
std::string CueSheetTextToUtf8(std::string_view text);

} // namespace velmora
