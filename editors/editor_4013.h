#pragma once
// Window of the type 4013 module (Navix 710) and of the Tvr 5x boiler controller that answers with the same
// type id. Its turn (Turn4013) tells the two apart; the window shows the plain look until the turn reports
// the Tvr 5x, then the stack input, the status word and the advanced settings (clock, constant, interval and
// the nine limit temperatures) below the other groups.

#include "analog_input_editor.h"
#include "turn_4013.h"

#include <QFrame>
#include <QSpinBox>

#include <array>

namespace navix {

// A limit temperature field: a text that reads as no number when the user leaves it becomes the lowest limit.
class LimitSpinBox : public QSpinBox
{
    Q_OBJECT
public:
    explicit LimitSpinBox(QWidget *parent = nullptr);

protected:
    void fixup(QString &input) const override;
};

class TForm10 : public AnalogInputEditor
{
    Q_OBJECT
public:
    static constexpr int BitCount = 8;

    explicit TForm10(Workspace &workspace, QWidget *parent = nullptr);

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

protected:
    void ShowValue(const QByteArray &value) override;
    void ApplySettingsLayout(bool settingsShown) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TForm10(Workspace &workspace, Turn4013 &turn, QWidget *parent);
    void BuildDataArea();
    void BuildVariantGroup();
    void BuildStatusPanels(QGridLayout *layout);
    void BuildAdvancedSettings();
    void BuildClockRows(QGridLayout *layout);
    void BuildLimitFields(QGridLayout *layout);
    void ConnectAdvancedSettings();
    void ConnectTurn();

    // A value read into its edit, as degrees when its "(°C)" box is ticked.
    static void ShowReading(const QByteArray &value, QLineEdit &edit, const QCheckBox &degrees);
    static void ShowByteText(QLineEdit &edit, QSpinBox &upDown, const QString &text);
    void ShowStatusBits(int status);
    void ShowLimits(const QList<int> &limits);
    // Bit off: "0", silver, raised; bit on: "1", lime, lowered.
    static void PaintBitPanel(QLabel &panel, bool on);
    void UpDownClick(QSpinBox &upDown, QLineEdit &edit);
    void NormaliseByteEdit(QLineEdit &edit, QSpinBox &upDown);
    void ShowCalibrationDialog(CalibrationCode code, const QString &kind, int address, const QString &ohms);
    QString ModelName() const;
    QString SpanOhms() const;
    void SwitchToVariant();
    void ShowPlainLook();

    Turn4013 &tvr;
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
    std::array<QLabel, Turn4013::LimitCount> LimitLabels;
    std::array<LimitSpinBox, Turn4013::LimitCount> LimitFields; // SpinEdit1..SpinEdit9 = X1..X9
};

} // namespace navix
