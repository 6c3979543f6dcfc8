#pragma once
// The poll turn of the type 4021 module (Navix 780): one analog output. The output position (the window's
// scroll bar) picks the set value, which is written on the turn's next visit; the module's last written value
// and its present output are read back. The 4 mA, 20 mA and trim calibrations wait for the next turn and
// wait the raised time-out for the module's answer.
//
// A turn: the first one reads the firmware and the last value, which the output position adopts; later ones
// write a set value the user picked and read it back; every turn ends with the present output read and then
// a pending configuration, calibration or trim. Only the user's own choice is ever written: after a
// configuration, or while the first read has not been answered, the output is read back and adopted again.

#include "editor_turn.h"

#include <optional>

namespace navix {

class Turn4021 : public EditorTurn
{
    Q_OBJECT
public:
    // How the output position reads as a value: by the module's data format.
    enum class ScrollMode { EngineeringUnits, PercentOfRange, Hexadecimal };
    // The phases of this type in TypePhase.
    enum class Phase4021 { None, FirstReadAsked, LastValueAsked };
    // The rows of the type's settings among the setting choices.
    static constexpr int OutputRangeSetting = 1;
    static constexpr int DataFormatSetting = 2;
    static constexpr int SlewRateSetting = 3;
    static const QStringList OutputRangeItems;
    static const QStringList DataFormatItems;
    static const QStringList SlewRateItems;

    explicit Turn4021(BusWorkspace &workspace, QObject *parent = nullptr);

    // The user moved the output position.
    void MovePosition(int position);

    int DataLength() const { return dataLength; }
    ScrollMode Mode() const { return scrollMode; }
    int Minimum() const { return minimum; }
    int Maximum() const { return maximum; }
    int Position() const { return position; }
    const QString &SetValueText() const { return setValueText; }
    Phase4021 TypePhase() const { return typePhase; }
    bool SetValuePending() const { return setValuePending; }

signals:
    // The configuration set up the position's range; the position stands at its minimum.
    void PositionRangeShown(int minimum, int maximum);
    // A read moved the output position.
    void PositionShown(int position);
    void SetValueShown(const QString &text);
    void LastValueShown(const QString &text);
    void OutputShown(const QString &text);

protected:
    bool FirmwareAskedStep(const QByteArray &reply) override;
    bool WriteSentStep(const QByteArray &reply) override;
    bool IdleStep(const QByteArray &reply) override;
    bool ConfigSentStep(const QByteArray &reply) override;
    bool TypePhaseStep(const QByteArray &reply) override;
    void SendDataQuery() override;
    void ShowData(const QByteArray &reply) override;

    void ShowTypeConfig(const QByteArray &config) override;
    QByteArray TypeCode() const override;
    int TypeFormatBits() const override;
    void TrendData(const QByteArray &reply) override;
    QList<TrendChannel> TrendChannels() const override { return SingleTrendChannel(); }
    QString TrendUnit() const override;

private:
    void SetUpPosition(int dataFormat, int rangeIndex);
    // The set value text of the position.
    void ShowSetValueText();
    // Shows a value read from the module as the set value, without making it one to write; a text that reads
    // as no number leaves the set value as it was (false).
    bool AdoptOutputValue(const QByteArray &data);
    // The last value read-back whose answer the output position adopts.
    void SendFirstRead();
    // The data of a read reply: n characters from position 4.
    QByteArray ReplyData(const QByteArray &reply) const;
    // The position a value read from the module stands for; none for a text that reads as no number.
    std::optional<int> PositionOfData(const QByteArray &data) const;
    void SendLastValueQuery(Phase4021 next);
    bool FirstReadAskedStep(const QByteArray &reply);
    bool LastValueAskedStep(const QByteArray &reply);

    Phase4021 typePhase = Phase4021::None;
    ScrollMode scrollMode = ScrollMode::EngineeringUnits;
    int dataLength = 6;
    int minimum = 0;
    int maximum = 20000;
    int position = 0;
    QString setValueText;
    bool setValuePending = false;
    // The module's output has not been read back since the turn began or last configured it.
    bool outputUnread = true;
    // Counts the value texts produced, so that a write's reply clears only the value that was written.
    int setValueGeneration = 0;
    int writtenGeneration = 0;
    // The range code and format bits as the module reported them, written back while no item stands for them.
    QByteArray reportedRangeCode = "30";
    int reportedSlewRate = 0;
    int reportedDataFormat = 0;
};

} // namespace navix
