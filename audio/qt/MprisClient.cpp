#include "MprisClient.h"

#include "UnitPlayerPosition.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QTimer>

namespace velmora {

namespace {

const QString kPlayerPrefix = QStringLiteral("org.mpris.MediaPlayer2.");
const QString kPlayerPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");

QDBusMessage PropertyGet(const QString& busName, const QString& property) {
    QDBusMessage m = QDBusMessage::createMethodCall(
        busName, kPlayerPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    m << kPlayerInterface << property;
    return m;
}

// Runs `handler` with the finished call once it has an answer, an error or has timed out.
template <typename Handler>
void WhenAnswered(QObject* context, const QDBusPendingCall& call, Handler handler) {
    auto* watcher = new QDBusPendingCallWatcher(call, context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [watcher, handler](QDBusPendingCallWatcher*) {
                         watcher->deleteLater();
                         handler(*watcher);
                     });
}

} // namespace

MprisClient::MprisClient(QObject* parent) : MprisClient(QDBusConnection::sessionBus(), parent) {}

MprisClient::MprisClient(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), m_bus(bus) {}

void MprisClient::Poll() {
    if (Polling())
        return;
    if (!m_bus.isConnected()) {
        m_answers.clear();
        // Answered later like a real poll, so callers see one behaviour.
        m_listing = true;
        QTimer::singleShot(0, this, [this] {
            m_listing = false;
            FinishPoll();
        });
        return;
    }
    m_listing = true;
    const QDBusMessage list = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListNames"));
    WhenAnswered(this, m_bus.asyncCall(list, kCallTimeoutMs), [this](const QDBusPendingCall& call) {
        m_listing = false;
        const QDBusPendingReply<QStringList> reply = call;
        NamesListed(reply.isError() ? QStringList() : reply.value());
    });
}

void MprisClient::NamesListed(const QStringList& names) {
    m_answers.clear();
    for (const QString& name : names) {
        if (!name.startsWith(kPlayerPrefix))
            continue;
        ++m_pendingReplies;
        WhenAnswered(
            this,
            m_bus.asyncCall(PropertyGet(name, QStringLiteral("PlaybackStatus")), kCallTimeoutMs),
            [this, name](const QDBusPendingCall& call) {
                const QDBusPendingReply<QDBusVariant> reply = call;
                StatusAnswered(name,
                               reply.isError() ? QString() : reply.value().variant().toString());
            });
    }
    if (m_pendingReplies == 0)
        FinishPoll();
}

void MprisClient::StatusAnswered(const QString& busName, const QString& status) {
    m_answers.emplace_back(busName, status);
    if (--m_pendingReplies == 0)
        FinishPoll();
}

void MprisClient::FinishPoll() {
    std::vector<PlayerState> players;
    for (const auto& [name, status] : m_answers)
        players.push_back({name.toStdString(), status.toStdString()});
    const std::vector<std::string> available = AvailablePlayers(std::move(players));
    m_player = available.empty() ? QString() : QString::fromStdString(available.front());
    emit PollFinished(Available());
}

void MprisClient::ReadPosition(PositionHandler done) {
    if (!Available() || !m_bus.isConnected()) {
        QTimer::singleShot(0, this, [done] { done(std::nullopt); });
        return;
    }
    WhenAnswered(this,
                 m_bus.asyncCall(PropertyGet(m_player, QStringLiteral("Position")), kCallTimeoutMs),
                 [done](const QDBusPendingCall& call) {
                     const QDBusPendingReply<QDBusVariant> reply = call;
                     if (reply.isError()) {
                         done(std::nullopt);
                         return;
                     }
                     const QVariant value = reply.value().variant();
                     if (value.metaType().id() != QMetaType::LongLong || value.toLongLong() < 0) {
                         done(std::nullopt);
                         return;
                     }
                     done(value.toLongLong());
                 });
}

} // namespace velmora
