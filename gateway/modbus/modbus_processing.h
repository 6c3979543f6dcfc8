#pragma once
// A Modbus request to one unit answered from what the gateway holds of its module (modbus_map.h has the map).
// Reads are answered at once from the held values; a write names the points to set and the response to send
// once every set has been read back. No socket and no bus here.

#include "gateway/gateway_points.h"
#include "modbus_map.h"

#include <QList>
#include <QModbusPdu>
#include <QString>

namespace navix::modbus {

// What the gateway holds of one module: its points in channel order and the values of its last good read.
struct UnitValues
{
    QList<PointKind> kinds; // per channel
    QStringList pointIds;   // per channel: "ai0", "do1", ...
    QList<double> values;   // per channel, of the last good read; NaN where the channel gave no reading
    QList<int> decimals;    // per channel, of the last good read's text
    UnitQuality quality = UnitQuality::NotYetRead;
    qint64 lastGoodMs = -1; // on the clock of nowMs
    quint64 exchanges = 0;
    quint64 timeOuts = 0;
    quint64 wrongChecksums = 0;

    // Its values may be served: read once and not absent now.
    bool IsServed() const { return quality != UnitQuality::NotYetRead && quality != UnitQuality::Absent; }
};

// A set of one point that a write asks for.
struct PointWrite
{
    QString pointId;
    double value = 0;

    friend bool operator==(const PointWrite &, const PointWrite &) = default;
};

struct Answer
{
    QModbusResponse response; // sent at once, or, with writes, once all of them are read back
    QList<PointWrite> writes; // done one after the other; the first that fails is answered with 0x04
};

// The answer to request for a unit; nullptr for a unit id that is no module.
Answer ProcessRequest(const QModbusRequest &request, const UnitValues *unit, qint64 nowMs);

// The digits after the decimal point of a reading's text ("+05.123" has 3, "7FFF" none).
int DecimalsOf(const QString &text);
// A value as the input and holding registers hold it: times 10^decimals, -32767 to 32767; -32768 stands for
// a channel without a reading.
qint16 ScaledRegister(double value, int decimals);
constexpr qint16 NoReadingRegister = -32768;

} // namespace navix::modbus
