#pragma once
// The poll turns of the digital modules. Their data query is the common "$AA6"; the channel state is
// positions 2-3 of its reply.
//
// OutputTurn (4050 with eight outputs, 4060 with four relays): a click on a channel switches that output, a
// hexadecimal value taken from the data field sets all outputs; either change is written on the turn's next
// visit, after the state read. While a change waits, reads do not repaint the channels, so a read that
// crossed the click cannot undo it.
//
// InputTurn (4052 with eight inputs, 4152 showing one): the channels only display the inputs; nothing is
// written but the configuration.

#include "editor_turn.h"

namespace navix {

struct DigitalDesign
{
    EditorKind kind = EditorKind::Type4050;
    QString modelLabel;
    int channelCount = 8;
    QString channelStem; // default channel names: stem + number
};

class DigitalTurn : public EditorTurn
{
    Q_OBJECT
public:
    int ChannelCount() const { return channelCount; }
    // The channels shown as on, bit k for channel k.
    int ShownChannels() const { return shownChannels; }

signals:
    void ChannelsShown(int channels);
    void DataTextShown(const QString &text);

protected:
    DigitalTurn(BusWorkspace &workspace, const DigitalDesign &design, QObject *parent);

    void ShowChannels(int channels);
    void ShowDataText(const QString &text);
    // The channels as states 0 and 1, in steps; the inputs of the 4050 are not among them.
    void TrendData(const QByteArray &reply) override;
    QList<TrendChannel> TrendChannels() const override;

private:
    int channelCount;
    int shownChannels = 0;
};

class OutputTurn : public DigitalTurn
{
    Q_OBJECT
public:
    // Pending output changes: channel + 10 x new state for one output, or the whole value.
    static constexpr int NoChange = -1;
    static constexpr int WholeValue = 20;
    static const DigitalDesign Outputs4050;
    static const DigitalDesign Relays4060;

    OutputTurn(BusWorkspace &workspace, const DigitalDesign &design, QObject *parent = nullptr);

    // What the user did: a click on a channel, a value taken from the data field (shown in upper case on
    // Enter, as typed on leaving the field; an empty field shows the last value again), the focus of the
    // data field.
    void ClickChannel(int channel);
    void TakeDataText(const QString &text, bool upperCase);
    void SetDataFocused(bool focused) { dataFocused = focused; }

    int OutputValue() const { return outputValue; }
    int PendingChange() const { return pendingChange; }
    bool DataFocused() const { return dataFocused; }

protected:
    void ShowData(const QByteArray &reply) override;
    bool SendPendingWrite() override;
    bool RaisesConfigTimeOut(EditorPhase from) const override;

private:
    int outputValue = 0;
    int pendingChange = NoChange;
    bool dataFocused = false;
};

class InputTurn : public DigitalTurn
{
    Q_OBJECT
public:
    static const DigitalDesign Inputs4052;
    static const DigitalDesign Inputs4152;

    InputTurn(BusWorkspace &workspace, const DigitalDesign &design, QObject *parent = nullptr);

protected:
    void ShowData(const QByteArray &reply) override;
};

} // namespace navix
