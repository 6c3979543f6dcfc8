// The poll turn of the type 4013 editor: the variant probe, the value reads, the Tvr 5x controller state,
// the limits write chain and the calibrations.

#include "editor_4013.h"

#include "bus/temperature_codes.h"
#include "bus/text.h"
#include "workspace/prompt.h"

#include <QSignalBlocker>

#include <cmath>

namespace {
constexpr int ClockReplyLength = 20;
constexpr int LimitsReplyLength = 19;
constexpr int ByteReplyLength = 3;  // ">" + two hex digits
constexpr int WriteReplyLength = 3; // "!" + address; the Tvr 5x's acknowledgement, read without its CR
constexpr QRgb Silver = 0xC0C0C0;
constexpr QRgb Lime = 0x00FF00;

using Phase4013 = TForm10::Phase4013;

// The limits write chain in its order, with the name each step's failure message gives.
struct ChainStep
{
    Phase4013 phase;
    const char *name;
};
constexpr ChainStep LimitsChain[] = {
    {Phase4013::ClockSent, "Time"}, {Phase4013::ConstSent, "Const"}, {Phase4013::IntervalSent, "Interval"},
    {Phase4013::X1Sent, "X1"},      {Phase4013::X2Sent, "X2"},       {Phase4013::X3Sent, "X3"},
    {Phase4013::X4Sent, "X4"},      {Phase4013::X5Sent, "X5"},       {Phase4013::X6Sent, "X6"},
    {Phase4013::X7Sent, "X7"},      {Phase4013::X8Sent, "X8"},       {Phase4013::X9Sent, "X9"},
};
constexpr int ChainLength = static_cast<int>(std::size(LimitsChain));
constexpr int FirstLimitStep = 3; // X1Sent

int ChainIndex(Phase4013 phase)
{
    for (int i = 0; i < ChainLength; ++i)
        if (LimitsChain[i].phase == phase)
            return i;
    return -1;
}

bool IsHexByteText(const QByteArray &text)
{
    return text.size() == 2 && HexToInt(text) <= 0xFF;
}
} // namespace

void TForm10::PaintBitPanel(QLabel &panel, bool on)
{
    panel.setText(on ? "1" : "0");
    QPalette palette = panel.palette();
    palette.setColor(QPalette::Window, QColor(on ? Lime : Silver));
    panel.setPalette(palette);
    panel.setFrameStyle(QFrame::Panel | (on ? QFrame::Sunken : QFrame::Raised));
}

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
    digits = Copy(digits, 1, 14);
    while (digits.size() < 14)
        digits += '0';
    for (char &character : digits)
        if (character < '0' || character > '9')
            character = '0';
    return digits;
}

QByteArray TForm10::OffsetAddress(int offset) const
{
    return HexByte(HexToInt(AddressText()) + offset);
}

void TForm10::SendTypeFrame(const QByteArray &command, ReceiveMode receiveMode, char startChar, char endChar,
                            int expectedLength, Phase4013 next)
{
    typePhase = next;
    SendFrame(command, receiveMode, startChar, endChar, expectedLength, EditorPhase::TypePhase);
}

bool TForm10::StartStep(const QByteArray &)
{
    // Only the Tvr 5x answers a clock read; a plain module stays silent and the time-out tells it apart.
    SendTypeFrame(Command('@', "G"), ReceiveMode::UncheckedFrame, '>', ' ', ClockReplyLength,
                  Phase4013::VariantAsked);
    return false;
}

void TForm10::SendDataQuery()
{
    typePhase = Phase4013::None;
    Send(Command('#', {}), valueLength + 2, '>', EditorPhase::DataAsked);
}

void TForm10::SendStackQuery()
{
    SendTypeFrame('#' + OffsetAddress(1) + CR, ReceiveMode::CheckedFrame, '>', CR, valueLength + 2,
                  Phase4013::StackAsked);
}

void TForm10::ShowValue(const QByteArray &reply, QLineEdit &edit, const QCheckBox &degrees)
{
    if (reply.isEmpty())
        return;
    const QByteArray value = Copy(reply, 2, valueLength);
    // The Tvr 5x puts its temperature code into the first two characters of the value.
    edit.setText(degrees.isChecked() ? TemperatureFromCode(Copy(value, 1, 2)) : FromWire(value));
}

bool TForm10::SendPendingCalibration()
{
    QByteArray command;
    switch (calibrationRequest) {
    case SpanUnit:
        command = Command('$', "0");
        break;
    case OffsetUnit:
        command = Command('$', "1");
        break;
    // The stack input answers next to the address in use; in INIT that is 01, whatever module may hold the
    // stored address plus one.
    case SpanStack:
        command = '$' + OffsetAddress(1) + '0' + CR;
        break;
    case OffsetStack:
        command = '$' + OffsetAddress(1) + '1' + CR;
        break;
    default:
        return false;
    }
    // Carried out once, whatever the module answers.
    calibrationRequest = NoCalibration;
    typePhase = Phase4013::CalibrationSent;
    SendCalibration(command);
    return true;
}

bool TForm10::DataAskedStep(const QByteArray &reply)
{
    ShowValue(reply, DataEdit, DataCheckBox);
    ShowCommunicationStatus(!reply.isEmpty());
    if (SendPendingRequest())
        return false;
    if (variant) {
        SendTypeFrame(Command('@', "R"), ReceiveMode::UncheckedFrame, '>', ' ', LimitsReplyLength,
                      Phase4013::LimitsAsked);
        return false;
    }
    SetPhase(EditorPhase::Idle);
    return true;
}

bool TForm10::TypePhaseStep(const QByteArray &reply)
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
    case Phase4013::CalibrationSent:
        return CalibrationSentStep(reply);
    case Phase4013::None:
        break;
    default:
        return LimitsWriteStep(reply);
    }
    SetPhase(EditorPhase::Idle);
    return true;
}

bool TForm10::VariantAskedStep(const QByteArray &reply)
{
    if (!reply.isEmpty())
        SwitchToVariant();
    else if (!variant) // once detected, the variant stays for the life of the window
        ShowPlainLook();
    typePhase = Phase4013::None;
    Send(Command('$', "F"), 8, '!', EditorPhase::FirmwareAsked);
    return false;
}

void TForm10::ShowLimits(const QByteArray &reply)
{
    if (LimitsBeingEdited())
        return;
    for (int n = 1; n <= LimitCount; ++n) {
        const QByteArray code = Copy(reply, 2 * n, 2);
        // A garbled code has no temperature; the field keeps what it shows.
        if (!IsHexByteText(code))
            continue;
        LimitFields[n - 1].setValue(static_cast<int>(std::nearbyint(CodeToTemperature(HexToInt(code)))));
    }
}

bool TForm10::LimitsAskedStep(const QByteArray &reply)
{
    if (!reply.isEmpty())
        ShowLimits(reply);
    else
        StatusBox.setTitle(" Communication Error");
    SendTypeFrame(Command('@', "C"), ReceiveMode::UncheckedFrame, '>', CR, ByteReplyLength,
                  Phase4013::ConstAsked);
    return false;
}

void TForm10::ShowByte(const QByteArray &reply, QLineEdit &edit, QSpinBox &upDown)
{
    if (reply.isEmpty()) {
        ShowCommunicationStatus(false);
        return;
    }
    if (LimitsBeingEdited())
        return;
    const QByteArray text = Copy(reply, 2, 2);
    edit.setText(FromWire(text));
    if (IsHexByteText(text)) {
        const QSignalBlocker blocker(upDown);
        upDown.setValue(HexToInt(text));
    }
}

bool TForm10::ConstAskedStep(const QByteArray &reply)
{
    ShowByte(reply, ConstEdit, ConstUpDown);
    SendTypeFrame(Command('@', "I"), ReceiveMode::UncheckedFrame, '>', CR, ByteReplyLength,
                  Phase4013::IntervalAsked);
    return false;
}

bool TForm10::IntervalAskedStep(const QByteArray &reply)
{
    ShowByte(reply, IntegrEdit, IntegrUpDown);
    SendStackQuery();
    return false;
}

bool TForm10::StackAskedStep(const QByteArray &reply)
{
    ShowValue(reply, StackEdit, StackCheckBox);
    ShowCommunicationStatus(!reply.isEmpty());
    SendTypeFrame('$' + OffsetAddress(2) + '6' + CR, ReceiveMode::UncheckedFrame, '!', ' ', WriteReplyLength,
                  Phase4013::StatusAsked);
    return false;
}

void TForm10::ShowStatusBits(int status)
{
    for (int bit = 0; bit < BitCount; ++bit) {
        QLabel &panel = BitPanels[bit];
        const bool set = (status >> bit & 1) != 0;
        if (panel.text() == "1" && !set)
            PaintBitPanel(panel, false);
        else if (panel.text() == "0" && set)
            PaintBitPanel(panel, true);
    }
}

bool TForm10::StatusAskedStep(const QByteArray &reply)
{
    if (!reply.isEmpty() && IsHexByteText(Copy(reply, 2, 2)))
        ShowStatusBits(HexToInt(Copy(reply, 2, 2)));
    ShowCommunicationStatus(!reply.isEmpty());
    if (LimitsBeingEdited()) {
        if (!limitsUpdateRequested) {
            // The user is editing the advanced settings: no clock read overwrites them.
            typePhase = Phase4013::VariantIdle;
            return true;
        }
        limitsUpdateRequested = false;
        UpdateLimitsButton.setEnabled(false);
        RaiseTimeOut();
        SendTypeFrame(Command('@', 'P' + ClockDigits(TimeEdit.text(), DateEdit.text())),
                      ReceiveMode::UncheckedFrame, '!', ' ', WriteReplyLength, Phase4013::ClockSent);
        return false;
    }
    SendTypeFrame(Command('@', "G"), ReceiveMode::UncheckedFrame, '>', ' ', ClockReplyLength,
                  Phase4013::ClockAsked);
    return false;
}

void TForm10::ShowClock(const QByteArray &reply)
{
    TimeEdit.setText(FromWire(Copy(reply, 13, 8)));
    DateEdit.setText(FromWire(Copy(reply, 8, 2) + "." + Copy(reply, 5, 2) + "." + Copy(reply, 2, 2) + " (" +
                              Copy(reply, 11, 1) + ")"));
}

bool TForm10::ClockAskedStep(const QByteArray &reply)
{
    if (!reply.isEmpty())
        ShowClock(reply);
    ShowCommunicationStatus(!reply.isEmpty());
    typePhase = Phase4013::VariantIdle;
    return true;
}

bool TForm10::VariantIdleStep()
{
    if (SendPendingRequest())
        return false;
    typePhase = Phase4013::VariantDataAsked;
    Send(Command('#', {}), valueLength + 2, '>', EditorPhase::TypePhase);
    return false;
}

bool TForm10::VariantDataAskedStep(const QByteArray &reply)
{
    ShowValue(reply, DataEdit, DataCheckBox);
    ShowCommunicationStatus(!reply.isEmpty());
    SendStackQuery();
    return false;
}

bool TForm10::CalibrationSentStep(const QByteArray &reply)
{
    typePhase = Phase4013::None;
    return FinishCalibration(reply);
}

bool TForm10::LimitsWriteStep(const QByteArray &reply)
{
    const int index = ChainIndex(typePhase);
    if (index < 0) {
        SetPhase(EditorPhase::Idle);
        return true;
    }
    // Each failed write is reported on its own; the chain goes on with the next one.
    if (reply.isEmpty())
        Prompts().Error(QString("Updating %1 failed !").arg(LimitsChain[index].name));

    if (index == ChainLength - 1) {
        RestoreTimeOut();
        SendTypeFrame(Command('@', "R"), ReceiveMode::UncheckedFrame, '>', ' ', LimitsReplyLength,
                      Phase4013::LimitsAsked);
        return false;
    }
    const int next = index + 1;
    QByteArray tail;
    if (LimitsChain[next].phase == Phase4013::ConstSent) {
        ConstEditExit();
        tail = 'K' + ToWire(ConstEdit.text());
    } else if (LimitsChain[next].phase == Phase4013::IntervalSent) {
        IntegrEditExit();
        tail = 'N' + ToWire(IntegrEdit.text());
    } else {
        const int limit = next - FirstLimitStep; // 0 for X1
        tail = 'T' + QByteArray::number(limit + 1) + HexByte(TemperatureToCode(LimitFields[limit].value()));
    }
    SendTypeFrame(Command('@', tail), ReceiveMode::UncheckedFrame, '!', ' ', WriteReplyLength,
                  LimitsChain[next].phase);
    return false;
}
