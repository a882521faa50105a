#pragma once

#include <cstdint>
#include <span>
#include <string>

struct mpg123_handle_struct;

namespace velmora {

// A frame decoded.
inline constexpr std::int32_t kDecodeOk = 0;
// A frame the decoder cannot take (the codec's own code for it); the stream goes on.
inline constexpr std::int32_t kDecodeRefused = 512;

// What one frame's decoding came to: kDecodeOk, kDecodeRefused, or another code for a decoder
// failure.
struct FrameDecodeResult {
    std::int32_t status = kDecodeOk;
    std::span<const std::int16_t> pcm; // interleaved; valid until the next call
};

// Which synthesis routines libmpg123 uses: the fastest for this CPU, or the generic ones, whose
// samples are the same on every CPU.
enum class SynthRoutines { Fastest, Portable };

// Decodes MPEG audio one whole frame per call, keeping its state (the bit reservoir, the
// synthesis history) from frame to frame.
class IFrameDecoder {
public:
    virtual ~IFrameDecoder() = default;
    virtual FrameDecodeResult DecodeFrame(std::span<const std::uint8_t> frame) = 0;
};

// libmpg123 in feed mode: 16-bit interleaved PCM at the source's rate and channel count, no
// gapless trimming, no resynchronisation inside a frame, no read-ahead.
class MpegFrameDecoder final : public IFrameDecoder {
public:
    // Throws VelmoraError with `openFailedText` when the decoder cannot be set up.
    MpegFrameDecoder(std::int32_t sampleRate, std::int32_t channels,
                     const std::string& openFailedText,
                     SynthRoutines synth = SynthRoutines::Fastest);
    ~MpegFrameDecoder() override;
    MpegFrameDecoder(const MpegFrameDecoder&) = delete;
    MpegFrameDecoder& operator=(const MpegFrameDecoder&) = delete;

    FrameDecodeResult DecodeFrame(std::span<const std::uint8_t> frame) override;

private:
    bool Open();
    void Close();

    mpg123_handle_struct* m_handle = nullptr;
    std::int32_t m_rate;
    std::int32_t m_channels;
};

} // namespace velmora
