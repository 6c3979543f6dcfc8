#include "gateway/mqtt/ha_discovery.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace navix {

namespace {

// Home Assistant allows [a-zA-Z0-9_-] in the node and object ids of a discovery topic.
QString IdSafe(const QString &text)
{
    QString safe;
    safe.reserve(text.size());
    for (const QChar c : text)
        safe += (c.isLetterOrNumber() && c.unicode() < 128) || c == u'-' ? c : QChar(u'_');
    return safe;
}

QString ModuleTopic(const GatewayModule &module, const HaDiscoveryNaming &naming)
{
    return QStringLiteral("%1/%2/%3/%4")
        .arg(naming.topicPrefix, naming.gateway, module.bus, QString::fromLatin1(module.address));
}

// Unique per gateway, bus and address; the prefix is in it too, for two gateways of one name on one broker.
QString NodeId(const GatewayModule &module, const HaDiscoveryNaming &naming)
{
    return IdSafe(
        QStringLiteral("navix_%1_%2_%3_%4")
            .arg(naming.topicPrefix, naming.gateway, module.bus, QString::fromLatin1(module.address)));
}

QString ConfigTopic(const QString &component, const GatewayModule &module, const GatewayPoint &point,
                    const HaDiscoveryNaming &naming)
{
    return QStringLiteral("%1/%2/%3/%4/config")
        .arg(naming.discoveryPrefix, component, NodeId(module, naming), IdSafe(point.id));
}

// The component a point has now, and the one it may have had before (empty when none).
QString ComponentOf(const GatewayModule &module, const GatewayPoint &point)
{
    switch (point.kind) {
    case PointKind::AnalogInput:
        return QStringLiteral("sensor");
    case PointKind::DigitalInput:
        return QStringLiteral("binary_sensor");
    case PointKind::DigitalOutput:
        return module.writable ? QStringLiteral("switch") : QStringLiteral("binary_sensor");
    case PointKind::AnalogOutput:
        return module.writable ? QStringLiteral("number") : QStringLiteral("sensor");
    }
    return QString();
}

QString OtherComponentOf(const GatewayModule &module, const GatewayPoint &point)
{
    if (!point.IsOutput())
        return QString();
    GatewayModule flipped;
    flipped.writable = !module.writable;
    return ComponentOf(flipped, point);
}

QJsonObject Device(const GatewayModule &module, const HaDiscoveryNaming &naming)
{
    const QString model = module.model.isEmpty() ? QString::fromLatin1(module.typeId) : module.model;
    const QString name =
        module.name.isEmpty()
            ? QStringLiteral("%1 %2 (%3)").arg(model, QString::fromLatin1(module.address), module.bus)
            : module.name;
    return QJsonObject{{"identifiers", QJsonArray{NodeId(module, naming)}},
                       {"manufacturer", "Navix"},
                       {"model", model},
                       {"name", name}};
}

// The template that picks the point's value out of the state JSON. "values" is also the name of a method of
// Jinja's dictionaries, so it is looked up by subscript, never as value_json.values.
QString ValueTemplate(const GatewayPoint &point, bool onOff)
{
    const QString value = QStringLiteral("value_json['values']['%1']").arg(point.id);
    return onOff ? QStringLiteral("{{ 'ON' if %1 else 'OFF' }}").arg(value)
                 : QStringLiteral("{{ %1 }}").arg(value);
}

// The smallest step a number offers: about a thousandth of its range, as a power of ten.
double Step(const GatewayPoint &point)
{
    const double span = point.maximum - point.minimum;
    if (!(span > 0))
        return 1;
    return std::max(0.001, std::pow(10.0, std::floor(std::log10(span / 1000))));
}

QJsonObject Config(const GatewayModule &module, const GatewayPoint &point, const HaDiscoveryNaming &naming)
{
    const QString base = ModuleTopic(module, naming);
    const QString component = ComponentOf(module, point);
    const bool digital = point.kind == PointKind::DigitalInput || point.kind == PointKind::DigitalOutput;
    QJsonObject config{
        {"name", point.name.isEmpty() ? point.id : point.name},
        {"unique_id", NodeId(module, naming) + "_" + IdSafe(point.id)},
        {"state_topic", base + "/state"},
        {"value_template", ValueTemplate(point, digital)},
        {"availability",
         QJsonArray{
             QJsonObject{{"topic", QStringLiteral("%1/%2/status").arg(naming.topicPrefix, naming.gateway)}},
             QJsonObject{{"topic", base + "/availability"}}}},
        {"availability_mode", "all"},
        {"device", Device(module, naming)},
    };
    if (!digital && !point.unit.isEmpty())
        config["unit_of_measurement"] = point.unit;
    if (component == "sensor")
        config["state_class"] = "measurement";
    if (component == "switch" || component == "number") {
        config["command_topic"] = QStringLiteral("%1/%2/set").arg(base, point.id);
        config["optimistic"] = false;
        config["retain"] = false;
        config["qos"] = 1;
    }
    if (component == "switch") {
        config["payload_on"] = "1";
        config["payload_off"] = "0";
        config["state_on"] = "ON";
        config["state_off"] = "OFF";
    }
    if (component == "number") {
        config["min"] = point.minimum;
        config["max"] = point.maximum;
        config["step"] = Step(point);
    }
    return config;
}

} // namespace

QList<HaDiscoveryMessage> HaDiscoveryMessages(const GatewayModule &module, const HaDiscoveryNaming &naming)
{
    QList<HaDiscoveryMessage> messages;
    for (const GatewayPoint &point : module.points) {
        const QJsonDocument config(Config(module, point, naming));
        messages.append({ConfigTopic(ComponentOf(module, point), module, point, naming),
                         config.toJson(QJsonDocument::Compact)});
        const QString other = OtherComponentOf(module, point);
        if (!other.isEmpty())
            messages.append({ConfigTopic(other, module, point, naming), QByteArray()});
    }
    return messages;
}

QStringList HaDiscoveryClearTopics(const GatewayModule &module, const HaDiscoveryNaming &naming)
{
    QStringList topics;
    for (const GatewayPoint &point : module.points) {
        topics.append(ConfigTopic(ComponentOf(module, point), module, point, naming));
        const QString other = OtherComponentOf(module, point);
        if (!other.isEmpty())
            topics.append(ConfigTopic(other, module, point, naming));
    }
    return topics;
}

QString HaStatusTopic(const HaDiscoveryNaming &naming)
{
    return naming.discoveryPrefix + "/status";
}

} // namespace navix
