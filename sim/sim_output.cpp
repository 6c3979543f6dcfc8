// The 4021 analog output: the value written with "#", read back as the last value ("$AA6") and as the present
// output ("$AA8"), which follows the written value at the slew rate.

#include "sim_replies.h"

#include "bus/text.h"

#include <cmath>
#include <optional>

namespace navix {

namespace {
int DataFormat(const SimModule &module)
{
    return module.format & 0x03;
}

QByteArray OutputText(const SimModule &module, double value)
{
    const AnalogRange range = RangeOf(module);
    const double fraction = (value - range.low) / (range.high - range.low);
    switch (DataFormat(module)) {
    case 1:
        return SignedFixed(fraction * 100.0, 3, 2);
    case 2:
        return HexDigits(static_cast<int>(std::lround(fraction * 4095.0)), 3);
    default:
        return UnsignedFixed(value, 2, 3);
    }
}

bool Matches(const QByteArray &text, const char *pattern)
{
    // pattern: 'd' a decimal digit, 's' a sign, anything else itself.
    if (text.size() != static_cast<qsizetype>(qstrlen(pattern)))
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const char p = pattern[i];
        const bool ok = p == 'd' ? (c >= '0' && c <= '9') : p == 's' ? (c == '+' || c == '-') : c == p;
        if (!ok)
            return false;
    }
    return true;
}

// The output value a written text stands for, or nothing when the text or its value is out of place.
std::optional<double> ParseOutput(const SimModule &module, const QByteArray &text)
{
    const AnalogRange range = RangeOf(module);
    double value = 0;
    switch (DataFormat(module)) {
    case 1: {
        if (!Matches(text, "sddd.dd"))
            return std::nullopt;
        const double percent = text.toDouble();
        if (percent < 0 || percent > 100)
            return std::nullopt;
        value = range.low + (range.high - range.low) * percent / 100.0;
        break;
    }
    case 2: {
        if (text.size() != 3 || !IsHexText(text))
            return std::nullopt;
        value = range.low + (range.high - range.low) * HexToInt(text) / 4095.0;
        break;
    }
    default:
        if (!Matches(text, "dd.ddd"))
            return std::nullopt;
        value = text.toDouble();
        if (value < range.low || value > range.high)
            return std::nullopt;
        break;
    }
    return value;
}
} // namespace

SimReply RespondAnalogOutput(SimModule &module, const QByteArray &body, const QByteArray &addressText)
{
    const char command = CharAt(body, 1);
    const QByteArray rest = CommandRest(body);
    if (command == '#') {
        const std::optional<double> value = ParseOutput(module, rest);
        if (!value)
            return UnknownReply(addressText);
        module.outputValue = *value;
        if (((module.format >> 2) & 0x0F) == 0)
            module.outputReadback = *value; // "Immediate change": no slew
        return {QByteArray(">")};
    }
    if (command == '$') {
        if (rest == "6")
            return {"!" + addressText + OutputText(module, module.outputValue)};
        if (rest == "8")
            return {"!" + addressText + OutputText(module, module.outputReadback)};
        // 4 mA and 20 mA calibration, and the trim by a signed count.
        if (rest == "0" || rest == "1")
            return AckReply(addressText);
        if (rest.size() == 3 && CharAt(rest, 1) == '3' && IsHexText(Copy(rest, 2, 2)))
            return AckReply(addressText);
    }
    return command == '@' ? SimReply{} : UnknownReply(addressText);
}

} // namespace navix
