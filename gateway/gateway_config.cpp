#include "gateway_config.h"

#include "bus/baud_table.h"
#include "bus/network_address.h"
#include "config/module_file.h"
#include "gateway_modules.h"
#include "workspace/bus_session.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QHostAddress>
#include <QRegularExpression>
#include <QSet>

#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>

namespace navix {

namespace {
// Thrown at the first error; the line is 1-based.
struct ConfigProblem
{
    int line;
    QString reason;
};

int LineOf(const YAML::Node &node)
{
    return node.Mark().line + 1;
}

[[noreturn]] void Fail(const YAML::Node &node, const QString &reason)
{
    throw ConfigProblem{LineOf(node), reason};
}

QString Key(const std::string &key)
{
    return QString::fromStdString(key);
}

// Refuses every key of the map that is not among the known ones, and a map that is no map.
void CheckKeys(const YAML::Node &map, const QString &what, const std::set<std::string> &known)
{
    if (!map.IsMap())
        Fail(map, QStringLiteral("%1 must be a map of settings").arg(what));
    for (const auto &entry : map) {
        const std::string key = entry.first.Scalar();
        if (!known.contains(key))
            Fail(entry.first, QStringLiteral("unknown setting \"%1\" in %2").arg(Key(key), what));
    }
}

QString Text(const YAML::Node &node, const QString &what)
{
    if (!node.IsScalar())
        Fail(node, QStringLiteral("%1 must be a text").arg(what));
    return QString::fromStdString(node.Scalar()).trimmed();
}

QString RequiredText(const YAML::Node &map, const char *key, const QString &what)
{
    const YAML::Node node = map[key];
    if (!node)
        Fail(map, QStringLiteral("%1 is missing").arg(what));
    const QString text = Text(node, what);
    if (text.isEmpty())
        Fail(node, QStringLiteral("%1 is empty").arg(what));
    return text;
}

int Number(const YAML::Node &node, const QString &what, int low, int high)
{
    bool ok = false;
    const int value = Text(node, what).toInt(&ok);
    if (!ok || value < low || value > high)
        Fail(node, QStringLiteral("%1 must be a whole number from %2 to %3").arg(what).arg(low).arg(high));
    return value;
}

bool Flag(const YAML::Node &node, const QString &what)
{
    const QString text = Text(node, what);
    if (text == QLatin1String("true"))
        return true;
    if (text != QLatin1String("false"))
        Fail(node, QStringLiteral("%1 must be true or false").arg(what));
    return false;
}

// A name that stands as one topic segment: no separators, wildcards or blanks.
QString SegmentName(const YAML::Node &map, const char *key, const QString &what)
{
    static const QRegularExpression segment("^[A-Za-z0-9_.-]+$");
    const QString name = RequiredText(map, key, what);
    if (!segment.match(name).hasMatch())
        Fail(map[key], QStringLiteral("%1 \"%2\" may hold only letters, digits, \"_\", \".\" and \"-\"")
                           .arg(what, name));
    return name;
}

QString AbsolutePath(const QString &path, const QString &folder)
{
    return QDir::cleanPath(QDir(folder).absoluteFilePath(path));
}

// The file of the setting, which must be there and readable.
QString ReadableFile(const YAML::Node &map, const char *key, const QString &what, const QString &folder)
{
    const QString path = AbsolutePath(RequiredText(map, key, what), folder);
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        Fail(map[key], QStringLiteral("%1 %2 cannot be read").arg(what, path));
    return path;
}

void ReadTls(const YAML::Node &node, GatewayMqttConfig &mqtt, const QString &folder)
{
    CheckKeys(node, QStringLiteral("mqtt.tls"), {"ca", "cert", "key"});
    GatewayTlsConfig tls;
    tls.ca = ReadableFile(node, "ca", QStringLiteral("mqtt.tls.ca"), folder);
    if (bool(node["cert"]) != bool(node["key"]))
        Fail(node, QStringLiteral("mqtt.tls needs cert and key together"));
    if (node["cert"]) {
        tls.cert = ReadableFile(node, "cert", QStringLiteral("mqtt.tls.cert"), folder);
        tls.key = ReadableFile(node, "key", QStringLiteral("mqtt.tls.key"), folder);
    }
    mqtt.tls = tls;
}

QString TopicPrefix(const YAML::Node &node)
{
    static const QRegularExpression prefix("^[A-Za-z0-9_.-]+(/[A-Za-z0-9_.-]+)*$");
    const QString text = Text(node, QStringLiteral("mqtt.prefix"));
    if (!prefix.match(text).hasMatch())
        Fail(node,
             QStringLiteral("mqtt.prefix \"%1\" must be topic levels of letters, digits, \"_\", \".\" and "
                            "\"-\" between \"/\"")
                 .arg(text));
    return text;
}

void ReadPassword(const YAML::Node &map, GatewayMqttConfig &mqtt, const QString &folder)
{
    mqtt.passwordFile = ReadableFile(map, "password_file", QStringLiteral("mqtt.password_file"), folder);
    QFile file(mqtt.passwordFile);
    file.open(QIODevice::ReadOnly);
    // A password file written by an editor ends in a line end that belongs to no password.
    mqtt.password = file.readAll();
    while (mqtt.password.endsWith('\n') || mqtt.password.endsWith('\r'))
        mqtt.password.chop(1);
    if (mqtt.username.isEmpty())
        Fail(map["password_file"], QStringLiteral("mqtt.password_file needs mqtt.username"));
}

GatewayMqttConfig ReadMqtt(const YAML::Node &node, const QString &folder)
{
    GatewayMqttConfig mqtt;
    if (!node)
        return mqtt;
    CheckKeys(node, QStringLiteral("mqtt"),
              {"host", "port", "prefix", "username", "password_file", "tls", "discovery"});
    if (node["host"]) {
        mqtt.host = Text(node["host"], QStringLiteral("mqtt.host"));
        if (mqtt.host.isEmpty() || mqtt.host.contains(' '))
            Fail(node["host"], QStringLiteral("mqtt.host must be a host name or address"));
    }
    if (node["port"])
        mqtt.port = Number(node["port"], QStringLiteral("mqtt.port"), 1, 65535);
    if (node["prefix"])
        mqtt.prefix = TopicPrefix(node["prefix"]);
    if (node["username"])
        mqtt.username = Text(node["username"], QStringLiteral("mqtt.username"));
    if (node["password_file"])
        ReadPassword(node, mqtt, folder);
    if (node["tls"])
        ReadTls(node["tls"], mqtt, folder);
    if (node["discovery"])
        mqtt.discovery = Flag(node["discovery"], QStringLiteral("mqtt.discovery"));
    return mqtt;
}

QString BusPort(const YAML::Node &map, const QString &what)
{
    static const QRegularExpression comName("^COM[0-9]{1,5}$", QRegularExpression::CaseInsensitiveOption);
    const QString port = RequiredText(map, "port", what);
    if (port.startsWith('/') || comName.match(port).hasMatch() || NetworkAddress::FromText(port))
        return port;
    Fail(map["port"], QStringLiteral("%1 \"%2\" is no device path, COM<n> or host:port").arg(what, port));
}

int BusBaud(const YAML::Node &map, const QString &what)
{
    if (!map["baud"])
        return DefaultBaud;
    const YAML::Node node = map["baud"];
    bool ok = false;
    const int baud = Text(node, what).toInt(&ok);
    if (!ok || CodeOfBaud(baud) < 0) {
        QStringList rates;
        for (int rate : ModuleBaudRates)
            rates.append(QString::number(rate));
        Fail(node, QStringLiteral("%1 must be a rate of the table (%2)").arg(what, rates.join(", ")));
    }
    return baud;
}

// The module file, which must load at least one module; its records stand in session afterwards.
QString ModuleFile(const YAML::Node &map, const QString &what, const QString &folder, BusSession &session)
{
    const QString path = ReadableFile(map, "modules", what, folder);
    if (LoadModuleFile(path, session) <= 0)
        Fail(map["modules"], QStringLiteral("%1 %2 holds no module").arg(what, path));
    return path;
}

QList<QByteArray> Writable(const YAML::Node &map, const QString &what, BusSession &session)
{
    QList<QByteArray> addresses;
    const YAML::Node node = map["writable"];
    if (!node)
        return addresses;
    if (!node.IsSequence())
        Fail(node, QStringLiteral("%1 must be a list of module addresses").arg(what));
    static const QRegularExpression hexByte("^[0-9A-Fa-f]{2}$");
    for (const YAML::Node &entry : node) {
        const QString text = Text(entry, what);
        if (!hexByte.match(text).hasMatch())
            Fail(entry, QStringLiteral("%1 wants addresses of two hex digits, not \"%2\"").arg(what, text));
        const QByteArray address = text.toUpper().toLatin1();
        if (!session.Modules().FindForOpen(address))
            Fail(entry, QStringLiteral("%1: no module at %2 in the module file").arg(what, text.toUpper()));
        if (!addresses.contains(address))
            addresses.append(address);
    }
    return addresses;
}

// The Modbus unit ids of a bus's modules: each module's address plus the bus's offset.
QList<int> UnitIds(const GatewayBusConfig &bus, BusSession &session)
{
    QList<int> units;
    session.Modules().ForEach([&](const ModuleRecordPtr &record) {
        units.append(record->Address().toInt(nullptr, 16) + bus.unitOffset);
    });
    return units;
}

GatewayBusConfig ReadBus(const YAML::Node &node, const QString &folder, QList<int> &units)
{
    CheckKeys(node, QStringLiteral("a bus"),
              {"name", "port", "baud", "timeout_ms", "modules", "writable", "unit_offset"});
    GatewayBusConfig bus;
    bus.name = SegmentName(node, "name", QStringLiteral("bus name"));
    const QString what = QStringLiteral("bus %1: ").arg(bus.name);
    bus.port = BusPort(node, what + "port");
    bus.baud = BusBaud(node, what + "baud");
    if (node["timeout_ms"])
        bus.timeOutMs =
            Number(node["timeout_ms"], what + "timeout_ms", LowestBusTimeOutMs, HighestBusTimeOutMs);
    BusSession session;
    bus.modules = ModuleFile(node, what + "modules", folder, session);
    QFile modules(bus.modules);
    if (modules.open(QIODevice::ReadOnly))
        bus.modulesDigest = QCryptographicHash::hash(modules.readAll(), QCryptographicHash::Sha1);
    bus.writable = Writable(node, what + "writable", session);
    if (node["unit_offset"])
        bus.unitOffset = Number(node["unit_offset"], what + "unit_offset", 0, LastModbusUnit);
    units = UnitIds(bus, session);
    return bus;
}

// With a Modbus server, every module answers under a unit id of its own from 1 to 247.
void CheckUnits(const YAML::Node &entry, const GatewayBusConfig &bus, const QList<int> &units,
                const QHash<int, QString> &taken)
{
    const YAML::Node where = entry["unit_offset"] ? entry["unit_offset"] : entry;
    for (int unit : units) {
        if (unit < FirstModbusUnit || unit > LastModbusUnit)
            Fail(where,
                 QStringLiteral("bus %1: a module's Modbus unit id %2 is outside %3 to %4 (unit_offset)")
                     .arg(bus.name)
                     .arg(unit)
                     .arg(FirstModbusUnit)
                     .arg(LastModbusUnit));
        if (taken.contains(unit))
            Fail(where, QStringLiteral("bus %1: Modbus unit id %2 is taken by bus %3 (unit_offset)")
                            .arg(bus.name)
                            .arg(unit)
                            .arg(taken.value(unit)));
    }
}

QList<GatewayBusConfig> ReadBuses(const YAML::Node &root, const QString &folder, bool modbus)
{
    const YAML::Node node = root["buses"];
    if (!node)
        Fail(root, QStringLiteral("buses is missing"));
    if (!node.IsSequence() || node.size() == 0)
        Fail(node, QStringLiteral("buses must be a list of at least one bus"));
    QList<GatewayBusConfig> buses;
    QHash<int, QString> units; // the bus of each Modbus unit id
    for (const YAML::Node &entry : node) {
        QList<int> busUnits;
        GatewayBusConfig bus = ReadBus(entry, folder, busUnits);
        for (const GatewayBusConfig &other : buses) {
            if (other.name == bus.name)
                Fail(entry, QStringLiteral("bus name %1 is taken by another bus").arg(bus.name));
            if (other.port.compare(bus.port, Qt::CaseInsensitive) == 0)
                Fail(entry, QStringLiteral("port %1 is taken by bus %2").arg(bus.port, other.name));
        }
        if (modbus) {
            CheckUnits(entry, bus, busUnits, units);
            for (int unit : busUnits)
                units.insert(unit, bus.name);
        }
        buses.append(bus);
    }
    return buses;
}

std::optional<GatewayModbusConfig> ReadModbus(const YAML::Node &node)
{
    if (!node)
        return std::nullopt;
    GatewayModbusConfig modbus;
    // "modbus:" alone switches the server on with its defaults.
    if (node.IsNull())
        return modbus;
    CheckKeys(node, QStringLiteral("modbus"), {"listen", "max_clients"});
    if (node["listen"]) {
        const QString text = Text(node["listen"], QStringLiteral("modbus.listen"));
        const qsizetype colon = text.lastIndexOf(':');
        QString host = text.left(colon);
        if (host.startsWith('[') && host.endsWith(']'))
            host = host.mid(1, host.size() - 2);
        bool portOk = false;
        const int port = text.mid(colon + 1).toInt(&portOk);
        if (colon <= 0 || QHostAddress(host).isNull() || !portOk || port < 1 || port > 65535)
            Fail(node["listen"],
                 QStringLiteral("modbus.listen \"%1\" must be an IP address and a port (127.0.0.1:1502)")
                     .arg(text));
        modbus.host = host;
        modbus.port = port;
    }
    if (node["max_clients"])
        modbus.maxClients =
            Number(node["max_clients"], QStringLiteral("modbus.max_clients"), 1, MostModbusClients);
    return modbus;
}

GatewayConfig ReadConfig(const YAML::Node &root, const QString &folder)
{
    if (!root.IsMap())
        throw ConfigProblem{1,
                            QStringLiteral("the file must be a map of settings (name, mqtt, buses, modbus)")};
    CheckKeys(root, QStringLiteral("the file"), {"name", "mqtt", "buses", "modbus"});
    GatewayConfig config;
    config.name = SegmentName(root, "name", QStringLiteral("name"));
    config.mqtt = ReadMqtt(root["mqtt"], folder);
    config.modbus = ReadModbus(root["modbus"]);
    config.buses = ReadBuses(root, folder, config.modbus.has_value());
    return config;
}
} // namespace

GatewayConfigResult ParseGatewayConfig(const QByteArray &text, const QString &folder)
{
    GatewayConfigResult result;
    try {
        result.config = ReadConfig(YAML::Load(text.toStdString()), folder);
    } catch (const ConfigProblem &problem) {
        result.line = problem.line;
        result.reason = problem.reason;
    } catch (const YAML::Exception &error) {
        result.line = error.mark.line + 1;
        result.reason = QString::fromStdString(error.msg);
    }
    return result;
}

GatewayConfigResult LoadGatewayConfig(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt, 0, QStringLiteral("cannot be read: %1").arg(file.errorString())};
    return ParseGatewayConfig(file.readAll(), QFileInfo(path).absolutePath());
}

QString ConfigErrorText(const QString &path, const GatewayConfigResult &result)
{
    return QStringLiteral("%1:%2: %3").arg(path).arg(result.line).arg(result.reason);
}

} // namespace navix
