#include "gateway.h"

#include "gateway_log.h"
#include "gateway_modbus.h"
#include "mqtt/ha_discovery.h"
#include "mqtt/mqtt_client.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace navix {

namespace {
constexpr int QosAtLeastOnce = 1;
constexpr int QosAtMostOnce = 0;
const QByteArray Online = "online";
const QByteArray Offline = "offline";

QString Now()
{
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

QString QualityName(ValueQuality quality)
{
    switch (quality) {
    case ValueQuality::Good:
        return QStringLiteral("good");
    case ValueQuality::WrongChecksum:
        return QStringLiteral("checksum");
    case ValueQuality::Lost:
    case ValueQuality::Absent:
        break;
    }
    return QStringLiteral("lost");
}

QJsonValue Number(double value)
{
    return std::isnan(value) ? QJsonValue() : QJsonValue(value);
}

// A set's payload: a bare value, or {"value": v, "id": "..."}. Nothing for a payload that is neither.
std::optional<std::pair<double, QString>> ParseSet(const QByteArray &payload)
{
    const QByteArray text = payload.trimmed();
    bool isNumber = false;
    const double value = text.toDouble(&isNumber);
    if (isNumber)
        return std::pair{value, QString()};
    const QJsonObject object = QJsonDocument::fromJson(text).object();
    const QJsonValue given = object.value("value");
    if (given.isDouble())
        return std::pair{given.toDouble(), object.value("id").toVariant().toString()};
    if (given.isBool())
        return std::pair{given.toBool() ? 1.0 : 0.0, object.value("id").toVariant().toString()};
    return std::nullopt;
}

QByteArray MetricsPayload(const BusMetrics &metrics, bool portOpen)
{
    QJsonObject modules;
    for (auto module = metrics.modules.cbegin(); module != metrics.modules.cend(); ++module)
        modules.insert(QString::fromLatin1(module.key()),
                       QJsonObject{{"exchanges", qint64(module->exchanges)},
                                   {"timeouts", qint64(module->timeOuts)},
                                   {"checksum_errors", qint64(module->wrongChecksums)},
                                   {"polls", qint64(module->polls)},
                                   {"round_trip_p50_ms", module->roundTripP50},
                                   {"round_trip_p95_ms", module->roundTripP95}});
    return QJsonDocument(QJsonObject{{"time", Now()},
                                     {"port_open", portOpen},
                                     {"cycle_ms", metrics.cycleMs},
                                     {"modules", modules}})
        .toJson(QJsonDocument::Compact);
}
} // namespace

Gateway::Gateway(const QString &path, const GatewayConfig &gatewayConfig, QObject *parent)
    : QObject(parent), configPath(path), config(gatewayConfig)
{
    metricsTimer.setInterval(MetricsMs);
    connect(&metricsTimer, &QTimer::timeout, this, &Gateway::PublishMetrics);
}

Gateway::~Gateway() = default;

QString Gateway::BaseTopic() const
{
    return config.mqtt.prefix + '/' + config.name;
}

QString Gateway::ModuleTopic(const QString &bus, const QByteArray &address) const
{
    return QStringLiteral("%1/%2/%3").arg(BaseTopic(), bus, QString::fromLatin1(address));
}

void Gateway::Start()
{
    StartClient();
    for (const GatewayBusConfig &busConfig : config.buses)
        StartBus(busConfig);
    StartModbus();
    metricsTimer.start();
}

void Gateway::StartModbus()
{
    if (!config.modbus)
        return;
    modbus = std::make_unique<GatewayModbus>(*config.modbus);
    modbus->Start();
    for (const auto &[name, entry] : buses)
        modbus->AddBus(*entry.bus);
}

void Gateway::StartClient()
{
    MqttSettings settings;
    settings.host = config.mqtt.host;
    settings.port = config.mqtt.port;
    settings.clientId = QStringLiteral("navix-gateway-%1").arg(config.name);
    settings.username = config.mqtt.username;
    settings.password = config.mqtt.password;
    if (config.mqtt.tls)
        settings.tls = MqttTls{config.mqtt.tls->ca, config.mqtt.tls->cert, config.mqtt.tls->key};
    settings.willTopic = BaseTopic() + "/status";
    settings.willPayload = Offline;
    client = std::make_unique<MqttClient>(settings);
    connect(client.get(), &MqttClient::Connected, this, [this] {
        qCInfo(GatewayLog) << "broker" << config.mqtt.host << config.mqtt.port << "connected";
        PublishRetained();
    });
    connect(client.get(), &MqttClient::Disconnected, this,
            [this] { qCWarning(GatewayLog) << "broker" << config.mqtt.host << config.mqtt.port << "lost"; });
    connect(client.get(), &MqttClient::MessageReceived, this, &Gateway::TakeMessage);
    client->Subscribe(BaseTopic() + "/+/+/+/set", QosAtLeastOnce);
    if (config.mqtt.discovery)
        client->Subscribe(HaStatusTopic({config.mqtt.prefix, config.name}), QosAtLeastOnce);
    client->Start();
}

void Gateway::StartBus(const GatewayBusConfig &busConfig)
{
    BusEntry &entry = buses[busConfig.name];
    entry.bus = std::make_unique<GatewayBus>(busConfig);
    GatewayBus *bus = entry.bus.get();
    const QString name = busConfig.name;
    connect(bus, &GatewayBus::ValuesRead, this,
            [this, name](const ModuleValues &values) { TakeValues(name, values); });
    connect(bus, &GatewayBus::SetDone, this,
            [this, name](const QByteArray &address, const QString &pointId, const QString &requestId,
                         const SetOutcome &outcome, SetOrigin origin) {
                if (origin == SetOrigin::Mqtt)
                    PublishResult(name, address, pointId, requestId, outcome);
            });
    if (!bus->Start())
        qCWarning(GatewayLog) << "bus" << name << ": no module in" << busConfig.modules;
    if (modbus)
        modbus->AddBus(*bus);
    if (client && client->IsConnected() && config.mqtt.discovery)
        PublishDiscovery(entry);
}

void Gateway::RemoveBus(const QString &name)
{
    const auto found = buses.find(name);
    if (found == buses.end())
        return;
    BusEntry &entry = found->second;
    // Its modules are no longer watched: nobody may take their last word for the truth.
    for (auto module = entry.modules.cbegin(); module != entry.modules.cend(); ++module)
        client->Publish(ModuleTopic(name, module.key()) + "/availability", Offline, QosAtLeastOnce, true);
    if (config.mqtt.discovery)
        ClearDiscovery(entry);
    if (modbus)
        modbus->RemoveBus(name);
    qCInfo(GatewayLog) << "bus" << name << "stopped";
    buses.erase(found);
}

void Gateway::PublishRetained()
{
    client->Publish(BaseTopic() + "/status", Online, QosAtLeastOnce, true);
    for (const auto &[name, entry] : buses) {
        for (auto module = entry.modules.cbegin(); module != entry.modules.cend(); ++module) {
            const QString topic = ModuleTopic(name, module.key());
            if (module->online)
                client->Publish(topic + "/availability", *module->online ? Online : Offline, QosAtLeastOnce,
                                true);
            if (!module->state.isEmpty())
                client->Publish(topic + "/state", module->state, QosAtMostOnce, true);
        }
        if (!entry.metrics.isEmpty())
            client->Publish(BaseTopic() + '/' + name + "/metrics", entry.metrics, QosAtMostOnce, true);
        if (config.mqtt.discovery)
            PublishDiscovery(entry);
    }
}

void Gateway::PublishDiscovery(const BusEntry &entry)
{
    const HaDiscoveryNaming naming{config.mqtt.prefix, config.name};
    for (const GatewayModule &module : entry.bus->Modules())
        for (const HaDiscoveryMessage &message : HaDiscoveryMessages(module, naming))
            client->Publish(message.topic, message.payload, QosAtLeastOnce, true);
}

void Gateway::ClearDiscovery(const BusEntry &entry)
{
    const HaDiscoveryNaming naming{config.mqtt.prefix, config.name};
    for (const GatewayModule &module : entry.bus->Modules())
        for (const QString &topic : HaDiscoveryClearTopics(module, naming))
            client->Publish(topic, QByteArray(), QosAtLeastOnce, true);
}

void Gateway::TakeValues(const QString &bus, const ModuleValues &values)
{
    ModuleTopics &topics = buses[bus].modules[values.address];
    if (values.quality == ValueQuality::Good)
        PublishAvailability(bus, values.address, true);
    else if (values.quality == ValueQuality::Absent)
        PublishAvailability(bus, values.address, false);
    const GatewayModule *module = nullptr;
    for (const GatewayModule &candidate : buses[bus].bus->Modules())
        if (candidate.address == values.address)
            module = &candidate;
    if (!module)
        return;
    QJsonObject names;
    QJsonObject units;
    QJsonObject read;
    for (qsizetype channel = 0; channel < module->points.size(); ++channel) {
        const GatewayPoint &point = module->points[channel];
        names.insert(point.id, values.channels.value(channel).name);
        if (!values.unit.isEmpty() && point.kind != PointKind::DigitalInput &&
            point.kind != PointKind::DigitalOutput)
            units.insert(point.id, values.unit);
        read.insert(point.id, Number(values.values.value(channel, LostValue)));
    }
    // A poll without an answer keeps the last good values: the quality says they are old.
    if (values.quality == ValueQuality::Good)
        topics.values = read;
    QJsonObject state{{"type", QString::fromLatin1(values.typeId)},
                      {"quality", QualityName(values.quality)},
                      {"values", topics.values},
                      {"names", names},
                      {"units", units}};
    const QByteArray content = QJsonDocument(state).toJson(QJsonDocument::Compact);
    if (content == topics.content)
        return;
    topics.content = content;
    state.insert("time", Now());
    topics.state = QJsonDocument(state).toJson(QJsonDocument::Compact);
    client->Publish(ModuleTopic(bus, values.address) + "/state", topics.state, QosAtMostOnce, true);
}

void Gateway::PublishAvailability(const QString &bus, const QByteArray &address, bool online)
{
    ModuleTopics &topics = buses[bus].modules[address];
    if (topics.online == online)
        return;
    topics.online = online;
    qCInfo(GatewayLog) << "bus" << bus << "module" << address << (online ? "online" : "offline");
    client->Publish(ModuleTopic(bus, address) + "/availability", online ? Online : Offline, QosAtLeastOnce,
                    true);
}

void Gateway::TakeMessage(const QString &topic, const QByteArray &payload, bool retained)
{
    if (config.mqtt.discovery && topic == HaStatusTopic({config.mqtt.prefix, config.name})) {
        if (payload.trimmed() == Online)
            for (const auto &[name, entry] : buses)
                PublishDiscovery(entry);
        return;
    }
    const QString base = BaseTopic() + '/';
    if (!topic.startsWith(base))
        return;
    const QStringList levels = topic.mid(base.size()).split('/');
    if (levels.size() == 4 && levels[3] == QLatin1String("set"))
        TakeSet(levels, payload, retained);
}

void Gateway::TakeSet(const QStringList &levels, const QByteArray &payload, bool retained)
{
    const QString &busName = levels[0];
    const QByteArray address = levels[1].toLatin1();
    const QString &pointId = levels[2];
    // An empty message removes a retained one from the broker: it asks for nothing.
    if (payload.isEmpty())
        return;
    const std::optional<std::pair<double, QString>> set = ParseSet(payload);
    const QString requestId = set ? set->second : QString();
    // A retained command would fire again on every reconnect and restart: it is never taken.
    if (retained) {
        qCWarning(GatewayLog) << "retained set on" << busName << address << pointId << "ignored";
        PublishResult(busName, address, pointId, requestId, {false, 0, QStringLiteral("refused")});
        return;
    }
    const auto bus = buses.find(busName);
    if (bus == buses.end()) {
        PublishResult(busName, address, pointId, requestId, {false, 0, QStringLiteral("readonly")});
        return;
    }
    if (!set) {
        qCWarning(GatewayLog) << "set on" << busName << address << pointId << "is no value";
        PublishResult(busName, address, pointId, requestId, {false, 0, QStringLiteral("range")});
        return;
    }
    bus->second.bus->Set(address, pointId, set->first, requestId);
}

void Gateway::PublishResult(const QString &bus, const QByteArray &address, const QString &pointId,
                            const QString &requestId, const SetOutcome &outcome)
{
    QJsonObject result{{"ok", outcome.ok}};
    if (!requestId.isEmpty())
        result.insert("id", requestId);
    if (outcome.ok)
        result.insert("value", outcome.value);
    else
        result.insert("error", outcome.error);
    client->Publish(QStringLiteral("%1/%2/result").arg(ModuleTopic(bus, address), pointId),
                    QJsonDocument(result).toJson(QJsonDocument::Compact), QosAtLeastOnce, false);
}

void Gateway::PublishMetrics()
{
    for (auto &[name, entry] : buses) {
        entry.metrics = MetricsPayload(entry.bus->TakeMetrics(), entry.bus->IsPortOpen());
        client->Publish(BaseTopic() + '/' + name + "/metrics", entry.metrics, QosAtMostOnce, true);
    }
}

bool Gateway::Reload()
{
    const GatewayConfigResult result = LoadGatewayConfig(configPath);
    if (!result.config) {
        qCWarning(GatewayLog).noquote()
            << "reload refused, the running configuration stays:" << ConfigErrorText(configPath, result);
        return false;
    }
    const GatewayConfig fresh = *result.config;
    const bool brokerChanged = fresh.name != config.name || fresh.mqtt != config.mqtt;
    if (brokerChanged) {
        // The old name's status goes offline; the new connection publishes everything again.
        client->Publish(BaseTopic() + "/status", Offline, QosAtLeastOnce, true);
        client->Stop();
        client.reset();
        config = fresh;
        for (auto &[name, entry] : buses)
            entry.modules.clear();
        StartClient();
    }
    // A changed Modbus section starts the server anew; its clients connect again.
    const bool modbusChanged = fresh.modbus != config.modbus;
    if (modbusChanged)
        modbus.reset();
    config = fresh;
    ApplyBuses(fresh.buses);
    if (modbusChanged)
        StartModbus();
    qCInfo(GatewayLog) << "reloaded" << configPath;
    return true;
}

void Gateway::ApplyBuses(const QList<GatewayBusConfig> &wanted)
{
    QStringList gone;
    for (const auto &running : buses) {
        const QString &name = running.first;
        const auto kept = std::find_if(wanted.cbegin(), wanted.cend(),
                                       [&name](const GatewayBusConfig &bus) { return bus.name == name; });
        if (kept == wanted.cend() || !(*kept == running.second.bus->Config()))
            gone.append(name);
    }
    // A changed bus lets go of its port before its successor opens it.
    for (const QString &name : gone)
        RemoveBus(name);
    for (const GatewayBusConfig &busConfig : wanted)
        if (!buses.contains(busConfig.name))
            StartBus(busConfig);
}

void Gateway::Stop()
{
    if (stopping)
        return;
    stopping = true;
    metricsTimer.stop();
    qCInfo(GatewayLog) << "stopping";
    client->Publish(BaseTopic() + "/status", Offline, QosAtLeastOnce, true);
    client->Stop();
    modbus.reset();
    buses.clear();
    emit Stopped();
}

} // namespace navix
