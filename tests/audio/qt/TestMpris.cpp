#include "FakeMprisPlayer.h"
#include "Fixtures.h"
#include "FrameBuilder.h"
#include "GuiTestUtil.h"
#include "MprisClient.h"
#include "UnitPlayerPosition.h"

#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTimer>

#include <gtest/gtest.h>

using namespace velmora;
using namespace velmora::test;

namespace {

// Polls and waits for the answer; the player found, or empty.
QString PollOnce(MprisClient& client) {
    bool done = false;
    QObject context;
    QObject::connect(&client, &MprisClient::PollFinished, &context, [&] { done = true; });
    client.Poll();
    EXPECT_TRUE(WaitUntil([&] { return done; }, 3000));
    return client.Player();
}

std::optional<std::int64_t> ReadOnce(MprisClient& client) {
    bool done = false;
    std::optional<std::int64_t> position;
    client.ReadPosition([&](std::optional<std::int64_t> us) {
        done = true;
        position = us;
    });
    EXPECT_TRUE(WaitUntil([&] { return done; }, 3000));
    return position;
}

class Mpris : public testing::Test {
protected:
    void SetUp() override {
        if (!m_bus.Running())
            GTEST_SKIP() << "dbus-daemon is not installed";
    }
    PrivateBus m_bus;
};

} // namespace

TEST(MprisNoBus, NoBusIsNoPlayer) {
    MprisClient client(QDBusConnection::connectToBus("unix:path=/nonexistent/bus", "no-bus"),
                       nullptr);
    EXPECT_EQ(PollOnce(client), QString());
    EXPECT_FALSE(client.Available());
    EXPECT_EQ(ReadOnce(client), std::nullopt);
    QDBusConnection::disconnectFromBus("no-bus");
}

TEST_F(Mpris, PlayingBeforePausedThenByNameAndStoppedIsNone) {
    MprisClient client(m_bus.Connect("client"), nullptr);
    FakePlayer b(m_bus, "b", "Paused", qlonglong{2'000'000});
    FakePlayer a(m_bus, "a", "Paused", qlonglong{1'000'000});
    FakePlayer c(m_bus, "c", "Playing", qlonglong{3'000'000});
    FakePlayer d(m_bus, "d", "Stopped", qlonglong{4'000'000});
    EXPECT_EQ(PollOnce(client), c.Name());
    EXPECT_EQ(ReadOnce(client), 3'000'000);
    c.Set("Stopped", qlonglong{3'000'000});
    EXPECT_EQ(PollOnce(client), a.Name());
    EXPECT_EQ(ReadOnce(client), 1'000'000);
    a.Quit();
    b.Quit();
    EXPECT_EQ(PollOnce(client), QString());
    EXPECT_EQ(ReadOnce(client), std::nullopt);
}

TEST_F(Mpris, GarbageOrAVanishedPlayerGivesNoPosition) {
    MprisClient client(m_bus.Connect("client"), nullptr);
    FakePlayer player(m_bus, "fake", "Playing", qlonglong{0});
    const struct {
        const char* name;
        QVariant position;
        std::optional<std::int64_t> expected;
    } cases[] = {
        {"64-bit integer", qlonglong{59'999'999}, 59'999'999},
        {"zero", qlonglong{0}, 0},
        {"beyond any file (the trim fields clamp it)", qlonglong{1} << 60, qlonglong{1} << 60},
        {"negative", qlonglong{-5}, std::nullopt},
        {"a 32-bit integer", int{5}, std::nullopt},
        {"unsigned", qulonglong{5}, std::nullopt},
        {"text", QString("60000000"), std::nullopt},
        {"a double", 6.0e7, std::nullopt},
    };
    for (const auto& c : cases) {
        player.Set("Playing", c.position);
        ASSERT_EQ(PollOnce(client), player.Name()) << c.name;
        EXPECT_EQ(ReadOnce(client), c.expected) << c.name;
    }
    player.Quit(); // gone between the poll and the click
    EXPECT_EQ(ReadOnce(client), std::nullopt);
}

TEST_F(Mpris, HungPlayerTimesOutAndNothingBlocks) {
    MprisClient client(m_bus.Connect("client"), nullptr);
    FakePlayer hung(m_bus, "hung", "Playing", qlonglong{1});
    FakePlayer paused(m_bus, "paused", "Paused", qlonglong{7'000'000});
    hung.Set("Playing", qlonglong{1}, true);

    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);
    QElapsedTimer clock;
    clock.start();
    bool done = false;
    QObject::connect(&client, &MprisClient::PollFinished, &ticker, [&] { done = true; });
    client.Poll();
    EXPECT_LT(clock.elapsed(), 100) << "Poll returns at once";
    client.Poll(); // a poll under way is not doubled
    ASSERT_TRUE(WaitUntil([&] { return done; }, 3000));
    EXPECT_GE(clock.elapsed(), MprisClient::kCallTimeoutMs - 20);
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_GE(ticks, 5) << "the event loop ran while the player hung";
    EXPECT_EQ(client.Player(), paused.Name());

    hung.Set("Playing", qlonglong{1});
    EXPECT_EQ(PollOnce(client), hung.Name());
    hung.Set("Playing", qlonglong{1}, true); // hangs between the poll and the click
    clock.restart();
    EXPECT_EQ(ReadOnce(client), std::nullopt);
    EXPECT_LT(clock.elapsed(), 2000);
}

// mpv with the MPRIS plugin, paused at one minute of a 44.1 kHz Layer III file.
TEST_F(Mpris, RealPlayerPausedAtOneMinuteThenGone) {
    const std::string mpv = QStandardPaths::findExecutable("mpv").toStdString();
    std::string plugin = "/usr/lib/mpv-mpris/mpris.so";
    if (!QFile::exists(QString::fromStdString(plugin)))
        plugin = "/etc/mpv/scripts/mpris.so";
    if (mpv.empty() || !QFile::exists(QString::fromStdString(plugin)))
        GTEST_SKIP() << "mpv and mpv-mpris (Debian packages) are needed";
    if (!HaveProgram("lame"))
        GTEST_SKIP() << "lame is not installed";
    TempDir dir;
    std::vector<std::int16_t> pcm;
    AppendTone(pcm, {}, 70.0, 440.0, 4000);
    EncodeWithLame(pcm, {}, "-b 128", dir.File("minute.mp3"));

    QProcess player;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", m_bus.Address());
    env.insert("HOME", QString::fromStdString(dir.path()));
    player.setProcessEnvironment(env);
    player.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    player.setStandardOutputFile(QProcess::nullDevice());
    player.start(QString::fromStdString(mpv),
                 {"--no-config", "--script=" + QString::fromStdString(plugin), "--no-video",
                  "--ao=null", "--pause", "--start=60", "--no-terminal",
                  QString::fromStdString(dir.File("minute.mp3"))});
    ASSERT_TRUE(player.waitForStarted(5000));

    MprisClient client(m_bus.Connect("client"), nullptr);
    EXPECT_TRUE(WaitUntil([&] { return PollOnce(client).startsWith("org.mpris.MediaPlayer2.mpv"); },
                          20000));
    std::optional<std::int64_t> position;
    // The plugin may announce itself before mpv has seeked to the start position.
    WaitUntil(
        [&] {
            position = ReadOnce(client);
            return position && *position > 50'000'000;
        },
        10000);
    ASSERT_TRUE(position.has_value());
    EXPECT_NEAR(static_cast<double>(*position), 60e6, 30e3);
    const std::vector<std::uint8_t> file = ReadFile(dir.File("minute.mp3"));
    MpegHeader first;
    ASSERT_TRUE(file.size() > 4 && DecodeHeader(first, HeaderWordAt(file.data())));
    ASSERT_EQ(first.sampleRate, 44100u);
    EXPECT_EQ(PlayerPositionFrames(first, *position), 2296);

    player.terminate();
    ASSERT_TRUE(player.waitForFinished(5000));
    EXPECT_TRUE(WaitUntil([&] { return PollOnce(client).isEmpty(); }, 5000));
    EXPECT_EQ(ReadOnce(client), std::nullopt);
}
