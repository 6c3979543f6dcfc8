#pragma once
// Home Assistant's MQTT discovery for the modules the gateway polls: one retained config per point (entity),
// all of a module's entities on one device. Analog inputs become sensors, digital inputs binary sensors; the
// outputs of a module listed as writable become switches (digital) and a number (analog, its range from the
// configuration), those of any other module read-only sensors, so that no control is offered that the gateway
// would refuse. Every entity reads its value from the module's state topic through a template, and is
// available only while both the gateway's status and the module's availability say "online".

#include "gateway/gateway_points.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace navix {

// Where the gateway publishes: P/G/B/AA/... with P the topic prefix and G the gateway's name.
struct HaDiscoveryNaming
{
    QString topicPrefix; // P
    QString gateway;     // G
    QString discoveryPrefix = QStringLiteral("homeassistant");
};

// One retained message: a config, or an empty payload that removes one.
struct HaDiscoveryMessage
{
    QString topic;
    QByteArray payload;
};

// The module's configs, published retained at QoS 1. An output's config under the component it does not have
// now (a module that became writable or stopped being so) comes with an empty payload, which removes it.
QList<HaDiscoveryMessage> HaDiscoveryMessages(const GatewayModule &module, const HaDiscoveryNaming &naming);

// The config topics to clear (empty retained payload) when the module leaves the configuration: every topic
// HaDiscoveryMessages could have used for it.
QStringList HaDiscoveryClearTopics(const GatewayModule &module, const HaDiscoveryNaming &naming);

// The topic Home Assistant announces itself on ("online" after a restart: send the configs again).
QString HaStatusTopic(const HaDiscoveryNaming &naming);

} // namespace navix
