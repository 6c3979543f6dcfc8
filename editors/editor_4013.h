#pragma once
// Editor of the type 4013 module (Navix 710): one resistance thermometer input. The same type id answers for
// the Tvr 5x boiler controller, which spans three bus addresses (unit temperature at AA, stack temperature at
// AA+1, status word at AA+2) and has a clock, a constant, an interval and nine limit temperatures. The editor
// tells the two apart on its first turn: only the Tvr 5x answers the clock read '@AAG'.
//
// A plain module's turn reads the value and then sends a pending configuration or calibration. A Tvr 5x's
// steady turn reads the unit and stack values, the status word and the clock; after a configuration,
// calibration or first read it reads the whole controller state (limits, constant, interval) as well, and a
// requested limits update writes clock, constant, interval and X1..X9 in one chain and reads the limits back.

#include "analog_input_editor.h"

#include <QFrame>
#include <QSpinBox>

#include <array>

// Fourteen digits yymmdd0whhmmss for the Tvr 5x clock, from the texts of the time and date fields
// ("12:30:05", "24.12.07 (1)"). Whatever is missing or no digit becomes "0", so the module never gets a
// clock text of the wrong shape.
QByteArray ClockDigits(const QString &timeText, const QString &dateText);

// A limit temperature field: a text that reads as no number when the user leaves it becomes the lowest limit.
class LimitSpinBox : public QSpinBox
{
    Q_OBJECT
public:
    static constexpr int LowestLimit = -50;
    static constexpr int HighestLimit = 300;
    explicit LimitSpinBox(QWidget *parent = nullptr);

protected:
    void fixup(QString &input) const override;
};

class TForm10 : public AnalogInputEditor
{
    Q_OBJECT
public:
    // The phases of this type beyond the common ones. VariantIdle is a rest phase of the Tvr 5x.
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
        CalibrationSent,
        ClockSent,
        ConstSent,
        IntervalSent,
        X1Sent,
        X2Sent,
        X3Sent,
        X4Sent,
        X5Sent,
        X6Sent,
        X7Sent,
        X8Sent,
        X9Sent,
    };
    // Calibration requests: span and offset of the unit input, then of the stack input.
    enum CalibrationRequestCode : int {
        NoCalibration = 0,
        SpanUnit = 1,
        OffsetUnit = 2,
        SpanStack = 3,
        OffsetStack = 4
    };
    static constexpr int LimitCount = 9;
    static constexpr int BitCount = 8;

    explicit TForm10(Workspace &workspace, QWidget *parent = nullptr);

    bool IsRestPhase() const override;
    int AddressSpan() const override;

    Phase4013 TypePhase() const { return typePhase; }
    bool IsVariant() const { return variant; }
    int CalibrationRequest() const { return calibrationRequest; }
    bool LimitsUpdateRequested() const { return limitsUpdateRequested; }
    // The limits update button is enabled: the user is editing the advanced settings.
    bool LimitsBeingEdited() const;

    // Handlers of the data area and the advanced settings.
    void SpanButtonClick() override;
    void OffsetButtonClick() override;
    void SpanButtonStackClick();
    void OffsetButtonStackClick();
    void MemoryButtonClick();
    void UpdateLimitsButtonClick();
    void ConstUpDownClick();
    void IntegrUpDownClick();
    void ConstEditExit();
    void IntegrEditExit();

    // Data area.
    QCheckBox DataCheckBox;
    // The Tvr 5x's stack input and status word, inside the data area.
    QGroupBox ExtGroupBox;
    QLabel StackLabel;
    QLineEdit StackEdit;
    QCheckBox StackCheckBox;
    QPushButton OffsetButtonStack;
    QPushButton SpanButtonStack;
    std::array<QLabel, BitCount> BitPanels; // Panel1..Panel8, tag = index = bit
    std::array<QLabel, BitCount> BitLabels;
    // The Tvr 5x's advanced settings, below the other groups.
    QGroupBox LMBox4013;
    QLabel TimeLabel;
    QLineEdit TimeEdit;
    QLabel DateLabel;
    QLineEdit DateEdit;
    QLabel ConstLabel;
    QLineEdit ConstEdit;
    QSpinBox ConstUpDown;
    QLabel IntervalLabel;
    QLineEdit IntegrEdit;
    QSpinBox IntegrUpDown;
    QPushButton MemoryButton;
    QPushButton UpdateLimitsButton;
    QLabel LimitsLabel;
    std::array<QLabel, LimitCount> LimitLabels;
    std::array<LimitSpinBox, LimitCount> LimitFields; // SpinEdit1..SpinEdit9 = X1..X9

protected:
    bool &BusyFlag() override;
    bool StartStep(const QByteArray &reply) override;
    bool DataAskedStep(const QByteArray &reply) override;
    bool TypePhaseStep(const QByteArray &reply) override;
    void SendDataQuery() override;

    void ApplySettingsLayout(bool settingsShown) override;
    void FormShow() override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildDataArea();
    void BuildVariantGroup();
    void BuildAdvancedSettings();

    // Commands to the three addresses of the controller: AA, AA+1 and AA+2 of the address in use.
    QByteArray OffsetAddress(int offset) const;
    void SendTypeFrame(const QByteArray &command, ReceiveMode receiveMode, char startChar, char endChar,
                       int expectedLength, Phase4013 next);
    bool SendPendingCalibration() override;
    void SendStackQuery();
    // A value reply into its edit, as degrees when its "(°C)" box is ticked; an empty reply leaves the edit.
    void ShowValue(const QByteArray &reply, QLineEdit &edit, const QCheckBox &degrees);
    // The controller state read after a configuration or calibration leaves the advanced settings alone while
    // the user is editing them: the entries stand until they are written.
    void ShowLimits(const QByteArray &reply);
    void ShowByte(const QByteArray &reply, QLineEdit &edit, QSpinBox &upDown);
    void ShowStatusBits(int status);
    // Bit off: "0", silver, raised; bit on: "1", lime, lowered.
    static void PaintBitPanel(QLabel &panel, bool on);
    void ShowClock(const QByteArray &reply);
    // The edit's hex byte as it goes out: empty becomes "01", a single digit gets its leading zero.
    void NormaliseByteEdit(QLineEdit &edit, QSpinBox &upDown);
    void UpDownClick(QSpinBox &upDown, QLineEdit &edit);
    void ShowCalibrationDialog(int requestCode, const QString &kind, int address, const QString &ohms);
    QString ModelName() const;
    QString SpanOhms() const;

    void SwitchToVariant();
    void ShowPlainLook();
    void SetLookCaption(const QString &model);

    bool VariantAskedStep(const QByteArray &reply);
    bool LimitsAskedStep(const QByteArray &reply);
    bool ConstAskedStep(const QByteArray &reply);
    bool IntervalAskedStep(const QByteArray &reply);
    bool StackAskedStep(const QByteArray &reply);
    bool StatusAskedStep(const QByteArray &reply);
    bool ClockAskedStep(const QByteArray &reply);
    bool VariantIdleStep();
    bool VariantDataAskedStep(const QByteArray &reply);
    bool CalibrationSentStep(const QByteArray &reply);
    // One step of the limits write chain: clock, constant, interval, X1..X9, then the limits read back.
    bool LimitsWriteStep(const QByteArray &reply);

    Phase4013 typePhase = Phase4013::None;
    bool variant = false;
    int calibrationRequest = NoCalibration;
    bool limitsUpdateRequested = false;
};
