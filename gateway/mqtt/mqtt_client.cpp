#include "gateway/mqtt/mqtt_client.h"

#include "gateway/mqtt/mqtt_log.h"

#include <QList>
#include <QRandomGenerator>
#include <QSet>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace navix {

Q_LOGGING_CATEGORY(MqttLog, "navix.mqtt", QtWarningMsg)

// How the client runs (see the header): one thread of our own per Start, which owns every network wait.
// Each connection attempt gets a fresh libmosquitto instance, told that the program is threaded
// (mosquitto_threaded_set), connected with mosquitto_connect_async (a non-blocking TCP connect; only the name
// look-up can wait, and it waits on this thread) and driven with mosquitto_loop. When the connection ends the
// instance is destroyed, so nothing queued for the old connection can be sent on the next one. Between
// attempts the thread waits out the back-off on a condition variable that Stop interrupts.
//
// The client's own thread (the Qt event loop the buses run on) only ever takes `mutex` for a moment:
// mosquitto_publish, mosquitto_subscribe and mosquitto_disconnect on a threaded instance queue the packet and
// wake the loop through libmosquitto's socket pair; they never write to the network themselves. What the
// thread learns (connected, lost, a message) is handed over with queued calls carrying the session number, so
// that nothing of a session Stop ended arrives after it.
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kFirstDelay = 1s;
constexpr auto kLongestDelay = 60s;
// A connection that lasted this long resets the back-off; one that breaks sooner (a broker that takes the
// connection and drops it, another client with the same id) keeps it growing.
constexpr auto kStableConnection = 30s;
// An attempt that got no answer (no CONNACK) within this time is given up and counts as failed.
constexpr auto kConnectTimeout = 10s;
// How long a clean stop waits for the broker to acknowledge what was published before it (the gateway's
// "offline"), and then for its DISCONNECT to go out.
constexpr auto kDrainTimeout = 1s;
constexpr auto kDisconnectTimeout = 2s;
// The longest the loop sleeps in select(): bounds keep-alive handling and noticing a stop.
constexpr int kLoopTimeoutMs = 500;

void EnsureLibraryInitialised()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

// The back-off before the attempt after `failures` failed ones: 1 s doubling to 60 s, then between half of
// that and all of it ("equal jitter"), so that gateways that lost the same broker do not come back in step.
std::chrono::milliseconds BackOff(int failures)
{
    std::chrono::milliseconds delay = kFirstDelay;
    for (int i = 0; i < failures && delay < kLongestDelay; ++i)
        delay *= 2;
    delay = std::min<std::chrono::milliseconds>(delay, kLongestDelay);
    const qint64 half = delay.count() / 2;
    return std::chrono::milliseconds(half + QRandomGenerator::global()->bounded(half + 1));
}

QByteArray Utf8(const QString &text)
{
    return text.toUtf8();
}

// Every subscription keeps the retain flag as the message was published (MQTT 5), also for a message that
// reaches a subscriber the moment it is published.
int SubscribeRetainAsPublished(mosquitto *m, const QString &filter, int qos)
{
    return mosquitto_subscribe_v5(m, nullptr, Utf8(filter).constData(), qos, MQTT_SUB_OPT_RETAIN_AS_PUBLISHED,
                                  nullptr);
}

const char *OrNull(const QByteArray &text)
{
    return text.isEmpty() ? nullptr : text.constData();
}

} // namespace

struct MqttClient::Private
{
    MqttClient *q = nullptr;
    const MqttSettings settings;

    // Guards everything below that both threads touch.
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    mosquitto *current = nullptr; // the instance of the attempt in progress, owned by the thread
    bool live = false;            // current has its CONNACK and has not been lost
    QSet<int> unacknowledged; // message ids of current's QoS 1 and 2 publishes the broker has not confirmed
    bool disconnectSent = false; // mosquitto_disconnect was called on current
    QList<QPair<QString, int>> subscriptions;

    std::thread thread;
    // The client's thread only.
    quint64 session = 0; // bumped by Start and Stop; hand-overs of another session are dropped
    bool connected = false;

    explicit Private(MqttSettings s) : settings(std::move(s)) {}

    // The thread's side.
    void Run(quint64 forSession);
    bool RunOneConnection(quint64 forSession, bool &wasStable);
    int Loop(mosquitto *m, Clock::time_point &connectedAt, bool &timedOut);
    mosquitto *NewInstance();
    bool WaitFor(std::chrono::milliseconds delay);
    void SubscribeAllLocked();
    void DisconnectWhenDrainedLocked(bool drainTimedOut);
    void HandOverConnected(quint64 forSession);
    void HandOverDisconnected(quint64 forSession);

    // The client's side.
    void StopThread();

    static void OnConnect(mosquitto *, void *self, int rc);
    static void OnMessage(mosquitto *, void *self, const mosquitto_message *message);
    static void OnPublish(mosquitto *, void *self, int mid);
    static void OnLog(mosquitto *, void *, int level, const char *text);

    QString Where() const { return QStringLiteral("%1:%2").arg(settings.host).arg(settings.port); }
    void ReportFailure(const QString &text);

    // Set by the thread for the callbacks of the attempt in progress.
    quint64 callbackSession = 0;
    bool connackSeen = false;
    int refusal = 0;
    // The thread's last failure since the last connection: the same again is logged below warnings.
    QString lastFailure;
};

MqttClient::MqttClient(MqttSettings settings, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>(std::move(settings)))
{
    d->q = this;
    EnsureLibraryInitialised();
}

MqttClient::~MqttClient()
{
    // No signal from a destructor: the thread is stopped and joined before any member goes.
    d->StopThread();
}

void MqttClient::Start()
{
    if (d->thread.joinable())
        return;
    {
        std::lock_guard lock(d->mutex);
        d->stopping = false;
    }
    const quint64 session = ++d->session;
    qCInfo(MqttLog).noquote() << "connecting to" << d->Where()
                              << (d->settings.username.isEmpty() ? "anonymously" : "with a user name")
                              << (d->settings.tls ? "over TLS" : "");
    d->thread = std::thread([this, session] { d->Run(session); });
}

void MqttClient::Stop()
{
    const bool wasConnected = d->connected;
    d->StopThread();
    if (wasConnected)
        emit Disconnected();
}

bool MqttClient::IsConnected() const
{
    return d->connected;
}

void MqttClient::Publish(const QString &topic, const QByteArray &payload, int qos, bool retain)
{
    if (!d->connected) {
        qCDebug(MqttLog) << "not connected: dropped a publish to" << topic;
        return;
    }
    const QByteArray topicBytes = Utf8(topic);
    std::lock_guard lock(d->mutex);
    if (!d->current || !d->live) {
        qCDebug(MqttLog) << "connection lost: dropped a publish to" << topic;
        return;
    }
    int mid = 0;
    const int rc = mosquitto_publish(d->current, &mid, topicBytes.constData(), int(payload.size()),
                                     payload.constData(), qos, retain);
    if (rc != MOSQ_ERR_SUCCESS)
        qCWarning(MqttLog) << "publish to" << topic << "failed:" << mosquitto_strerror(rc);
    else if (qos > 0)
        d->unacknowledged.insert(mid); // the thread's OnPublish, which takes the mutex, removes it
}

void MqttClient::Subscribe(const QString &filter, int qos)
{
    std::lock_guard lock(d->mutex);
    auto known = std::find_if(d->subscriptions.begin(), d->subscriptions.end(),
                              [&](const QPair<QString, int> &s) { return s.first == filter; });
    if (known != d->subscriptions.end())
        known->second = qos;
    else
        d->subscriptions.append({filter, qos});
    if (d->current && d->live) {
        const int rc = SubscribeRetainAsPublished(d->current, filter, qos);
        if (rc != MOSQ_ERR_SUCCESS)
            qCWarning(MqttLog) << "subscribing to" << filter << "failed:" << mosquitto_strerror(rc);
    }
}

void MqttClient::Private::StopThread()
{
    ++session; // whatever the old session still has on its way is dropped
    connected = false;
    if (!thread.joinable())
        return;
    {
        std::lock_guard lock(mutex);
        stopping = true;
        // Now, or the thread does once the broker confirmed the last publishes.
        DisconnectWhenDrainedLocked(false);
    }
    wake.notify_all();
    thread.join();
    qCInfo(MqttLog).noquote() << "stopped the connection to" << Where();
}

void MqttClient::Private::Run(quint64 forSession)
{
    int failures = 0;
    for (;;) {
        bool wasStable = false;
        const bool connected = RunOneConnection(forSession, wasStable);
        if (wasStable)
            failures = 0;
        {
            std::lock_guard lock(mutex);
            if (stopping)
                return;
        }
        const auto delay = BackOff(failures);
        if (!connected || !wasStable)
            ++failures;
        qCDebug(MqttLog) << "next attempt in" << delay.count() << "ms";
        if (!WaitFor(delay))
            return;
    }
}

bool MqttClient::Private::WaitFor(std::chrono::milliseconds delay)
{
    std::unique_lock lock(mutex);
    return !wake.wait_for(lock, delay, [this] { return stopping; });
}

mosquitto *MqttClient::Private::NewInstance()
{
    const QByteArray id = Utf8(settings.clientId);
    mosquitto *m = mosquitto_new(OrNull(id), true, this);
    if (!m)
        return nullptr;
    mosquitto_threaded_set(m, true);
    // MQTT 5, so that a subscription can ask for the retain flag as it was published: with 3.1.1 a retained
    // command published while the gateway is connected arrives looking live, and would be carried out.
    mosquitto_int_option(m, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_connect_callback_set(m, &Private::OnConnect);
    mosquitto_message_callback_set(m, &Private::OnMessage);
    mosquitto_publish_callback_set(m, &Private::OnPublish);
    mosquitto_log_callback_set(m, &Private::OnLog);
    int rc = MOSQ_ERR_SUCCESS;
    if (!settings.willTopic.isEmpty()) {
        const QByteArray topic = Utf8(settings.willTopic);
        rc = mosquitto_will_set(m, topic.constData(), int(settings.willPayload.size()),
                                settings.willPayload.constData(), 1, true);
    }
    if (rc == MOSQ_ERR_SUCCESS && !settings.username.isEmpty()) {
        const QByteArray user = Utf8(settings.username);
        rc = mosquitto_username_pw_set(m, user.constData(), OrNull(settings.password));
    }
    if (rc == MOSQ_ERR_SUCCESS && settings.tls) {
        const QByteArray ca = Utf8(settings.tls->caFile);
        const QByteArray cert = Utf8(settings.tls->certFile);
        const QByteArray key = Utf8(settings.tls->keyFile);
        rc = mosquitto_tls_set(m, OrNull(ca), nullptr, OrNull(cert), OrNull(key), nullptr);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        ReportFailure(
            QStringLiteral("libmosquitto refused the connection's settings: %1%2")
                .arg(mosquitto_strerror(rc), settings.tls ? " (are the TLS files there and readable?)" : ""));
        mosquitto_destroy(m);
        return nullptr;
    }
    return m;
}

// One attempt, and the connection it makes until it ends. True when the broker accepted it; wasStable when it
// lasted long enough to reset the back-off.
bool MqttClient::Private::RunOneConnection(quint64 forSession, bool &wasStable)
{
    mosquitto *m = NewInstance();
    if (!m)
        return false;
    callbackSession = forSession;
    connackSeen = false;
    refusal = 0;
    const QByteArray host = Utf8(settings.host);
    int rc =
        mosquitto_connect_async(m, host.constData(), settings.port, std::max(5, settings.keepAliveSeconds));
    {
        std::lock_guard lock(mutex);
        current = m;
        unacknowledged.clear();
        disconnectSent = false;
        if (stopping)
            rc = MOSQ_ERR_NO_CONN;
    }
    Clock::time_point connectedAt{};
    bool timedOut = false;
    if (rc == MOSQ_ERR_SUCCESS)
        rc = Loop(m, connectedAt, timedOut);
    bool stopped;
    {
        std::lock_guard lock(mutex);
        live = false;
        current = nullptr;
        stopped = stopping;
    }
    mosquitto_destroy(m);
    if (connackSeen) {
        wasStable = Clock::now() - connectedAt >= kStableConnection;
        lastFailure.clear();
        if (stopped)
            qCInfo(MqttLog).noquote() << "disconnected from" << Where();
        else
            qCWarning(MqttLog).noquote() << "lost the broker" << Where() + ":" << mosquitto_strerror(rc);
        HandOverDisconnected(forSession);
    } else if (refusal != 0) {
        ReportFailure(QStringLiteral("the broker %1 refused the connection: %2")
                          .arg(Where(), QString::fromUtf8(mosquitto_connack_string(refusal))));
    } else if (timedOut) {
        ReportFailure(QStringLiteral("no answer from %1 within %2 s")
                          .arg(Where())
                          .arg(std::chrono::duration_cast<std::chrono::seconds>(kConnectTimeout).count()));
    } else if (!stopped) {
        ReportFailure(QStringLiteral("cannot connect to %1: %2").arg(Where(), mosquitto_strerror(rc)));
    }
    return connackSeen;
}

// Drives the instance until its connection ends, the attempt times out, or a stop has had its DISCONNECT sent
// (or given up on it). Returns libmosquitto's last result.
int MqttClient::Private::Loop(mosquitto *m, Clock::time_point &connectedAt, bool &timedOut)
{
    const auto started = Clock::now();
    std::optional<Clock::time_point> stopDeadline;
    int rc = MOSQ_ERR_SUCCESS;
    while (rc == MOSQ_ERR_SUCCESS) {
        rc = mosquitto_loop(m, kLoopTimeoutMs, 1);
        if (connackSeen && connectedAt == Clock::time_point{})
            connectedAt = Clock::now();
        if (!connackSeen && refusal == 0 && Clock::now() - started > kConnectTimeout) {
            timedOut = true;
            return MOSQ_ERR_CONN_LOST;
        }
        std::lock_guard lock(mutex);
        if (stopping && !connackSeen)
            break; // nothing to say goodbye to
        if (stopping && !stopDeadline)
            stopDeadline = Clock::now() + kDrainTimeout + kDisconnectTimeout;
        if (stopping)
            DisconnectWhenDrainedLocked(Clock::now() > *stopDeadline - kDisconnectTimeout);
        if (stopDeadline && Clock::now() > *stopDeadline)
            break;
    }
    return rc;
}

// A broker that stays away is reported once as a warning, not on every attempt for days.
void MqttClient::Private::ReportFailure(const QString &text)
{
    if (text == lastFailure) {
        qCInfo(MqttLog).noquote() << text;
        return;
    }
    lastFailure = text;
    qCWarning(MqttLog).noquote() << text << "(trying again with back-off)";
}

// A clean stop sends its DISCONNECT only once the broker confirmed the QoS 1 publishes before it:
// libmosquitto closes the socket right after the DISCONNECT, and a close with unread data (a PUBACK on its
// way) resets the connection, which can make the broker drop the DISCONNECT unread and publish the last will
// after all.
void MqttClient::Private::DisconnectWhenDrainedLocked(bool drainTimedOut)
{
    if (!current || !live || disconnectSent || (!unacknowledged.isEmpty() && !drainTimedOut))
        return;
    disconnectSent = true;
    mosquitto_disconnect(current); // queues the DISCONNECT and wakes the loop
}

void MqttClient::Private::SubscribeAllLocked()
{
    for (const auto &[filter, qos] : std::as_const(subscriptions)) {
        const int rc = SubscribeRetainAsPublished(current, filter, qos);
        if (rc != MOSQ_ERR_SUCCESS)
            qCWarning(MqttLog) << "subscribing to" << filter << "failed:" << mosquitto_strerror(rc);
        else
            qCDebug(MqttLog) << "subscribed to" << filter << "QoS" << qos;
    }
}

void MqttClient::Private::OnConnect(mosquitto *, void *self, int rc)
{
    auto *d = static_cast<Private *>(self);
    if (rc != 0) {
        d->refusal = rc;
        return;
    }
    d->connackSeen = true;
    {
        std::lock_guard lock(d->mutex);
        d->live = true;
        d->SubscribeAllLocked();
    }
    qCInfo(MqttLog).noquote() << "connected to" << d->Where();
    d->HandOverConnected(d->callbackSession);
}

void MqttClient::Private::OnMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    auto *d = static_cast<Private *>(self);
    const QString topic = QString::fromUtf8(message->topic);
    const QByteArray payload(static_cast<const char *>(message->payload), message->payloadlen);
    const bool retained = message->retain;
    const quint64 forSession = d->callbackSession;
    MqttClient *q = d->q;
    QMetaObject::invokeMethod(
        q,
        [q, forSession, topic, payload, retained] {
            if (q->d->session == forSession && q->d->connected)
                emit q->MessageReceived(topic, payload, retained);
        },
        Qt::QueuedConnection);
}

void MqttClient::Private::OnPublish(mosquitto *, void *self, int mid)
{
    auto *d = static_cast<Private *>(self);
    std::lock_guard lock(d->mutex);
    d->unacknowledged.remove(mid);
}

void MqttClient::Private::HandOverConnected(quint64 forSession)
{
    MqttClient *client = q;
    QMetaObject::invokeMethod(
        client,
        [client, forSession] {
            if (client->d->session != forSession || client->d->connected)
                return;
            client->d->connected = true;
            emit client->Connected();
        },
        Qt::QueuedConnection);
}

void MqttClient::Private::HandOverDisconnected(quint64 forSession)
{
    MqttClient *client = q;
    QMetaObject::invokeMethod(
        client,
        [client, forSession] {
            if (client->d->session != forSession || !client->d->connected)
                return;
            client->d->connected = false;
            emit client->Disconnected();
        },
        Qt::QueuedConnection);
}

void MqttClient::Private::OnLog(mosquitto *, void *, int level, const char *text)
{
    // libmosquitto's client log names packets and client ids, never the password.
    if (level & (MOSQ_LOG_ERR | MOSQ_LOG_WARNING))
        qCInfo(MqttLog) << "libmosquitto:" << text;
    else
        qCDebug(MqttLog) << "libmosquitto:" << text;
}

} // namespace navix
