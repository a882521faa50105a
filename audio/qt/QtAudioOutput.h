#pragma once

#include "IAudioOutput.h"

#include <QObject>

#include <chrono>
#include <optional>

class QAudioSink;

namespace velmora {

class PcmSource;

// The preview's sound output through Qt Multimedia: one QAudioSink per clip, fed from memory.
// A clip ends when the sound server has played its last sample (the sink goes idle as soon as it
// has taken the data, while the server still holds the tail). The sink's signals can come late or
// never, so a watchdog of the clip's length plus two seconds ends the clip as well; whichever
// comes first counts, the other is dropped.
class QtAudioOutput final : public QObject, public IAudioOutput {
    Q_OBJECT
public:
    explicit QtAudioOutput(QObject* parent = nullptr);
    ~QtAudioOutput() override;

    bool Play(const PcmClip& clip) override;
    void Stop() override;
    bool Playing() const override { return m_generation.Playing(); }
    void SetFinishedHandler(FinishedHandler handler) override { m_finished = std::move(handler); }

    // When the sink first took PCM of the current clip (for timing the start of a preview).
    std::optional<std::chrono::steady_clock::time_point> FirstPcmTaken() const;

    static constexpr int kWatchdogSlackMs = 2000;
    // How often the end of a clip is looked for once the sink has taken all of it.
    static constexpr int kDrainPollMs = 10;

private:
    void AwaitDrain(QAudioSink* sink, std::uint64_t generation, qint64 clipUs);
    void ClipEnded(std::uint64_t generation);
    void ReleaseSink();

    ClipGeneration m_generation;
    QAudioSink* m_sink = nullptr;  // deleted later: it may be ending inside its own signal
    PcmSource* m_source = nullptr; // the sink's child
    FinishedHandler m_finished;
};

} // namespace velmora
