#include "analog_input_turn.h"

#include "bus/text.h"

const QStringList AnalogInputTurn::DataFormatItems = {"Engineering units", "% of FSR",
                                                      "2's complement of hex", "Ohms"};
const QStringList AnalogInputTurn::IntegrationTimeItems = {"50 ms ( 60Hz power )", "60 ms ( 50Hz power)"};

namespace {
constexpr int FirstRangeCode = 20;
constexpr int HexFormat = 2; // "2's complement of hex": four hex digits instead of seven characters
constexpr int HexValueLength = 4;
constexpr int DecimalValueLength = 7;
constexpr int ValueFrameCharacters = 2; // ">" and CR

// The item index of a decimal range code; -1 when the text is no number.
int RangeIndex(const QByteArray &rangeCode)
{
    bool isNumber = false;
    const int code = rangeCode.toInt(&isNumber, 10);
    return isNumber ? code - FirstRangeCode : -1;
}
} // namespace

AnalogInputTurn::AnalogInputTurn(Workspace &workspace, const TurnDesign &design, int rangeCount,
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
    ShowStoredSetting(RangeSetting, RangeIndex(reportedRangeCode));
}

void AnalogInputTurn::ShowTypeConfig(const QByteArray &config)
{
    reportedRangeCode = Copy(config, 3, 2);
    ShowStoredSetting(RangeSetting, RangeIndex(reportedRangeCode));
    reportedFormat = InputFormat::FromConfig(config);
    ShowStoredSetting(IntegrationSetting, reportedFormat.integrationTime);
    ShowStoredSetting(DataFormatSetting, reportedFormat.dataFormat);
    valueLength = reportedFormat.dataFormat == HexFormat ? HexValueLength : DecimalValueLength;
}

QByteArray AnalogInputTurn::TypeCode() const
{
    const int index = ChosenIndex(RangeSetting);
    // A range code the list does not hold goes back to the module as it reported it.
    return index >= 0 ? QByteArray::number(index + FirstRangeCode) : reportedRangeCode;
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
