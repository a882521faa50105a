#pragma once

#include "UnitOpen.h"

#include <string>

namespace velmora {

class IProgress;
class IScanListener;
struct MessageTable;
struct Settings;

// Whether an open decodes its last frames: their energies judge the ending and serve the
// automatic trim. A caller that decodes every frame afterwards, or needs neither, skips it.
enum class TailDecode { Decode, Skip };

struct OpenAudioOptions {
    TailDecode tailDecode = TailDecode::Decode;
    bool* operationBusy = nullptr;     // raised for the duration of the open
    IScanListener* listener = nullptr; // follows the first scan (a Save As begun early)
};

// Opens `path` as the editor's Open does: the whole analysis, with the tail analysis bound to the
// decoder (AnalyseVolume on the last frames, energies only). The face clears its stop request
// before calling. Throws VelmoraError with the user's text.
OpenResult OpenWithTailAnalysis(const std::string& path, const Settings& settings,
                                const MessageTable& messages, IProgress& progress,
                                const OpenAudioOptions& options = {});

} // namespace velmora
