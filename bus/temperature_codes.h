#pragma once

#include <QByteArray>
#include <QString>

namespace navix {

// Conversions between the Tvr 5x one-byte temperature codes and degrees Celsius. The modules store a
// temperature as a piecewise linear code 0..255; the same tables serve the limit fields, the "(°C)" value
// display and the memory records.

// Degrees for a code 0..255; codes outside that range are clamped to it.
double CodeToTemperature(int code);

// How a temperature is held before it is formatted. The memory extracts pass it through a 6-byte real of
// 40 mantissa bits, and the .dat files written so far show it so (code 76 reads 106.9, not 107).
enum class TemperatureHolding { Double, SixByteReal };

// The degrees of a code as a 6-byte real holds them: the exact value of the table, rounded to 40 mantissa
// bits, a half away from zero.
double CodeToSixByteReal(int code);

// Code for a whole number of degrees -50..300 (clamped), rounded half to even as the modules expect.
int TemperatureToCode(int celsius);

// General number format with 4 significant digits (99.7, -38.67, 125).
QString FormatTemperature(double celsius);

// Two hex digits of a reply to formatted degrees; a text that is not exactly two hex digits gives "?".
QString TemperatureFromCode(const QByteArray &twoHexDigits,
                            TemperatureHolding holding = TemperatureHolding::Double);

} // namespace navix
