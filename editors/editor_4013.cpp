#include "editor_4013.h"

#include "turn_factory.h"
#include "workspace/prompt.h"

#include "calibration_dialogs.h"
#include "editor_controls.h"

#include "bus/text.h"

#include <QEvent>
#include <QGridLayout>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QValidator>

#include <initializer_list>

namespace navix {

namespace {

const QString Degrees = QStringLiteral("(°C)");

// Status word bits of the Tvr 5x, bit 0 first.
const QStringList BitCaptions = {"Hořák - vstup",  "Ventilátor. - vst.", "R - porucha", "R - hořák",
                                 "R - ventilátor", "R - reguluj",        "R - směr",    "Tlačítko - vstup"};
const QStringList LimitHints = {
    "Rozepnutá čidla",  "Doběh ventilátoru",     "Provozní min.- jednotka  ", "Provozní max. - jednotka",
    "Havaríjní",        "Provozní min. - komín", "Provozní max. - komín",     "Předehřev - jednotka",
    "Předehřev - komín"};

// Window heights of the four looks, and what the window keeps below the status group in each.
constexpr int PlainHeight = 135;
constexpr int PlainSettingsHeight = 270;
constexpr int VariantHeight = 272;
constexpr int VariantSettingsHeight = 453;
constexpr int PlainBottomMargin = 48;
constexpr int VariantBottomMargin = 45;
constexpr int LimitDigits = 3;
constexpr QRgb Silver = 0xC0C0C0;
constexpr QRgb Lime = 0x00FF00;

// A hex byte as the user types it: hex digits only, shown in upper case.
class HexByteValidator : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override
    {
        input = input.toUpper();
        static const QRegularExpression hexDigits("^[0-9A-F]{0,2}$");
        return hexDigits.match(input).hasMatch() ? Acceptable : Invalid;
    }
};

// A label that names a field, so that the field is found by the label's text.
void SetUpBuddyLabel(QLabel &label, const QString &name, const QString &text, QWidget &buddy)
{
    SetUpLabel(label, name, text);
    label.setBuddy(&buddy);
}

void SetUpByteEdit(QLineEdit &edit, const QString &name, QSpinBox &upDown, const QString &upDownName)
{
    edit.setObjectName(name);
    edit.setMaxLength(2);
    edit.setValidator(new HexByteValidator(&edit));
    upDown.setObjectName(upDownName);
    upDown.setRange(1, 255);
    upDown.setValue(1);
    upDown.setWrapping(false);
}
} // namespace

LimitSpinBox::LimitSpinBox(QWidget *parent) : QSpinBox(parent)
{
    setRange(Turn4013::LowestLimit, Turn4013::HighestLimit);
    setValue(0);
    lineEdit()->setMaxLength(LimitDigits);
}

void LimitSpinBox::fixup(QString &input) const
{
    bool isNumber = false;
    input.trimmed().toInt(&isNumber);
    if (!isNumber)
        input = QString::number(Turn4013::LowestLimit);
}

TForm10::TForm10(Workspace &workspace, QWidget *parent)
    : TForm10(workspace, NewTurnOfKind<Turn4013>(workspace, EditorKind::Type4013), parent)
{
}

TForm10::TForm10(Workspace &workspace, Turn4013 &turn, QWidget *parent)
    : AnalogInputEditor(workspace,
                        EditorDesign{.typeNumber = "4013",
                                     .baudrateComboName = "Baudrate13ComboBox",
                                     .caption = "Navix 710",
                                     .updateButtonName = "UpdateSetingsButton"},
                        turn, parent),
      tvr(turn)
{
    setObjectName("TForm10");
    BuildDataArea();
    BuildInputSettings(Turn4013::InputRangeItems);
    BuildAdvancedSettings();
    ConnectTurn();
}

// Building

void TForm10::BuildDataArea()
{
    DataCheckBox.setObjectName("DataCheckBox");
    DataCheckBox.setText(Degrees);
    DataCheckBox.setVisible(false);
    BuildValueRows(&DataCheckBox);
    BuildVariantGroup();
    AddDataWidget(&ExtGroupBox);
}

void TForm10::BuildVariantGroup()
{
    ExtGroupBox.setObjectName("ExtGroupBox");
    ExtGroupBox.setVisible(false);
    SetUpReadOnlyEdit(StackEdit, "StackEdit");
    MakeSilver(StackEdit);
    SetUpBuddyLabel(StackLabel, "StackLabel", "Stack :", StackEdit);
    StackCheckBox.setObjectName("StackCheckBox");
    StackCheckBox.setText(Degrees);
    SetUpButton(OffsetButtonStack, "OffsetButtonStack", "O&ffset cal.");
    SetUpButton(SpanButtonStack, "SpanButtonStack", "S&pan cal.");

    auto *layout = new QGridLayout(&ExtGroupBox);
    layout->addWidget(&StackLabel, 0, 0);
    layout->addWidget(&StackEdit, 0, 1);
    layout->addWidget(&StackCheckBox, 0, 2, 1, 2);
    layout->addWidget(&OffsetButtonStack, 1, 0, 1, 2);
    layout->addWidget(&SpanButtonStack, 1, 2, 1, 2);
    BuildStatusPanels(layout);

    connect(&OffsetButtonStack, &QPushButton::clicked, this, &TForm10::OffsetButtonStackClick);
    connect(&SpanButtonStack, &QPushButton::clicked, this, &TForm10::SpanButtonStackClick);
}

void TForm10::BuildStatusPanels(QGridLayout *layout)
{
    for (int bit = 0; bit < BitCount; ++bit) {
        QLabel &panel = BitPanels[bit];
        panel.setObjectName("Panel" + QString::number(bit + 1));
        panel.setAlignment(Qt::AlignCenter);
        panel.setMinimumWidth(20);
        panel.setAutoFillBackground(true);
        PaintBitPanel(panel, false);
        const QString hint = "Bit " + QString::number(bit);
        panel.setToolTip(hint);
        QLabel &label = BitLabels[bit];
        SetUpBuddyLabel(label, "BitLabel" + QString::number(bit + 1), BitCaptions[bit], panel);
        label.setToolTip(hint);
        // Two columns of four bits: 0..3 on the left, 4..7 on the right.
        const int row = 2 + bit % 4;
        const int column = bit < 4 ? 0 : 2;
        layout->addWidget(&panel, row, column);
        layout->addWidget(&label, row, column + 1);
    }
}

void TForm10::BuildAdvancedSettings()
{
    LMBox4013.setObjectName("LMBox4013");
    LMBox4013.setParent(&StatusBox);
    LMBox4013.setTitle(" Advanced setting : ");
    LMBox4013.setEnabled(false);
    LMBox4013.setVisible(false);

    auto *layout = new QGridLayout(&LMBox4013);
    BuildClockRows(layout);
    SetUpLabel(LimitsLabel, "LimitsLabel", "Limit temperatures " + Degrees + " :");
    layout->addWidget(&LimitsLabel, 2, 0, 1, 6);
    BuildLimitFields(layout);
    SetUpButton(MemoryButton, "MemoryButton", "&Memory");
    SetUpButton(UpdateLimitsButton, "UpdateLimitsButton", "U&pdate ");
    UpdateLimitsButton.setEnabled(false);
    layout->addWidget(&MemoryButton, 6, 0, 1, 2);
    layout->addWidget(&UpdateLimitsButton, 6, 4, 1, 2);
    ConnectAdvancedSettings();
}

void TForm10::BuildClockRows(QGridLayout *layout)
{
    TimeEdit.setObjectName("TimeEdit");
    TimeEdit.setToolTip("hh : mm : ss ");
    SetUpBuddyLabel(TimeLabel, "TimeLabel", "Time :", TimeEdit);
    DateEdit.setObjectName("DateEdit");
    DateEdit.setToolTip("dd.mm.yy (day in week)");
    SetUpBuddyLabel(DateLabel, "DateLabel", "Date : ", DateEdit);
    SetUpByteEdit(ConstEdit, "ConstEdit", ConstUpDown, "ConstUpDown");
    SetUpBuddyLabel(ConstLabel, "ConstLabel", " Constant :", ConstEdit);
    SetUpByteEdit(IntegrEdit, "IntegrEdit", IntegrUpDown, "IntegrUpDown");
    ConstUpDown.setAccessibleName("Constant");
    IntegrUpDown.setAccessibleName("Interval");
    SetUpBuddyLabel(IntervalLabel, "IntervalLabel", "Interval :", IntegrEdit);

    layout->addWidget(&TimeLabel, 0, 0);
    layout->addWidget(&TimeEdit, 0, 1, 1, 2);
    layout->addWidget(&DateLabel, 0, 3);
    layout->addWidget(&DateEdit, 0, 4, 1, 2);
    layout->addWidget(&ConstLabel, 1, 0);
    layout->addWidget(&ConstEdit, 1, 1);
    layout->addWidget(&ConstUpDown, 1, 2);
    layout->addWidget(&IntervalLabel, 1, 3);
    layout->addWidget(&IntegrEdit, 1, 4);
    layout->addWidget(&IntegrUpDown, 1, 5);
}

void TForm10::BuildLimitFields(QGridLayout *layout)
{
    for (int n = 0; n < Turn4013::LimitCount; ++n) {
        LimitSpinBox &field = LimitFields[n];
        field.setObjectName("SpinEdit" + QString::number(n + 1));
        field.setToolTip(LimitHints[n]);
        SetUpBuddyLabel(LimitLabels[n], "LimitLabel" + QString::number(n + 1),
                        "X" + QString::number(n + 1) + " :", field);
        const int row = 3 + n / 3;
        const int column = 2 * (n % 3);
        layout->addWidget(&LimitLabels[n], row, column);
        layout->addWidget(&field, row, column + 1);
        field.installEventFilter(this);
        connect(&field, &QSpinBox::valueChanged, this, [this, n](int degrees) { tvr.SetLimit(n, degrees); });
    }
}

void TForm10::ConnectAdvancedSettings()
{
    for (QWidget *widget : std::initializer_list<QWidget *>{&TimeEdit, &DateEdit, &ConstEdit, &IntegrEdit,
                                                            &ConstUpDown, &IntegrUpDown})
        widget->installEventFilter(this);

    connect(&TimeEdit, &QLineEdit::textChanged, &tvr, &Turn4013::SetTimeText);
    connect(&DateEdit, &QLineEdit::textChanged, &tvr, &Turn4013::SetDateText);
    connect(&ConstEdit, &QLineEdit::textChanged, &tvr, &Turn4013::SetConstantText);
    connect(&IntegrEdit, &QLineEdit::textChanged, &tvr, &Turn4013::SetIntervalText);
    connect(&ConstUpDown, &QSpinBox::valueChanged, this, &TForm10::ConstUpDownClick);
    connect(&IntegrUpDown, &QSpinBox::valueChanged, this, &TForm10::IntegrUpDownClick);
    connect(&ConstEdit, &QLineEdit::editingFinished, this, &TForm10::ConstEditExit);
    connect(&IntegrEdit, &QLineEdit::editingFinished, this, &TForm10::IntegrEditExit);
    connect(&MemoryButton, &QPushButton::clicked, this, &TForm10::MemoryButtonClick);
    connect(&UpdateLimitsButton, &QPushButton::clicked, this, &TForm10::UpdateLimitsButtonClick);
}

void TForm10::ConnectTurn()
{
    connect(&tvr, &Turn4013::VariantFound, this, &TForm10::SwitchToVariant);
    connect(&tvr, &Turn4013::PlainLookShown, this, &TForm10::ShowPlainLook);
    connect(&tvr, &Turn4013::StackValueShown, this,
            [this](const QByteArray &value) { ShowReading(value, StackEdit, StackCheckBox); });
    connect(&tvr, &Turn4013::StatusBitsShown, this, &TForm10::ShowStatusBits);
    connect(&tvr, &Turn4013::ClockShown, this, [this](const QString &time, const QString &date) {
        ShowText(TimeEdit, time);
        ShowText(DateEdit, date);
    });
    connect(&tvr, &Turn4013::LimitsShown, this, &TForm10::ShowLimits);
    connect(&tvr, &Turn4013::ConstantShown, this,
            [this](const QString &text) { ShowByteText(ConstEdit, ConstUpDown, text); });
    connect(&tvr, &Turn4013::IntervalShown, this,
            [this](const QString &text) { ShowByteText(IntegrEdit, IntegrUpDown, text); });
    connect(&tvr, &Turn4013::LimitsEditing, &UpdateLimitsButton, &QPushButton::setEnabled);
    connect(
        &tvr, &Turn4013::SettingWriteFailed, this,
        [](const QString &name) { Prompts().Error(QString("Updating %1 failed !").arg(name)); },
        Qt::QueuedConnection);
}

bool TForm10::eventFilter(QObject *watched, QEvent *event)
{
    // Clicking or entering any advanced setting means the user is editing them: the clock stops being
    // read, so that what the user types is not overwritten, until the update is written.
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::MouseButtonPress)
        tvr.BeginLimitsEdit();
    return ModuleEditorWindow::eventFilter(watched, event);
}

// What the turn reports

void TForm10::ShowReading(const QByteArray &value, QLineEdit &edit, const QCheckBox &degrees)
{
    ShowText(edit, degrees.isChecked() ? TvrDegreesText(value) : FromWire(value));
}

void TForm10::ShowValue(const QByteArray &value)
{
    ShowReading(value, DataEdit, DataCheckBox);
}

void TForm10::ShowByteText(QLineEdit &edit, QSpinBox &upDown, const QString &text)
{
    ShowText(edit, text);
    if (IsHexByteText(ToWire(text))) {
        const QSignalBlocker blocker(upDown);
        upDown.setValue(HexToInt(ToWire(text)));
    }
}

void TForm10::PaintBitPanel(QLabel &panel, bool on)
{
    panel.setText(on ? "1" : "0");
    QPalette palette = panel.palette();
    palette.setColor(QPalette::Window, QColor(on ? Lime : Silver));
    panel.setPalette(palette);
    panel.setFrameStyle(QFrame::Panel | (on ? QFrame::Sunken : QFrame::Raised));
}

void TForm10::ShowStatusBits(int status)
{
    for (int bit = 0; bit < BitCount; ++bit) {
        QLabel &panel = BitPanels[bit];
        const bool set = (status >> bit & 1) != 0;
        if (panel.text() == "1" && !set)
            PaintBitPanel(panel, false);
        else if (panel.text() == "0" && set)
            PaintBitPanel(panel, true);
    }
}

void TForm10::ShowLimits(const QList<int> &limits)
{
    for (int n = 0; n < Turn4013::LimitCount && n < limits.size(); ++n)
        LimitFields[n].setValue(limits[n]);
}

// Calibration buttons

QString TForm10::ModelName() const
{
    return tvr.IsVariant() ? QStringLiteral("Tvr 5x") : QStringLiteral("Navix 710");
}

QString TForm10::SpanOhms() const
{
    // The span resistance is the top of the module's configured range.
    switch (tvr.Setting(AnalogInputTurn::RangeSetting).stored) {
    case 2:
    case 6:
    case 8:
    case 9:
        return QStringLiteral("200");
    case 3:
    case 7:
        return QStringLiteral("440");
    default:
        return QStringLiteral("140");
    }
}

void TForm10::ShowCalibrationDialog(CalibrationCode code, const QString &kind, int address,
                                    const QString &ohms)
{
    AskCalibration(code, CalibrationCaption(kind, ModelName(), address),
                   "Apply " + ohms + " Ohms to the imput terminal of the module.");
}

void TForm10::SpanButtonClick()
{
    ShowCalibrationDialog(CalibrationCode::Span, "Span", tvr.StoredAddress(), SpanOhms());
}

void TForm10::OffsetButtonClick()
{
    ShowCalibrationDialog(CalibrationCode::Offset, "Offset", tvr.StoredAddress(), "60");
}

// The stack captions name the address their command goes to (01 in INIT).
void TForm10::SpanButtonStackClick()
{
    ShowCalibrationDialog(CalibrationCode::StackSpan, "Span", tvr.StackAddress(), SpanOhms());
}

void TForm10::OffsetButtonStackClick()
{
    ShowCalibrationDialog(CalibrationCode::StackOffset, "Offset", tvr.StackAddress(), "60");
}

// Advanced settings

void TForm10::MemoryButtonClick()
{
    workspace.ShowMemoryUtilities(tvr.AddressText(), tvr.ChecksumFlag());
}

void TForm10::UpdateLimitsButtonClick()
{
    tvr.RequestLimitsUpdate();
}

void TForm10::UpDownClick(QSpinBox &upDown, QLineEdit &edit)
{
    tvr.BeginLimitsEdit();
    edit.setText(FromWire(HexByte(upDown.value())));
}

void TForm10::ConstUpDownClick()
{
    UpDownClick(ConstUpDown, ConstEdit);
}

void TForm10::IntegrUpDownClick()
{
    UpDownClick(IntegrUpDown, IntegrEdit);
}

void TForm10::NormaliseByteEdit(QLineEdit &edit, QSpinBox &upDown)
{
    ShowByteText(edit, upDown, NormalisedByteText(edit.text()));
}

void TForm10::ConstEditExit()
{
    NormaliseByteEdit(ConstEdit, ConstUpDown);
}

void TForm10::IntegrEditExit()
{
    NormaliseByteEdit(IntegrEdit, IntegrUpDown);
}

// Looks and layout

void TForm10::SwitchToVariant()
{
    ShowModelCaption("Tvr 5x");
    ExtGroupBox.setVisible(true);
    UnitNameEdit.setVisible(false);
    DataCheckBox.setVisible(true);
    LMBox4013.setEnabled(true);
    // The box may have been ticked before the module answered; the look follows it rather than hiding the
    // settings under a ticked box.
    ApplySettingsLayout(ShowSettingsBox.isChecked());
}

void TForm10::ShowPlainLook()
{
    ShowModelCaption("Navix 710");
    UnitNameEdit.setVisible(true);
    DataCheckBox.setVisible(false);
}

void TForm10::ApplySettingsLayout(bool settingsShown)
{
    const bool variant = tvr.IsVariant();
    const bool advancedShown = variant && settingsShown;
    DataAreaBox.layout()->invalidate();
    const QSize data = DataAreaBox.sizeHint();
    const QSize setting = SettingBox.sizeHint();
    const QSize advanced = LMBox4013.sizeHint();
    const int top = StatusBox.fontMetrics().height() + 4;
    const int rowHeight = settingsShown ? qMax(data.height(), setting.height()) : data.height();
    DataAreaBox.setGeometry(2, top, data.width(), rowHeight);
    SettingBox.setGeometry(2 + data.width(), top, setting.width(), rowHeight);
    SettingBox.setVisible(settingsShown);

    int statusWidth = settingsShown ? data.width() + setting.width() + 4 : data.width() + 4;
    int contentBottom = top + rowHeight;
    if (advancedShown) {
        statusWidth = qMax(statusWidth, advanced.width() + 4);
        LMBox4013.setGeometry(2, contentBottom + 2, statusWidth - 4, advanced.height());
        contentBottom += 2 + advanced.height();
    }
    LMBox4013.setVisible(advancedShown);

    // The heights of the four looks, unless the controls need more at the font in use.
    const int lookHeight = variant ? (settingsShown ? VariantSettingsHeight : VariantHeight)
                                   : (settingsShown ? PlainSettingsHeight : PlainHeight);
    const int bottomMargin = variant ? VariantBottomMargin : PlainBottomMargin;
    const int windowHeight = qMax(lookHeight, contentBottom + 4 + bottomMargin);
    const int groupTop = GroupBox1.fontMetrics().height() + 4;
    StatusBox.setGeometry(8, groupTop, statusWidth, windowHeight - bottomMargin);
    const int windowWidth = statusWidth + 21;
    GroupBox1.setGeometry(0, 0, windowWidth, windowHeight);
    setFixedSize(windowWidth, windowHeight);
}

} // namespace navix
