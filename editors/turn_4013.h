#pragma once
// The poll turn of the type 4013 module (Navix 710): one resistance thermometer input. The same type id
// answers for the Tvr 5x boiler controller, which spans three bus addresses (unit temperature at AA, stack
// temperature at AA+1, status word at AA+2) and has a clock, a constant, an interval and nine limit
// temperatures. The turn tells the two apart on its first step: only the Tvr 5x answers the clock read
// '@AAG'.
//
// A plain module's turn reads the value and then sends a pending configuration or calibration. A Tvr 5x's
// steady turn reads the unit and stack values, the status word and the clock; after a configuration,
// calibration or first read it reads the whole controller state (limits, constant, interval) as well, and a
// requested limits update writes clock, constant, interval and X1..X9 in one chain and reads the limits back.

#include "analog_input_turn.h"

#include <QList>

namespace navix {

// Fourteen digits yymmdd0whhmmss for the Tvr 5x clock, from the texts of the time and date fields
// ("12:30:05", "24.12.07 (1)"). Whatever is missing or no digit becomes "0", so the module never gets a
// clock text of the wrong shape.
QByteArray ClockDigits(const QString &timeText, const QString &dateText);
// A hex byte entry as it goes out: empty becomes "01", a single digit gets its leading zero.
QString NormalisedByteText(const QString &text);
// Two hex digits of a byte.
bool IsHexByteText(const QByteArray &text);

class Turn4013 : public AnalogInputTurn
{
    Q_OBJECT
public:
    // The phases of this type in TypePhase. VariantIdle is a rest phase of the Tvr 5x.
    enum class Phase4013 {
        None,
        VariantAsked,
        LimitsAsked,
        ConstAsked,
        IntervalAsked,
        StackAsked,
        StatusAsked,
        ClockAsked,
        VariantIdle,
        VariantDataAsked,
        SettingWritten // one write of the limits chain, ChainStep() tells which
    };
    static constexpr int LimitCount = 9;
    static constexpr int LowestLimit = -50;
    static constexpr int HighestLimit = 300;
    static const QStringList InputRangeItems;

    // The Tvr 5x's advanced settings as the user sees and enters them.
    struct ControllerEntries
    {
        QString time;
        QString date;
        QString constant;
        QString interval;
        QList<int> limits = QList<int>(LimitCount, 0); // degrees, X1..X9
    };

    explicit Turn4013(BusWorkspace &workspace, QObject *parent = nullptr);

    bool IsRestPhase() const override;
    int AddressSpan() const override;
    // The address the stack input answers at: next to the address in use (01 in INIT mode).
    int StackAddress() const;
    Phase4013 TypePhase() const { return typePhase; }
    int ChainStep() const { return chainStep; }
    bool IsVariant() const { return variant; }
    const ControllerEntries &Entries() const { return entries; }
    // The user is editing the advanced settings: no read overwrites them until they are written.
    bool LimitsBeingEdited() const { return limitsEditing; }
    bool LimitsUpdateRequested() const { return limitsUpdateRequested; }

    // What the user did in the advanced settings.
    void BeginLimitsEdit();
    void RequestLimitsUpdate() { limitsUpdateRequested = true; }
    void SetTimeText(const QString &text) { entries.time = text; }
    void SetDateText(const QString &text) { entries.date = text; }
    void SetConstantText(const QString &text) { entries.constant = text; }
    void SetIntervalText(const QString &text) { entries.interval = text; }
    void SetLimit(int index, int degrees);

signals:
    // The module answered the clock read: it is a Tvr 5x, relabelled in the tree.
    void VariantFound();
    // The probe went unanswered before any answer: a plain Navix 710.
    void PlainLookShown();
    void StackValueShown(const QByteArray &value);
    void StatusBitsShown(int status);
    void ClockShown(const QString &time, const QString &date);
    void LimitsShown(const QList<int> &limits);
    void ConstantShown(const QString &text);
    void IntervalShown(const QString &text);
    void LimitsEditing(bool editing);
    // One write of the limits chain went unanswered (the chain goes on); name is the setting's.
    void SettingWriteFailed(const QString &name);

protected:
    bool StartStep(const QByteArray &reply) override;
    // Keeps the Tvr 5x's unit read for the sample it makes with the stack read.
    void TakeUnitRead(const QByteArray &reply);
    bool AfterDataStep() override;
    bool TypePhaseStep(const QByteArray &reply) override;
    void SendDataQuery() override;
    void RestartTurn() override;
    QString StoredRangeItem() const override { return InputRangeItems.value(Setting(RangeSetting).stored); }
    // The Tvr 5x's unit value waits for its stack value: both make one sample.
    void TrendData(const QByteArray &reply) override;
    QList<TrendChannel> TrendChannels() const override;
    QString TrendUnit() const override;

private:
    // A read of the controller's state: '@AA' + command, its reply read without checking its end.
    Exchange ControllerRead(char command, char endChar, int expectedLength) const;
    void SendLimitsQuery();
    // Reads the stack input, else (no stack address on the bus) goes on after the status read.
    bool ReadStack();
    void SendChainStep(int step);
    // The text of a write of the limits chain: 'P' + clock, 'K' + constant, 'N' + interval, 'T' + limit.
    QByteArray ChainTail(int step);
    void SwitchToVariant();
    void ShowLimits(const QByteArray &reply);
    // The byte of a constant or interval read, unless the read failed, its byte is no two hex digits or the
    // user is editing.
    std::optional<QString> ByteRead(const QByteArray &reply);
    void ShowClock(const QByteArray &reply);
    void EndLimitsEdit();

    bool VariantAskedStep(const QByteArray &reply);
    bool LimitsAskedStep(const QByteArray &reply);
    bool ConstAskedStep(const QByteArray &reply);
    bool IntervalAskedStep(const QByteArray &reply);
    bool StackAskedStep(const QByteArray &reply);
    bool StatusAskedStep(const QByteArray &reply);
    // After the status word: the limits chain the user asked for, else the clock read, else the turn ends.
    bool AfterStatusStep();
    bool ClockAskedStep(const QByteArray &reply);
    bool VariantIdleStep();
    bool VariantDataAskedStep(const QByteArray &reply);
    // One step of the limits write chain: clock, constant, interval, X1..X9, then the limits read back.
    bool SettingWrittenStep(const QByteArray &reply);

    Phase4013 typePhase = Phase4013::None;
    int chainStep = 0;
    bool variant = false;
    bool limitsEditing = false;
    bool limitsUpdateRequested = false;
    ControllerEntries entries;
    double unitDegrees = LostValue; // the Tvr 5x's last unit read, until its stack read
    QString unitText;               // the same read as shown
};

} // namespace navix
