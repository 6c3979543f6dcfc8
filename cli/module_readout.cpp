#include "module_readout.h"

#include "bus/temperature_codes.h"
#include "editors/input_format.h"

#include <array>

namespace {
// Data formats of the analog modules (bits 1..0 of the format byte).
enum class DataFormat { EngineeringUnits = 0, PercentOfRange = 1, Hexadecimal = 2, Ohms = 3 };

// The unit names the analog input editors show beside the value, by data format.
const QStringList InputUnitNames = {"Unit", "%SFR", "2HEX", "Ohms"};

constexpr int FirstInputRangeCode = 0x08; // 4017: "08" = +/- 10 V
constexpr int InputRangeCount = 6;
constexpr std::array<const char *, InputRangeCount> InputRangeUnits = {"V", "V", "V", "mV", "mV", "mA"};
constexpr int FirstOutputRangeCode = 0x30; // 4021: "30" = 0 to 20 mA
constexpr std::array<const char *, 3> OutputRangeUnits = {"mA", "mA", "V"};
constexpr int ChannelCount4017 = 8;
constexpr int MaskReplyLength = 6;    // "!" + address + two mask digits + CR
constexpr int ChannelReplyLength = 9; // ">" + seven value characters + CR

struct Query
{
    CliBus &bus;
    const ModuleRecord &record;
    bool answered = true;

    QByteArray Ask(char command, const QByteArray &tail, char start, int length,
                   const QByteArray &address = {})
    {
        const QByteArray reply = bus.Ask(
            {.command = command + (address.isEmpty() ? CliBus::CommandAddress(record) : address) + tail + CR,
             .checksum = CliBus::UsesChecksum(record),
             .startChar = start,
             .expectedLength = length});
        answered = answered && !reply.isEmpty();
        return reply;
    }
};

// Two hexadecimal digits and nothing else: a state or mask that can be taken at its word.
bool IsHexByteText(const QByteArray &text)
{
    bool ok = false;
    text.toInt(&ok, 16);
    return ok && text.size() == 2;
}

QString Caption(const ModuleRecord &record, int index)
{
    QString caption = record.captions.value(index).trimmed();
    if (caption.endsWith(':'))
        caption.chop(1);
    return caption.trimmed();
}

// The unit of an input value in engineering units, by the sensor the type stands for.
QString SensorUnit(const QByteArray &typeId)
{
    if (typeId == "4013" || typeId == "4113" || typeId == TvrTypeId)
        return QString::fromLatin1("\xB0"
                                   "C");
    if (typeId == "4213")
        return "%";
    if (typeId == "4313" || typeId == "4413")
        return "ppm";
    if (typeId == "4513")
        return "kPa";
    if (typeId == "4613")
        return "Pa";
    return {};
}

void ReadInput(Query &query, Readout &readout)
{
    const InputFormat format = InputFormat::FromConfig(query.record.config);
    const auto dataFormat = static_cast<DataFormat>(format.dataFormat);
    const int valueLength = dataFormat == DataFormat::Hexadecimal ? 4 : 7;
    if (query.record.typeId == TvrTypeId) {
        // The Tvr 5x puts the temperature code of its unit and stack inputs in front of each value.
        const int address = HexToInt(CliBus::CommandAddress(query.record));
        const QStringList names = {Caption(query.record, 0), "Stack"};
        for (int offset = 0; offset < 2; ++offset) {
            const QByteArray reply = query.Ask('#', {}, '>', valueLength + 2, HexByte(address + offset));
            readout.values.append(
                {names[offset], TemperatureFromCode(Copy(reply, 2, 2)), SensorUnit(TvrTypeId)});
        }
        return;
    }
    const QByteArray reply = query.Ask('#', {}, '>', valueLength + 2);
    const QString unit = dataFormat == DataFormat::EngineeringUnits ? SensorUnit(query.record.typeId)
                                                                    : InputUnitNames.value(format.dataFormat);
    readout.values.append({Caption(query.record, 0), FromWire(Copy(reply, 2, valueLength)), unit});
}

void Read4017(Query &query, Readout &readout)
{
    const QByteArray maskReply = query.Ask('$', "6", '!', MaskReplyLength);
    const QByteArray maskText = Copy(maskReply, 4, 2);
    if (!IsHexByteText(maskText))
        return;
    const int mask = HexToInt(maskText);
    const int range = HexToInt(Copy(query.record.config, 3, 2)) - FirstInputRangeCode;
    const InputFormat format = InputFormat::FromConfig(query.record.config);
    const QString unit = static_cast<DataFormat>(format.dataFormat) != DataFormat::EngineeringUnits
                             ? InputUnitNames.value(format.dataFormat)
                         : range >= 0 && range < InputRangeCount ? QString(InputRangeUnits[range])
                                                                 : QString();
    for (int channel = 0; channel < ChannelCount4017; ++channel) {
        if ((mask >> channel & 1) == 0)
            continue;
        const QByteArray reply = query.Ask('#', QByteArray::number(channel), '>', ChannelReplyLength);
        readout.values.append({Caption(query.record, channel), FromWire(Copy(reply, 2, 7)), unit});
    }
}

void Read4021(Query &query, Readout &readout)
{
    const InputFormat format = InputFormat::FromConfig(query.record.config);
    const auto dataFormat = static_cast<DataFormat>(format.dataFormat);
    const int length = dataFormat == DataFormat::PercentOfRange ? 7
                       : dataFormat == DataFormat::Hexadecimal  ? 3
                                                                : 6;
    const QByteArray reply = query.Ask('$', "8", '!', length + 4);
    const int range = HexToInt(Copy(query.record.config, 3, 2)) - FirstOutputRangeCode;
    QString unit;
    if (dataFormat == DataFormat::PercentOfRange)
        unit = "%";
    else if (dataFormat == DataFormat::EngineeringUnits && range >= 0 && range < 3)
        unit = OutputRangeUnits[range];
    readout.values.append({Caption(query.record, 0), FromWire(Copy(reply, 4, length)), unit});
}

void ReadDigital(Query &query, Readout &readout, int channels)
{
    const QByteArray reply = query.Ask('$', "6", '!', ReplyLength::DigitalState);
    readout.state = Copy(reply, 2, 2);
    if (!IsHexByteText(readout.state))
        return;
    const int state = HexToInt(readout.state);
    for (int channel = 0; channel < channels; ++channel)
        readout.values.append({Caption(query.record, channel), (state >> channel & 1) ? "on" : "off", {}});
}
} // namespace

Readout ReadModule(CliBus &bus, const ModuleRecord &record)
{
    Readout readout;
    Query query{bus, record};
    switch (record.kind) {
    case EditorKind::Type4013:
    case EditorKind::Type4x13:
        ReadInput(query, readout);
        break;
    case EditorKind::Type4017:
        Read4017(query, readout);
        break;
    case EditorKind::Type4021:
        Read4021(query, readout);
        break;
    case EditorKind::Type4050:
        ReadDigital(query, readout, 8);
        break;
    case EditorKind::Type4060:
        ReadDigital(query, readout, 4);
        break;
    case EditorKind::Type4052:
        ReadDigital(query, readout, 8);
        break;
    case EditorKind::Type4152:
        ReadDigital(query, readout, 1);
        break;
    }
    readout.answered = query.answered;
    return readout;
}
