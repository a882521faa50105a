#pragma once

#include "IAudioOutput.h"
#include "UnitWriter.h"

#include <string>

namespace velmora {

class PreviewFiles;
struct PreviewClip;

// Renders `clip` of the open file into memory exactly as a save renders it (gain, fades, added
// silence). The buffer grows with the clip, so long added silence cannot overrun it. Throws
// VelmoraError.
std::vector<std::uint8_t> RenderPreviewMp3(const std::string& sourcePath, StreamInfo& info,
                                           const PreviewClip& clip, const WriteContext& context);

// The same, decoded to PCM.
PcmClip RenderPreviewClip(const std::string& sourcePath, StreamInfo& info, const PreviewClip& clip,
                          const WriteContext& context);

// Decodes the MPEG frames at the start of `mp3` (up to the first bytes that are not a whole
// frame, such as trailing tags) to PCM at the stream's rate and channel count. A frame the
// decoder refuses is heard as silence, so the clip keeps its length.
PcmClip DecodeClip(std::span<const std::uint8_t> mp3, const MpegHeader& first,
                   const std::string& openFailedText);

// Writes `clip` to the next preview file for the external player and returns its name. A file
// error comes back with " - Preview failed." appended.
std::string WritePreviewFile(const std::string& sourcePath, StreamInfo& info,
                             const PreviewClip& clip, const WriteContext& context,
                             PreviewFiles& files);

} // namespace velmora
