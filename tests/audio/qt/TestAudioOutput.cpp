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
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

using namespace velmora;
using namespace velmora::test;

namespace {

// Qt Multimedia connects to the sound server once per process, so a test that needs a server of
// its own (or none) must be the first to use it; ctest runs each test alone.
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

// The real sound path: a 3-second preview through QAudioSink into a null sink whose monitor
// parec records; the recording holds the clip at its length and level.
TEST(QtAudioOutput, RealSoundServerPlaysTheClipAtItsLengthAndLevel) {
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
    clip.frameCount = SecondsToFrames(info.firstHeader, 3);
    const PcmClip pcm = RenderPreviewClip(mp3, info, clip, WriteContext{settings, messages});

    QProcess recorder;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PULSE_SERVER", pulse.Server());
    recorder.setProcessEnvironment(env);
    recorder.setStandardOutputFile(QString::fromStdString(dir.File("recording.raw")));
    recorder.start("parec", {"-d", "velmora_null.monitor", "--format=s16le", "--rate=44100",
                             "--channels=2", "--latency-msec=20"});
    ASSERT_TRUE(recorder.waitForStarted(5000));
    QTest::qWait(500);

    QtAudioOutput output;
    bool finished = false;
    output.SetFinishedHandler([&] { finished = true; });
    ASSERT_TRUE(output.Play(pcm));
    EXPECT_TRUE(output.Playing());
    EXPECT_TRUE(WaitUntil([&] { return finished; }, static_cast<int>(pcm.Milliseconds()) +
                                                        QtAudioOutput::kWatchdogSlackMs + 1000));
    QTest::qWait(500);
    recorder.terminate();
    recorder.waitForFinished(5000);

    const std::vector<std::uint8_t> raw = ReadFile(dir.File("recording.raw"));
    std::vector<std::int16_t> recorded(raw.size() / 2);
    std::memcpy(recorded.data(), raw.data(), recorded.size() * 2);
    const std::vector<double> levels = WindowLevels(recorded, 44100);
    const std::vector<double> expected = WindowLevels(pcm.samples, 44100);
    ASSERT_FALSE(expected.empty());
    double clipLevel = 0;
    for (double l : expected)
        clipLevel += l / static_cast<double>(expected.size());
    // Seconds of sound: the 50 ms windows within 10 dB of the clip's mean level.
    auto soundSeconds = [&](const std::vector<double>& windows, double* meanLevel) {
        double sum = 0;
        int count = 0;
        for (double l : windows)
            if (l > clipLevel - 10.0) {
                sum += l;
                ++count;
            }
        *meanLevel = count ? sum / count : -100.0;
        return count / 20.0;
    };
    double recordedLevel = 0, decodedLevel = 0;
    const double decodedSeconds = soundSeconds(expected, &decodedLevel);
    EXPECT_NEAR(decodedSeconds, 3.0, 0.1);
    EXPECT_NEAR(soundSeconds(levels, &recordedLevel), decodedSeconds, 0.3);
    EXPECT_NEAR(recordedLevel, decodedLevel, 1.0);
}
