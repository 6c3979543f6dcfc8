#include "analog_input_editor.h"

#include "editor_controls.h"
#include "input_format.h"

#include "bus/text.h"

namespace {
constexpr int FirstRangeCode = 20;
constexpr int HexFormat = 2; // "2's complement of hex": four hex digits instead of seven characters

const QStringList DataFormatItems = {"Engineering units", "% of FSR", "2's complement of hex", "Ohms"};
const QStringList IntegrationTimeItems = {"50 ms ( 60Hz power )", "60 ms ( 50Hz power)"};

// The item index of a decimal range code; -1 when the text is no number.
int RangeIndex(const QByteArray &rangeCode)
{
    bool isNumber = false;
    const int code = rangeCode.toInt(&isNumber, 10);
    return isNumber ? code - FirstRangeCode : -1;
}
} // namespace

AnalogInputEditor::AnalogInputEditor(Workspace &workspace, const EditorDesign &design,
                                     const QStringList &unitNames, QWidget *parent)
    : ModuleEditorWindow(workspace, design, parent), unitNames(unitNames)
{
}

void AnalogInputEditor::SetCaptions(const QStringList &captions)
{
    if (!captions.isEmpty())
        DesriptionEdit.setText(captions.first());
}

QStringList AnalogInputEditor::Captions() const
{
    return {DesriptionEdit.text()};
}

void AnalogInputEditor::SetUpValueEdits()
{
    DesriptionEdit.setObjectName("DesriptionEdit");
    DesriptionEdit.setText("Unit :");
    MakeSilver(DesriptionEdit, true);
    SetUpReadOnlyEdit(DataEdit, "DataEdit");
    SetUpReadOnlyEdit(UnitNameEdit, "UnitNameEdit");
    DesriptionEdit.setAccessibleName("Description");
    DataEdit.setAccessibleName("Value");
    UnitNameEdit.setAccessibleName("Unit name");
}

void AnalogInputEditor::BuildInputSettings(const QStringList &rangeItems)
{
    SetUpLabel(InputRangeLabel, "InputRangeLabel", "Input range :");
    SetUpSettingCombo(InputRange13ComboBox, "InputRange13ComboBox", rangeItems);
    SetUpLabel(DataFormatLabel, "DataFormatLabel", "Data format :");
    SetUpSettingCombo(DataFormat13ComboBox, "DataFormat13ComboBox", DataFormatItems);
    SetUpLabel(IntgrTimeLabel, "IntgrTimeLabel", "Integr. time :");
    SetUpSettingCombo(IntgrTimeComboBox, "IntgrTimeComboBox", IntegrationTimeItems);
    AddSettingRow(InputRangeLabel, InputRange13ComboBox);
    AddSettingRow(DataFormatLabel, DataFormat13ComboBox);
    AddSettingRow(IntgrTimeLabel, IntgrTimeComboBox);
    RegisterSettingComboBox(InputRange13ComboBox);
    RegisterSettingComboBox(DataFormat13ComboBox);
    RegisterSettingComboBox(IntgrTimeComboBox);
}

void AnalogInputEditor::SetRangeItems(const QStringList &rangeItems)
{
    InputRange13ComboBox.clear();
    InputRange13ComboBox.addItems(rangeItems);
    ShowStoredItem(InputRange13ComboBox, RangeIndex(reportedRangeCode));
}

void AnalogInputEditor::ShowTypeConfig(const QByteArray &config)
{
    reportedRangeCode = Copy(config, 3, 2);
    ShowStoredItem(InputRange13ComboBox, RangeIndex(reportedRangeCode));

    const InputFormat format = InputFormat::FromConfig(config);
    reportedIntegrationTime = format.integrationTime;
    reportedDataFormat = format.dataFormat;
    ShowStoredItem(IntgrTimeComboBox, reportedIntegrationTime);
    ShowStoredItem(DataFormat13ComboBox, reportedDataFormat);
    UnitNameEdit.setText(unitNames.value(reportedDataFormat));
    valueLength = reportedDataFormat == HexFormat ? 4 : 7;
}

QByteArray AnalogInputEditor::TypeCode() const
{
    const int index = ItemIndex(InputRange13ComboBox);
    // A range code the list does not hold goes back to the module as it reported it.
    return index >= 0 ? QByteArray::number(index + FirstRangeCode) : reportedRangeCode;
}

int AnalogInputEditor::TypeFormatBits() const
{
    const int timeIndex = ItemIndex(IntgrTimeComboBox);
    const int formatIndex = ItemIndex(DataFormat13ComboBox);
    return InputFormat{timeIndex >= 0 ? timeIndex : reportedIntegrationTime,
                       formatIndex >= 0 ? formatIndex : reportedDataFormat}
        .Bits();
}
