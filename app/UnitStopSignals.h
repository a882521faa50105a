#pragma once

#include <QObject>

class QSocketNotifier;

namespace velmora {

// Ctrl+C in the terminal (SIGINT), the terminal closed (SIGHUP) and a polite kill (SIGTERM) reach
// the editor as a Qt signal, so that the window closes as Escape closes it: a file being written
// is finished first. The handlers only write the signal's number into a pipe, the one thing a
// handler may safely do; the pipe's reader turns it into Arrived() in the event loop.
class StopSignals final : public QObject {
    Q_OBJECT

public:
    explicit StopSignals(QObject* parent = nullptr);
    // The handlers go back to the defaults.
    ~StopSignals() override;

    // The last signal that arrived, 0 when none did.
    int Received() const { return m_received; }

signals:
    void Arrived(int signal);

private:
    void ReadPipe();

    QSocketNotifier* m_notifier = nullptr;
    int m_received = 0;
};

} // namespace velmora
