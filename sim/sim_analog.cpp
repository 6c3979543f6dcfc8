// Analog input modules: the 4013 thermometer (and the Tvr 5x's unit, stack and status addresses), the 4x13
// sensors and the eight-channel 4017.

#include "sim_replies.h"

#include "bus/text.h"

namespace navix {

namespace {
// Resistance of the module's sensor at a temperature, for the "Ohms" data format: Pt100 with alpha 0.00385
// for range codes 20..23, 0.00391 for 24..27, Ni100 for 28 and 29.
double SensorOhms(const SimModule &module, double celsius)
{
    const int index = module.typeCode.toInt() - 20;
    const double alpha = index >= 8 ? 0.00618 : index >= 4 ? 0.00391 : 0.00385;
    return 100.0 * (1.0 + alpha * celsius);
}

bool IsCalibration(const QByteArray &rest)
{
    return rest == "0" || rest == "1";
}

SimReply Reading(const SimModule &module, double reading)
{
    return {">" + ReadingText(module, reading)};
}

// Seven characters of a 4017 channel in engineering units, with as many decimals as the range needs.
QByteArray ChannelText(const SimModule &module, double value)
{
    switch (HexToInt(module.typeCode)) {
    case 0x09:
    case 0x0A:
        return SignedFixed(value, 1, 4); // +/- 5 V, +/- 1 V
    case 0x0B:
    case 0x0C:
        return SignedFixed(value, 3, 2); // +/- 500 mV, +/- 150 mV
    default:
        return SignedFixed(value, 2, 3); // +/- 10 V, +/- 20 mA
    }
}
} // namespace

QByteArray ReadingText(const SimModule &module, double reading)
{
    const double fullScale = RangeOf(module).FullScale();
    switch (module.format & 0x03) {
    case 1:
        return SignedFixed(reading / fullScale * 100.0, 3, 2);
    case 2:
        // The Tvr 5x reports its temperature code in the high byte, which the program can show in degrees.
        if (module.tvr)
            return HexByte(TemperatureCode(reading)) + "00";
        return TwosComplementHex(reading / fullScale);
    case 3:
        return SignedFixed(module.kind == SimKind::Temperature4013 ? SensorOhms(module, reading) : reading, 3,
                           2);
    default:
        return SignedFixed(reading, 3, 2);
    }
}

SimReply RespondThermometer(SimModule &module, const QByteArray &body, int offset,
                            const QByteArray &addressText, qint64 busTimeMs)
{
    const char command = CharAt(body, 1);
    const QByteArray rest = CommandRest(body);
    if (offset == 2) {
        // The status word of the Tvr 5x; the program reads "!" and two digits and no CR.
        if (command == '$' && rest == "6")
            return {"!" + HexByte(module.status)};
        return UnknownReply(addressText);
    }
    const double reading = offset == 1 ? module.stackValue : module.value;
    if (command == '#' && rest.isEmpty())
        return Reading(module, reading);
    if (command == '$' && IsCalibration(rest))
        return AckReply(addressText);
    if (command == '@' && offset == 0)
        return module.tvr ? RespondTvr(module, body, addressText, busTimeMs) : SimReply{};
    return UnknownReply(addressText);
}

SimReply RespondSensor(SimModule &module, const QByteArray &body, const QByteArray &addressText)
{
    const char command = CharAt(body, 1);
    const QByteArray rest = CommandRest(body);
    if (command == '#' && rest.isEmpty())
        return Reading(module, module.value);
    // Temperature and humidity sensors come calibrated from the factory and take no calibration.
    const bool calibratable = module.typeId != "4113" && module.typeId != "4213";
    if (command == '$' && IsCalibration(rest) && calibratable)
        return AckReply(addressText);
    return command == '@' ? SimReply{} : UnknownReply(addressText);
}

SimReply RespondAnalogInputs(SimModule &module, const QByteArray &body, const QByteArray &addressText)
{
    const char command = CharAt(body, 1);
    const QByteArray rest = CommandRest(body);
    if (command == '$' && rest == "6")
        return {"!" + addressText + HexByte(module.channelMask)};
    if (command == '$' && rest.size() == 3 && CharAt(rest, 1) == '5' && IsHexText(Copy(rest, 2, 2))) {
        module.channelMask = static_cast<quint8>(HexToInt(Copy(rest, 2, 2)));
        return {"!" + addressText + HexByte(module.channelMask)};
    }
    if (command == '#' && rest.size() == 1 && CharAt(rest, 1) >= '0' && CharAt(rest, 1) <= '7')
        return {">" + ChannelText(module, module.channels[CharAt(rest, 1) - '0'])};
    if (command == '$' && IsCalibration(rest))
        return AckReply(addressText);
    return command == '@' ? SimReply{} : UnknownReply(addressText);
}

} // namespace navix
