#pragma once
// What the editors of the analog input modules 4013 and 4113 .. 4613 share: the description of the input
// (the record's one caption), the value and its unit name, and the settings of range, data format and
// integration time with the length of a value read that the data format gives.

#include "editor_window.h"
#include "input_format.h"

class AnalogInputEditor : public ModuleEditorWindow
{
    Q_OBJECT
public:
    void SetCaptions(const QStringList &captions) override;
    QStringList Captions() const override;

    int ValueLength() const { return valueLength; }

    // The offset and span calibration buttons: each asks through the calibration dialog.
    virtual void OffsetButtonClick() = 0;
    virtual void SpanButtonClick() = 0;

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

protected:
    // unitNames: the unit name of each data format, in the order of the data format items.
    AnalogInputEditor(Workspace &workspace, const EditorDesign &design, const QStringList &unitNames,
                      QWidget *parent);

    // The row of the description, the value and its unit name (followed by besideUnit where the type has
    // more), and the row of the calibration buttons.
    void BuildValueRows(QWidget *besideUnit = nullptr);
    // The three setting rows; rangeItems are the ranges from range code "20" on.
    void BuildInputSettings(const QStringList &rangeItems);

    // Puts other range items into the box; the stored range stays shown when an item stands for it.
    void SetRangeItems(const QStringList &rangeItems);

    void ShowTypeConfig(const QByteArray &config) override;
    QByteArray TypeCode() const override;
    int TypeFormatBits() const override;

    int valueLength = 7;

private:
    QStringList unitNames;
    // The range code and format bits as the module reported them, written back while no item stands for them.
    QByteArray reportedRangeCode = "20";
    InputFormat reportedFormat;
};
