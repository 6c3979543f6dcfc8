#include "gateway_modbus.h"

#include "gateway_log.h"

#include <QHostAddress>

namespace navix {

using modbus::UnitQuality;

GatewayModbus::GatewayModbus(const GatewayModbusConfig &modbusConfig, QObject *parent)
    : QObject(parent), config(modbusConfig), front(modbusConfig.maxClients)
{
    clock.start();
    connect(&front, &modbus::TcpFront::RequestReceived, this, &GatewayModbus::TakeRequest);
    listenTimer.setInterval(ListenRetryMs);
    connect(&listenTimer, &QTimer::timeout, this, &GatewayModbus::Listen);
}

GatewayModbus::~GatewayModbus() = default;

bool GatewayModbus::Start()
{
    if (Listen())
        return true;
    qCWarning(GatewayLog) << "Modbus server cannot listen on" << config.host << config.port << ":"
                          << front.ErrorText() << "(trying again every" << ListenRetryMs << "ms)";
    listenTimer.start();
    return false;
}

bool GatewayModbus::Listen()
{
    if (!front.Listen(QHostAddress(config.host), static_cast<quint16>(config.port)))
        return false;
    listenTimer.stop();
    qCInfo(GatewayLog) << "Modbus server listens on" << config.host << config.port;
    return true;
}

void GatewayModbus::AddBus(GatewayBus &bus)
{
    const int offset = bus.Config().unitOffset;
    for (const GatewayModule &module : bus.Modules()) {
        const int unitId = module.address.toInt(nullptr, 16) + offset;
        // The configuration keeps unit ids in range and apart; a module that still meets another is not
        // served.
        if (unitId < FirstModbusUnit || unitId > LastModbusUnit || units.contains(unitId)) {
            qCWarning(GatewayLog) << "bus" << bus.Config().name << "module" << module.address
                                  << "has no Modbus unit id of its own";
            continue;
        }
        Unit &unit = units[unitId];
        unit.bus = &bus;
        unit.address = module.address;
        for (const GatewayPoint &point : module.points) {
            unit.values.kinds.append(point.kind);
            unit.values.pointIds.append(point.id);
        }
        connect(&bus, &GatewayBus::ValuesRead, this,
                [this, unitId, address = module.address](const ModuleValues &values) {
                    if (values.address == address)
                        TakeValues(unitId, values);
                });
    }
    connect(&bus, &GatewayBus::SetDone, this,
            [this](const QByteArray &, const QString &, const QString &requestId, const SetOutcome &outcome,
                   SetOrigin origin) {
                if (origin == SetOrigin::Modbus)
                    TakeSetDone(requestId, outcome);
            });
}

void GatewayModbus::RemoveBus(const QString &name)
{
    QList<QString> failed;
    for (auto write = writes.cbegin(); write != writes.cend(); ++write)
        if (const GatewayBus *bus = units.value(write->unit).bus; bus && bus->Config().name == name)
            failed.append(write.key());
    for (const QString &requestId : failed)
        FailWrite(requestId);
    for (auto unit = units.begin(); unit != units.end();) {
        if (unit->bus->Config().name == name) {
            unit->bus->disconnect(this);
            unit = units.erase(unit);
        } else {
            ++unit;
        }
    }
}

void GatewayModbus::TakeValues(int unitId, const ModuleValues &values)
{
    modbus::UnitValues &held = units[unitId].values;
    switch (values.quality) {
    case ValueQuality::Good:
        held.quality = UnitQuality::Good;
        held.values = values.values;
        held.decimals.clear();
        for (const QString &text : values.texts)
            held.decimals.append(modbus::DecimalsOf(text));
        held.lastGoodMs = clock.elapsed();
        return;
    case ValueQuality::Absent:
        held.quality = UnitQuality::Absent;
        return;
    case ValueQuality::Lost:
    case ValueQuality::WrongChecksum:
        // The last good values stay; before the first there is nothing to serve.
        if (held.lastGoodMs >= 0)
            held.quality =
                values.quality == ValueQuality::Lost ? UnitQuality::Lost : UnitQuality::WrongChecksum;
        return;
    }
}

void GatewayModbus::TakeRequest(modbus::Ticket ticket, quint8 unitId, const QModbusRequest &request)
{
    const auto found = units.find(unitId);
    Unit *unit = found != units.end() ? &*found : nullptr;
    if (unit) {
        const ModuleMetrics counters = unit->bus->Counters(unit->address);
        unit->values.exchanges = counters.exchanges;
        unit->values.timeOuts = counters.timeOuts;
        unit->values.wrongChecksums = counters.wrongChecksums;
    }
    modbus::Answer answer = modbus::ProcessRequest(request, unit ? &unit->values : nullptr, clock.elapsed());
    if (answer.writes.isEmpty()) {
        front.Answer(ticket, answer.response);
        return;
    }
    const QString requestId = QStringLiteral("modbus-%1").arg(++lastWrite);
    writes.insert(requestId, {ticket, unitId, request.functionCode(), answer.writes, answer.response});
    SendNextSet(requestId);
}

void GatewayModbus::SendNextSet(const QString &requestId)
{
    const auto write = writes.constFind(requestId);
    if (write == writes.cend())
        return;
    if (write->sets.isEmpty()) {
        front.Answer(write->ticket, write->response);
        writes.erase(write);
        return;
    }
    const Unit &unit = units[write->unit];
    const modbus::PointWrite set = write->sets.first();
    // A refused set is answered within this call.
    unit.bus->Set(unit.address, set.pointId, set.value, requestId, SetOrigin::Modbus);
}

void GatewayModbus::TakeSetDone(const QString &requestId, const SetOutcome &outcome)
{
    const auto write = writes.find(requestId);
    if (write == writes.end())
        return;
    if (!outcome.ok) {
        qCInfo(GatewayLog) << "Modbus write to unit" << write->unit << "failed:" << outcome.error;
        FailWrite(requestId);
        return;
    }
    write->sets.removeFirst();
    SendNextSet(requestId);
}

void GatewayModbus::FailWrite(const QString &requestId)
{
    const PendingWrite write = writes.take(requestId);
    front.Answer(write.ticket, QModbusExceptionResponse(write.functionCode, QModbusPdu::ServerDeviceFailure));
}

} // namespace navix
