#include "UnitMpg123.h"

#include "UnitMP3.h"
#include "VelmoraError.h"

#include <mpg123.h>

namespace velmora {

namespace {

// Every libmpg123 flag the program uses. Setting MPG123_FLAGS replaces the defaults, which also
// turns gapless trimming and automatic resampling off.
constexpr long kDecoderFlags = MPG123_QUIET | MPG123_NO_RESYNC | MPG123_IGNORE_INFOFRAME |
                               MPG123_IGNORE_STREAMLENGTH | MPG123_NO_READAHEAD |
                               MPG123_NO_FRANKENSTEIN | MPG123_SKIP_ID3V2;

} // namespace

MpegFrameDecoder::MpegFrameDecoder(std::int32_t sampleRate, std::int32_t channels,
                                   const std::string& openFailedText, SynthRoutines synth)
    : m_rate(sampleRate), m_channels(channels) {
    const bool portableSynth = synth == SynthRoutines::Portable;
    mpg123_init();
    int error = MPG123_OK;
    m_handle = mpg123_new(portableSynth ? "generic" : nullptr, &error);
    if (!m_handle && portableSynth)
        m_handle = mpg123_new(nullptr, &error);
    if (!m_handle)
        throw VelmoraError(openFailedText);
    const bool configured = mpg123_param(m_handle, MPG123_FLAGS, kDecoderFlags, 0) == MPG123_OK &&
                            mpg123_param(m_handle, MPG123_RESYNC_LIMIT, 0, 0) == MPG123_OK &&
                            mpg123_format_none(m_handle) == MPG123_OK &&
                            mpg123_format(m_handle, static_cast<long>(sampleRate),
                                          channels == 1 ? MPG123_MONO : MPG123_STEREO,
                                          MPG123_ENC_SIGNED_16) == MPG123_OK &&
                            Open();
    if (!configured) {
        mpg123_delete(m_handle);
        m_handle = nullptr;
        throw VelmoraError(openFailedText);
    }
}

MpegFrameDecoder::~MpegFrameDecoder() {
    if (m_handle) {
        mpg123_close(m_handle);
        mpg123_delete(m_handle);
    }
}

bool MpegFrameDecoder::Open() {
    return mpg123_open_feed(m_handle) == MPG123_OK;
}

void MpegFrameDecoder::Close() {
    mpg123_close(m_handle);
}

FrameDecodeResult MpegFrameDecoder::DecodeFrame(std::span<const std::uint8_t> frame) {
    FrameDecodeResult result;
    // libmpg123 prints format errors even when quiet; a frame of another rate is refused here.
    MpegHeader header;
    if (frame.size() >= 4 && (HeaderWordAt(frame.data()) & kSyncMask) == kSyncMask &&
        DecodeHeader(header, HeaderWordAt(frame.data())) &&
        header.sampleRate != static_cast<std::uint32_t>(m_rate)) {
        result.status = kDecodeRefused;
        return result;
    }
    if (mpg123_feed(m_handle, frame.data(), frame.size()) != MPG123_OK) {
        result.status =
            mpg123_errcode(m_handle) == MPG123_OUT_OF_MEM ? MPG123_OUT_OF_MEM : kDecodeRefused;
        Close();
        Open();
        return result;
    }
    for (;;) {
        off_t frameNumber = 0;
        unsigned char* audio = nullptr;
        std::size_t bytes = 0;
        const int rc = mpg123_decode_frame(m_handle, &frameNumber, &audio, &bytes);
        if (rc == MPG123_NEW_FORMAT) {
            long rate = 0;
            int channels = 0, encoding = 0;
            mpg123_getformat(m_handle, &rate, &channels, &encoding);
            if (rate == m_rate && channels == m_channels && encoding == MPG123_ENC_SIGNED_16)
                continue;
            result.status = kDecodeRefused; // a frame of another format than the stream's
        } else if (rc == MPG123_OK) {
            result.pcm = {reinterpret_cast<const std::int16_t*>(audio),
                          bytes / sizeof(std::int16_t)};
            return result;
        } else if (rc == MPG123_NEED_MORE || rc == MPG123_DONE) {
            // A whole frame went in and nothing came out: its header was not taken. Reopening
            // drops whatever the parser kept of it.
            result.status = kDecodeRefused;
        } else {
            const int code = mpg123_errcode(m_handle);
            result.status = code == MPG123_OUT_OF_MEM ? code : kDecodeRefused;
        }
        // After an error libmpg123 refuses everything until the stream is reopened.
        Close();
        if (!Open() && result.status == kDecodeRefused)
            result.status = MPG123_ERR;
        return result;
    }
}

} // namespace velmora
