#pragma once
// The digital output editors (4050 with eight outputs, 4060 with four relays). A click on a panel switches
// that output, a hexadecimal value typed into the data field sets all outputs; either change is written on
// the editor's next turn, after the state read. While a change waits, reads do not repaint the panels, so a
// read that crossed the click cannot undo it.

#include "digital_editor.h"

class OutputEditorWindow : public DigitalEditorWindow
{
    Q_OBJECT
public:
    // Pending output changes: channel + 10 x new state for one output, or the whole value.
    static constexpr int NoChange = -1;
    static constexpr int WholeValue = 20;
    // The data field shows the outputs as two hexadecimal digits, whatever can be typed.
    static constexpr int ShownDigits = 2;

    OutputEditorWindow(Workspace &workspace, const EditorDesign &design, const DigitalDesign &digital,
                       int typedDigits, QWidget *parent = nullptr);
    ~OutputEditorWindow() override;

    void PanelClick(OutputPanel *panel);
    // The data field's value taken on Enter (shown in upper case) or on leaving the field (shown as typed).
    void TakeDataValue(bool upperCase);

    int OutputValue() const { return outputValue; }
    int PendingChange() const { return pendingChange; }
    bool DataFocused() const { return dataFocused; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void ShowData(const QByteArray &reply) override;
    bool SendPendingWrite() override;

private:
    bool DataEditKeyPress(QKeyEvent *event);

    int typedDigits;
    int outputValue = 0;
    int pendingChange = NoChange;
    bool dataFocused = false;
};
