#pragma once
// The gateway's connection to its MQTT broker, on libmosquitto. It never blocks the event loop the buses run
// on: the network waits happen away from it, and what comes back is handed over as signals on the client's
// thread. A lost broker is reconnected with back-off and jitter until Stop; nothing published while the broker
// is away is queued (the retained topics are published again on Connected).

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
    // Disconnects cleanly (the broker does not send the last will).
    void Stop();
    bool IsConnected() const;

    // Dropped, not queued, while not connected.
    void Publish(const QString &topic, const QByteArray &payload, int qos, bool retain);
    // Remembered: subscribed again on every connect.
    void Subscribe(const QString &filter, int qos);

signals:
    // After every connect and reconnect.
    void Connected();
    void Disconnected();
    void MessageReceived(const QString &topic, const QByteArray &payload, bool retained);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace navix
