#pragma once
// What the turns of the analog input modules 4013 and 4113 .. 4613 share: the settings of range, data format
// and integration time, the length of a value read that the data format gives, and the value query.

#include "editor_turn.h"
#include "input_format.h"

namespace navix {

class AnalogInputTurn : public EditorTurn
{
    Q_OBJECT
public:
    // The rows of the type's settings among the setting choices.
    static constexpr int RangeSetting = 1;
    static constexpr int DataFormatSetting = 2;
    static constexpr int IntegrationSetting = 3;
    static const QStringList DataFormatItems;
    static const QStringList IntegrationTimeItems;

    // The characters of a value read (a value reply is ">" + value + CR).
    int ValueLength() const { return valueLength; }

signals:
    // The value characters of a read of the input.
    void ValueShown(const QByteArray &value);

protected:
    // rangeCount: how many ranges the range list holds, from range code "20" on.
    AnalogInputTurn(BusWorkspace &workspace, const TurnDesign &design, int rangeCount, QObject *parent);

    // The range list is filled anew; the stored range stays the one the module reported.
    void SetRangeCount(int rangeCount);
    // '#AA': the value read of the input.
    Exchange ValueQuery() const;
    QByteArray ValueOf(const QByteArray &reply) const;
    // The number a value reply stands for, in the unit of TrendUnit; LostValue for no reply.
    double ValueNumber(const QByteArray &reply) const;
    // The range list's item of the stored range; empty when the list holds none.
    virtual QString StoredRangeItem() const = 0;

    void TrendData(const QByteArray &reply) override;
    QList<TrendChannel> TrendChannels() const override { return SingleTrendChannel(); }
    QString TrendUnit() const override;

    void ShowTypeConfig(const QByteArray &config) override;
    QByteArray TypeCode() const override;
    int TypeFormatBits() const override;
    void SendDataQuery() override;
    void ShowData(const QByteArray &reply) override;
    // A window shown again starts its next turn over; one whose exchange is outstanding keeps its phase, or
    // the reply would meet the wrong step.
    void WindowShown() override;
    virtual void RestartTurn();

private:
    int valueLength = 7;
    // The range code and format bits as the module reported them, written back while no item stands for them.
    QByteArray reportedRangeCode = "20";
    InputFormat reportedFormat;
};

} // namespace navix
