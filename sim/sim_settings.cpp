#include "sim_replies.h"

#include "bus/text.h"

#include <algorithm>
#include <cmath>

namespace navix {

double AnalogRange::FullScale() const
{
    return std::max(std::fabs(low), std::fabs(high));
}

namespace {
// Type 4013 input ranges by range code 20..29.
const AnalogRange ThermometerRanges[10] = {{-100, 100}, {0, 100}, {0, 200}, {0, 600},   {-100, 100},
                                           {0, 100},    {0, 200}, {0, 600}, {-80, 100}, {0, 100}};
// Type 4017 input ranges by range code 08..0D: V, V, V, mV, mV, mA.
const AnalogRange InputRanges[6] = {{-10, 10}, {-5, 5}, {-1, 1}, {-500, 500}, {-150, 150}, {-20, 20}};
// Type 4021 output ranges by range code 30..32: mA, mA, V.
const AnalogRange OutputRanges[3] = {{0, 20}, {4, 20}, {0, 10}};

AnalogRange SensorRange(const QByteArray &typeId)
{
    if (typeId == "4113")
        return {-40, 124};
    if (typeId == "4213")
        return {0, 100};
    if (typeId == "4513")
        return {0, 110};
    if (typeId == "4613")
        return {0, 500};
    return {0, 300}; // 4313 CO and 4413 CO2, in ppm
}

int DecimalCode(const QByteArray &code)
{
    return IsDecimalText(code) ? code.toInt() : -1;
}
} // namespace

AnalogRange RangeOf(const SimModule &module)
{
    switch (module.kind) {
    case SimKind::Temperature4013: {
        const int index = DecimalCode(module.typeCode) - 20;
        return ThermometerRanges[index >= 0 && index < 10 ? index : 0];
    }
    case SimKind::Sensor4x13:
        return SensorRange(module.typeId);
    case SimKind::Input4017: {
        const int index = HexToInt(module.typeCode) - 8;
        return InputRanges[index >= 0 && index < 6 ? index : 0];
    }
    case SimKind::Output4021: {
        const int index = DecimalCode(module.typeCode) - 30;
        return OutputRanges[index >= 0 && index < 3 ? index : 0];
    }
    default:
        return {0, 1};
    }
}

bool AcceptsSettings(const SimModule &module, const QByteArray &typeCode, int baudCode, int format)
{
    const int lastBaud = module.kind == SimKind::Input4017 ? 7 : 8;
    if (baudCode < 3 || baudCode > lastBaud)
        return module.kind == SimKind::Generic;
    switch (module.kind) {
    case SimKind::Temperature4013: {
        const int code = DecimalCode(typeCode);
        return code >= 20 && code <= 29 && (format & 0x3C) == 0;
    }
    case SimKind::Sensor4x13:
        return typeCode == "20" && (format & 0x3C) == 0;
    case SimKind::Input4017: {
        const int code = HexToInt(typeCode);
        return code >= 8 && code <= 13 && (format & 0x3F) == 0;
    }
    case SimKind::Output4021: {
        const int code = DecimalCode(typeCode);
        const int slew = (format >> 2) & 0x0F;
        return code >= 30 && code <= 32 && (format & 0x80) == 0 && slew <= 11 && (format & 0x03) <= 2;
    }
    case SimKind::Digital4050:
    case SimKind::Input4052:
    case SimKind::Relay4060:
    case SimKind::Input4152:
        return typeCode == "40" && (format & ~0x40) == 0;
    case SimKind::Generic:
        return true;
    }
    return false;
}

} // namespace navix
