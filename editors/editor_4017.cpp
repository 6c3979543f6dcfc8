#include "editor_4017.h"

#include "turn_factory.h"

#include "calibration_dialogs.h"
#include "editor_controls.h"

#include <QGridLayout>
#include <QHBoxLayout>

namespace navix {

namespace {
// The signal the span calibration asks for, by input range.
const QStringList SpanSources = {"+ 10 V", "+ 5 V", "+ 1 V", "+ 500 mV", "+ 150 mV", "+ 20 mA"};
} // namespace

TForm50::TForm50(Workspace &workspace, QWidget *parent)
    : TForm50(workspace, NewTurnOfKind<Turn4017>(workspace, EditorKind::Type4017), parent)
{
}

TForm50::TForm50(Workspace &workspace, Turn4017 &turn, QWidget *parent)
    : ModuleEditorWindow(workspace,
                         EditorDesign{.typeNumber = "4017",
                                      .baudrateComboName = "Baudrate17ComboBox",
                                      .caption = "Navix 770",
                                      .showSettingsName = "ShowSetingCheckBox",
                                      .checkSumText = "Enabled"},
                         turn, parent),
      channels(turn)
{
    setObjectName("TForm50");
    BuildDataArea();
    BuildSettings();
    connect(&turn, &Turn4017::ChannelBoxesShown, this, &TForm50::ShowChannelBoxes);
    connect(&turn, &Turn4017::ChannelValueShown, this,
            [this](int channel, const QString &value) { ShowText(ValueEdits.at(channel), value); });
}

void TForm50::BuildChannels()
{
    auto *rows = new QGridLayout;
    for (int channel = 0; channel < Turn4017::ChannelCount; ++channel) {
        const QString number = QString::number(channel + 1);
        QCheckBox &box = EnableBoxes[channel];
        box.setObjectName("CheckBox" + number);
        box.setAccessibleName("Channel " + number);
        QLineEdit &value = ValueEdits[channel];
        SetUpReadOnlyEdit(value, "Edit" + number);
        MakeSilver(value);
        value.setAccessibleName("Channel " + number + " value");
        QLineEdit &name = NameEdits[channel];
        name.setObjectName("Edit" + QString::number(channel + 1 + Turn4017::ChannelCount));
        MakeSilver(name, true);
        AddCaptionEdit(name, channel);
        name.setAccessibleName("Channel " + number + " name");
        rows->addWidget(&box, channel, 0);
        rows->addWidget(&value, channel, 1);
        rows->addWidget(&name, channel, 2);
        connect(&box, &QCheckBox::toggled, this, [this, channel] { CheckBoxClick(channel); });
    }
    AddDataRow(rows);
}

void TForm50::BuildDataArea()
{
    BuildChannels();
    SetUpLabel(FormatLabel, "FormatLabel", "Ran :");
    SetUpReadOnlyEdit(FormatEdit, "FormatEdit");
    FormatLabel.setBuddy(&FormatEdit);
    auto *rangeRow = new QHBoxLayout;
    rangeRow->addWidget(&FormatLabel);
    rangeRow->addWidget(&FormatEdit, 1);
    AddDataRow(rangeRow);

    SetUpButton(ZeroButton, "ZeroButton", "&Zero cal.");
    SetUpButton(SpanButton, "SpanButton", "&Span cal.");
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addWidget(&ZeroButton);
    buttonRow->addWidget(&SpanButton);
    AddDataRow(buttonRow);

    connect(&ZeroButton, &QPushButton::clicked, this, &TForm50::ZeroButtonClick);
    connect(&SpanButton, &QPushButton::clicked, this, &TForm50::SpanButtonClick);
}

void TForm50::BuildSettings()
{
    AddSettingComboBox(InputRangeLabel, "InputRangeLabel", "Input range :", InputRange17ComboBox,
                       "InputRange17ComboBox", Turn4017::InputRangeItems, Turn4017::RangeSetting);
    AddSettingComboBox(DataFormatLabel, "DataFormatLabel", "Data format :", DataFormat17ComboBox,
                       "DataFormat17ComboBox", Turn4017::DataFormatItems, Turn4017::DataFormatSetting);
    AddSettingComboBox(IntgrTimeLabel, "IntgrTimeLabel", "Intgr.time :", IntgrTimeComboBox,
                       "IntgrTimeComboBox", Turn4017::IntegrationTimeItems, Turn4017::IntegrationSetting);
}

void TForm50::ShowTypeConfig()
{
    ShowText(FormatEdit, Turn4017::InputRangeItems.value(channels.Setting(Turn4017::RangeSetting).stored));
}

void TForm50::ShowChannelBoxes(int mask)
{
    for (int channel = 0; channel < Turn4017::ChannelCount; ++channel) {
        // The module's mask shown is no choice of the user's: nothing to write back.
        const QSignalBlocker blocker(EnableBoxes[channel]);
        EnableBoxes[channel].setChecked((mask >> channel & 1) != 0);
    }
}

void TForm50::CheckBoxClick(int channel)
{
    channels.ClickChannel(channel, EnableBoxes.at(channel).isChecked());
}

// Calibration buttons

void TForm50::OpenDialog(CalibrationCode code, const QString &kind, const QString &message)
{
    AskCalibration(code, CalibrationCaption(kind, channels.ModelLabel(), channels.StoredAddress()), message);
}

void TForm50::ZeroButtonClick()
{
    OpenDialog(CalibrationCode::Zero, "Zero", "Shunt imput terminals.");
}

void TForm50::SpanButtonClick()
{
    const QString source = SpanSources.value(channels.Setting(Turn4017::RangeSetting).stored);
    OpenDialog(CalibrationCode::Span, "Span", "Apply " + source + " voltage source to the imput terminals.");
}

// Layout

void TForm50::ApplySettingsLayout(bool settingsShown)
{
    ModuleEditorWindow::ApplySettingsLayout(settingsShown);
    // This window keeps the wider margin in both states.
    const int windowWidth = StatusBox.width() + 22;
    const int windowHeight = height();
    GroupBox1.setGeometry(0, 0, windowWidth, windowHeight);
    setFixedSize(windowWidth, windowHeight);
}

} // namespace navix
