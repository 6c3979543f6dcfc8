#include "editor_4x13.h"

#include "calibration_dialogs.h"

#include "bus/text.h"

#include <array>

namespace {
constexpr int HiddenSettingsHeight = 135;
constexpr int ShownSettingsHeight = 270;
constexpr int StatusBoxMargin = 48; // window height minus the height of the status box

// The degree sign is the byte B0 on the wire and in the captions.
const QString TemperatureRangeItem = QString::fromLatin1("temperature -40/+124\xB0"
                                                         "C");
const QString CurrentSpanText = QStringLiteral("Apply 20mA to the module input !");
const QString CurrentOffsetText = QStringLiteral("Apply 4mA to the module input !");
const QString VoltageSpanText = QStringLiteral("Apply 5V to the module input !");
const QString VoltageOffsetText = QStringLiteral("Please, short out the module input!");

struct SensorType
{
    int index;
    const char *typeId;
    QString caption;
    QString rangeItem;
    QString modelLabel;
    // Empty for the sensors that take no calibration: their buttons stay disabled.
    QString spanText;
    QString offsetText;
};

const std::array<SensorType, 6> &SensorTypes()
{
    static const std::array<SensorType, 6> table = {{
        {1, "4113", "Navix 755", TemperatureRangeItem, "N755", {}, {}},
        {2, "4213", "Navix 756", "humidity 0-100%", "N756", {}, {}},
        {3, "4313", "Navix 742", "CO 0-300ppm", "N742", CurrentSpanText, CurrentOffsetText},
        {4, "4413", "Navix 743", "CO2 0-300ppm", "N743", CurrentSpanText, CurrentOffsetText},
        {5, "4513", "Navix PKR-2", "AP 0-110kPa", "PKR-02", VoltageSpanText, VoltageOffsetText},
        {6, "4613", "Navix PKR-1", "DP 0-500Pa", "PKR-01", VoltageSpanText, VoltageOffsetText},
    }};
    return table;
}

const SensorType *FindSensorType(const QByteArray &typeId)
{
    for (const SensorType &type : SensorTypes())
        if (typeId.trimmed() == type.typeId)
            return &type;
    return nullptr;
}

const SensorType *SensorTypeAt(int index)
{
    for (const SensorType &type : SensorTypes())
        if (type.index == index)
            return &type;
    return nullptr;
}
} // namespace

TForm1x::TForm1x(Workspace &workspace, QWidget *parent)
    : AnalogInputEditor(workspace,
                        EditorDesign{.typeNumber = "4x13",
                                     .baudrateComboName = "Baudrate13ComboBox",
                                     .caption = "Navix 7xx & PKR - 1x",
                                     .modelLabel = QString(),
                                     .updateButtonName = "UpdateSetingsButton"},
                        {"Unit", "%SFR", "2Hex", "Ohms"}, parent)
{
    setObjectName("TForm1x");
    BuildValueRows();
    BuildInputSettings({});
}

bool &TForm1x::BusyFlag()
{
    static bool busy = false;
    return busy;
}

void TForm1x::SetModuleName(const QByteArray &typeId)
{
    SetSubType(typeId);
}

void TForm1x::SetSubType(const QByteArray &typeId)
{
    const SensorType *type = FindSensorType(typeId);
    if (!type)
        return;
    setWindowTitle(windowTitle().contains("Init") ? type->caption + " - Init" : type->caption);
    UnitNameEdit.setVisible(true);
    subType = type->index;
    SetModelLabel(type->modelLabel);
    const bool calibratable = !type->spanText.isEmpty();
    OffsetButton.setEnabled(calibratable);
    SpanButton.setEnabled(calibratable);
    // The one item is the stored range when the module reports the sensor's range code.
    SetRangeItems({type->rangeItem});
}

// The poll turn

void TForm1x::SendDataQuery()
{
    typePhase = Phase4x13::None;
    Send(Command('#', {}), valueLength + 2, '>', EditorPhase::DataAsked);
}

void TForm1x::ShowData(const QByteArray &reply)
{
    DataEdit.setText(FromWire(Copy(reply, 2, valueLength)));
}

bool TForm1x::SendPendingCalibration()
{
    QByteArray command;
    if (calibrationRequest == CalibrateSpan)
        command = Command('$', "0");
    else if (calibrationRequest == CalibrateOffset)
        command = Command('$', "1");
    // Each request is carried out once, whatever the module answers.
    calibrationRequest = 0;
    if (command.isEmpty())
        return false;
    typePhase = Phase4x13::CalibrationSent;
    SendCalibration(command);
    return true;
}

bool TForm1x::TypePhaseStep(const QByteArray &reply)
{
    const bool calibrationSent = typePhase == Phase4x13::CalibrationSent;
    typePhase = Phase4x13::None;
    if (calibrationSent)
        return FinishCalibration(reply);
    SetPhase(EditorPhase::Idle);
    return true;
}

// Calibration buttons

void TForm1x::OpenDialog(int requestCode, const QString &kind, const QString &message)
{
    OpenCalibrationDialog(this, calibrationRequest, requestCode,
                          CalibrationCaption(kind, ModelLabel(), StoredAddress()), message);
}

void TForm1x::SpanButtonClick()
{
    if (const SensorType *type = SensorTypeAt(subType); type && !type->spanText.isEmpty())
        OpenDialog(CalibrateSpan, "Span", type->spanText);
}

void TForm1x::OffsetButtonClick()
{
    if (const SensorType *type = SensorTypeAt(subType); type && !type->offsetText.isEmpty())
        OpenDialog(CalibrateOffset, "Offset", type->offsetText);
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
    // A window shown again starts its next turn with the firmware query; one whose exchange is still
    // outstanding keeps its phase, or the reply would meet the wrong step.
    if (IsRestPhase())
        SetPhase(EditorPhase::Start);
    ApplySettingsLayout(ShowSettingsBox.isChecked());
}
