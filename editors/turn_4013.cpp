#include "turn_4013.h"

#include "bus/temperature_codes.h"
#include "bus/text.h"

#include <cmath>

namespace navix {

const QStringList Turn4013::InputRangeItems = {
    "Pt.00385  -/+100°C", "Pt.00385 0 to +100°C", "Pt.00385 0 to +200°C", "Pt.00385 0 to +600°C",
    "Pt.00391 -/+ 100°C", "Pt.00391 0 to +100°C", "Pt.00391 0 to +200°C", "Pt.00391 0 to +600°C",
    "Ni -80 to 100°C",    "Ni    0 to 100°C"};

namespace {
constexpr int LimitsReplyLength = 19; // ">" + nine limit codes, read without the CR
constexpr int ByteReplyLength = 3;    // ">" + two hex digits + CR
constexpr int StatusReplyLength = 3;  // "!" + two hex digits, read without the CR
constexpr int WriteReplyLength = 3;   // "!" + address; the Tvr 5x's acknowledgement, read without its CR
constexpr int ClockDigitCount = 14;
constexpr int StackOffset = 1;
constexpr int StatusOffset = 2;

// The limits write chain in its order, with the name each step's failure message gives.
enum class ControllerSetting { Clock, Constant, Interval, Limit };
struct ChainEntry
{
    ControllerSetting setting;
    int limit; // 0 for X1
    const char *name;
};
constexpr ChainEntry LimitsChain[] = {
    {ControllerSetting::Clock, 0, "Time"},        {ControllerSetting::Constant, 0, "Const"},
    {ControllerSetting::Interval, 0, "Interval"}, {ControllerSetting::Limit, 0, "X1"},
    {ControllerSetting::Limit, 1, "X2"},          {ControllerSetting::Limit, 2, "X3"},
    {ControllerSetting::Limit, 3, "X4"},          {ControllerSetting::Limit, 4, "X5"},
    {ControllerSetting::Limit, 5, "X6"},          {ControllerSetting::Limit, 6, "X7"},
    {ControllerSetting::Limit, 7, "X8"},          {ControllerSetting::Limit, 8, "X9"},
};
constexpr int ChainLength = static_cast<int>(std::size(LimitsChain));
} // namespace

QByteArray ClockDigits(const QString &timeText, const QString &dateText)
{
    QByteArray time = ToWire(timeText);
    time.replace(':', "").replace(' ', "");
    QByteArray date = ToWire(dateText);
    for (const char removed : {'.', ' ', '(', ')'})
        date.replace(removed, "");
    QByteArray digits =
        Copy(date, 5, 2) + Copy(date, 3, 2) + Copy(date, 1, 2) + "0" + Copy(date, 7, 1) + time;
    // The module takes exactly fourteen digits; a longer text would be refused as a whole.
    digits = Copy(digits, 1, ClockDigitCount);
    while (digits.size() < ClockDigitCount)
        digits += '0';
    for (char &character : digits)
        if (character < '0' || character > '9')
            character = '0';
    return digits;
}

QString NormalisedByteText(const QString &text)
{
    if (text.isEmpty())
        return QStringLiteral("01");
    if (text.size() == 1)
        return '0' + text;
    return text;
}

bool IsHexByteText(const QByteArray &text)
{
    return text.size() == 2 && HexToInt(text) <= 0xFF;
}

Turn4013::Turn4013(BusWorkspace &workspace, QObject *parent)
    : AnalogInputTurn(workspace, {.kind = EditorKind::Type4013, .modelLabel = "N710", .captions = {"Unit :"}},
                      static_cast<int>(InputRangeItems.size()), parent)
{
}

bool Turn4013::IsRestPhase() const
{
    return EditorTurn::IsRestPhase() ||
           (Phase() == EditorPhase::TypePhase && typePhase == Phase4013::VariantIdle);
}

int Turn4013::AddressSpan() const
{
    return variant ? TvrAddressSpan : 1;
}

int Turn4013::StackAddress() const
{
    return HexToInt(OffsetAddress(StackOffset));
}

void Turn4013::RestartTurn()
{
    typePhase = Phase4013::None;
    AnalogInputTurn::RestartTurn();
}

void Turn4013::BeginLimitsEdit()
{
    limitsEditing = true;
    emit LimitsEditing(true);
}

void Turn4013::EndLimitsEdit()
{
    limitsEditing = false;
    emit LimitsEditing(false);
}

void Turn4013::SetLimit(int index, int degrees)
{
    if (index >= 0 && index < LimitCount)
        entries.limits[index] = qBound(LowestLimit, degrees, HighestLimit);
}

// Commands to the three addresses of the controller: AA, AA+1 and AA+2 of the address in use.

Exchange Turn4013::ControllerRead(char command, char endChar, int expectedLength) const
{
    return {.command = Command('@', QByteArray(1, command)),
            .receiveMode = ReceiveMode::UncheckedFrame,
            .startChar = '>',
            .endChar = endChar,
            .expectedLength = expectedLength};
}

// The degrees of the temperature code the Tvr 5x puts into the first two characters of a value reply.
static double TvrDegrees(const QByteArray &reply)
{
    const QByteArray code = Copy(reply, 2, 2);
    return IsHexByteText(code) ? CodeToTemperature(HexToInt(code)) : LostValue;
}

bool Turn4013::StartStep(const QByteArray &)
{
    // Only the Tvr 5x answers a clock read; a plain module stays silent and the time-out tells it apart.
    SendTypeStep(typePhase, Phase4013::VariantAsked, ControllerRead('G', ' ', ReplyLength::VariantClock));
    return false;
}

void Turn4013::SendDataQuery()
{
    typePhase = Phase4013::None;
    AnalogInputTurn::SendDataQuery();
}

void Turn4013::SendLimitsQuery()
{
    SendTypeStep(typePhase, Phase4013::LimitsAsked, ControllerRead('R', ' ', LimitsReplyLength));
}

bool Turn4013::ReadStack()
{
    if (!IsOffsetOnBus(StackOffset))
        return AfterStatusStep();
    Exchange query = ValueQuery();
    query.command = '#' + OffsetAddress(StackOffset) + CR;
    SendTypeStep(typePhase, Phase4013::StackAsked, query);
    return false;
}

bool Turn4013::AfterDataStep()
{
    if (!variant)
        return AnalogInputTurn::AfterDataStep();
    SendLimitsQuery();
    return false;
}

bool Turn4013::TypePhaseStep(const QByteArray &reply)
{
    switch (typePhase) {
    case Phase4013::VariantAsked:
        return VariantAskedStep(reply);
    case Phase4013::LimitsAsked:
        return LimitsAskedStep(reply);
    case Phase4013::ConstAsked:
        return ConstAskedStep(reply);
    case Phase4013::IntervalAsked:
        return IntervalAskedStep(reply);
    case Phase4013::StackAsked:
        return StackAskedStep(reply);
    case Phase4013::StatusAsked:
        return StatusAskedStep(reply);
    case Phase4013::ClockAsked:
        return ClockAskedStep(reply);
    case Phase4013::VariantIdle:
        return VariantIdleStep();
    case Phase4013::VariantDataAsked:
        return VariantDataAskedStep(reply);
    case Phase4013::SettingWritten:
        return SettingWrittenStep(reply);
    case Phase4013::None:
        break;
    }
    return EndTurn();
}

void Turn4013::SwitchToVariant()
{
    variant = true;
    // From now on the workspace keeps the controller's other two addresses free of other modules, also when
    // the module came from a file that named it 4013.
    if (const ModuleRecordPtr record = workspace.Modules().FindForUpdate(HexByte(StoredAddress())))
        record->typeId = TvrTypeId;
    const QByteArray address = AddressText();
    workspace.RelabelModule(address, " (" + FromWire(address) + ") TVR5x");
    SetModelLabel("TVR5x");
    emit VariantFound();
}

bool Turn4013::VariantAskedStep(const QByteArray &reply)
{
    if (!reply.isEmpty())
        SwitchToVariant();
    else if (!variant) // once detected, the variant stays for the life of the editor
        emit PlainLookShown();
    typePhase = Phase4013::None;
    // The firmware query of every other type's first step.
    return AnalogInputTurn::StartStep(reply);
}

void Turn4013::ShowLimits(const QByteArray &reply)
{
    if (limitsEditing)
        return;
    for (int n = 1; n <= LimitCount; ++n) {
        const QByteArray code = Copy(reply, 2 * n, 2);
        // A garbled code has no temperature; the field keeps what it shows.
        if (IsHexByteText(code))
            SetLimit(n - 1, static_cast<int>(std::nearbyint(CodeToTemperature(HexToInt(code)))));
    }
    emit LimitsShown(entries.limits);
}

bool Turn4013::LimitsAskedStep(const QByteArray &reply)
{
    if (!reply.isEmpty())
        ShowLimits(reply);
    else
        emit StatusShown(" Communication Error");
    SendTypeStep(typePhase, Phase4013::ConstAsked, ControllerRead('C', CR, ByteReplyLength));
    return false;
}

std::optional<QString> Turn4013::ByteRead(const QByteArray &reply)
{
    if (reply.isEmpty()) {
        ShowCommunicationStatus(false);
        return std::nullopt;
    }
    // A byte the line garbled would go back to the controller with the next limits write.
    const QByteArray byte = Copy(reply, 2, 2);
    if (limitsEditing || !IsHexByteText(byte))
        return std::nullopt;
    return FromWire(byte);
}

bool Turn4013::ConstAskedStep(const QByteArray &reply)
{
    if (const std::optional<QString> text = ByteRead(reply)) {
        entries.constant = *text;
        emit ConstantShown(*text);
    }
    SendTypeStep(typePhase, Phase4013::IntervalAsked, ControllerRead('I', CR, ByteReplyLength));
    return false;
}

bool Turn4013::IntervalAskedStep(const QByteArray &reply)
{
    if (const std::optional<QString> text = ByteRead(reply)) {
        entries.interval = *text;
        emit IntervalShown(*text);
    }
    return ReadStack();
}

bool Turn4013::StackAskedStep(const QByteArray &reply)
{
    RecordTrend({unitDegrees, TvrDegrees(reply)},
                {unitText, reply.isEmpty() ? QString() : TvrDegreesText(ValueOf(reply))});
    unitDegrees = LostValue;
    unitText.clear();
    if (!reply.isEmpty())
        emit StackValueShown(ValueOf(reply));
    ShowCommunicationStatus(!reply.isEmpty());
    if (!IsOffsetOnBus(StatusOffset))
        return AfterStatusStep();
    SendTypeStep(typePhase, Phase4013::StatusAsked,
                 {.command = '$' + OffsetAddress(StatusOffset) + '6' + CR,
                  .receiveMode = ReceiveMode::UncheckedFrame,
                  .endChar = ' ',
                  .expectedLength = StatusReplyLength});
    return false;
}

bool Turn4013::StatusAskedStep(const QByteArray &reply)
{
    const QByteArray status = Copy(reply, 2, 2);
    if (!reply.isEmpty() && IsHexByteText(status))
        emit StatusBitsShown(HexToInt(status));
    ShowCommunicationStatus(!reply.isEmpty());
    return AfterStatusStep();
}

bool Turn4013::AfterStatusStep()
{
    if (limitsEditing) {
        if (!limitsUpdateRequested) {
            // The user is editing the advanced settings: no clock read overwrites them.
            typePhase = Phase4013::VariantIdle;
            return true;
        }
        limitsUpdateRequested = false;
        EndLimitsEdit();
        RaiseTimeOut();
        SendChainStep(0);
        return false;
    }
    SendTypeStep(typePhase, Phase4013::ClockAsked, ControllerRead('G', ' ', ReplyLength::VariantClock));
    return false;
}

void Turn4013::ShowClock(const QByteArray &reply)
{
    entries.time = FromWire(Copy(reply, 13, 8));
    entries.date = FromWire(Copy(reply, 8, 2) + "." + Copy(reply, 5, 2) + "." + Copy(reply, 2, 2) + " (" +
                            Copy(reply, 11, 1) + ")");
    emit ClockShown(entries.time, entries.date);
}

bool Turn4013::ClockAskedStep(const QByteArray &reply)
{
    if (!reply.isEmpty())
        ShowClock(reply);
    ShowCommunicationStatus(!reply.isEmpty());
    typePhase = Phase4013::VariantIdle;
    return true;
}

bool Turn4013::VariantIdleStep()
{
    if (SendPendingRequest())
        return false;
    SendTypeStep(typePhase, Phase4013::VariantDataAsked, ValueQuery());
    return false;
}

bool Turn4013::VariantDataAskedStep(const QByteArray &reply)
{
    if (!reply.isEmpty())
        emit ValueShown(ValueOf(reply));
    TakeUnitRead(reply);
    ShowCommunicationStatus(!reply.isEmpty());
    return ReadStack();
}

// The limits write chain

QByteArray Turn4013::ChainTail(int step)
{
    const ChainEntry &entry = LimitsChain[step];
    switch (entry.setting) {
    case ControllerSetting::Clock:
        return 'P' + ClockDigits(entries.time, entries.date);
    case ControllerSetting::Constant:
        entries.constant = NormalisedByteText(entries.constant);
        emit ConstantShown(entries.constant);
        return 'K' + ToWire(entries.constant);
    case ControllerSetting::Interval:
        entries.interval = NormalisedByteText(entries.interval);
        emit IntervalShown(entries.interval);
        return 'N' + ToWire(entries.interval);
    case ControllerSetting::Limit:
        break;
    }
    return 'T' + QByteArray::number(entry.limit + 1) +
           HexByte(TemperatureToCode(entries.limits[entry.limit]));
}

void Turn4013::SendChainStep(int step)
{
    chainStep = step;
    SendTypeStep(typePhase, Phase4013::SettingWritten,
                 {.command = Command('@', ChainTail(step)),
                  .receiveMode = ReceiveMode::UncheckedFrame,
                  .endChar = ' ',
                  .expectedLength = WriteReplyLength});
}

bool Turn4013::SettingWrittenStep(const QByteArray &reply)
{
    // Each failed write is reported on its own; the chain goes on with the next one.
    if (reply.isEmpty())
        emit SettingWriteFailed(QString::fromLatin1(LimitsChain[chainStep].name));
    if (chainStep < ChainLength - 1) {
        SendChainStep(chainStep + 1);
        return false;
    }
    RestoreTimeOut();
    SendLimitsQuery();
    return false;
}

// Trend

void Turn4013::TakeUnitRead(const QByteArray &reply)
{
    unitDegrees = TvrDegrees(reply);
    unitText = reply.isEmpty() ? QString() : TvrDegreesText(ValueOf(reply));
}

void Turn4013::TrendData(const QByteArray &reply)
{
    if (variant)
        TakeUnitRead(reply);
    else
        AnalogInputTurn::TrendData(reply);
}

QList<TrendChannel> Turn4013::TrendChannels() const
{
    if (variant)
        return {{QStringLiteral("Unit")}, {QStringLiteral("Stack")}};
    return AnalogInputTurn::TrendChannels();
}

QString Turn4013::TrendUnit() const
{
    return variant ? DegreesUnit() : AnalogInputTurn::TrendUnit();
}

} // namespace navix
