#include "turn_4017.h"

#include "bus/text.h"

namespace navix {

const QStringList Turn4017::InputRangeItems = {"+/-  10 V",   "+/-     5 V", "+/-      1 V",
                                               "+/-  500 mV", "+/-  150 mV", "+/-    20 mA"};
const QStringList Turn4017::DataFormatItems = {"Engineering units"};
const QStringList Turn4017::IntegrationTimeItems = {"50 ms ( 60 Hz power )", "60 ms ( 50 Hz power )"};

namespace {
constexpr int BaudrateCount = 5;

QStringList ChannelNames()
{
    QStringList names;
    for (int channel = 1; channel <= Turn4017::ChannelCount; ++channel)
        names.append("Vstup " + QString::number(channel));
    return names;
}
} // namespace

Turn4017::Turn4017(BusWorkspace &workspace, QObject *parent)
    : EditorTurn(workspace,
                 {.kind = EditorKind::Type4017,
                  .modelLabel = "N770",
                  .captions = ChannelNames(),
                  .baudrateCount = BaudrateCount},
                 parent)
{
    AddSetting(static_cast<int>(InputRangeItems.size()));
    AddSetting(static_cast<int>(DataFormatItems.size()));
    AddSetting(static_cast<int>(IntegrationTimeItems.size()));
}

// Configuration

void Turn4017::ShowTypeConfig(const QByteArray &config)
{
    reportedRangeCode = Copy(config, 3, 2);
    ShowStoredSetting(RangeSetting, RangeIndexOfCode(Kind(), reportedRangeCode));
    reportedFormat = InputFormat::FromConfig(config);
    ShowStoredSetting(IntegrationSetting, reportedFormat.integrationTime);
    ShowStoredSetting(DataFormatSetting, reportedFormat.dataFormat);
}

QByteArray Turn4017::TypeCode() const
{
    const int index = ChosenIndex(RangeSetting);
    // A range code the list does not hold goes back to the module as it reported it.
    return index >= 0 ? RangeCodeOfIndex(Kind(), index) : reportedRangeCode;
}

int Turn4017::TypeFormatBits() const
{
    return reportedFormat.Chosen(ChosenIndex(IntegrationSetting), ChosenIndex(DataFormatSetting)).Bits();
}

// Channels

void Turn4017::ClickChannel(int channel, bool on)
{
    if (channel < 0 || channel >= ChannelCount)
        return;
    if (on)
        boxMask |= 1 << channel;
    else
        boxMask &= ~(1 << channel);
    channelChanged = true;
    ++channelClicks;
}

// The turn

void Turn4017::SendDataQuery()
{
    SendTypeStep(typePhase, Phase4017::MaskAsked,
                 {.command = Command('$', "6"), .expectedLength = MaskReplyLength});
}

bool Turn4017::IdleStep(const QByteArray &)
{
    if (channelChanged) {
        writtenClicks = channelClicks;
        SendTypeStep(typePhase, Phase4017::MaskSent,
                     {.command = Command('$', '5' + HexByte(boxMask)), .expectedLength = MaskReplyLength});
    } else {
        SendDataQuery();
    }
    return false;
}

bool Turn4017::TypePhaseStep(const QByteArray &reply)
{
    switch (typePhase) {
    case Phase4017::MaskAsked:
        return MaskAskedStep(reply);
    case Phase4017::ChannelAsked:
        return ChannelAskedStep(reply);
    case Phase4017::MaskSent:
        return MaskSentStep();
    case Phase4017::None:
        break;
    }
    return EndTurn();
}

bool Turn4017::MaskAskedStep(const QByteArray &reply)
{
    const int mask = ChannelMaskOf(reply);
    // A mask that does not read as two hex digits would switch arbitrary channels: no channel is read then,
    // as after a lost reply.
    scanValues.fill(LostValue);
    scanTexts.fill(QString());
    if (mask < 0) {
        ShowCommunicationStatus(false);
        RecordTrend(scanValues, scanTexts);
        typePhase = Phase4017::None;
        return EndTurn();
    }
    if (!channelChanged) {
        boxMask = mask;
        emit ChannelBoxesShown(mask);
    }
    channelMask = mask;
    if (ScanChannels(0))
        return false;
    // With every channel off there is nothing to read, but a configuration or calibration the user asked for
    // still goes out.
    return EndOfScan();
}

bool Turn4017::ChannelAskedStep(const QByteArray &reply)
{
    const QByteArray value = ChannelValueText(reply);
    emit ChannelValueShown(currentChannel, FromWire(value));
    scanValues[currentChannel] = reply.isEmpty() ? LostValue : DecimalValue(value);
    scanTexts[currentChannel] = reply.isEmpty() ? QString() : FromWire(value);
    ShowCommunicationStatus(!reply.isEmpty());
    if (ScanChannels(currentChannel + 1))
        return false;
    return EndOfScan();
}

bool Turn4017::ScanChannels(int from)
{
    for (int channel = from; channel < ChannelCount; ++channel) {
        if ((channelMask >> channel & 1) != 0) {
            currentChannel = channel;
            SendTypeStep(typePhase, Phase4017::ChannelAsked,
                         {.command = Command('#', QByteArray::number(channel)),
                          .startChar = '>',
                          .expectedLength = ChannelReplyLength});
            return true;
        }
        emit ChannelValueShown(channel, QString());
    }
    return false;
}

bool Turn4017::EndOfScan()
{
    RecordTrend(scanValues, scanTexts);
    typePhase = Phase4017::None;
    return SendPendingRequestOrEnd();
}

bool Turn4017::MaskSentStep()
{
    // Boxes ticked while the mask was on its way are written on the next idle visit.
    if (channelClicks == writtenClicks)
        channelChanged = false;
    SendDataQuery();
    return false;
}

// Trend

QList<TrendChannel> Turn4017::TrendChannels() const
{
    QList<TrendChannel> channels;
    for (const QString &name : Captions())
        channels.append({name});
    return channels;
}

QString Turn4017::TrendUnit() const
{
    return UnitOfRange(InputRangeItems.value(Setting(RangeSetting).stored));
}

} // namespace navix
