#pragma once

#include <QString>

#include <string>

namespace velmora {

// A path's bytes as the user reads them: UTF-8 where they are UTF-8, otherwise each byte as its
// Latin-1 character (a name made on an older system, "caf\xe9.mp3", reads "café.mp3"). For
// showing only: the window finds the file again by its bytes, never by this text.
QString ReadablePath(const std::string& path);
// The same for the path's last part.
QString ReadableFileName(const std::string& path);

} // namespace velmora
