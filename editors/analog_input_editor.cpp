#include "analog_input_editor.h"

#include "editor_controls.h"

#include "bus/text.h"

#include <QHBoxLayout>
#include <QSignalBlocker>

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

void AnalogInputEditor::BuildValueRows(QWidget *besideUnit)
{
    DesriptionEdit.setObjectName("DesriptionEdit");
    DesriptionEdit.setText("Unit :");
    MakeSilver(DesriptionEdit, true);
    SetUpNameEdit(DesriptionEdit);
    SetUpReadOnlyEdit(DataEdit, "DataEdit");
    SetUpReadOnlyEdit(UnitNameEdit, "UnitNameEdit");
    DesriptionEdit.setAccessibleName("Description");
    DataEdit.setAccessibleName("Value");
    UnitNameEdit.setAccessibleName("Unit name");
    auto *valueRow = new QHBoxLayout;
    valueRow->addWidget(&DesriptionEdit, 2);
    valueRow->addWidget(&DataEdit, 2);
    valueRow->addWidget(&UnitNameEdit, 1);
    if (besideUnit)
        valueRow->addWidget(besideUnit);
    AddDataRow(valueRow);

    SetUpButton(OffsetButton, "OffsetButton", "&Offset cal.");
    SetUpButton(SpanButton, "SpanButton", "&Span cal.");
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addWidget(&OffsetButton);
    buttonRow->addWidget(&SpanButton);
    AddDataRow(buttonRow);
    connect(&OffsetButton, &QPushButton::clicked, this, &AnalogInputEditor::OffsetButtonClick);
    connect(&SpanButton, &QPushButton::clicked, this, &AnalogInputEditor::SpanButtonClick);
}

void AnalogInputEditor::BuildInputSettings(const QStringList &rangeItems)
{
    AddSettingComboBox(InputRangeLabel, "InputRangeLabel", "Input range :", InputRange13ComboBox,
                       "InputRange13ComboBox", rangeItems);
    AddSettingComboBox(DataFormatLabel, "DataFormatLabel", "Data format :", DataFormat13ComboBox,
                       "DataFormat13ComboBox", DataFormatItems);
    AddSettingComboBox(IntgrTimeLabel, "IntgrTimeLabel", "Integr. time :", IntgrTimeComboBox,
                       "IntgrTimeComboBox", IntegrationTimeItems);
}

void AnalogInputEditor::SetRangeItems(const QStringList &rangeItems)
{
    {
        // Refilling the list is no change by the user: the update button stays as it is.
        const QSignalBlocker blocker(InputRange13ComboBox);
        InputRange13ComboBox.clear();
        InputRange13ComboBox.addItems(rangeItems);
    }
    ShowStoredItem(InputRange13ComboBox, RangeIndex(reportedRangeCode));
}

void AnalogInputEditor::ShowTypeConfig(const QByteArray &config)
{
    reportedRangeCode = Copy(config, 3, 2);
    ShowStoredItem(InputRange13ComboBox, RangeIndex(reportedRangeCode));

    reportedFormat = InputFormat::FromConfig(config);
    ShowStoredItem(IntgrTimeComboBox, reportedFormat.integrationTime);
    ShowStoredItem(DataFormat13ComboBox, reportedFormat.dataFormat);
    UnitNameEdit.setText(unitNames.value(reportedFormat.dataFormat));
    valueLength = reportedFormat.dataFormat == HexFormat ? 4 : 7;
}

QByteArray AnalogInputEditor::TypeCode() const
{
    const int index = ItemIndex(InputRange13ComboBox);
    // A range code the list does not hold goes back to the module as it reported it.
    return index >= 0 ? QByteArray::number(index + FirstRangeCode) : reportedRangeCode;
}

int AnalogInputEditor::TypeFormatBits() const
{
    return reportedFormat.Chosen(ItemIndex(IntgrTimeComboBox), ItemIndex(DataFormat13ComboBox)).Bits();
}
