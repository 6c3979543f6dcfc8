#include "modbus_processing.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

namespace navix::modbus {

namespace {
// The largest quantities one request may ask for, as the Modbus application protocol sets them.
constexpr quint16 MostBitsRead = 2000;
constexpr quint16 MostRegistersRead = 125;
constexpr quint16 MostCoilsWritten = 1968;
constexpr quint16 MostRegistersWritten = 123;
constexpr quint16 CoilOn = 0xFF00;
constexpr quint16 CoilOff = 0x0000;

QModbusResponse Exception(const QModbusRequest &request, QModbusPdu::ExceptionCode code)
{
    return QModbusExceptionResponse(request.functionCode(), code);
}

QList<int> ChannelsOf(const UnitValues &unit, PointKind kind)
{
    QList<int> channels;
    for (qsizetype channel = 0; channel < unit.kinds.size(); ++channel)
        if (unit.kinds[channel] == kind)
            channels.append(static_cast<int>(channel));
    return channels;
}

double ValueOf(const UnitValues &unit, int channel)
{
    return unit.values.value(channel, std::numeric_limits<double>::quiet_NaN());
}

void AppendCounter(std::vector<quint16> &registers, quint64 counter)
{
    const auto low32 = static_cast<quint32>(counter);
    registers.push_back(static_cast<quint16>(low32 >> 16));
    registers.push_back(static_cast<quint16>(low32 & 0xFFFF));
}

// A block of registers and where it starts in its table.
struct RegisterBlock
{
    quint16 start = 0;
    std::vector<quint16> registers;
};

RegisterBlock ScaledBlock(const UnitValues &unit, Block block, PointKind kind)
{
    RegisterBlock result{Start(block), {}};
    for (int channel : ChannelsOf(unit, kind))
        result.registers.push_back(
            static_cast<quint16>(ScaledRegister(ValueOf(unit, channel), unit.decimals.value(channel))));
    return result;
}

RegisterBlock FloatBlock(const UnitValues &unit)
{
    RegisterBlock result{Start(Block::FloatInputs), {}};
    for (int channel : ChannelsOf(unit, PointKind::AnalogInput)) {
        const auto bits = std::bit_cast<quint32>(static_cast<float>(ValueOf(unit, channel)));
        result.registers.push_back(static_cast<quint16>(bits >> 16));
        result.registers.push_back(static_cast<quint16>(bits & 0xFFFF));
    }
    return result;
}

RegisterBlock StatusBlock(const UnitValues &unit, qint64 nowMs)
{
    RegisterBlock result{Start(Block::Status), {}};
    result.registers.push_back(static_cast<quint16>(unit.quality));
    const qint64 since = unit.lastGoodMs < 0 ? std::numeric_limits<quint16>::max()
                                             : (nowMs - unit.lastGoodMs) / SinceGoodReadStepMs;
    result.registers.push_back(static_cast<quint16>(std::clamp<qint64>(since, 0, 0xFFFF)));
    AppendCounter(result.registers, unit.exchanges);
    AppendCounter(result.registers, unit.timeOuts);
    AppendCounter(result.registers, unit.wrongChecksums);
    return result;
}

// The part of a block that start and count ask for; nothing when they leave it.
template <typename Value>
std::optional<std::vector<Value>> Slice(const std::vector<Value> &block, quint16 blockStart, quint16 start,
                                        quint16 count)
{
    if (start < blockStart || start - blockStart + count > static_cast<int>(block.size()))
        return std::nullopt;
    const auto first = block.begin() + (start - blockStart);
    return std::vector<Value>(first, first + count);
}

QModbusResponse RegistersResponse(const QModbusRequest &request, const std::vector<quint16> &registers)
{
    QByteArray data;
    data.append(static_cast<char>(registers.size() * 2));
    for (quint16 value : registers) {
        data.append(static_cast<char>(value >> 8));
        data.append(static_cast<char>(value & 0xFF));
    }
    return QModbusResponse(request.functionCode(), data);
}

QModbusResponse BitsResponse(const QModbusRequest &request, const std::vector<bool> &bits)
{
    QByteArray data(1 + static_cast<qsizetype>((bits.size() + 7) / 8), '\0');
    data[0] = static_cast<char>(data.size() - 1);
    for (size_t bit = 0; bit < bits.size(); ++bit)
        if (bits[bit])
            data[1 + static_cast<qsizetype>(bit / 8)] |= static_cast<char>(1 << (bit % 8));
    return QModbusResponse(request.functionCode(), data);
}

Answer ReadBits(const QModbusRequest &request, const UnitValues &unit, PointKind kind)
{
    quint16 start = 0;
    quint16 count = 0;
    request.decodeData(&start, &count);
    if (count < 1 || count > MostBitsRead)
        return {Exception(request, QModbusPdu::IllegalDataValue), {}};
    std::vector<bool> block;
    for (int channel : ChannelsOf(unit, kind)) {
        const double value = ValueOf(unit, channel);
        block.push_back(!std::isnan(value) && value != 0);
    }
    const Block first = kind == PointKind::DigitalInput ? Block::DigitalInputs : Block::DigitalOutputs;
    const auto bits = Slice(block, Start(first), start, count);
    if (!bits)
        return {Exception(request, QModbusPdu::IllegalDataAddress), {}};
    return {BitsResponse(request, *bits), {}};
}

Answer ReadRegisters(const QModbusRequest &request, const UnitValues &unit, qint64 nowMs)
{
    quint16 start = 0;
    quint16 count = 0;
    request.decodeData(&start, &count);
    if (count < 1 || count > MostRegistersRead)
        return {Exception(request, QModbusPdu::IllegalDataValue), {}};
    const bool input = request.functionCode() == QModbusPdu::ReadInputRegisters;
    const bool status = !input && start >= Start(Block::Status);
    RegisterBlock block;
    if (input)
        block = start >= Start(Block::FloatInputs)
                    ? FloatBlock(unit)
                    : ScaledBlock(unit, Block::ScaledInputs, PointKind::AnalogInput);
    else
        block = status ? StatusBlock(unit, nowMs)
                       : ScaledBlock(unit, Block::AnalogOutput, PointKind::AnalogOutput);
    const auto registers = Slice(block.registers, block.start, start, count);
    if (!registers)
        return {Exception(request, QModbusPdu::IllegalDataAddress), {}};
    return {RegistersResponse(request, *registers), {}};
}

// The points that count values from start stand for in the block of kind; nothing when they leave it.
std::optional<QList<int>> WrittenChannels(const UnitValues &unit, PointKind kind, Block block, quint16 start,
                                          quint16 count)
{
    const QList<int> channels = ChannelsOf(unit, kind);
    if (start < Start(block) || start - Start(block) + count > channels.size())
        return std::nullopt;
    return channels.mid(start - Start(block), count);
}

// The value bytes of a multiple write (0F, 10) with its start and count, when the count lies within 1..most
// and the byte count agrees with it and with the data.
std::optional<QByteArray> MultipleWriteValues(const QModbusRequest &request, quint16 most, quint16 &start,
                                              quint16 &count)
{
    quint8 byteCount = 0;
    request.decodeData(&start, &count, &byteCount);
    const int wanted = request.functionCode() == QModbusPdu::WriteMultipleCoils ? (count + 7) / 8 : count * 2;
    if (count < 1 || count > most || byteCount != wanted || request.data().size() != 5 + byteCount)
        return std::nullopt;
    return request.data().mid(5);
}

// A write's response: a single write echoes its request, a multiple write its start and count.
QModbusResponse WriteResponse(const QModbusRequest &request, bool single)
{
    return QModbusResponse(request.functionCode(), single ? request.data() : request.data().left(4));
}

Answer WriteCoils(const QModbusRequest &request, const UnitValues &unit)
{
    const bool single = request.functionCode() == QModbusPdu::WriteSingleCoil;
    quint16 start = 0;
    quint16 count = 1;
    QList<bool> states;
    if (single) {
        quint16 value = 0;
        request.decodeData(&start, &value);
        if (value != CoilOn && value != CoilOff)
            return {Exception(request, QModbusPdu::IllegalDataValue), {}};
        states.append(value == CoilOn);
    } else {
        const std::optional<QByteArray> bytes = MultipleWriteValues(request, MostCoilsWritten, start, count);
        if (!bytes)
            return {Exception(request, QModbusPdu::IllegalDataValue), {}};
        for (int bit = 0; bit < count; ++bit)
            states.append((static_cast<quint8>(bytes->at(bit / 8)) >> (bit % 8) & 1) != 0);
    }
    const auto channels =
        WrittenChannels(unit, PointKind::DigitalOutput, Block::DigitalOutputs, start, count);
    if (!channels)
        return {Exception(request, QModbusPdu::IllegalDataAddress), {}};
    if (!unit.IsServed())
        return {Exception(request, QModbusPdu::GatewayTargetDeviceFailedToRespond), {}};
    Answer answer;
    for (qsizetype index = 0; index < channels->size(); ++index)
        answer.writes.append({unit.pointIds.value(channels->at(index)), states[index] ? 1.0 : 0.0});
    answer.response = WriteResponse(request, single);
    return answer;
}

Answer WriteRegisters(const QModbusRequest &request, const UnitValues &unit)
{
    const bool single = request.functionCode() == QModbusPdu::WriteSingleRegister;
    quint16 start = 0;
    quint16 count = 1;
    QList<qint16> values;
    if (single) {
        quint16 value = 0;
        request.decodeData(&start, &value);
        values.append(static_cast<qint16>(value));
    } else {
        const std::optional<QByteArray> bytes =
            MultipleWriteValues(request, MostRegistersWritten, start, count);
        if (!bytes)
            return {Exception(request, QModbusPdu::IllegalDataValue), {}};
        for (int index = 0; index < count; ++index)
            values.append(static_cast<qint16>(static_cast<quint8>(bytes->at(2 * index)) << 8 |
                                              static_cast<quint8>(bytes->at(2 * index + 1))));
    }
    const auto channels = WrittenChannels(unit, PointKind::AnalogOutput, Block::AnalogOutput, start, count);
    if (!channels)
        return {Exception(request, QModbusPdu::IllegalDataAddress), {}};
    Answer answer;
    for (qsizetype index = 0; index < channels->size(); ++index) {
        const int channel = channels->at(index);
        answer.writes.append(
            {unit.pointIds.value(channel), values[index] / std::pow(10.0, unit.decimals.value(channel))});
    }
    answer.response = WriteResponse(request, single);
    return answer;
}
} // namespace

int DecimalsOf(const QString &text)
{
    const qsizetype point = text.indexOf('.');
    if (point < 0)
        return 0;
    int decimals = 0;
    for (qsizetype index = point + 1; index < text.size() && text[index].isDigit(); ++index)
        ++decimals;
    return decimals;
}

qint16 ScaledRegister(double value, int decimals)
{
    if (std::isnan(value))
        return NoReadingRegister;
    const double scaled = std::round(value * std::pow(10.0, decimals));
    return static_cast<qint16>(std::clamp(scaled, -32767.0, 32767.0));
}

Answer ProcessRequest(const QModbusRequest &request, const UnitValues *unit, qint64 nowMs)
{
    if (!unit)
        return {Exception(request, QModbusPdu::GatewayTargetDeviceFailedToRespond), {}};
    // A module away answers nothing; only its status block stays readable, to tell why.
    quint16 start = 0;
    request.decodeData(&start);
    const bool statusRead =
        request.functionCode() == QModbusPdu::ReadHoldingRegisters && start >= Start(Block::Status);
    if (!unit->IsServed() && !statusRead)
        return {Exception(request, QModbusPdu::GatewayTargetDeviceFailedToRespond), {}};
    switch (request.functionCode()) {
    case QModbusPdu::ReadCoils:
    case QModbusPdu::ReadDiscreteInputs: {
        const bool coils = request.functionCode() == QModbusPdu::ReadCoils;
        return ReadBits(request, *unit, coils ? PointKind::DigitalOutput : PointKind::DigitalInput);
    }
    case QModbusPdu::ReadHoldingRegisters:
    case QModbusPdu::ReadInputRegisters:
        return ReadRegisters(request, *unit, nowMs);
    case QModbusPdu::WriteSingleCoil:
    case QModbusPdu::WriteMultipleCoils:
        return WriteCoils(request, *unit);
    case QModbusPdu::WriteSingleRegister:
    case QModbusPdu::WriteMultipleRegisters:
        return WriteRegisters(request, *unit);
    default:
        break;
    }
    return {Exception(request, QModbusPdu::IllegalFunction), {}};
}

} // namespace navix::modbus
