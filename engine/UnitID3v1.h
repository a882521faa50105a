#pragma once

#include <cstdint>
#include <string_view>

namespace velmora {

struct Id3v1Tag;
struct Settings;

// From the first 0 byte on (that byte included), every byte of the field becomes `fill`.
void PadAfterTerminator(std::uint8_t* field, int length, std::uint8_t fill);

// Readies the tag for writing according to the ID3v1 mode and the update options. `id3v1Out` is
// the tag size the output would get so far (0 or 128); `editName` is the source file's name
// without its folder. Returns the tag size the output gets (recreate mode may raise it to 128).
std::int64_t PrepareId3v1(Id3v1Tag& tag, std::int64_t id3v1Out, const Settings& settings,
                          std::string_view editName);

} // namespace velmora
