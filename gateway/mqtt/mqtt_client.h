#pragma once
// The gateway's connection to its MQTT broker, on libmosquitto. It never blocks the event loop the buses run
// on: the network waits happen away from it, and what comes back is handed over as signals on the client's
// thread. A lost broker is reconnected with back-off and jitter until Stop; nothing published while the
// broker is away is queued (the retained topics are published again on Connected).
//
// How: Start runs a thread of the client's own (not mosquitto_loop_start, whose loop reconnects by itself
// with a blocking connect and no jitter). For every attempt it makes a fresh libmosquitto instance with the
// last will (retained, QoS 1), the user name and password and the TLS files set, connects it with
// mosquitto_connect_async (a non-blocking TCP connect; only the host name look-up waits, on that thread) and
// drives it with mosquitto_loop; a refused or lost connection destroys the instance, so nothing queued for it
// survives into the next, and the thread waits 1 s doubling to 60 s, a random half to all of it, before the
// next attempt (a connection that held 30 s starts the back-off afresh). The subscriptions are made again on
// every connect before Connected is handed over. Publish, Subscribe and Stop on the client's thread only
// queue packets (libmosquitto in threaded mode wakes its loop through a socket pair) under a short lock. Stop
// lets the broker confirm the QoS 1 publishes made before it, then sends DISCONNECT (so no last will), all
// within about three seconds, and joins the thread; the destructor does the same without signals. Every
// signal comes through the client's event loop, queued, and none of a session that Stop ended arrives after
// it. Logs go to navix.mqtt; the password never does.

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

namespace navix {

struct MqttTls
{
    QString caFile;
    QString certFile; // with keyFile, a client certificate; both may be empty
    QString keyFile;
};

struct MqttSettings
{
    QString host = QStringLiteral("127.0.0.1");
    int port = 1883;
    QString clientId;
    QString username;    // empty: anonymous
    QByteArray password; // read from its file by whoever builds the settings, never logged
    std::optional<MqttTls> tls;
    QString willTopic;   // empty: no last will; otherwise published retained at QoS 1 by the broker
    QByteArray willPayload;
    int keepAliveSeconds = 30;
};

class MqttClient : public QObject
{
    Q_OBJECT
public:
    explicit MqttClient(MqttSettings settings, QObject *parent = nullptr);
    ~MqttClient() override;
    MqttClient(const MqttClient &) = delete;
    MqttClient &operator=(const MqttClient &) = delete;

    // Connects, and keeps reconnecting after any loss until Stop.
    void Start();
    // Disconnects cleanly (the broker does not send the last will); emits Disconnected if it was connected.
    // Start may follow.
    void Stop();
    bool IsConnected() const;

    // Dropped, not queued, while not connected.
    void Publish(const QString &topic, const QByteArray &payload, int qos, bool retain);
    // Remembered: subscribed again on every connect.
    void Subscribe(const QString &filter, int qos);

signals:
    // After every connect and reconnect.
    void Connected();
    // Once for every Connected, when that connection is lost or stopped.
    void Disconnected();
    // retained: a message the broker held and now delivers because of a new subscription.
    void MessageReceived(const QString &topic, const QByteArray &payload, bool retained);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace navix
