#include "editor_4013.h"

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

namespace {

const QString Degrees = QStringLiteral("(°C)");

const QStringList InputRangeItems = {"Pt.00385  -/+100°C",   "Pt.00385 0 to +100°C", "Pt.00385 0 to +200°C",
                                     "Pt.00385 0 to +600°C", "Pt.00391 -/+ 100°C",   "Pt.00391 0 to +100°C",
                                     "Pt.00391 0 to +200°C", "Pt.00391 0 to +600°C", "Ni -80 to 100°C",
                                     "Ni    0 to 100°C"};

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
    setRange(LowestLimit, HighestLimit);
    setValue(0);
    lineEdit()->setMaxLength(3);
}

void LimitSpinBox::fixup(QString &input) const
{
    bool isNumber = false;
    input.trimmed().toInt(&isNumber);
    if (!isNumber)
        input = QString::number(LowestLimit);
}

TForm10::TForm10(Workspace &workspace, QWidget *parent)
    : AnalogInputEditor(workspace,
                        EditorDesign{.typeNumber = "4013",
                                     .baudrateComboName = "Baudrate13ComboBox",
                                     .caption = "Navix 710",
                                     .modelLabel = "N710",
                                     .updateButtonName = "UpdateSetingsButton"},
                        {"Unit", "%SFR", "2HEX", "Ohms"}, parent)
{
    setObjectName("TForm10");
    BuildDataArea();
    BuildInputSettings(InputRangeItems);
    BuildAdvancedSettings();
}

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

    connect(&OffsetButtonStack, &QPushButton::clicked, this, &TForm10::OffsetButtonStackClick);
    connect(&SpanButtonStack, &QPushButton::clicked, this, &TForm10::SpanButtonStackClick);
}

void TForm10::BuildAdvancedSettings()
{
    LMBox4013.setObjectName("LMBox4013");
    LMBox4013.setParent(&StatusBox);
    LMBox4013.setTitle(" Advanced setting : ");
    LMBox4013.setEnabled(false);
    LMBox4013.setVisible(false);

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
    SetUpButton(MemoryButton, "MemoryButton", "&Memory");
    SetUpButton(UpdateLimitsButton, "UpdateLimitsButton", "U&pdate ");
    UpdateLimitsButton.setEnabled(false);
    SetUpLabel(LimitsLabel, "LimitsLabel", "Limit temperatures " + Degrees + " :");

    auto *layout = new QGridLayout(&LMBox4013);
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
    layout->addWidget(&LimitsLabel, 2, 0, 1, 6);
    for (int n = 0; n < LimitCount; ++n) {
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
    }
    layout->addWidget(&MemoryButton, 6, 0, 1, 2);
    layout->addWidget(&UpdateLimitsButton, 6, 4, 1, 2);

    for (QWidget *widget : std::initializer_list<QWidget *>{&TimeEdit, &DateEdit, &ConstEdit, &IntegrEdit,
                                                            &ConstUpDown, &IntegrUpDown})
        widget->installEventFilter(this);

    connect(&ConstUpDown, &QSpinBox::valueChanged, this, &TForm10::ConstUpDownClick);
    connect(&IntegrUpDown, &QSpinBox::valueChanged, this, &TForm10::IntegrUpDownClick);
    connect(&ConstEdit, &QLineEdit::editingFinished, this, &TForm10::ConstEditExit);
    connect(&IntegrEdit, &QLineEdit::editingFinished, this, &TForm10::IntegrEditExit);
    connect(&MemoryButton, &QPushButton::clicked, this, &TForm10::MemoryButtonClick);
    connect(&UpdateLimitsButton, &QPushButton::clicked, this, &TForm10::UpdateLimitsButtonClick);
}

bool TForm10::eventFilter(QObject *watched, QEvent *event)
{
    // Clicking or entering any advanced setting means the user is editing them: the clock stops being
    // read, so that what the user types is not overwritten, until the update is written.
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::MouseButtonPress)
        UpdateLimitsButton.setEnabled(true);
    return ModuleEditorWindow::eventFilter(watched, event);
}

bool &TForm10::BusyFlag()
{
    static bool busy = false;
    return busy;
}

bool TForm10::IsRestPhase() const
{
    return ModuleEditorWindow::IsRestPhase() ||
           (Phase() == EditorPhase::TypePhase && typePhase == Phase4013::VariantIdle);
}

bool TForm10::LimitsBeingEdited() const
{
    return UpdateLimitsButton.isEnabledTo(&LMBox4013);
}

// Configuration

// Calibration buttons

QString TForm10::ModelName() const
{
    return variant ? QStringLiteral("Tvr 5x") : QStringLiteral("Navix 710");
}

QString TForm10::SpanOhms() const
{
    // The span resistance is the top of the module's configured range.
    switch (StoredIndex(InputRange13ComboBox)) {
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

void TForm10::ShowCalibrationDialog(int requestCode, const QString &kind, int address, const QString &ohms)
{
    OpenCalibrationDialog(this, calibrationRequest, requestCode,
                          CalibrationCaption(kind, ModelName(), address),
                          "Apply " + ohms + " Ohms to the imput terminal of the module.");
}

void TForm10::SpanButtonClick()
{
    ShowCalibrationDialog(SpanUnit, "Span", StoredAddress(), SpanOhms());
}

void TForm10::OffsetButtonClick()
{
    ShowCalibrationDialog(OffsetUnit, "Offset", StoredAddress(), "60");
}

// The stack captions name the address their command goes to (01 in INIT).
void TForm10::SpanButtonStackClick()
{
    ShowCalibrationDialog(SpanStack, "Span", HexToInt(OffsetAddress(1)), SpanOhms());
}

void TForm10::OffsetButtonStackClick()
{
    ShowCalibrationDialog(OffsetStack, "Offset", HexToInt(OffsetAddress(1)), "60");
}

// Advanced settings

void TForm10::MemoryButtonClick()
{
    workspace.ShowMemoryUtilities(AddressText(), ChecksumFlag());
}

void TForm10::UpdateLimitsButtonClick()
{
    limitsUpdateRequested = true;
}

void TForm10::UpDownClick(QSpinBox &upDown, QLineEdit &edit)
{
    UpdateLimitsButton.setEnabled(true);
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
    QString text = edit.text();
    if (text.isEmpty())
        text = "01";
    else if (text.size() == 1)
        text.prepend('0');
    edit.setText(text);
    const int value = HexToInt(ToWire(text));
    const QSignalBlocker blocker(upDown);
    if (value >= 0 && value <= 255)
        upDown.setValue(value);
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

void TForm10::SetLookCaption(const QString &model)
{
    setWindowTitle(windowTitle().contains("Init") ? model + " - Init" : model);
}

int TForm10::AddressSpan() const
{
    return variant ? TvrAddressSpan : 1;
}

void TForm10::SwitchToVariant()
{
    variant = true;
    // From now on the workspace keeps the controller's other two addresses free of other modules, also when
    // the module came from a file that named it 4013.
    if (const ModuleRecordPtr record = workspace.Modules().FindForUpdate(HexByte(StoredAddress())))
        record->typeId = TvrTypeId;
    const QByteArray address = AddressText();
    workspace.RelabelModule(address, " (" + FromWire(address) + ") TVR5x");
    SetModelLabel("TVR5x");
    SetLookCaption("Tvr 5x");
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
    SetLookCaption("Navix 710");
    UnitNameEdit.setVisible(true);
    DataCheckBox.setVisible(false);
}

void TForm10::ApplySettingsLayout(bool settingsShown)
{
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

void TForm10::FormShow()
{
    // A fresh showing starts the turn over with the variant probe, but never under an outstanding exchange.
    if (IsRestPhase()) {
        SetPhase(EditorPhase::Start);
        typePhase = Phase4013::None;
    }
    ModuleEditorWindow::FormShow();
}
