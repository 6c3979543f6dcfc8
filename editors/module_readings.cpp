#include "module_readings.h"

#include "analog_input_turn.h"
#include "digital_turns.h"
#include "input_format.h"
#include "turn_4013.h"
#include "turn_4017.h"
#include "turn_4021.h"
#include "turn_4x13.h"

#include "bus/temperature_codes.h"
#include "bus/text.h"

#include <QRegularExpression>

namespace navix {

namespace {
constexpr int HexValueLength = 4;
constexpr int DecimalValueLength = 7;
constexpr int FirstInputRangeCode = 20;     // 4013: "20" = Pt.00385 -/+100°C, decimal
constexpr int FirstChannelRangeCode = 0x08; // 4017: "08" = +/- 10 V, hexadecimal
constexpr int FirstOutputRangeCode = 30;    // 4021: "30" = 0 to 20 mA, decimal
constexpr int ShownInputs4152 = 1;

// The range code as a decimal number less the first code; -1 when it is no number.
int DecimalRangeIndex(const QByteArray &rangeCode, int firstCode)
{
    bool isNumber = false;
    const int code = rangeCode.toInt(&isNumber, 10);
    return isNumber ? code - firstCode : -1;
}

// A byte of two hex digits; -1 for anything else.
int HexByteOf(const QByteArray &digits)
{
    const int value = HexToInt(digits);
    return digits.size() == 2 && value <= 0xFF ? value : -1;
}
} // namespace

int InputValueLength(int dataFormat)
{
    return static_cast<DataFormat>(dataFormat) == DataFormat::Hexadecimal ? HexValueLength
                                                                          : DecimalValueLength;
}

QByteArray InputValueText(const QByteArray &reply, int dataFormat)
{
    return Copy(reply, 2, InputValueLength(dataFormat));
}

QString InputUnitName(EditorKind kind, int dataFormat)
{
    // The sensor modules' window writes the hex format's name in its own spelling.
    static const QStringList names4013 = {"Unit", "%SFR", "2HEX", "Ohms"};
    static const QStringList names4x13 = {"Unit", "%SFR", "2Hex", "Ohms"};
    return (kind == EditorKind::Type4x13 ? names4x13 : names4013).value(dataFormat);
}

QString TvrDegreesText(const QByteArray &value)
{
    return TemperatureFromCode(Copy(value, 1, 2));
}

QString DegreesUnit()
{
    return QStringLiteral("°C");
}

int ChannelMaskOf(const QByteArray &reply)
{
    return HexByteOf(Copy(reply, 4, 2));
}

QByteArray ChannelValueText(const QByteArray &reply)
{
    return Copy(reply, 2, ChannelValueLength);
}

int OutputDataLength(int dataFormat)
{
    switch (static_cast<DataFormat>(dataFormat)) {
    case DataFormat::PercentOfRange:
        return 7;
    case DataFormat::Hexadecimal:
        return 3;
    default:
        return 6;
    }
}

QByteArray OutputDataText(const QByteArray &reply, int dataFormat)
{
    return Copy(reply, 4, OutputDataLength(dataFormat));
}

QString OutputUnit(int dataFormat, int rangeIndex)
{
    switch (static_cast<DataFormat>(dataFormat)) {
    case DataFormat::PercentOfRange:
        return QStringLiteral("%");
    case DataFormat::Hexadecimal:
        return {};
    default:
        return UnitOfRange(Turn4021::OutputRangeItems.value(rangeIndex));
    }
}

QString OutputRangeText(int rangeIndex)
{
    static const QStringList texts = {"0-20 mA", "4-20 mA", "0-10 V"};
    return texts.value(rangeIndex);
}

int DigitalStateOf(const QByteArray &reply)
{
    return HexByteOf(DigitalStateText(reply));
}

QByteArray DigitalStateText(const QByteArray &reply)
{
    return Copy(reply, 2, 2);
}

int ShownChannelCount(EditorKind kind)
{
    switch (kind) {
    case EditorKind::Type4050:
        return OutputTurn::Outputs4050.channelCount;
    case EditorKind::Type4060:
        return OutputTurn::Relays4060.channelCount;
    case EditorKind::Type4052:
        return InputTurn::Inputs4052.channelCount;
    case EditorKind::Type4152:
        return ShownInputs4152;
    case EditorKind::Type4017:
        return ChannelCount4017;
    default:
        return 1;
    }
}

int RangeIndexOfCode(EditorKind kind, const QByteArray &rangeCode)
{
    switch (kind) {
    case EditorKind::Type4013:
    case EditorKind::Type4x13:
        return DecimalRangeIndex(rangeCode, FirstInputRangeCode);
    case EditorKind::Type4017:
        return rangeCode.size() == 2 ? HexToInt(rangeCode) - FirstChannelRangeCode : -1;
    case EditorKind::Type4021:
        return DecimalRangeIndex(rangeCode, FirstOutputRangeCode);
    default:
        return -1;
    }
}

QByteArray RangeCodeOfIndex(EditorKind kind, int index)
{
    switch (kind) {
    case EditorKind::Type4017:
        return HexByte(index + FirstChannelRangeCode);
    case EditorKind::Type4021:
        return QByteArray::number(index + FirstOutputRangeCode);
    default:
        return QByteArray::number(index + FirstInputRangeCode);
    }
}

QString RangeText(const ModuleRecord &record)
{
    const int index = RangeIndexOfCode(record.kind, Copy(record.config, 3, 2));
    switch (record.kind) {
    case EditorKind::Type4013:
        return record.typeId == TvrTypeId ? QString() : Turn4013::InputRangeItems.value(index);
    case EditorKind::Type4x13: {
        // A sensor has one range, shown while the module reports its code.
        const SensorType *sensor = FindSensorType(record.typeId);
        return sensor && index == 0 ? sensor->rangeItem : QString();
    }
    case EditorKind::Type4017:
        return Turn4017::InputRangeItems.value(index);
    case EditorKind::Type4021:
        return OutputRangeText(index);
    default:
        return {};
    }
}

int DataFormatCount(EditorKind kind)
{
    switch (kind) {
    case EditorKind::Type4013:
    case EditorKind::Type4x13:
        return static_cast<int>(AnalogInputTurn::DataFormatItems.size());
    case EditorKind::Type4017:
        return static_cast<int>(Turn4017::DataFormatItems.size());
    case EditorKind::Type4021:
        return static_cast<int>(Turn4021::DataFormatItems.size());
    default:
        return 0;
    }
}

int DataFormatOf(const QByteArray &config)
{
    return InputFormat::FromConfig(config).dataFormat;
}

QString UnitOfRange(const QString &rangeItem)
{
    static const QRegularExpression unitAtEnd(QStringLiteral("([^\\d\\s./+\\-]+)\\s*$"));
    return unitAtEnd.match(rangeItem).captured(1);
}

} // namespace navix
