#include "analog_input_turn.h"

#include "bus/text.h"

namespace navix {

const QStringList AnalogInputTurn::DataFormatItems = {"Engineering units", "% of FSR",
                                                      "2's complement of hex", "Ohms"};
const QStringList AnalogInputTurn::IntegrationTimeItems = {"50 ms ( 60Hz power )", "60 ms ( 50Hz power)"};

namespace {
constexpr int HexSignBit = 0x8000;
constexpr int HexRange = 0x10000;
} // namespace

AnalogInputTurn::AnalogInputTurn(BusWorkspace &workspace, const TurnDesign &design, int rangeCount,
                                 QObject *parent)
    : EditorTurn(workspace, design, parent)
{
    AddSetting(rangeCount);
    AddSetting(static_cast<int>(DataFormatItems.size()));
    AddSetting(static_cast<int>(IntegrationTimeItems.size()));
}

void AnalogInputTurn::SetRangeCount(int rangeCount)
{
    SetSettingItemCount(RangeSetting, rangeCount);
    ShowStoredSetting(RangeSetting, RangeIndexOfCode(Kind(), reportedRangeCode));
}

void AnalogInputTurn::ShowTypeConfig(const QByteArray &config)
{
    reportedRangeCode = Copy(config, 3, 2);
    ShowStoredSetting(RangeSetting, RangeIndexOfCode(Kind(), reportedRangeCode));
    reportedFormat = InputFormat::FromConfig(config);
    ShowStoredSetting(IntegrationSetting, reportedFormat.integrationTime);
    ShowStoredSetting(DataFormatSetting, reportedFormat.dataFormat);
    valueLength = InputValueLength(reportedFormat.dataFormat);
}

QByteArray AnalogInputTurn::TypeCode() const
{
    const int index = ChosenIndex(RangeSetting);
    // A range code the list does not hold goes back to the module as it reported it.
    return index >= 0 ? RangeCodeOfIndex(Kind(), index) : reportedRangeCode;
}

int AnalogInputTurn::TypeFormatBits() const
{
    return reportedFormat.Chosen(ChosenIndex(IntegrationSetting), ChosenIndex(DataFormatSetting)).Bits();
}

Exchange AnalogInputTurn::ValueQuery() const
{
    return {
        .command = Command('#', {}), .startChar = '>', .expectedLength = valueLength + ValueFrameCharacters};
}

QByteArray AnalogInputTurn::ValueOf(const QByteArray &reply) const
{
    return Copy(reply, 2, valueLength);
}

void AnalogInputTurn::SendDataQuery()
{
    Send(EditorPhase::DataAsked, ValueQuery());
}

void AnalogInputTurn::ShowData(const QByteArray &reply)
{
    emit ValueShown(ValueOf(reply));
}

void AnalogInputTurn::WindowShown()
{
    if (IsRestPhase())
        RestartTurn();
}

void AnalogInputTurn::RestartTurn()
{
    SetPhase(EditorPhase::Start);
}

// Trend

double AnalogInputTurn::ValueNumber(const QByteArray &reply) const
{
    if (reply.isEmpty())
        return LostValue;
    const QByteArray text = ValueOf(reply);
    if (static_cast<DataFormat>(reportedFormat.dataFormat) != DataFormat::Hexadecimal)
        return DecimalValue(text);
    bool isNumber = false;
    const int count = text.toInt(&isNumber, 16);
    if (!isNumber || text.size() != valueLength)
        return LostValue;
    return count >= HexSignBit ? count - HexRange : count;
}

void AnalogInputTurn::TrendData(const QByteArray &reply)
{
    RecordTrend({ValueNumber(reply)}, {reply.isEmpty() ? QString() : FromWire(ValueOf(reply))});
}

QString AnalogInputTurn::TrendUnit() const
{
    switch (static_cast<DataFormat>(reportedFormat.dataFormat)) {
    case DataFormat::PercentOfRange:
        return QStringLiteral("%");
    case DataFormat::Hexadecimal:
        return {};
    case DataFormat::Ohms:
        return QStringLiteral("Ω");
    default:
        return UnitOfRange(StoredRangeItem());
    }
}

} // namespace navix
