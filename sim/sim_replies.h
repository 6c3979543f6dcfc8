#pragma once
// The command sets of the module types, one handler per family, and the small text pieces they share. Each
// handler gets the command body (command character, address, rest; checksum and CR already removed), the
// offset of the addressed address inside the module and the address text to answer with.

#include "sim/sim_module.h"

#include <QByteArray>

namespace navix {

// "!" + AA: the acknowledgement of a setting or a calibration.
SimReply AckReply(const QByteArray &addressText);
// "?" + AA: a module's answer to a command it does not know or a value it refuses.
SimReply UnknownReply(const QByteArray &addressText);

// Sign, intDigits digits, point, decimals digits ("+023.45"); clamped to what the width can show.
QByteArray SignedFixed(double value, int intDigits, int decimals);
// intDigits digits, point, decimals digits without a sign ("04.000"); clamped at 0 and the width.
QByteArray UnsignedFixed(double value, int intDigits, int decimals);
// Four hex digits of a 16-bit two's complement of fraction (-1 .. 1) of full scale.
QByteArray TwosComplementHex(double fraction);

// The bytes of the command after the address (positions 4 ..).
QByteArray CommandRest(const QByteArray &body);
bool IsHexText(const QByteArray &text);
bool IsDecimalText(const QByteArray &text);

SimReply RespondThermometer(SimModule &module, const QByteArray &body, int offset,
                            const QByteArray &addressText, qint64 busTimeMs);
SimReply RespondSensor(SimModule &module, const QByteArray &body, const QByteArray &addressText);
SimReply RespondAnalogInputs(SimModule &module, const QByteArray &body, const QByteArray &addressText);
SimReply RespondAnalogOutput(SimModule &module, const QByteArray &body, const QByteArray &addressText);
SimReply RespondDigital(SimModule &module, const QByteArray &body, const QByteArray &addressText);
// The '@' commands of the Tvr 5x: clock, limits, constant, interval and the data memory.
SimReply RespondTvr(SimModule &module, const QByteArray &body, const QByteArray &addressText,
                    qint64 busTimeMs);

// Whether a module of this kind takes the type code and data format byte of a configuration command.
bool AcceptsSettings(const SimModule &module, const QByteArray &typeCode, int baudCode, int format);

// Range of the module's present range code, in the unit of its values.
struct AnalogRange
{
    double low;
    double high;
    double FullScale() const; // the larger magnitude of the two ends
};
AnalogRange RangeOf(const SimModule &module);
// The value text of a 4013 or 4x13 reading in the module's data format (7 characters, 4 in hex format).
QByteArray ReadingText(const SimModule &module, double reading);

// Tvr 5x temperature codes (one byte) for degrees C and back, along the sensor's characteristic.
int TemperatureCode(double celsius);
double CodeTemperature(int code);

} // namespace navix
