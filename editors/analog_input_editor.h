#pragma once
// What the windows of the analog input modules 4013 and 4113 .. 4613 share: the description of the input (the
// record's one caption), the value and its unit name, the calibration buttons, and the settings of range,
// data format and integration time.

#include "analog_input_turn.h"
#include "editor_window.h"

namespace navix {

class AnalogInputEditor : public ModuleEditorWindow
{
    Q_OBJECT
public:
    // The offset and span calibration buttons: each asks through the calibration dialog.
    virtual void OffsetButtonClick() = 0;
    virtual void SpanButtonClick() = 0;

protected:
    AnalogInputEditor(Workspace &workspace, const EditorDesign &design, AnalogInputTurn &turn,
                      QWidget *parent);

    // The row of the description, the value and its unit name (followed by besideUnit where the type has
    // more), and the row of the calibration buttons.
    void BuildValueRows(QWidget *besideUnit = nullptr);
    // The three setting rows.
    void BuildInputSettings(const QStringList &rangeItems);
    // Puts other range items into the box; it shows the stored range where an item stands for it.
    void SetRangeItems(const QStringList &rangeItems);

    void ShowTypeConfig() override;
    // A value read of the input.
    virtual void ShowValue(const QByteArray &value);

    QLineEdit DesriptionEdit;
    QLineEdit DataEdit;
    QLineEdit UnitNameEdit;
    QPushButton OffsetButton;
    QPushButton SpanButton;
    QLabel InputRangeLabel;
    QComboBox InputRange13ComboBox;
    QLabel DataFormatLabel;
    QComboBox DataFormat13ComboBox;
    QLabel IntgrTimeLabel;
    QComboBox IntgrTimeComboBox;

private:
    AnalogInputTurn &analog;
};

} // namespace navix
