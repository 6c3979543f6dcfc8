#pragma once
// The gateway's buses as Modbus TCP units: each module answers under its address plus its bus's unit
// offset. Reads are answered from the values the buses' pollers last read (no exchange on the line per
// request); writes go through the bus's sets, with their write rules and read-back, and are answered once
// the value has been read back, or with exception 0x04 when the set fails.

#include "gateway_bus.h"
#include "gateway_config.h"
#include "modbus/modbus_processing.h"
#include "modbus/modbus_tcp_front.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QTimer>

#include <memory>

namespace navix {

class GatewayModbus : public QObject
{
    Q_OBJECT
public:
    // A port that cannot be listened on (another program on it, the address not up yet) is tried again so
    // often.
    static constexpr int ListenRetryMs = 5000;

    explicit GatewayModbus(const GatewayModbusConfig &config, QObject *parent = nullptr);
    ~GatewayModbus() override;

    const GatewayModbusConfig &Config() const { return config; }
    // Listens on the configured address; false (and a warning in the log) when it cannot yet, and tries again
    // every ListenRetryMs.
    bool Start();

    // Serves the modules of a started bus; RemoveBus before the bus goes.
    void AddBus(GatewayBus &bus);
    void RemoveBus(const QString &name);

private:
    struct Unit
    {
        GatewayBus *bus = nullptr;
        QByteArray address;
        modbus::UnitValues values;
    };
    // A write taken from a client: its sets one after the other, then the response.
    struct PendingWrite
    {
        modbus::Ticket ticket = 0;
        int unit = 0;
        QModbusPdu::FunctionCode functionCode = QModbusPdu::Invalid;
        QList<modbus::PointWrite> sets;
        QModbusResponse response;
    };

    bool Listen();
    void TakeRequest(modbus::Ticket ticket, quint8 unitId, const QModbusRequest &request);
    void TakeValues(int unitId, const ModuleValues &values);
    void SendNextSet(const QString &requestId);
    void TakeSetDone(const QString &requestId, const SetOutcome &outcome);
    void FailWrite(const QString &requestId);

    GatewayModbusConfig config;
    modbus::TcpFront front;
    QTimer listenTimer;
    QHash<int, Unit> units;              // by unit id
    QHash<QString, PendingWrite> writes; // by the request id of their sets
    QElapsedTimer clock;
    quint64 lastWrite = 0;
};

} // namespace navix
