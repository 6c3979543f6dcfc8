#pragma once
// One simulated module on the bus: its settings (the configuration text AATTCCFF), its identity, its live
// values and its faults. The fields are public so that a test can set up exactly the module it needs; the
// command handling lives in the per-type files and works on these fields.

#include "sim/sim_faults.h"

#include <QByteArray>
#include <QDateTime>

#include <array>

namespace navix {

// How a module behaves, from its type id.
enum class SimKind {
    Generic,         // answers name, configuration and firmware only (an unknown type id)
    Temperature4013, // resistance thermometer input; with tvr set, the three-address Tvr 5x controller
    Sensor4x13,      // 4113 .. 4613 single-value sensors
    Input4017,       // eight analog inputs
    Output4021,      // one analog output
    Digital4050,     // eight digital outputs and eight inputs
    Input4052,       // eight digital inputs
    Relay4060,       // four relays
    Input4152,       // digital inputs (one shown by the program)
};

SimKind KindOfType(const QByteArray &typeId);

// What a module answers: start character and body. On the line the bus adds the checksum (where the module
// uses one) and the CR, so every reply ends the same way, however much of it the program reads. An empty
// body is silence.
struct SimReply
{
    QByteArray body;
    bool IsSilent() const { return body.isEmpty(); }
};

class SimModule : public SimFaults
{
public:
    // typeId "20" makes a Tvr 5x (type 4013 with tvr set). config is AATTCCFF; a short or malformed text
    // leaves the defaults in place for the fields it lacks.
    SimModule(const QByteArray &typeId, const QByteArray &config, quint32 seed = 1);

    // Identity and settings.
    QByteArray typeId; // four digits, as the module names itself
    SimKind kind = SimKind::Generic;
    int address = 1;            // 0..255
    QByteArray typeCode = "00"; // TT: type or range code
    int baudCode = 6;           // CC: 3..8
    int format = 0;             // FF: data format byte; 0x40 = checksum in use
    QByteArray firmware = "A1.3";
    bool initMode = false; // answers at 00 without checksum and takes baud and checksum changes
    bool tvr = false;      // the Tvr 5x variant of type 4013: unit at AA, stack at AA+1, status at AA+2
    bool frozen = false;   // live values stand still

    QByteArray Config() const;                // AATTCCFF as the module reports it
    bool SetConfig(const QByteArray &config); // false (and nothing changed) unless 8 hex characters
    bool ChecksumOn() const { return (format & 0x40) != 0; }
    bool UsesChecksum() const { return ChecksumOn() && !initMode; }
    // The rate the module talks at, from its baud code (0 for a code outside the table: it hears nothing).
    int Baud() const;
    int AddressSpan() const { return tvr ? 3 : 1; }
    // The offset (0, 1 or 2) of address inside what this module answers at, or -1.
    int OffsetAt(int busAddress) const;

    // Live values. Analog values are in the unit of the module's range (degrees, %, ppm, kPa, Pa, V, mV, mA).
    double value = 21.5;              // 4013 unit temperature (degrees C), 4x13 measured value
    double stackValue = 142.0;        // Tvr 5x stack temperature (degrees C)
    quint8 status = 0x21;             // Tvr 5x status word
    std::array<double, 8> channels{}; // 4017 inputs
    quint8 channelMask = 0xFF;        // 4017 enabled channels
    double outputValue = 0;           // 4021 last value written
    double outputReadback = 0;        // 4021 present output, following outputValue at the slew rate
    quint8 outputs = 0;               // 4050 outputs, 4060 relays (low four bits)
    quint8 inputs = 0;                // 4050, 4052, 4152 inputs
    quint64 step = 0;                 // live-value steps taken so far

    // Tvr 5x: clock, constant, interval, limits X1..X9 (temperature codes) and the data memory.
    QDateTime clockSetAt;    // module time when it was last set
    qint64 clockSetAtMs = 0; // bus time of that moment
    int weekdayAtSet = 1;    // day-of-week digit as it was set (1 = Monday)
    quint8 constant = 0x10;
    quint8 interval = 0x0A;
    std::array<quint8, 9> limits{};
    QByteArray memory;   // 65536 bytes of 8-byte records: ss mm hh DD MM unit stack status (BCD time)
    quint16 pointer = 0; // next address of writing

    // The reply to a command body (checksum and CR removed), addressed at offset 0..2 of the module, whose
    // address text is addressText. busTimeMs is the bus's clock. May change the module.
    SimReply Respond(const QByteArray &body, int offset, const QByteArray &addressText, qint64 busTimeMs);
    // One step of the live values (drift, toggling inputs, logging), unless frozen.
    void Advance(qint64 busTimeMs);

    // Tvr 5x clock as it reads at busTimeMs, and its day-of-week digit.
    QDateTime ClockAt(qint64 busTimeMs) const;
    int WeekdayAt(qint64 busTimeMs) const;
    void SetClock(const QDateTime &time, int weekday, qint64 busTimeMs);
    // Appends one 8-byte record at the pointer, as the Tvr 5x logs its state.
    void LogRecord(qint64 busTimeMs);

private:
    quint32 NextRandom();
    double Noise(); // -1 .. 1

    quint32 randomState;
};

} // namespace navix
