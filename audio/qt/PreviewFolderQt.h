#pragma once

#include "UnitSpecialFolder.h"

namespace velmora {

// The preview folder from the user's application-data folder, then the documents folder, then a
// private folder in the temporary folder.
PreviewFolder StandardPreviewFolder();

} // namespace velmora
