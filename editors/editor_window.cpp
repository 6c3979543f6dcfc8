#include "editor_window.h"

#include "calibration_dialogs.h"
#include "editor_controls.h"

#include "bus/text.h"
#include "workspace/prompt.h"

#include <QCloseEvent>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>

namespace navix {

namespace {
const QString HexSuffix = QStringLiteral(" (Hex)");
} // namespace

ModuleEditorWindow::ModuleEditorWindow(Workspace &workspace, const EditorDesign &design, EditorTurn &turn,
                                       QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      workspace(workspace), turn(turn)
{
    turn.setParent(this);
    setWindowTitle(design.caption);
    BuildGroups(design);
    BuildAddressControls();
    BuildSettingControls(design);
    LayOutControls();
    ConnectTurn();
}

// Building

void ModuleEditorWindow::BuildGroups(const EditorDesign &design)
{
    GroupBox1.setObjectName("GroupBox1");
    GroupBox1.setParent(this);
    StatusBox.setObjectName("Box" + design.typeNumber);
    StatusBox.setParent(&GroupBox1);
    DataAreaBox.setObjectName("DABox" + design.typeNumber);
    DataAreaBox.setParent(&StatusBox);
    DataAreaBox.setTitle(" Data area : ");
    SettingBox.setObjectName("GSBox" + design.typeNumber);
    SettingBox.setParent(&StatusBox);
    SettingBox.setTitle(" Setting : ");
    SettingBox.setEnabled(false);

    if (design.hasSynDataEdit) {
        SynDataEdit = new QLineEdit(&DataAreaBox);
        SynDataEdit->setObjectName("SynDataEdit");
        SynDataEdit->setVisible(false);
        SynDataEdit->setEnabled(false);
    }
    ShowSettingsBox.setObjectName(design.showSettingsName);
    ShowSettingsBox.setText("Show setting");
    ShowSettingsBox.setChecked(false);
    TrendButton.setObjectName("TrendButton");
    TrendButton.setText("Trend ...");
}

void ModuleEditorWindow::BuildAddressControls()
{
    AdresLabel.setObjectName("AdresLabel");
    AdresLabel.setText("Address : ");
    AdresHexEdit.setObjectName("AdresHexEdit");
    AdresHexEdit.setReadOnly(true);
    AdresHexEdit.setText("0" + HexSuffix);
    DecAdrSpinEdit.setObjectName("DecAdrSpinEdit");
    DecAdrSpinEdit.setRange(0, HighestBusAddress);
    DecAdrSpinEdit.setValue(0);
    AdresLabel.setBuddy(&DecAdrSpinEdit);
}

void ModuleEditorWindow::BuildSettingControls(const EditorDesign &design)
{
    BaudrateLabel.setObjectName("BaudrateLabel");
    BaudrateLabel.setText("Baudrate :");
    const int baudrateCount = turn.Setting(EditorTurn::BaudSetting).itemCount;
    SetUpSettingCombo(BaudrateComboBox, design.baudrateComboName,
                      EditorTurn::BaudrateItems.mid(0, baudrateCount));
    BaudrateComboBox.setEnabled(false);

    CheckSumLabel.setObjectName("CheckSumLabel");
    CheckSumLabel.setText("Check sum :");
    CheckSumBox.setObjectName("CheckSumBox");
    CheckSumBox.setText(design.checkSumText);
    CheckSumBox.setEnabled(false);

    FirmWareLabel.setObjectName("FirmWareLabel");
    FirmWareLabel.setText("Firmware :");
    FirmWareEdit.setObjectName("FirmWareEdit");
    FirmWareEdit.setReadOnly(true);

    UpdateButton.setObjectName(design.updateButtonName);
    UpdateButton.setText("&Update setting");
    UpdateButton.setEnabled(false);
}

void ModuleEditorWindow::LayOutControls()
{
    dataAreaLayout = new QVBoxLayout(&DataAreaBox);
    // The trend button sits at the right of "Show setting", in the row that box has anyway.
    auto *showSettingsRow = new QHBoxLayout;
    showSettingsRow->addWidget(&ShowSettingsBox);
    showSettingsRow->addStretch();
    showSettingsRow->addWidget(&TrendButton);
    dataAreaLayout->addLayout(showSettingsRow);

    auto *settingColumn = new QVBoxLayout(&SettingBox);
    settingLayout = new QGridLayout;
    settingColumn->addLayout(settingLayout);
    settingLayout->addWidget(&AdresLabel, 0, 0);
    settingLayout->addWidget(&AdresHexEdit, 0, 1);
    settingLayout->addWidget(&DecAdrSpinEdit, 0, 2);
    AddSettingRow(BaudrateLabel, BaudrateComboBox);
    AddSettingRow(CheckSumLabel, CheckSumBox);
    AddSettingRow(FirmWareLabel, FirmWareEdit);
    settingColumn->addWidget(&UpdateButton);
    settingColumn->addStretch();

    settingBoxes.resize(turn.SettingCount(), nullptr);
    settingBoxes[EditorTurn::BaudSetting] = &BaudrateComboBox;
    connect(&BaudrateComboBox, &QComboBox::currentTextChanged, this,
            [this] { SettingComboBoxChange(EditorTurn::BaudSetting); });
    ShowStoredItem(BaudrateComboBox, turn.Setting(EditorTurn::BaudSetting).stored);
}

void ModuleEditorWindow::ConnectTurn()
{
    connect(&DecAdrSpinEdit, &QSpinBox::valueChanged, this, &ModuleEditorWindow::DecAdrSpinEditChange);
    // What the box shows is what the configuration carries, however it was set (mouse, keyboard,
    // accessibility); the program's own updates of the box are made with its signals blocked.
    connect(&CheckSumBox, &QCheckBox::toggled, this, &ModuleEditorWindow::CheckSumBoxClick);
    connect(&UpdateButton, &QPushButton::clicked, this, &ModuleEditorWindow::UpdateSetingButtonClick);
    connect(&ShowSettingsBox, &QCheckBox::toggled, this, &ModuleEditorWindow::ShowSetingsCheckBoxClick);
    connect(&TrendButton, &QPushButton::clicked, this, &ModuleEditorWindow::TrendButtonClick);

    connect(&turn, &EditorTurn::ConfigShown, this, &ModuleEditorWindow::ShowConfig);
    connect(&turn, &EditorTurn::InitModeShown, this, &ModuleEditorWindow::ShowInitMode);
    connect(&turn, &EditorTurn::CaptionsShown, this, &ModuleEditorWindow::ShowCaptions);
    connect(&turn, &EditorTurn::SettingsRestored, this, &ModuleEditorWindow::RestoreControls);
    connect(&turn, &EditorTurn::AddressRefused, this, [this] {
        const QSignalBlocker blocker(DecAdrSpinEdit);
        DecAdrSpinEdit.setValue(turn.StoredAddress());
    });
    connect(&turn, &EditorTurn::UpdateStarted, this, [this] { UpdateButton.setEnabled(false); });
    // The boxes open from the event loop once the turn's step is over: the bus never waits for the user.
    connect(
        &turn, &EditorTurn::AddressRefused, this, [] { Prompts().Error("Invalid address !"); },
        Qt::QueuedConnection);
    connect(&turn, &EditorTurn::ConfigurationDone, this, &ModuleEditorWindow::ShowConfigurationDone,
            Qt::QueuedConnection);
    connect(
        &turn, &EditorTurn::CalibrationDone, this,
        [](bool taken) {
            if (taken)
                Prompts().Information("Calibration successful !");
            else
                Prompts().Error("Calibration failed !");
        },
        Qt::QueuedConnection);
    connect(&turn, &EditorTurn::FirmwareShown, this, TextShower(FirmWareEdit));
    connect(&turn, &EditorTurn::StatusShown, &StatusBox, &QGroupBox::setTitle);
    connect(&turn, &EditorTurn::CloseRequested, this, &QWidget::close);
}

void ModuleEditorWindow::AddDataRow(QLayout *row)
{
    dataAreaLayout->insertLayout(dataAreaLayout->count() - 1, row);
}

void ModuleEditorWindow::AddDataWidget(QWidget *widget)
{
    dataAreaLayout->insertWidget(dataAreaLayout->count() - 1, widget);
}

void ModuleEditorWindow::AddSettingRow(QLabel &label, QWidget &field)
{
    const int row = settingLayout->rowCount();
    settingLayout->addWidget(&label, row, 0);
    settingLayout->addWidget(&field, row, 1, 1, 2);
    label.setBuddy(&field);
}

void ModuleEditorWindow::AddSettingComboBox(QLabel &label, const QString &labelName, const QString &labelText,
                                            QComboBox &box, const QString &boxName, const QStringList &items,
                                            int row)
{
    SetUpLabel(label, labelName, labelText);
    SetUpSettingCombo(box, boxName, items);
    AddSettingRow(label, box);
    settingBoxes.at(row) = &box;
    ShowStoredItem(box, turn.Setting(row).stored);
    connect(&box, &QComboBox::currentTextChanged, this, [this, row] { SettingComboBoxChange(row); });
}

void ModuleEditorWindow::AddCaptionEdit(QLineEdit &edit, int index)
{
    if (static_cast<int>(captionEdits.size()) <= index)
        captionEdits.resize(index + 1, nullptr);
    captionEdits[index] = &edit;
    SetUpNameEdit(edit);
    edit.setText(turn.Captions().value(index));
    connect(&edit, &QLineEdit::textChanged, this,
            [this, index](const QString &text) { turn.SetCaption(index, text); });
}

void ModuleEditorWindow::ShowStoredItem(QComboBox &box, int index)
{
    if (index < 0 || index >= box.count())
        index = -1;
    const QSignalBlocker blocker(box);
    box.setCurrentIndex(index);
    if (index < 0)
        box.setEditText(QString());
}

int ModuleEditorWindow::ItemIndex(const QComboBox &box)
{
    return box.findText(box.currentText(), Qt::MatchFixedString);
}

void ModuleEditorWindow::ShowModelCaption(const QString &model)
{
    setWindowTitle(windowTitle().contains("Init") ? model + " - Init" : model);
}

void ModuleEditorWindow::AskCalibration(CalibrationCode code, const QString &caption, const QString &message)
{
    OpenCalibrationDialog(
        this, [this](int request) { turn.RequestCalibration(static_cast<CalibrationCode>(request)); },
        static_cast<int>(code), caption, message);
}

// What the turn reports

void ModuleEditorWindow::ShowConfig()
{
    const QString address = FromWire(turn.ConfigAddressText());
    {
        const QSignalBlocker blocker(DecAdrSpinEdit);
        DecAdrSpinEdit.setValue(turn.StoredAddress());
    }
    AdresHexEdit.setText(address + HexSuffix);
    GroupBox1.setTitle(address + " (" + QString::number(turn.StoredAddress()) + ")");
    ShowStoredItems();
    {
        const QSignalBlocker blocker(CheckSumBox);
        CheckSumBox.setChecked(turn.StoredChecksum());
    }
    ShowTypeConfig();
    UpdateButton.setEnabled(false);
}

void ModuleEditorWindow::ShowInitMode(bool init)
{
    SettingBox.setEnabled(true);
    BaudrateComboBox.setEnabled(init);
    CheckSumBox.setEnabled(init);
    if (init)
        setWindowTitle(windowTitle() + " - Init");
}

void ModuleEditorWindow::ShowConfigurationDone(bool written)
{
    // A module in INIT stores the new settings but goes on answering at 00 until it is powered up without the
    // INIT wire; the tree already shows where it will be found then.
    if (written && turn.IsInitMode())
        workspace.SetHint(InitSettingsHint);
    if (written)
        Prompts().Information("Configuration successful !");
    else
        Prompts().Error("Configuration failed !");
}

void ModuleEditorWindow::ShowCaptions()
{
    const QStringList captions = turn.Captions();
    for (int index = 0; index < static_cast<int>(captionEdits.size()); ++index)
        if (captionEdits[index])
            ShowText(*captionEdits[index], captions.value(index));
}

void ModuleEditorWindow::RestoreControls()
{
    AdresHexEdit.setText(FromWire(HexByte(turn.StoredAddress())) + HexSuffix);
    {
        const QSignalBlocker blocker(DecAdrSpinEdit);
        DecAdrSpinEdit.setValue(turn.StoredAddress());
    }
    ShowStoredItems();
    const QSignalBlocker blocker(CheckSumBox);
    CheckSumBox.setChecked(turn.StoredChecksum());
}

void ModuleEditorWindow::ShowStoredItems()
{
    for (int row = 0; row < static_cast<int>(settingBoxes.size()); ++row)
        if (settingBoxes[row])
            ShowStoredItem(*settingBoxes[row], turn.Setting(row).stored);
}

// What the user did

void ModuleEditorWindow::DecAdrSpinEditChange()
{
    AdresHexEdit.setText(" " + FromWire(HexByte(DecAdrSpinEdit.value())) + HexSuffix);
    UpdateButton.setEnabled(true);
    turn.ChooseAddress(DecAdrSpinEdit.value());
}

void ModuleEditorWindow::SettingComboBoxChange(int row)
{
    QComboBox &box = *settingBoxes.at(row);
    const int index = ItemIndex(box);
    if (index < 0)
        ShowStoredItem(box, turn.Setting(row).stored);
    else
        UpdateButton.setEnabled(true);
    turn.ChooseSetting(row, index);
}

void ModuleEditorWindow::CheckSumBoxClick()
{
    UpdateButton.setEnabled(true);
    turn.ChooseChecksum(CheckSumBox.isChecked());
}

void ModuleEditorWindow::UpdateSetingButtonClick()
{
    turn.RequestUpdate();
}

void ModuleEditorWindow::ShowSetingsCheckBoxClick()
{
    ApplySettingsLayout(ShowSettingsBox.isChecked());
}

void ModuleEditorWindow::TrendButtonClick()
{
    workspace.ShowTrend(turn.Trend());
}

// Layout and lifetime

void ModuleEditorWindow::ApplySettingsLayout(bool settingsShown)
{
    const QSize data = DataAreaBox.sizeHint();
    const QSize setting = SettingBox.sizeHint();
    const int boxHeight = qMax(data.height(), setting.height());
    const int top = StatusBox.fontMetrics().height() + 4;
    DataAreaBox.setGeometry(2, top, data.width(), boxHeight);
    SettingBox.setGeometry(2 + data.width() + 1, top, setting.width(), boxHeight);
    SettingBox.setVisible(settingsShown);

    const int statusWidth = settingsShown ? data.width() + setting.width() + 5 : data.width() + 4;
    const int groupTop = GroupBox1.fontMetrics().height() + 4;
    StatusBox.setGeometry(8, groupTop, statusWidth, top + boxHeight + 4);
    const int windowWidth = statusWidth + (settingsShown ? 22 : 21);
    const int windowHeight = StatusBox.geometry().bottom() + 9;
    GroupBox1.setGeometry(0, 0, windowWidth, windowHeight);
    setFixedSize(windowWidth, windowHeight);
}

void ModuleEditorWindow::FormShow()
{
    if (!ShowSettingsBox.isChecked())
        ApplySettingsLayout(false);
}

void ModuleEditorWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Only the window's own showing, not its return from the task bar.
    if (event->spontaneous())
        return;
    turn.WindowShown();
    FormShow();
    CentreOnScreen();
}

void ModuleEditorWindow::CentreOnScreen()
{
    if (centred)
        return;
    centred = true;
    if (const QScreen *screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void ModuleEditorWindow::closeEvent(QCloseEvent *event)
{
    if (!turn.Close()) {
        // The turn is served to its end first; the turn asks for the close again then.
        event->ignore();
        return;
    }
    event->accept();
    // Never deleted at once: a delivery may still be on the call stack above a nested event loop.
    deleteLater();
}

} // namespace navix
