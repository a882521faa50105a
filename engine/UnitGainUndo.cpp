#include "UnitGainUndo.h"

#include "UnitFileView.h"
#include "UnitMP3.h"
#include "UnitScanner.h"
#include "UnitWriterParts.h"
#include "VelmoraError.h"

namespace velmora {

std::optional<GainUndoResult> UndoGainChange(const std::string& path, const StreamInfo& info,
                                             const MessageTable& messages) {
    GainUndoResult result;
    {
        FileView view = OpenFileView(path, FileAccess::ReadWrite, messages);
        writer::CheckSourceUnchanged(path, view.identity(), info);
        const auto undo = ReadGainUndo(view.bytes());
        // Other tools leave "+000,+000,N" behind once they have undone everything.
        if (!undo || (undo->left == 0 && undo->right == 0))
            return std::nullopt;
        if (undo->left != undo->right)
            throw VelmoraError("The undo information changes the two channels apart, which this "
                               "program does not do: nothing was changed");
        if (undo->wrap)
            throw VelmoraError("The undo information was written with wrapped gain values, which "
                               "this program does not reverse: nothing was changed");
        result.steps = undo->left;
        for (std::int64_t i = 0; i < info.frameCount; ++i) {
            const FrameEntry& entry = info.frames[i];
            if (entry.offset < 0 || entry.offset + entry.length > view.size())
                continue;
            std::uint8_t* frame = view.data() + entry.offset;
            MpegHeader own;
            if (DecodeHeader(own, HeaderWordAt(frame)) && own.layerId == kLayer3)
                ++result.frames;
            const std::optional<std::uint16_t> crc =
                entry.headerSize == 6 ? std::optional<std::uint16_t>(entry.computedCrc)
                                      : std::nullopt;
            writer::ApplyFrameDelta(frame, entry.length, result.steps, crc);
        }
        if (view.Shrunk())
            writer::ThrowSourceShrunk(path);
        view.Flush();
    }
    result.tags = KeepGainTagsTrue(path, info.riffHeaderSize, info.id3v2.tagSize,
                                   {result.steps, info.riffHeaderSize == 0, {}});
    return result;
}

} // namespace velmora
