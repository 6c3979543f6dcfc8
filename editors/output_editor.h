#pragma once
// The windows of the digital output modules (4050 with eight outputs, 4060 with four relays). A click on a
// panel and a hexadecimal value typed into the data field go to the turn (OutputTurn), which writes them on
// its next visit; the field takes hexadecimal digits only.

#include "digital_editor.h"

namespace navix {

class OutputEditorWindow : public DigitalEditorWindow
{
    Q_OBJECT
public:
    // The data field shows the outputs as two hexadecimal digits, whatever can be typed.
    static constexpr int ShownDigits = 2;

    // typedDigits: how many hexadecimal digits the data field takes.
    OutputEditorWindow(Workspace &workspace, const EditorDesign &design, OutputTurn &turn, int typedDigits,
                       QWidget *parent = nullptr);
    ~OutputEditorWindow() override;

    void PanelClick(OutputPanel *panel);
    // The data field's value taken on Enter (shown in upper case) or on leaving the field (shown as typed).
    void TakeDataValue(bool upperCase);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool DataEditKeyPress(QKeyEvent *event);

    OutputTurn &outputs;
    int typedDigits;
};

} // namespace navix
