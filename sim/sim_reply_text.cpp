#include "sim_replies.h"

#include "bus/text.h"

#include <QtMath>

#include <algorithm>

namespace navix {

SimReply AckReply(const QByteArray &addressText)
{
    return {"!" + addressText};
}

SimReply UnknownReply(const QByteArray &addressText)
{
    return {"?" + addressText};
}

namespace {
// Rounds to the shown decimals first, so that 99.999 shown with two decimals is clamped rather than widened.
double RoundedMagnitude(double value, int intDigits, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    const double largest = std::pow(10.0, intDigits) - 1.0 / scale;
    return std::min(std::round(std::fabs(value) * scale) / scale, largest);
}

QByteArray Digits(double magnitude, int intDigits, int decimals)
{
    return QByteArray::number(magnitude, 'f', decimals).rightJustified(intDigits + 1 + decimals, '0');
}
} // namespace

QByteArray SignedFixed(double value, int intDigits, int decimals)
{
    const double magnitude = RoundedMagnitude(value, intDigits, decimals);
    const char sign = value < 0 && magnitude > 0 ? '-' : '+';
    return sign + Digits(magnitude, intDigits, decimals);
}

QByteArray UnsignedFixed(double value, int intDigits, int decimals)
{
    return Digits(RoundedMagnitude(std::max(value, 0.0), intDigits, decimals), intDigits, decimals);
}

QByteArray TwosComplementHex(double fraction)
{
    const int counts = static_cast<int>(std::lround(std::clamp(fraction, -1.0, 1.0) * 32767.0));
    return HexDigits(counts & 0xFFFF, 4);
}

QByteArray CommandRest(const QByteArray &body)
{
    return Copy(body, 4, body.size());
}

bool IsHexText(const QByteArray &text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
    });
}

bool IsDecimalText(const QByteArray &text)
{
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace navix
