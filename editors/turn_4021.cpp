#include "turn_4021.h"

#include "bus/text.h"

namespace navix {

const QStringList Turn4021::OutputRangeItems = {"0 to 20 mA", "4 to 20 mA", "0 to 10 V"};
const QStringList Turn4021::DataFormatItems = {"Engineering units", "% of FSR", "Hexadecimal"};
const QStringList Turn4021::SlewRateItems = {
    "Immediate chance",      "0,0625 V/s  0,125 mA/s", "0,125 V/s  0,250 mA/s", "0,250 V/s  0,500 mA/s",
    "0,500 V/s  1,000 mA/s", "1,000 V/s  2,000 mA/s",  "2,000 V/s  4,000 mA/s", "4,000 V/s  8,000 mA/s",
    "8,000 V/s  16,00 mA/s", "16,00 V/s  32,00 mA/s",  "32,00 V/s  64,00 mA/s", "64,00 V/s  128,0 mA/s"};

namespace {
constexpr int RangeFourToTwenty = 1;
constexpr int RangeZeroToTenVolts = 2;
constexpr int InvalidHex = 99999; // what HexToInt makes of a text that is no hex number
} // namespace

Turn4021::Turn4021(BusWorkspace &workspace, QObject *parent)
    : EditorTurn(workspace, {.kind = EditorKind::Type4021, .modelLabel = "N780", .captions = {"Vystup"}},
                 parent)
{
    AddSetting(static_cast<int>(OutputRangeItems.size()));
    AddSetting(static_cast<int>(DataFormatItems.size()));
    AddSetting(static_cast<int>(SlewRateItems.size()));
}

// Configuration

void Turn4021::ShowTypeConfig(const QByteArray &config)
{
    reportedRangeCode = Copy(config, 3, 2);
    const int rangeIndex = RangeIndexOfCode(Kind(), reportedRangeCode);
    ShowStoredSetting(OutputRangeSetting, rangeIndex);

    const QByteArray bits = HexToBits(Copy(config, 7, 2));
    reportedSlewRate = BitsToInt(Copy(bits, 3, 4));
    reportedDataFormat = BitsToInt(Copy(bits, 7, 2));
    ShowStoredSetting(SlewRateSetting, reportedSlewRate);
    ShowStoredSetting(DataFormatSetting, reportedDataFormat);

    dataLength = OutputDataLength(reportedDataFormat);
    SetUpPosition(reportedDataFormat, rangeIndex);
}

void Turn4021::SetUpPosition(int dataFormat, int rangeIndex)
{
    minimum = 0;
    maximum = 20000;
    if (static_cast<DataFormat>(dataFormat) == DataFormat::PercentOfRange) {
        scrollMode = ScrollMode::PercentOfRange;
        maximum = 10000;
    } else if (static_cast<DataFormat>(dataFormat) == DataFormat::Hexadecimal) {
        scrollMode = ScrollMode::Hexadecimal;
        maximum = 4095;
    } else {
        scrollMode = ScrollMode::EngineeringUnits;
        if (rangeIndex == RangeFourToTwenty)
            minimum = 4000;
        else if (rangeIndex == RangeZeroToTenVolts)
            maximum = 10000;
    }
    // Setting up the range is no choice of the user: nothing waits to be written.
    position = minimum;
    emit PositionRangeShown(minimum, maximum);
    ShowSetValueText();
    setValuePending = false;
    // The module's output keeps whatever it drives now; the turn reads it back before it shows a set value
    // as the module's own.
    outputUnread = true;
}

QByteArray Turn4021::TypeCode() const
{
    const int index = ChosenIndex(OutputRangeSetting);
    return index >= 0 ? RangeCodeOfIndex(Kind(), index) : reportedRangeCode;
}

int Turn4021::TypeFormatBits() const
{
    const int slewIndex = ChosenIndex(SlewRateSetting);
    const int formatIndex = ChosenIndex(DataFormatSetting);
    const int slewRate = slewIndex >= 0 ? slewIndex : reportedSlewRate;
    const int dataFormat = formatIndex >= 0 ? formatIndex : reportedDataFormat;
    return (slewRate & 0x0F) << 2 | (dataFormat & 0x03);
}

// Set value

void Turn4021::MovePosition(int newPosition)
{
    position = qBound(minimum, newPosition, maximum);
    ShowSetValueText();
    setValuePending = true;
    ++setValueGeneration;
}

void Turn4021::ShowSetValueText()
{
    switch (scrollMode) {
    case ScrollMode::EngineeringUnits:
        setValueText = QString::number(position).rightJustified(5, '0');
        setValueText.insert(2, '.');
        break;
    case ScrollMode::PercentOfRange:
        setValueText = QString::number(position).rightJustified(5, '0');
        setValueText.insert(3, '.');
        setValueText.prepend('+');
        break;
    case ScrollMode::Hexadecimal:
        setValueText = FromWire(HexDigits(position, 3));
        break;
    }
    emit SetValueShown(setValueText);
}

bool Turn4021::AdoptOutputValue(const QByteArray &data)
{
    // A garbled read leaves the set value as it was.
    const std::optional<int> read = PositionOfData(data);
    if (!read)
        return false;
    // The module's own value is shown, not chosen: it is never written back.
    position = qBound(minimum, *read, maximum);
    emit PositionShown(position);
    setValueText = FromWire(data);
    emit SetValueShown(setValueText);
    return true;
}

std::optional<int> Turn4021::PositionOfData(const QByteArray &data) const
{
    QByteArray digits = data;
    if (const qsizetype plus = Pos('+', digits))
        Delete(digits, plus, 1);
    if (const qsizetype point = Pos('.', digits))
        Delete(digits, point, 1);
    if (scrollMode == ScrollMode::Hexadecimal) {
        const int value = HexToInt(digits);
        if (digits.isEmpty() || value == InvalidHex)
            return std::nullopt;
        return value;
    }
    bool isNumber = false;
    const int value = digits.toInt(&isNumber, 10);
    return isNumber ? std::optional<int>(value) : std::nullopt;
}

QByteArray Turn4021::ReplyData(const QByteArray &reply) const
{
    return OutputDataText(reply, reportedDataFormat);
}

// The turn

void Turn4021::SendLastValueQuery(Phase4021 next)
{
    SendTypeStep(typePhase, next,
                 {.command = Command('$', "6"), .expectedLength = dataLength + OutputFrameCharacters});
}

void Turn4021::SendFirstRead()
{
    SendLastValueQuery(Phase4021::FirstReadAsked);
}

bool Turn4021::FirmwareAskedStep(const QByteArray &reply)
{
    ShowFirmware(reply);
    SendFirstRead();
    return false;
}

void Turn4021::SendDataQuery()
{
    typePhase = Phase4021::None;
    Send(EditorPhase::DataAsked,
         {.command = Command('$', "8"), .expectedLength = dataLength + OutputFrameCharacters});
}

void Turn4021::ShowData(const QByteArray &reply)
{
    emit OutputShown(FromWire(ReplyData(reply)));
}

bool Turn4021::IdleStep(const QByteArray &)
{
    if (setValuePending) {
        writtenGeneration = setValueGeneration;
        typePhase = Phase4021::None;
        Send(EditorPhase::WriteSent, {.command = Command('#', ToWire(setValueText)),
                                      .startChar = '>',
                                      .expectedLength = ReplyLength::WriteAcknowledge});
    } else if (outputUnread) {
        SendFirstRead();
    } else {
        SendDataQuery();
    }
    return false;
}

bool Turn4021::WriteSentStep(const QByteArray &)
{
    // A value picked while the write was under way still waits for its own write.
    if (setValueGeneration == writtenGeneration)
        setValuePending = false;
    // The output now drives what the user chose; the read that follows shows what the module took.
    outputUnread = false;
    SendLastValueQuery(Phase4021::LastValueAsked);
    return false;
}

bool Turn4021::ConfigSentStep(const QByteArray &reply)
{
    const bool turnOver = EditorTurn::ConfigSentStep(reply);
    // Also an unanswered configuration may have reached the module: its output is read back again before
    // anything is shown as its value.
    outputUnread = true;
    return turnOver;
}

bool Turn4021::TypePhaseStep(const QByteArray &reply)
{
    switch (typePhase) {
    case Phase4021::FirstReadAsked:
        return FirstReadAskedStep(reply);
    case Phase4021::LastValueAsked:
        return LastValueAskedStep(reply);
    case Phase4021::None:
        break;
    }
    return EndTurn();
}

bool Turn4021::FirstReadAskedStep(const QByteArray &reply)
{
    // Without the module's value the turn ends; the next one asks again. The read is a lost one for whoever
    // takes the values: a module that never answers must not pass for one that was never asked.
    if (reply.isEmpty()) {
        typePhase = Phase4021::None;
        RecordTrend({LostValue}, {QString()});
        return EndTurn();
    }
    const QByteArray data = ReplyData(reply);
    emit OutputShown(FromWire(data));
    emit LastValueShown(FromWire(data));
    // A value the user picked meanwhile stands and goes out on the next turn.
    if (!setValuePending && AdoptOutputValue(data))
        outputUnread = false;
    SendDataQuery();
    return false;
}

bool Turn4021::LastValueAskedStep(const QByteArray &reply)
{
    if (!reply.isEmpty())
        emit LastValueShown(FromWire(ReplyData(reply)));
    ShowCommunicationStatus(!reply.isEmpty());
    SendDataQuery();
    return false;
}

// Trend

void Turn4021::TrendData(const QByteArray &reply)
{
    const QByteArray data = ReplyData(reply);
    const QStringList text{reply.isEmpty() ? QString() : FromWire(data)};
    if (reply.isEmpty()) {
        RecordTrend({LostValue}, text);
    } else if (scrollMode == ScrollMode::Hexadecimal) {
        bool isNumber = false;
        const int count = data.toInt(&isNumber, 16);
        RecordTrend({isNumber ? count : LostValue}, text);
    } else {
        RecordTrend({DecimalValue(data)}, text);
    }
}

QString Turn4021::TrendUnit() const
{
    return OutputUnit(reportedDataFormat, Setting(OutputRangeSetting).stored);
}

} // namespace navix
