#include "digital_turns.h"

#include "bus/text.h"

namespace navix {

const DigitalDesign OutputTurn::Outputs4050 = {EditorKind::Type4050, "N730", 8, "Vystup "};
const DigitalDesign OutputTurn::Relays4060 = {EditorKind::Type4060, "N720", 4, "Rele "};
const DigitalDesign InputTurn::Inputs4052 = {EditorKind::Type4052, "N76x", 8, "Vstup "};
const DigitalDesign InputTurn::Inputs4152 = {EditorKind::Type4152, "N790", 8, "Vstup "};

namespace {
constexpr int StateOnTen = 10; // a single change is channel + 10 when it switches the channel on

QStringList ChannelNames(const DigitalDesign &design)
{
    QStringList names;
    for (int n = 1; n <= design.channelCount; ++n)
        names.append(design.channelStem + QString::number(n));
    return names;
}

QString HexByteText(int value)
{
    return FromWire(HexByte(value));
}
} // namespace

DigitalTurn::DigitalTurn(BusWorkspace &workspace, const DigitalDesign &design, QObject *parent)
    : EditorTurn(workspace,
                 {.kind = design.kind, .modelLabel = design.modelLabel, .captions = ChannelNames(design)},
                 parent),
      channelCount(design.channelCount)
{
}

void DigitalTurn::ShowChannels(int channels)
{
    shownChannels = channels & ((1 << channelCount) - 1);
    emit ChannelsShown(shownChannels);
}

void DigitalTurn::ShowDataText(const QString &text)
{
    emit DataTextShown(text);
}

// Outputs

OutputTurn::OutputTurn(BusWorkspace &workspace, const DigitalDesign &design, QObject *parent)
    : DigitalTurn(workspace, design, parent)
{
}

void OutputTurn::ClickChannel(int channel)
{
    if (channel < 0 || channel >= ChannelCount())
        return;
    const int channels = ShownChannels() ^ (1 << channel);
    const bool on = (channels >> channel & 1) != 0;
    const int change = channel + (on ? StateOnTen : 0);
    // A single change still waiting would be overwritten by this one and never reach the module: with two
    // changes in one turn the whole value the channels show is written instead.
    pendingChange = pendingChange == NoChange ? change : WholeValue;
    ShowChannels(channels);
    outputValue = ShownChannels();
    ShowDataText(HexByteText(outputValue));
}

void OutputTurn::TakeDataText(const QString &typed, bool upperCase)
{
    if (typed.isEmpty()) {
        ShowDataText(HexByteText(outputValue));
        return;
    }
    const QString text = typed.size() == 1 ? '0' + typed : typed;
    outputValue = HexToInt(text) & 0xFF;
    ShowDataText(upperCase ? text.toUpper() : text);
    ShowChannels(outputValue);
    pendingChange = WholeValue;
}

void OutputTurn::ShowData(const QByteArray &reply)
{
    if (pendingChange != NoChange)
        return;
    if (!dataFocused)
        ShowDataText(FromWire(DigitalStateText(reply)));
    const int state = DigitalStateOf(reply);
    if (state >= 0)
        ShowChannels(state);
}

bool OutputTurn::SendPendingWrite()
{
    if (pendingChange == NoChange)
        return false;
    QByteArray tail;
    if (pendingChange == WholeValue)
        tail = "00" + HexByte(outputValue);
    else
        tail = "1" + QByteArray::number(pendingChange % StateOnTen) + "0" +
               QByteArray::number(pendingChange / StateOnTen);
    pendingChange = NoChange;
    Send(EditorPhase::WriteSent,
         {.command = Command('#', tail), .startChar = '>', .expectedLength = ReplyLength::WriteAcknowledge});
    return true;
}

bool OutputTurn::RaisesConfigTimeOut(EditorPhase from) const
{
    // The relay module takes longer for a configuration right after a relay write.
    if (Kind() == EditorKind::Type4060)
        return from == EditorPhase::WriteSent;
    return EditorTurn::RaisesConfigTimeOut(from);
}

// Inputs

InputTurn::InputTurn(BusWorkspace &workspace, const DigitalDesign &design, QObject *parent)
    : DigitalTurn(workspace, design, parent)
{
}

void InputTurn::ShowData(const QByteArray &reply)
{
    ShowDataText(FromWire(DigitalStateText(reply)));
    const int state = DigitalStateOf(reply);
    if (state >= 0)
        ShowChannels(state);
}

// Trend

void DigitalTurn::TrendData(const QByteArray &reply)
{
    const int state = reply.isEmpty() ? -1 : DigitalStateOf(reply);
    QList<double> values;
    QStringList texts;
    for (int channel = 0; channel < channelCount; ++channel) {
        const bool on = (state >> channel & 1) != 0;
        values.append(state < 0 ? LostValue : on);
        texts.append(state < 0 ? QString() : on ? QStringLiteral("on") : QStringLiteral("off"));
    }
    RecordTrend(values, texts);
}

QList<TrendChannel> DigitalTurn::TrendChannels() const
{
    QList<TrendChannel> channels;
    for (int channel = 0; channel < channelCount; ++channel)
        channels.append({Captions().value(channel), true});
    return channels;
}

} // namespace navix
