#pragma once
// The gateway's configuration file (YAML): its name on the broker, the broker, the buses with their ports
// and module files, and the Modbus TCP server. A file is validated as a whole before anything of it is used;
// the first error found is reported with its line. Defaults are the safe ones: the broker and the Modbus
// server on the loopback address, no Modbus server without its section, no writable outputs.

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace navix {

struct GatewayBusConfig
{
    QString name;
    QString port; // a device path, COM<n>, or host:port of a raw TCP device server
    int baud = 9600;
    int timeOutMs = 100;
    QString modules;            // the module file, absolute
    QByteArray modulesDigest;   // of the module file's content: a file saved anew makes another bus
    QList<QByteArray> writable; // module addresses, two upper-case hex digits
    int unitOffset = 0;         // added to a module's address for its Modbus unit id

    friend bool operator==(const GatewayBusConfig &, const GatewayBusConfig &) = default;
};

// The Modbus TCP server. Modbus knows no authentication: it listens on loopback unless the file names
// another address.
struct GatewayModbusConfig
{
    QString host = QStringLiteral("127.0.0.1");
    int port = 1502;
    int maxClients = 8;

    friend bool operator==(const GatewayModbusConfig &, const GatewayModbusConfig &) = default;
};

struct GatewayTlsConfig
{
    QString ca;
    QString cert;
    QString key;

    friend bool operator==(const GatewayTlsConfig &, const GatewayTlsConfig &) = default;
};

struct GatewayMqttConfig
{
    QString host = QStringLiteral("127.0.0.1");
    int port = 1883;
    QString prefix = QStringLiteral("navix");
    QString username;
    QString passwordFile;
    QByteArray password; // read from passwordFile; never logged
    std::optional<GatewayTlsConfig> tls;
    bool discovery = false;

    friend bool operator==(const GatewayMqttConfig &, const GatewayMqttConfig &) = default;
};

struct GatewayConfig
{
    QString name;
    GatewayMqttConfig mqtt;
    QList<GatewayBusConfig> buses;
    std::optional<GatewayModbusConfig> modbus; // no Modbus server without the section

    friend bool operator==(const GatewayConfig &, const GatewayConfig &) = default;
};

// A configuration, or the line (1-based; 0 where the file as a whole is meant) and reason of its first error.
struct GatewayConfigResult
{
    std::optional<GatewayConfig> config;
    int line = 0;
    QString reason;
};

constexpr int LowestBusTimeOutMs = 10;
constexpr int HighestBusTimeOutMs = 5000;
constexpr int FirstModbusUnit = 1;
constexpr int LastModbusUnit = 247;
constexpr int MostModbusClients = 64;

// Reads and validates the file. Relative paths in it (module files, the password file, TLS files) are taken
// from the file's folder.
GatewayConfigResult LoadGatewayConfig(const QString &path);
// The same for a text, its relative paths taken from folder.
GatewayConfigResult ParseGatewayConfig(const QByteArray &text, const QString &folder);

// "FILE:LINE: reason" as --check and a refused reload report it.
QString ConfigErrorText(const QString &path, const GatewayConfigResult &result);

} // namespace navix
