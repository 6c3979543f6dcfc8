#pragma once
// The gateway: its buses, and the broker they are published on. Topics (P the prefix, G the gateway's name, B
// a bus, AA a module's address):
//   P/G/status              retained, "online"; the broker's last will says "offline"
//   P/G/B/AA/state          retained JSON, on a change of a value or of the quality; the last good values
//   stay P/G/B/AA/availability   retained, "online", or "offline" once the module missed three polls in a row
//   P/G/B/AA/<point>/set    a set of an output; a retained one is refused (never written)
//   P/G/B/AA/<point>/result the outcome of every set, with the request's id
//   P/G/B/metrics           retained, every 10 s
// With a modbus section, the modules are Modbus TCP units too (gateway_modbus.h).
// A reload takes a file only once it validates; buses whose settings did not change keep running untouched,
// and so does the Modbus server with its connections while its section stays as it was.

#include "gateway_bus.h"
#include "gateway_config.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTimer>

#include <map>
#include <memory>

namespace navix {

class GatewayModbus;
class MqttClient;

class Gateway : public QObject
{
    Q_OBJECT
public:
    static constexpr int MetricsMs = 10000;

    Gateway(const QString &configPath, const GatewayConfig &config, QObject *parent = nullptr);
    ~Gateway() override;

    // Connects to the broker and starts every bus.
    void Start();
    // Reads the configuration file again and applies it once it validates; a file that does not is logged
    // and changes nothing. False for a refused file.
    bool Reload();
    // Publishes the gateway offline and disconnects cleanly; Stopped follows.
    void Stop();

    const GatewayConfig &Config() const { return config; }

signals:
    void Stopped();

private:
    // What the gateway last published of a module, to publish again on a reconnect and to tell a change.
    struct ModuleTopics
    {
        QByteArray state;   // the retained state payload, empty before the first read
        QByteArray content; // the state's values and quality without its time
        QJsonObject values; // the last good values
        std::optional<bool> online;
    };
    struct BusEntry
    {
        std::unique_ptr<GatewayBus> bus;
        QHash<QByteArray, ModuleTopics> modules; // by address
        QByteArray metrics;                      // the retained metrics payload
    };

    QString BaseTopic() const;
    QString ModuleTopic(const QString &bus, const QByteArray &address) const;
    void StartClient();
    void StartBus(const GatewayBusConfig &busConfig);
    void RemoveBus(const QString &name);
    void PublishRetained();
    void PublishDiscovery(const BusEntry &entry);
    void ClearDiscovery(const BusEntry &entry);
    void TakeValues(const QString &bus, const ModuleValues &values);
    void PublishAvailability(const QString &bus, const QByteArray &address, bool online);
    void TakeMessage(const QString &topic, const QByteArray &payload, bool retained);
    void TakeSet(const QStringList &levels, const QByteArray &payload, bool retained);
    void PublishResult(const QString &bus, const QByteArray &address, const QString &pointId,
                       const QString &requestId, const SetOutcome &outcome);
    void PublishMetrics();
    void ApplyBuses(const QList<GatewayBusConfig> &buses);
    void StartModbus();

    QString configPath;
    GatewayConfig config;
    std::unique_ptr<MqttClient> client;
    std::unique_ptr<GatewayModbus> modbus;
    std::map<QString, BusEntry> buses; // by name
    QTimer metricsTimer;
    bool stopping = false;
};

} // namespace navix
