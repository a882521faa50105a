// libFuzzer target: any text given to the CUE sheet reader yields a table or a VelmoraError, and
// the table's names are UTF-8 file names.
#include "UnitCueParse.h"
#include "UnitUtf8.h"
#include "VelmoraError.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velmora;
    if (size < 1)
        return 0;
    // The first byte picks the stream: total frames and the WAV naming.
    const std::uint8_t b[4] = {0xFF, 0xFB, 0x90, 0x64};
    CueParseContext context;
    DecodeHeader(context.header, HeaderWordAt(b));
    context.totalFrames = (data[0] & 0x7F) * 1000;
    context.outputIsWav = (data[0] & 0x80) != 0;
    try {
        const CueTrackTable table = ParseCueSheetText(
            std::string_view(reinterpret_cast<const char*>(data + 1), size - 1), context);
        if (table.tracks.size() > static_cast<std::size_t>(kMaxCueTracks) ||
            !IsValidUtf8(table.CueAlbumTitle) || !IsValidUtf8(table.CueAlbumPerformer))
            std::abort();
        for (std::size_t k = 0; k < table.tracks.size(); ++k) {
            const CueTrack& t = table.tracks[k];
            if (t.name.size() > kNameMax || t.name.find('/') != std::string::npos ||
                !IsValidUtf8(t.name) || t.startFrame > context.totalFrames ||
                (k > 0 && t.startFrame <= table.tracks[k - 1].startFrame))
                std::abort();
        }
    } catch (const VelmoraError&) {
    }
    return 0;
}
