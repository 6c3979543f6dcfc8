#include "editor_4x13.h"

#include "turn_factory.h"

#include "calibration_dialogs.h"

namespace navix {

namespace {
constexpr int HiddenSettingsHeight = 135;
constexpr int ShownSettingsHeight = 270;
constexpr int StatusBoxMargin = 48; // window height minus the height of the status box
} // namespace

TForm1x::TForm1x(Workspace &workspace, QWidget *parent)
    : TForm1x(workspace, NewTurnOfKind<Turn4x13>(workspace, EditorKind::Type4x13), parent)
{
}

TForm1x::TForm1x(Workspace &workspace, Turn4x13 &turn, QWidget *parent)
    : AnalogInputEditor(workspace,
                        EditorDesign{.typeNumber = "4x13",
                                     .baudrateComboName = "Baudrate13ComboBox",
                                     .caption = "Navix 7xx & PKR - 1x",
                                     .updateButtonName = "UpdateSetingsButton"},
                        turn, parent),
      sensorTurn(turn)
{
    setObjectName("TForm1x");
    BuildValueRows();
    BuildInputSettings({});
    connect(&turn, &EditorTurn::ModuleNamed, this, &TForm1x::ShowSensor);
}

void TForm1x::ShowSensor()
{
    const SensorType *sensor = sensorTurn.Sensor();
    if (!sensor)
        return;
    ShowModelCaption(sensor->caption);
    UnitNameEdit.setVisible(true);
    const bool calibratable = !sensor->spanText.isEmpty();
    OffsetButton.setEnabled(calibratable);
    SpanButton.setEnabled(calibratable);
    SetRangeItems({sensor->rangeItem});
}

// Calibration buttons

void TForm1x::OpenDialog(CalibrationCode code, const QString &kind, const QString &message)
{
    AskCalibration(code, CalibrationCaption(kind, sensorTurn.ModelLabel(), sensorTurn.StoredAddress()),
                   message);
}

void TForm1x::SpanButtonClick()
{
    if (const SensorType *sensor = sensorTurn.Sensor(); sensor && !sensor->spanText.isEmpty())
        OpenDialog(CalibrationCode::Span, "Span", sensor->spanText);
}

void TForm1x::OffsetButtonClick()
{
    if (const SensorType *sensor = sensorTurn.Sensor(); sensor && !sensor->offsetText.isEmpty())
        OpenDialog(CalibrationCode::Offset, "Offset", sensor->offsetText);
}

// Layout

void TForm1x::ApplySettingsLayout(bool settingsShown)
{
    ModuleEditorWindow::ApplySettingsLayout(settingsShown);
    // A short window with the data only, a taller one with the settings, unless the controls need more.
    if (!settingsShown)
        DataAreaBox.resize(DataAreaBox.width(), DataAreaBox.sizeHint().height());
    const int statusWidth = DataAreaBox.width() + (settingsShown ? SettingBox.width() : 0) + 4;
    const int contentHeight = DataAreaBox.y() + DataAreaBox.height() + 4;
    const int fixedHeight = settingsShown ? ShownSettingsHeight : HiddenSettingsHeight;
    const int windowHeight = qMax(fixedHeight, contentHeight + StatusBoxMargin);
    StatusBox.resize(statusWidth, windowHeight - StatusBoxMargin);
    const int windowWidth = statusWidth + 21;
    GroupBox1.setGeometry(0, 0, windowWidth, windowHeight);
    setFixedSize(windowWidth, windowHeight);
}

void TForm1x::FormShow()
{
    ApplySettingsLayout(ShowSettingsBox.isChecked());
}

} // namespace navix
