#include "editor_4021.h"

#include "turn_factory.h"

#include "calibration_dialogs.h"
#include "editor_controls.h"

#include "bus/text.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QSignalBlocker>

namespace navix {

namespace {
constexpr int ScrollLargeStep = 100;
constexpr int ScrollMinimumWidth = 160;
constexpr int WindowHeight = 277;
constexpr int StatusBoxHeight = 228;
} // namespace

TForm60::TForm60(Workspace &workspace, QWidget *parent)
    : TForm60(workspace, NewTurnOfKind<Turn4021>(workspace, EditorKind::Type4021), parent)
{
}

TForm60::TForm60(Workspace &workspace, Turn4021 &turn, QWidget *parent)
    : ModuleEditorWindow(workspace,
                         EditorDesign{.typeNumber = "4060",
                                      .baudrateComboName = "Baudrate21ComboBox",
                                      .caption = "Navix 780"},
                         turn, parent),
      output(turn)
{
    setObjectName("TForm60");
    DesriptionEdit.setObjectName("DesriptionEdit");
    AddCaptionEdit(DesriptionEdit, 0);
    AddDataWidget(&DesriptionEdit);
    BuildValueRows();
    BuildScrollRow();
    BuildButtonRow();
    BuildSettings();
    ConnectTurn();
}

void TForm60::BuildValueRows()
{
    SetUpLabel(OutRanLabel, "OutRanLabel", "Output range :");
    SetUpReadOnlyEdit(OutRanEdit, "OutRanEdit");
    SetUpLabel(DataLabel, "DataLabel", "Current readback :");
    SetUpReadOnlyEdit(DataEdit, "DataEdit");
    SetUpLabel(LastvalueLabel, "LastvalueLabel", "Last value readback :");
    SetUpReadOnlyEdit(LastvalueEdit, "LastvalueEdit");
    SetUpLabel(SetValueLabel, "SetValueLabel", "Set value :");
    SetUpReadOnlyEdit(SetValueEdit, "SetValueEdit");
    auto *values = new QGridLayout;
    int row = 0;
    for (auto [label, edit] :
         {std::pair{&OutRanLabel, &OutRanEdit}, std::pair{&DataLabel, &DataEdit},
          std::pair{&LastvalueLabel, &LastvalueEdit}, std::pair{&SetValueLabel, &SetValueEdit}}) {
        values->addWidget(label, row, 0);
        values->addWidget(edit, row, 1);
        label->setBuddy(edit);
        ++row;
    }
    AddDataRow(values);
}

void TForm60::BuildScrollRow()
{
    SetUpLabel(MinLabel, "MinLabel", "Min");
    SetUpLabel(MaxLabel, "MaxLabel", "Max");
    ScrollBar1.setObjectName("ScrollBar1");
    ScrollBar1.setOrientation(Qt::Horizontal);
    ScrollBar1.setPageStep(ScrollLargeStep);
    ScrollBar1.setMinimumWidth(ScrollMinimumWidth);
    auto *scrollRow = new QHBoxLayout;
    scrollRow->addWidget(&MinLabel);
    scrollRow->addWidget(&ScrollBar1, 1);
    scrollRow->addWidget(&MaxLabel);
    AddDataRow(scrollRow);
    connect(&ScrollBar1, &QScrollBar::valueChanged, this, &TForm60::ScrollBar1Change);
}

void TForm60::BuildButtonRow()
{
    SetUpButton(Cal4mAButton, "Cal4mAButton", "&4 mA Cal.");
    SetUpButton(Cal20mAButton, "Cal20mAButton", "&20 mA Cal.");
    SetUpButton(TrimCalButton, "TrimCalButton", "&Trim Cal.");
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addWidget(&Cal4mAButton);
    buttonRow->addWidget(&Cal20mAButton);
    buttonRow->addWidget(&TrimCalButton);
    AddDataRow(buttonRow);
    connect(&Cal4mAButton, &QPushButton::clicked, this, &TForm60::Cal4mAButtonClick);
    connect(&Cal20mAButton, &QPushButton::clicked, this, &TForm60::Cal20mAButtonClick);
    connect(&TrimCalButton, &QPushButton::clicked, this, &TForm60::TrimCalButtonClick);
}

void TForm60::BuildSettings()
{
    AddSettingComboBox(OutputRangeLabel, "OutputRangeLabel", "Out ran :", OutputRange21ComboBox,
                       "OutputRange21ComboBox", Turn4021::OutputRangeItems, Turn4021::OutputRangeSetting);
    AddSettingComboBox(DataFormatLabel, "DataFormatLabel", "Data form :", DataFormat21ComboBox,
                       "DataFormat21ComboBox", Turn4021::DataFormatItems, Turn4021::DataFormatSetting);
    AddSettingComboBox(SlewRateLabel, "SlewRateLabel", "Slew rate :", SlewRateComboBox, "SlewRateComboBox",
                       Turn4021::SlewRateItems, Turn4021::SlewRateSetting);
}

void TForm60::ConnectTurn()
{
    connect(&output, &Turn4021::PositionRangeShown, this, &TForm60::ShowPositionRange);
    connect(&output, &Turn4021::PositionShown, this, &TForm60::ShowPosition);
    connect(&output, &Turn4021::SetValueShown, this, TextShower(SetValueEdit));
    connect(&output, &Turn4021::LastValueShown, this, TextShower(LastvalueEdit));
    connect(&output, &Turn4021::OutputShown, this, TextShower(DataEdit));
}

// What the turn reports

void TForm60::ShowTypeConfig()
{
    ShowText(OutRanEdit, OutputRangeText(output.Setting(Turn4021::OutputRangeSetting).stored));
}

void TForm60::ShowPositionRange(int minimum, int maximum)
{
    const QSignalBlocker blocker(ScrollBar1);
    ScrollBar1.setRange(minimum, maximum);
    ScrollBar1.setValue(minimum);
}

void TForm60::ShowPosition(int position)
{
    const QSignalBlocker blocker(ScrollBar1);
    ScrollBar1.setValue(position);
}

// What the user did

void TForm60::ScrollBar1Change()
{
    output.MovePosition(ScrollBar1.value());
}

void TForm60::Cal4mAButtonClick()
{
    AskCalibration(CalibrationCode::FourMilliamps,
                   CalibrationCaption("4mA", output.ModelLabel(), output.StoredAddress()),
                   "Stores the current output value as 4mA.");
}

void TForm60::Cal20mAButtonClick()
{
    AskCalibration(CalibrationCode::TwentyMilliamps,
                   CalibrationCaption("20mA", output.ModelLabel(), output.StoredAddress()),
                   "Stores the current output value as 20mA.");
}

void TForm60::TrimCalButtonClick()
{
    if (AnyCalibrationDialogVisible())
        return;
    TForm8 &dialog = TrimDialog();
    dialog.SetTarget(this, [this](int countByte) { output.RequestTrim(countByte); });
    dialog.setWindowTitle("Trim Calibration N780 (" + FromWire(HexByte(output.StoredAddress())) + ")");
    dialog.show();
}

// Layout

void TForm60::ApplySettingsLayout(bool settingsShown)
{
    ModuleEditorWindow::ApplySettingsLayout(settingsShown);
    // This window keeps the wider margin in both states and a fixed height, unless its controls need more.
    StatusBox.resize(StatusBox.width(), qMax(StatusBoxHeight, StatusBox.height()));
    const int windowWidth = StatusBox.width() + 22;
    const int windowHeight = qMax(WindowHeight, StatusBox.geometry().bottom() + 9);
    GroupBox1.setGeometry(0, 0, windowWidth, windowHeight);
    setFixedSize(windowWidth, windowHeight);
}

} // namespace navix
