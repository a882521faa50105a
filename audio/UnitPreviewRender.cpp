#include "UnitPreviewRender.h"

#include "Progress.h"
#include "UnitExactCut.h"
#include "UnitMP3.h"
#include "UnitMessages.h"
#include "UnitMpg123.h"
#include "UnitOptions.h"
#include "UnitPreviewClip.h"
#include "UnitSpecialFolder.h"
#include "VelmoraError.h"

#include <algorithm>

namespace velmora {

namespace {

std::size_t FrameLengthAt(std::span<const std::uint8_t> mp3) {
    MpegHeader h;
    return mp3.size() >= 4 && DecodeHeader(h, HeaderWordAt(mp3.data()))
               ? static_cast<std::size_t>(h.frameLength)
               : mp3.size();
}

// Keeps the samples a gapless player plays: the encoder's delay and padding dropped, counted
// after the decoder's own delay.
void PlayGapless(PcmClip& pcm, GaplessFields fields) {
    const auto channels = static_cast<std::size_t>(pcm.channels);
    const std::size_t total = pcm.samples.size() / channels;
    const std::size_t begin = std::min<std::size_t>(total, fields.delay + kDecoderDelay);
    const std::size_t end = std::clamp<std::size_t>(
        total + kDecoderDelay - std::min<std::size_t>(total + kDecoderDelay, fields.padding), begin,
        total);
    pcm.samples.resize(end * channels);
    pcm.samples.erase(pcm.samples.begin(),
                      pcm.samples.begin() + static_cast<std::ptrdiff_t>(begin * channels));
}

} // namespace

PcmClip DecodeClip(std::span<const std::uint8_t> mp3, const MpegHeader& first,
                   const std::string& openFailedText) {
    PcmClip pcm;
    pcm.sampleRate = static_cast<int>(first.sampleRate);
    pcm.channels = first.channelMode == kMono ? 1 : 2;
    const std::size_t frameSamples =
        static_cast<std::size_t>(SamplesPerFrame(first)) * static_cast<std::size_t>(pcm.channels);
    MpegFrameDecoder decoder(first.sampleRate, pcm.channels, openFailedText);
    // An exact cut's clip starts with the extra-info frame that says which samples to play.
    const std::optional<GaplessFields> gapless = GaplessFieldsOf(mp3);
    std::size_t p = gapless ? FrameLengthAt(mp3) : 0;
    while (p + 4 <= mp3.size()) {
        MpegHeader h;
        const std::uint32_t word = HeaderWordAt(&mp3[p]);
        if ((word & kSyncMask) != kSyncMask || !DecodeHeader(h, word) || h.frameLength <= 0 ||
            p + static_cast<std::size_t>(h.frameLength) > mp3.size())
            break;
        const FrameDecodeResult r =
            decoder.DecodeFrame(mp3.subspan(p, static_cast<std::size_t>(h.frameLength)));
        if (r.status == 0 && !r.pcm.empty())
            pcm.samples.insert(pcm.samples.end(), r.pcm.begin(), r.pcm.end());
        else
            pcm.samples.resize(pcm.samples.size() + frameSamples, 0);
        p += static_cast<std::size_t>(h.frameLength);
    }
    if (gapless)
        PlayGapless(pcm, *gapless);
    return pcm;
}

std::vector<std::uint8_t> RenderPreviewMp3(const std::string& sourcePath, StreamInfo& info,
                                           const PreviewClip& clip, const WriteContext& context) {
    std::vector<std::uint8_t> mp3;
    NullProgress progress;
    WriteOutput(
        MakePreviewParams(sourcePath, clip, info, &mp3, {}, context.settings.CheckBoxExactCut),
        info, context, progress);
    return mp3;
}

PcmClip RenderPreviewClip(const std::string& sourcePath, StreamInfo& info, const PreviewClip& clip,
                          const WriteContext& context) {
    return DecodeClip(RenderPreviewMp3(sourcePath, info, clip, context), info.firstHeader,
                      MessageTable::Join(context.messages.MessageDlgAcmStreamOpenFailed));
}

std::string WritePreviewFile(const std::string& sourcePath, StreamInfo& info,
                             const PreviewClip& clip, const WriteContext& context,
                             PreviewFiles& files) {
    const std::string name = files.NextName(context.settings.RadioGroupPreviewPlaysWhat);
    NullProgress progress;
    try {
        WriteOutput(MakePreviewParams(sourcePath, clip, info, nullptr, name,
                                      context.settings.CheckBoxExactCut),
                    info, context, progress);
    } catch (const VelmoraError& e) {
        throw VelmoraError(std::string(e.what()) + " - Preview failed.");
    }
    return name;
}

} // namespace velmora
