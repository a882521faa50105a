#include "QtAudioOutput.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QMediaDevices>
#include <QTimer>

namespace velmora {

// The clip's PCM; remembers when the sink first read from it.
class PcmSource final : public QBuffer {
public:
    using QBuffer::QBuffer;
    std::optional<std::chrono::steady_clock::time_point> firstRead;

protected:
    qint64 readData(char* data, qint64 maxSize) override {
        if (!firstRead)
            firstRead = std::chrono::steady_clock::now();
        return QBuffer::readData(data, maxSize);
    }
};

QtAudioOutput::QtAudioOutput(QObject* parent) : QObject(parent) {}

QtAudioOutput::~QtAudioOutput() {
    m_finished = nullptr;
    Stop();
}

bool QtAudioOutput::Play(const PcmClip& clip) {
    Stop();
    if (clip.samples.empty() || clip.sampleRate <= 0 || clip.channels <= 0)
        return false;
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return false;
    QAudioFormat format;
    format.setSampleRate(clip.sampleRate);
    format.setChannelCount(clip.channels);
    format.setSampleFormat(QAudioFormat::Int16);

    m_sink = new QAudioSink(device, format, this);
    auto* source = new PcmSource(m_sink);
    m_source = source;
    source->setData(reinterpret_cast<const char*>(clip.samples.data()),
                    static_cast<qsizetype>(clip.samples.size() * sizeof(std::int16_t)));
    source->open(QIODevice::ReadOnly);

    const std::uint64_t generation = m_generation.Begin();
    QAudioSink* sink = m_sink;
    const qint64 clipUs = clip.Microseconds();
    connect(sink, &QAudioSink::stateChanged, sink,
            [this, sink, generation, clipUs](QAudio::State state) {
                // Idle: the sink has taken all the data, and the sound server still plays its
                // buffer; Stopped with an error: the device went away.
                if (state == QAudio::IdleState)
                    AwaitDrain(sink, generation, clipUs);
                else if (state == QAudio::StoppedState && sink->error() != QAudio::NoError)
                    ClipEnded(generation);
            });
    sink->start(source);
    // Without a sound server start() fails at once and sends no signal.
    if (sink->error() != QAudio::NoError || sink->state() == QAudio::StoppedState) {
        Stop();
        return false;
    }
    const auto watchdogMs = clip.Milliseconds() + kWatchdogSlackMs;
    QTimer::singleShot(std::chrono::milliseconds(watchdogMs), sink,
                       [this, generation] { ClipEnded(generation); });
    return true;
}

void QtAudioOutput::Stop() {
    m_generation.Stop();
    ReleaseSink();
}

void QtAudioOutput::ReleaseSink() {
    if (!m_sink)
        return;
    QAudioSink* sink = m_sink;
    m_sink = nullptr;
    m_source = nullptr;
    QObject::disconnect(sink, &QAudioSink::stateChanged, nullptr, nullptr);
    sink->stop();
    sink->deleteLater();
}

// Stopping the sink drops what the sound server has not played yet: the clip ends once the
// server reports its last sample played.
void QtAudioOutput::AwaitDrain(QAudioSink* sink, std::uint64_t generation, qint64 clipUs) {
    if (sink->findChild<QTimer*>(QString(), Qt::FindDirectChildrenOnly))
        return;
    auto* poll = new QTimer(sink);
    poll->setInterval(kDrainPollMs);
    connect(poll, &QTimer::timeout, sink, [this, sink, generation, clipUs] {
        if (sink == m_sink && sink->processedUSecs() >= clipUs)
            ClipEnded(generation);
    });
    poll->start();
}

void QtAudioOutput::ClipEnded(std::uint64_t generation) {
    if (!m_generation.End(generation))
        return;
    ReleaseSink();
    if (m_finished)
        m_finished();
}

std::optional<std::chrono::steady_clock::time_point> QtAudioOutput::FirstPcmTaken() const {
    return m_source ? m_source->firstRead : std::nullopt;
}

} // namespace velmora
