#pragma once
// The points a module offers through the gateway: its inputs and outputs as its editor shows them, named aiN
// (analog inputs), diN (digital inputs), doN (digital outputs) and ao0 (the analog output), N counting from 0 in
// the order the editor shows the channels.

#include <QByteArray>
#include <QList>
#include <QString>

namespace navix {

enum class PointKind { AnalogInput, DigitalInput, DigitalOutput, AnalogOutput };

struct GatewayPoint
{
    QString id;   // "ai0", "di3", "do1", "ao0"
    PointKind kind = PointKind::AnalogInput;
    QString name; // the channel's name from the configuration file, or the editor's caption
    QString unit; // empty for digital points and raw counts
    // An analog output's range, as its configuration sets it; unused for the other kinds.
    double minimum = 0;
    double maximum = 0;

    bool IsOutput() const { return kind == PointKind::DigitalOutput || kind == PointKind::AnalogOutput; }
};

// One module as the gateway describes it (discovery, state topics).
struct GatewayModule
{
    QString bus;         // the bus's name in the gateway's configuration
    QByteArray address;  // two upper-case hex digits
    QByteArray typeId;   // as the module named itself ("4017")
    QString model;       // the model label the editor's caption shows
    QString name;        // the module's name from the configuration file, may be empty
    QList<GatewayPoint> points;
    bool writable = false; // listed in the bus's writable addresses
};

} // namespace navix
