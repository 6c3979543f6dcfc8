#pragma once
// The poll turn of the type 4017 module (Navix 770): eight analog inputs, each of which the module can switch
// on or off. A turn reads the channel mask, reads every enabled channel in ascending order and then sends a
// pending configuration or calibration. A channel the user switched is written as a new mask at the start of
// the next turn; until then the enable boxes keep what the user ticked.

#include "editor_turn.h"
#include "input_format.h"

namespace navix {

class Turn4017 : public EditorTurn
{
    Q_OBJECT
public:
    // The phases of this type in TypePhase.
    enum class Phase4017 { None, MaskAsked, ChannelAsked, MaskSent };
    static constexpr int ChannelCount = ChannelCount4017;
    // The rows of the type's settings among the setting choices.
    static constexpr int RangeSetting = 1;
    static constexpr int DataFormatSetting = 2;
    static constexpr int IntegrationSetting = 3;
    static const QStringList InputRangeItems;
    static const QStringList DataFormatItems;
    static const QStringList IntegrationTimeItems;

    explicit Turn4017(BusWorkspace &workspace, QObject *parent = nullptr);

    // A click on the enable box of a channel (0..7), which now shows on.
    void ClickChannel(int channel, bool on);

    Phase4017 TypePhase() const { return typePhase; }
    int ChannelMask() const { return channelMask; }
    // The channels the enable boxes show, as a mask.
    int BoxMask() const { return boxMask; }
    int CurrentChannel() const { return currentChannel; }
    bool ChannelChanged() const { return channelChanged; }

signals:
    void ChannelBoxesShown(int mask);
    // A channel's value, empty for a lost read or a channel that is off.
    void ChannelValueShown(int channel, const QString &value);

protected:
    bool IdleStep(const QByteArray &reply) override;
    bool TypePhaseStep(const QByteArray &reply) override;
    void SendDataQuery() override;

    void ShowTypeConfig(const QByteArray &config) override;
    QByteArray TypeCode() const override;
    int TypeFormatBits() const override;
    QList<TrendChannel> TrendChannels() const override;
    QString TrendUnit() const override;

private:
    bool MaskAskedStep(const QByteArray &reply);
    bool ChannelAskedStep(const QByteArray &reply);
    bool MaskSentStep();
    // Reads the next enabled channel from this one on, blanking the disabled ones on the way; false when no
    // enabled channel is left.
    bool ScanChannels(int from);
    // After the last read of a turn: a pending configuration or calibration, else the turn ends.
    bool EndOfScan();

    Phase4017 typePhase = Phase4017::None;
    int channelMask = 0;
    int boxMask = 0;
    int currentChannel = 0;
    bool channelChanged = false;
    // Counts the clicks on the enable boxes, so that a mask write clears the flag only for what it wrote.
    int channelClicks = 0;
    int writtenClicks = 0;
    // The range code and format bits as the module reported them, written back while no item stands for them.
    QByteArray reportedRangeCode = "08";
    InputFormat reportedFormat;
    // The values of the scan under way, one per channel, for the trend.
    QList<double> scanValues = QList<double>(ChannelCount, LostValue);
    QStringList scanTexts = QStringList(ChannelCount, QString());
};

} // namespace navix
