#pragma once

namespace velmora {

// The editor's whole run: `velmora [--quit-when-idle] [--timing] [--screenshots DIR] [FILE]`.
int RunEditor(int argc, char** argv);

} // namespace velmora
