#include "analog_input_editor.h"

#include "editor_controls.h"

#include "bus/text.h"

#include <QHBoxLayout>
#include <QSignalBlocker>

namespace navix {

AnalogInputEditor::AnalogInputEditor(Workspace &workspace, const EditorDesign &design, AnalogInputTurn &turn,
                                     QWidget *parent)
    : ModuleEditorWindow(workspace, design, turn, parent), analog(turn)
{
    connect(&turn, &AnalogInputTurn::ValueShown, this, &AnalogInputEditor::ShowValue);
}

void AnalogInputEditor::BuildValueRows(QWidget *besideUnit)
{
    DesriptionEdit.setObjectName("DesriptionEdit");
    MakeSilver(DesriptionEdit, true);
    AddCaptionEdit(DesriptionEdit, 0);
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
                       "InputRange13ComboBox", rangeItems, AnalogInputTurn::RangeSetting);
    AddSettingComboBox(DataFormatLabel, "DataFormatLabel", "Data format :", DataFormat13ComboBox,
                       "DataFormat13ComboBox", AnalogInputTurn::DataFormatItems,
                       AnalogInputTurn::DataFormatSetting);
    AddSettingComboBox(IntgrTimeLabel, "IntgrTimeLabel", "Integr. time :", IntgrTimeComboBox,
                       "IntgrTimeComboBox", AnalogInputTurn::IntegrationTimeItems,
                       AnalogInputTurn::IntegrationSetting);
}

void AnalogInputEditor::SetRangeItems(const QStringList &rangeItems)
{
    {
        // Refilling the list is no change by the user: the update button stays as it is.
        const QSignalBlocker blocker(InputRange13ComboBox);
        InputRange13ComboBox.clear();
        InputRange13ComboBox.addItems(rangeItems);
    }
    ShowStoredItem(InputRange13ComboBox, analog.Setting(AnalogInputTurn::RangeSetting).stored);
}

void AnalogInputEditor::ShowTypeConfig()
{
    ShowText(UnitNameEdit,
             InputUnitName(analog.Kind(), analog.Setting(AnalogInputTurn::DataFormatSetting).stored));
}

void AnalogInputEditor::ShowValue(const QByteArray &value)
{
    ShowText(DataEdit, FromWire(value));
}

} // namespace navix
