#pragma once

#include <string>
#include <string_view>

namespace velmora {

// The part of `path` after its last "/" (the whole path when it has none).
std::string BaseName(std::string_view path);

// The part of `path` up to and including its last "/"; empty when it has none, so that
// FolderOf(p) + BaseName(p) == p.
std::string FolderOf(std::string_view path);

} // namespace velmora
