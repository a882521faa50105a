#pragma once

// A private session bus and fake media players on it, for tests of the player position.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QProcess>
#include <QStandardPaths>

namespace velmora::test {

// A private session bus (dbus-daemon) for the length of a test.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    bool Running() const { return !m_address.isEmpty(); }
    const QString& Address() const { return m_address; }
    // A new connection of this process to the bus, under `name`; disconnected with the bus.
    QDBusConnection Connect(const QString& name);

private:
    QProcess m_daemon;
    QString m_address;
    QStringList m_connections;
};

inline PrivateBus::PrivateBus() {
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty())
        return;
    m_daemon.setProgram(daemon);
    m_daemon.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"),
                           QStringLiteral("--print-address=1")});
    m_daemon.setProcessChannelMode(QProcess::SeparateChannels);
    m_daemon.start();
    if (!m_daemon.waitForStarted(5000))
        return;
    while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(5000)) {
    }
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
}

inline PrivateBus::~PrivateBus() {
    for (const QString& name : m_connections)
        QDBusConnection::disconnectFromBus(name);
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(3000))
            m_daemon.kill();
        m_daemon.waitForFinished(3000);
    }
}

inline QDBusConnection PrivateBus::Connect(const QString& name) {
    m_connections << name;
    return QDBusConnection::connectToBus(m_address, name);
}

// A media player on the private bus answering the two properties the client reads; it can hang
// (never answer) or answer garbage.
class FakePlayer final : public QDBusVirtualObject {
public:
    FakePlayer(PrivateBus& bus, const QString& name, const QString& status, QVariant position)
        : m_connection(bus.Connect("fake-" + name)), m_name("org.mpris.MediaPlayer2." + name),
          m_status(status), m_position(std::move(position)) {
        m_connection.registerVirtualObject("/org/mpris/MediaPlayer2", this);
        m_connection.registerService(m_name);
    }
    ~FakePlayer() override { Quit(); }

    void Set(const QString& status, QVariant position, bool hangs = false) {
        QMutexLocker lock(&m_mutex);
        m_status = status;
        m_position = std::move(position);
        m_hangs = hangs;
    }
    void Quit() {
        m_connection.unregisterService(m_name);
        m_connection.unregisterObject("/org/mpris/MediaPlayer2");
    }
    const QString& Name() const { return m_name; }

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() != "org.freedesktop.DBus.Properties" || message.member() != "Get" ||
            message.arguments().size() != 2)
            return false;
        QMutexLocker lock(&m_mutex);
        if (m_hangs) {
            message.setDelayedReply(true); // and never answer
            return true;
        }
        const QString property = message.arguments().at(1).toString();
        const QVariant value = property == "PlaybackStatus" ? QVariant(m_status) : m_position;
        connection.send(message.createReply(QVariant::fromValue(QDBusVariant(value))));
        return true;
    }

private:
    QDBusConnection m_connection;
    QString m_name;
    QMutex m_mutex;
    QString m_status;
    QVariant m_position;
    bool m_hangs = false;
};

} // namespace velmora::test
