#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// The whole file, or nullopt when it does not exist. Other failures throw VelmoraError.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Replaces `path` with `data` so that a crash leaves either the old or the new file: a temporary
// file in the same folder, flushed to disk, renamed over the target, and the folder flushed. An
// existing target keeps its permissions; a new one gets `mode` less the umask. A symbolic link is
// followed, so the file it points to is replaced and the link stays.
void ReplaceFileAtomically(const std::string& path, std::string_view data, unsigned mode = 0666);

// Creates the folder and its missing parents.
void MakeFolders(const std::string& path, unsigned mode = 0700);

} // namespace velmora
