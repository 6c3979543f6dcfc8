#pragma once
// Window of the type 4021 module (Navix 780): one analog output. The scroll bar picks the output value that
// its turn (Turn4021) writes; the window shows the range, the set value, the module's last written value and
// its present output, and asks for the 4 mA, 20 mA and trim calibrations through the shared dialogs.

#include "editor_window.h"
#include "turn_4021.h"

#include <QScrollBar>

namespace navix {

class TForm60 : public ModuleEditorWindow
{
    Q_OBJECT
public:
    explicit TForm60(Workspace &workspace, QWidget *parent = nullptr);

    void ScrollBar1Change();
    void Cal4mAButtonClick();
    void Cal20mAButtonClick();
    void TrimCalButtonClick();

protected:
    void ShowTypeConfig() override;
    void ApplySettingsLayout(bool settingsShown) override;

private:
    TForm60(Workspace &workspace, Turn4021 &turn, QWidget *parent);
    void BuildValueRows();
    void BuildScrollRow();
    void BuildButtonRow();
    void BuildSettings();
    void ConnectTurn();
    void ShowPositionRange(int minimum, int maximum);
    void ShowPosition(int position);

    Turn4021 &output;
    // Settings.
    QLabel OutputRangeLabel;
    QComboBox OutputRange21ComboBox;
    QLabel DataFormatLabel;
    QComboBox DataFormat21ComboBox;
    QLabel SlewRateLabel;
    QComboBox SlewRateComboBox;
    // Data area.
    QLineEdit DesriptionEdit;
    QLabel OutRanLabel;
    QLineEdit OutRanEdit;
    QLabel DataLabel;
    QLineEdit DataEdit;
    QLabel LastvalueLabel;
    QLineEdit LastvalueEdit;
    QLabel SetValueLabel;
    QLineEdit SetValueEdit;
    QLabel MinLabel;
    QScrollBar ScrollBar1;
    QLabel MaxLabel;
    QPushButton Cal4mAButton;
    QPushButton Cal20mAButton;
    QPushButton TrimCalButton;
};

} // namespace navix
