#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>

#include <string>

namespace velmora::test {

// A private session bus (dbus-daemon) for the length of a test.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool Running() const { return !m_address.isEmpty(); }
    const QString& Address() const { return m_address; }
    // A new connection of this process to the bus, under `name`; disconnected with the bus.
    QDBusConnection Connect(const QString& name);

private:
    QProcess m_daemon;
    QString m_address;
    QStringList m_connections;
};

// Whether this process has already used Qt Multimedia: its sound-server connection is made once
// per process, so a test that needs its own server must run first (ctest runs each test alone).
bool ClaimMultimedia();

// Absolute path of a program on PATH, or empty.
std::string ProgramPath(const char* name);

} // namespace velmora::test
