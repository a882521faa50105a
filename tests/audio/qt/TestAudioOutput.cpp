#include "Fixtures.h"
#include "FrameBuilder.h"
#include "GuiTestUtil.h"
#include "Progress.h"
#include "QtAudioOutput.h"
#include "UnitMessages.h"
#include "UnitOpen.h"
#include "UnitOptions.h"
#include "UnitPreviewClip.h"
#include "UnitPreviewRender.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

using namespace velmora;
using namespace velmora::test;

namespace {

// Qt Multimedia connects to the sound server once per process, so a test that needs a server of
// its own (or none) must be the first to use it; ctest runs each test alone.
// Qt's PulseAudio sink feeds the server in periods of 20 ms.
constexpr double kAudioPeriodSeconds = 0.020;

bool ClaimMultimedia() {
    static bool claimed = false;
    return !std::exchange(claimed, true);
}

PcmClip Tone(int ms) {
    PcmClip clip;
    clip.sampleRate = 44100;
    clip.channels = 2;
    clip.samples.assign(static_cast<std::size_t>(44100 * ms / 1000 * 2), 1000);
    return clip;
}

// A PulseAudio server of the test's own with one null sink, reachable at a private socket.
class PrivatePulse {
public:
    explicit PrivatePulse(const std::string& folder) : m_socket(folder + "/pulse.socket") {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(folder));
        env.insert("HOME", QString::fromStdString(folder));
        m_daemon.setProcessEnvironment(env);
        m_daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_daemon.start("pulseaudio",
                       {"--daemonize=no", "--exit-idle-time=-1", "-n", "--log-target=stderr",
                        "--log-level=0", "--disable-shm=true",
                        "--load=module-null-sink sink_name=velmora_null rate=44100 channels=2",
                        QString::fromStdString("--load=module-native-protocol-unix "
                                               "auth-anonymous=1 socket=" +
                                               m_socket)});
        m_started =
            m_daemon.waitForStarted(5000) &&
            WaitUntil([&] { return QFile::exists(QString::fromStdString(m_socket)); }, 10000);
    }
    ~PrivatePulse() {
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(5000))
            m_daemon.kill();
        m_daemon.waitForFinished(2000);
    }
    bool Started() const { return m_started; }
    QString Server() const { return QString::fromStdString("unix:" + m_socket); }

private:
    std::string m_socket;
    QProcess m_daemon;
    bool m_started = false;
};

// Mean power in dB of 50 ms windows (stereo frames) of s16 PCM.
std::vector<double> WindowLevels(const std::vector<std::int16_t>& pcm, int rate) {
    const std::size_t window = static_cast<std::size_t>(rate / 20) * 2;
    std::vector<double> levels;
    for (std::size_t i = 0; i + window <= pcm.size(); i += window) {
        double sum = 0;
        for (std::size_t k = i; k < i + window; ++k)
            sum += static_cast<double>(pcm[k]) * pcm[k];
        levels.push_back(10.0 * std::log10(sum / static_cast<double>(window) + 1e-9));
    }
    return levels;
}

} // namespace

TEST(QtAudioOutput, NoSoundServerIsAFailedStartWithoutSignal) {
    if (!ClaimMultimedia())
        GTEST_SKIP() << "Qt Multimedia was used before in this process: run the test alone";
    qputenv("PULSE_SERVER", "unix:/nonexistent/velmora/pulse.socket");
    QtAudioOutput output;
    int finished = 0;
    output.SetFinishedHandler([&] { ++finished; });
    EXPECT_FALSE(output.Play(Tone(100)));
    EXPECT_FALSE(output.Playing());
    QTest::qWait(300);
    EXPECT_EQ(finished, 0);
    output.Stop();
}

// The first and last stereo frame louder than `threshold`, as [first, last + 1).
std::pair<std::size_t, std::size_t> SoundSpan(const std::vector<std::int16_t>& pcm, int threshold) {
    std::size_t first = pcm.size(), last = 0;
    for (std::size_t i = 0; i < pcm.size(); ++i)
        if (std::abs(pcm[i]) > threshold) {
            first = std::min(first, i / 2);
            last = i / 2 + 1;
        }
    return {first, std::max(first, last)};
}

// The real sound path: a 5-second preview through QAudioSink into a null sink whose monitor
// parec records. The recording holds the whole clip, tail included, as one stretch of sound at
// the clip's level, within one audio period of its length.
TEST(QtAudioOutput, RealSoundServerPlaysTheWholeClipAtItsLevel) {
    if (!HaveProgram("pulseaudio") || !HaveProgram("parec"))
        GTEST_SKIP() << "pulseaudio and parec (Debian pulseaudio, pulseaudio-utils) are needed";
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame is not installed";
    if (!ClaimMultimedia())
        GTEST_SKIP() << "Qt Multimedia was used before in this process: run the test alone";
    TempDir dir;
    PrivatePulse pulse(dir.path());
    ASSERT_TRUE(pulse.Started()) << "pulseaudio did not start";
    qputenv("PULSE_SERVER", pulse.Server().toLocal8Bit());

    std::vector<std::int16_t> tone;
    AppendTone(tone, {}, 8.0, 440.0, 6000);
    const std::string mp3 = dir.File("tone.mp3");
    EncodeWithLame(tone, {}, "-b 128", mp3);
    const Settings settings;
    const MessageTable messages = MessageTable::English();
    NullProgress progress;
    StreamInfo info = OpenSourceFile(mp3, settings, messages, progress, {}).info;
    PreviewClip clip;
    clip.startFrame = 40;
    clip.frameCount = SecondsToFrames(info.firstHeader, 5);
    const PcmClip pcm = RenderPreviewClip(mp3, info, clip, WriteContext{settings, messages});

    QProcess recorder;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PULSE_SERVER", pulse.Server());
    recorder.setProcessEnvironment(env);
    recorder.setStandardOutputFile(QString::fromStdString(dir.File("recording.raw")));
    recorder.start("parec", {"-d", "velmora_null.monitor", "--format=s16le", "--rate=44100",
                             "--channels=2", "--latency-msec=20"});
    ASSERT_TRUE(recorder.waitForStarted(5000));
    // The recording runs before the clip starts: parec has written its first bytes.
    ASSERT_TRUE(WaitUntil(
        [&] { return QFileInfo(QString::fromStdString(dir.File("recording.raw"))).size() > 0; },
        10000));

    QtAudioOutput output;
    bool finished = false;
    output.SetFinishedHandler([&] { finished = true; });
    ASSERT_TRUE(output.Play(pcm));
    EXPECT_TRUE(output.Playing());
    EXPECT_TRUE(WaitUntil([&] { return finished; }, static_cast<int>(pcm.Milliseconds()) +
                                                        QtAudioOutput::kWatchdogSlackMs + 1000));
    // Silence after the clip reaches the recording: the clip's end has passed through.
    const qint64 bytesPerSecond = 44100 * 4;
    const qint64 recordedAtEnd =
        QFileInfo(QString::fromStdString(dir.File("recording.raw"))).size();
    EXPECT_TRUE(WaitUntil(
        [&] {
            return QFileInfo(QString::fromStdString(dir.File("recording.raw"))).size() >
                   recordedAtEnd + bytesPerSecond / 4;
        },
        10000));
    recorder.terminate();
    recorder.waitForFinished(5000);

    const std::vector<std::uint8_t> raw = ReadFile(dir.File("recording.raw"));
    std::vector<std::int16_t> recorded(raw.size() / 2);
    std::memcpy(recorded.data(), raw.data(), recorded.size() * 2);
    const auto [clipFirst, clipEnd] = SoundSpan(pcm.samples, 300);
    const auto [recordedFirst, recordedEnd] = SoundSpan(recorded, 300);
    ASSERT_LT(recordedFirst, recordedEnd) << "nothing was recorded";
    const double clipSeconds = static_cast<double>(clipEnd - clipFirst) / 44100.0;
    const double recordedSeconds = static_cast<double>(recordedEnd - recordedFirst) / 44100.0;
    RecordProperty("clipSeconds", std::to_string(clipSeconds));
    RecordProperty("recordedSeconds", std::to_string(recordedSeconds));
    EXPECT_NEAR(clipSeconds, 5.0, 0.1);
    EXPECT_NEAR(recordedSeconds, clipSeconds, kAudioPeriodSeconds)
        << "recorded " << recordedSeconds << " s of a " << clipSeconds << " s clip";

    // One clean stretch at the clip's level: no 50 ms window of the span falls silent.
    const std::vector<std::int16_t> span(recorded.begin() + static_cast<long>(recordedFirst * 2),
                                         recorded.begin() + static_cast<long>(recordedEnd * 2));
    const std::vector<double> levels = WindowLevels(span, 44100);
    const std::vector<double> expected = WindowLevels(pcm.samples, 44100);
    ASSERT_FALSE(levels.empty());
    double recordedLevel = 0, clipLevel = 0;
    for (double l : levels)
        recordedLevel += l / static_cast<double>(levels.size());
    for (double l : expected)
        clipLevel += l / static_cast<double>(expected.size());
    for (double l : levels)
        EXPECT_GT(l, clipLevel - 10.0);
    EXPECT_NEAR(recordedLevel, clipLevel, 1.0);
}
