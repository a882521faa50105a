#pragma once

#include <cstdint>
#include <span>
#include <string>

struct mpg123_handle_struct;

namespace velmora {

// What one frame's decoding came to. `status` is 0 for success, kDecodeRefused for a frame the
// decoder cannot take, or another non-zero code for a decoder failure.
struct FrameDecodeResult {
    int status = 0;
    std::span<const std::int16_t> pcm; // interleaved; valid until the next call
};

inline constexpr int kDecodeRefused = 512;

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
    // `portableSynth` picks libmpg123's generic routines, whose samples are the same on every CPU.
    MpegFrameDecoder(long sampleRate, int channels, const std::string& openFailedText,
                     bool portableSynth = false);
    ~MpegFrameDecoder() override;
    MpegFrameDecoder(const MpegFrameDecoder&) = delete;
    MpegFrameDecoder& operator=(const MpegFrameDecoder&) = delete;

    FrameDecodeResult DecodeFrame(std::span<const std::uint8_t> frame) override;

private:
    bool Open();
    void Close();

    mpg123_handle_struct* m_handle = nullptr;
    long m_rate;
    int m_channels;
};

} // namespace velmora
