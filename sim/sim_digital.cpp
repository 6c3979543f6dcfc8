// Digital modules: 4050 outputs and inputs, 4060 relays, 4052 and 4152 inputs. The state reply carries the
// state in positions 2-3 and four more digits (the 4050 puts its inputs in the first two of them).

#include "sim_replies.h"

#include "bus/text.h"

namespace navix {

namespace {
int ChannelCount(const SimModule &module)
{
    return module.kind == SimKind::Relay4060 ? 4 : 8;
}

bool HasOutputs(const SimModule &module)
{
    return module.kind == SimKind::Digital4050 || module.kind == SimKind::Relay4060;
}

QByteArray StateReply(const SimModule &module)
{
    switch (module.kind) {
    case SimKind::Digital4050:
        return "!" + HexByte(module.outputs) + HexByte(module.inputs) + "00";
    case SimKind::Relay4060:
        return "!" + HexByte(module.outputs & 0x0F) + "0000";
    default:
        return "!" + HexByte(module.inputs) + "0000";
    }
}

// "#AA" + "1" channel "0" state (one output) or "00" + two hex digits (all outputs).
bool WriteOutputs(SimModule &module, const QByteArray &rest)
{
    if (rest.size() != 4)
        return false;
    const int channels = ChannelCount(module);
    if (Copy(rest, 1, 2) == "00" && IsHexText(Copy(rest, 3, 2))) {
        const int value = HexToInt(Copy(rest, 3, 2));
        if (value >= (1 << channels))
            return false;
        module.outputs = static_cast<quint8>(value);
        return true;
    }
    const int channel = CharAt(rest, 2) - '0';
    const char state = CharAt(rest, 4);
    if (CharAt(rest, 1) != '1' || channel < 0 || channel >= channels || CharAt(rest, 3) != '0' ||
        (state != '0' && state != '1'))
        return false;
    if (state == '1')
        module.outputs |= static_cast<quint8>(1u << channel);
    else
        module.outputs &= static_cast<quint8>(~(1u << channel));
    return true;
}
} // namespace

SimReply RespondDigital(SimModule &module, const QByteArray &body, const QByteArray &addressText)
{
    const char command = CharAt(body, 1);
    const QByteArray rest = CommandRest(body);
    if (command == '$' && rest == "6")
        return {StateReply(module)};
    if (command == '#' && HasOutputs(module)) {
        if (WriteOutputs(module, rest))
            return {QByteArray(">")};
        return UnknownReply(addressText);
    }
    return command == '@' ? SimReply{} : UnknownReply(addressText);
}

} // namespace navix
