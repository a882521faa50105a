#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace velmora {

// Finds media players on the session bus (the MPRIS interface) and reads their play position.
// Every call is asynchronous with a short timeout, so a hung or vanishing player never blocks
// the caller; without a bus there is simply no player.
class MprisClient final : public QObject {
    Q_OBJECT
public:
    explicit MprisClient(QObject* parent = nullptr);
    MprisClient(const QDBusConnection& bus, QObject* parent);

    static constexpr int kCallTimeoutMs = 200;

    // Starts a poll and returns at once; PollFinished follows. A poll still under way is not
    // doubled: the call then does nothing.
    void Poll();
    bool Polling() const { return m_pendingReplies > 0 || m_listing; }

    // The result of the last finished poll.
    bool Available() const { return !m_player.isEmpty(); }
    // The bus name of the player whose position is taken ("org.mpris.MediaPlayer2.…").
    const QString& Player() const { return m_player; }

    // Reads the position (µs) of the player found by the last poll. `done` runs once, later, with
    // the position, or with nothing when there is no player or it gave no valid answer (an
    // error, a timeout, a value that is not a 64-bit integer, a negative one).
    using PositionHandler = std::function<void(std::optional<std::int64_t> microseconds)>;
    void ReadPosition(PositionHandler done);

signals:
    void PollFinished(bool available);

private:
    void NamesListed(const QStringList& names);
    void StatusAnswered(const QString& busName, const QString& status);
    void FinishPoll();

    QDBusConnection m_bus;
    QString m_player;
    bool m_listing = false;
    int m_pendingReplies = 0;
    std::vector<std::pair<QString, QString>> m_answers; // bus name, PlaybackStatus
};

} // namespace velmora
