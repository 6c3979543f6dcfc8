#include "editor_window.h"

#include "editor_controls.h"

#include "bus/prompt.h"
#include "bus/text.h"

#include <QCloseEvent>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>

const QStringList ModuleEditorWindow::BaudrateItems = {"1200 ", "2400", "4800", "9600", "19200", "38400"};
const QString ModuleEditorWindow::CommunicationText = QStringLiteral(" Communication...");
const QString ModuleEditorWindow::CommunicationErrorText = QStringLiteral(" Communication Error...");

namespace {
constexpr int FirstBaudCode = 3;
constexpr int DefaultBaudIndex = 3; // 9600
constexpr int ChecksumBit = 0x40;
constexpr int AddressLength = 2;
constexpr int ConfigLength = 8;
} // namespace

ModuleEditorWindow::ModuleEditorWindow(Workspace &workspace, const EditorDesign &design, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      workspace(workspace), modelLabel(design.modelLabel)
{
    setWindowTitle(design.caption);
    BuildControls(design);
}

void ModuleEditorWindow::BuildControls(const EditorDesign &design)
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

    AdresLabel.setObjectName("AdresLabel");
    AdresLabel.setText("Address : ");
    AdresHexEdit.setObjectName("AdresHexEdit");
    AdresHexEdit.setReadOnly(true);
    AdresHexEdit.setText("0 (Hex)");
    DecAdrSpinEdit.setObjectName("DecAdrSpinEdit");
    DecAdrSpinEdit.setRange(0, 255);
    DecAdrSpinEdit.setValue(0);
    AdresLabel.setBuddy(&DecAdrSpinEdit);

    BaudrateLabel.setObjectName("BaudrateLabel");
    BaudrateLabel.setText("Baudrate :");
    SetUpSettingCombo(BaudrateComboBox, design.baudrateComboName, BaudrateItems.mid(0, design.baudrateCount));
    BaudrateComboBox.setEnabled(false);
    BaudrateLabel.setBuddy(&BaudrateComboBox);

    CheckSumLabel.setObjectName("CheckSumLabel");
    CheckSumLabel.setText("Check sum :");
    CheckSumBox.setObjectName("CheckSumBox");
    CheckSumBox.setText(design.checkSumText);
    CheckSumBox.setEnabled(false);
    CheckSumLabel.setBuddy(&CheckSumBox);

    FirmWareLabel.setObjectName("FirmWareLabel");
    FirmWareLabel.setText("Firmware :");
    FirmWareEdit.setObjectName("FirmWareEdit");
    FirmWareEdit.setReadOnly(true);
    FirmWareLabel.setBuddy(&FirmWareEdit);

    UpdateButton.setObjectName(design.updateButtonName);
    UpdateButton.setText("&Update setting");
    UpdateButton.setEnabled(false);

    if (design.hasSynDataEdit) {
        SynDataEdit = new QLineEdit(&DataAreaBox);
        SynDataEdit->setObjectName("SynDataEdit");
        SynDataEdit->setVisible(false);
        SynDataEdit->setEnabled(false);
    }

    ShowSettingsBox.setObjectName(design.showSettingsName);
    ShowSettingsBox.setText("Show setting");
    ShowSettingsBox.setChecked(false);

    dataAreaLayout = new QVBoxLayout(&DataAreaBox);
    dataAreaLayout->addWidget(&ShowSettingsBox);

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

    RegisterSettingComboBox(BaudrateComboBox);
    ShowStoredItem(BaudrateComboBox, DefaultBaudIndex);

    connect(&DecAdrSpinEdit, &QSpinBox::valueChanged, this, &ModuleEditorWindow::DecAdrSpinEditChange);
    connect(&CheckSumBox, &QCheckBox::clicked, this, &ModuleEditorWindow::CheckSumBoxClick);
    connect(&UpdateButton, &QPushButton::clicked, this, &ModuleEditorWindow::UpdateSetingButtonClick);
    connect(&ShowSettingsBox, &QCheckBox::toggled, this, &ModuleEditorWindow::ShowSetingsCheckBoxClick);
}

void ModuleEditorWindow::AddDataRow(QLayout *row)
{
    dataAreaLayout->insertLayout(dataAreaLayout->indexOf(&ShowSettingsBox), row);
}

void ModuleEditorWindow::AddDataWidget(QWidget *widget)
{
    dataAreaLayout->insertWidget(dataAreaLayout->indexOf(&ShowSettingsBox), widget);
}

void ModuleEditorWindow::AddSettingRow(QLabel &label, QWidget &field)
{
    const int row = settingLayout->rowCount();
    settingLayout->addWidget(&label, row, 0);
    settingLayout->addWidget(&field, row, 1, 1, 2);
    label.setBuddy(&field);
}

void ModuleEditorWindow::RegisterSettingComboBox(QComboBox &box)
{
    storedItems.push_back({&box, box.currentIndex()});
    connect(&box, &QComboBox::currentTextChanged, this, [this, &box] { SettingComboBoxChange(&box); });
}

void ModuleEditorWindow::AddSettingComboBox(QLabel &label, const QString &labelName, const QString &labelText,
                                            QComboBox &box, const QString &boxName, const QStringList &items)
{
    SetUpLabel(label, labelName, labelText);
    SetUpSettingCombo(box, boxName, items);
    AddSettingRow(label, box);
    RegisterSettingComboBox(box);
}

ModuleEditorWindow::StoredItem *ModuleEditorWindow::FindStored(const QComboBox &box)
{
    for (StoredItem &item : storedItems)
        if (item.box == &box)
            return &item;
    return nullptr;
}

const ModuleEditorWindow::StoredItem *ModuleEditorWindow::FindStored(const QComboBox &box) const
{
    for (const StoredItem &item : storedItems)
        if (item.box == &box)
            return &item;
    return nullptr;
}

void ModuleEditorWindow::ShowStoredItem(QComboBox &box, int index)
{
    if (index < 0 || index >= box.count())
        index = -1;
    const QSignalBlocker blocker(box);
    box.setCurrentIndex(index);
    if (index < 0)
        box.setEditText(QString());
    if (StoredItem *item = FindStored(box))
        item->index = index;
}

int ModuleEditorWindow::StoredIndex(const QComboBox &box) const
{
    const StoredItem *item = FindStored(box);
    return item ? item->index : box.currentIndex();
}

int ModuleEditorWindow::ItemIndex(const QComboBox &box)
{
    return box.findText(box.currentText(), Qt::MatchFixedString);
}

void ModuleEditorWindow::SetModuleName(const QByteArray &) {}

void ModuleEditorWindow::ShowConfig(const QByteArray &config)
{
    storedConfig = config;
    const QByteArray address = Copy(config, 1, AddressLength);
    {
        const QSignalBlocker blocker(DecAdrSpinEdit);
        DecAdrSpinEdit.setValue(HexToInt(address));
    }
    // The spin box keeps the address inside 0..255 even for a malformed text.
    storedAddress = DecAdrSpinEdit.value();
    AdresHexEdit.setText(FromWire(address) + " (Hex)");
    GroupBox1.setTitle(FromWire(address) + " (" + QString::number(storedAddress) + ")");

    // The baud code is written as a decimal number of two digits.
    bool isNumber = false;
    const int baudCode = Copy(config, 5, 2).toInt(&isNumber, 10);
    ShowStoredItem(BaudrateComboBox, isNumber ? baudCode - FirstBaudCode : -1);

    const QByteArray bits = HexToBits(Copy(config, 7, 2));
    storedChecksum = CharAt(bits, 2) == '1';
    {
        const QSignalBlocker blocker(CheckSumBox);
        CheckSumBox.setChecked(storedChecksum);
    }
    ShowTypeConfig(config);
    UpdateButton.setEnabled(false);
}

void ModuleEditorWindow::SetInitMode(bool init)
{
    SettingBox.setEnabled(true);
    BaudrateComboBox.setEnabled(init);
    CheckSumBox.setEnabled(init);
    if (init)
        setWindowTitle(windowTitle() + " - Init");
}

bool ModuleEditorWindow::IsInitMode() const
{
    return BaudrateComboBox.isEnabledTo(&SettingBox);
}

void ModuleEditorWindow::RestoreSettings()
{
    AdresHexEdit.setText(FromWire(HexByte(storedAddress)) + " (Hex)");
    {
        const QSignalBlocker blocker(DecAdrSpinEdit);
        DecAdrSpinEdit.setValue(storedAddress);
    }
    for (const StoredItem &item : storedItems)
        ShowStoredItem(*item.box, item.index);
    const QSignalBlocker blocker(CheckSumBox);
    CheckSumBox.setChecked(storedChecksum);
}

QByteArray ModuleEditorWindow::ComposeConfig()
{
    QByteArray oldAddress = HexByte(storedAddress);
    QByteArray newAddress = HexByte(DecAdrSpinEdit.value());
    if (newAddress != oldAddress && !workspace.IsAddressFree(newAddress)) {
        newAddress = oldAddress;
        {
            const QSignalBlocker blocker(DecAdrSpinEdit);
            DecAdrSpinEdit.setValue(storedAddress);
        }
        Prompts().Error("Invalid address !");
    }
    if (IsInitMode())
        oldAddress = "00";
    const int baudIndex = ItemIndex(BaudrateComboBox);
    // A baud code that has no item in the list is written back as the module reported it.
    QByteArray baudCode = baudIndex >= 0 ? HexByte(baudIndex + FirstBaudCode) : Copy(storedConfig, 5, 2);
    if (baudCode.size() != 2)
        baudCode = HexByte(DefaultBaudIndex + FirstBaudCode);
    const int format = (CheckSumBox.isChecked() ? ChecksumBit : 0) | TypeFormatBits();
    return oldAddress + newAddress + TypeCode() + baudCode + HexByte(format);
}

QByteArray ModuleEditorWindow::TypeCode() const
{
    return "40";
}

int ModuleEditorWindow::TypeFormatBits() const
{
    return 0;
}

void ModuleEditorWindow::ShowTypeConfig(const QByteArray &) {}

QByteArray ModuleEditorWindow::AddressText() const
{
    return IsInitMode() ? QByteArray("00") : HexByte(storedAddress);
}

bool ModuleEditorWindow::ChecksumFlag() const
{
    return !IsInitMode() && CheckSumBox.isChecked();
}

QByteArray ModuleEditorWindow::Command(char commandCharacter, const QByteArray &tail) const
{
    return commandCharacter + AddressText() + tail + CR;
}

void ModuleEditorWindow::Send(const QByteArray &command, int expectedLength, char startChar, EditorPhase next)
{
    SendFrame(command, CheckedFrame, startChar, CR, expectedLength, next);
}

void ModuleEditorWindow::SendFrame(const QByteArray &command, int receiveMode, char startChar, char endChar,
                                   int expectedLength, EditorPhase next)
{
    // The phase stands before the command leaves, so that whatever the port does next finds the editor ready
    // for the reply.
    phase = next;
    workspace.Engine().SendCommand(command, ChecksumFlag(), receiveMode, startChar, endChar, expectedLength);
}

bool ModuleEditorWindow::HandleReply(const QByteArray &reply)
{
    // A modal message box inside a step keeps the event loop running; a delivery that arrives meanwhile must
    // not start a second step of any editor of this type.
    bool &busy = BusyFlag();
    if (busy)
        return false;
    busy = true;
    bool turnOver = true;
    switch (phase) {
    case EditorPhase::Start:
        turnOver = StartStep(reply);
        break;
    case EditorPhase::FirmwareAsked:
        turnOver = FirmwareAskedStep(reply);
        break;
    case EditorPhase::DataAsked:
        turnOver = DataAskedStep(reply);
        break;
    case EditorPhase::WriteSent:
        turnOver = WriteSentStep(reply);
        break;
    case EditorPhase::Idle:
        turnOver = IdleStep(reply);
        break;
    case EditorPhase::ConfigSent:
        turnOver = ConfigSentStep(reply);
        break;
    case EditorPhase::TypePhase:
        turnOver = TypePhaseStep(reply);
        break;
    }
    busy = false;
    return turnOver;
}

bool ModuleEditorWindow::StartStep(const QByteArray &)
{
    Send(Command('$', "F"), 8, '!', EditorPhase::FirmwareAsked);
    return false;
}

bool ModuleEditorWindow::FirmwareAskedStep(const QByteArray &reply)
{
    ShowFirmware(reply);
    SendDataQuery();
    return false;
}

bool ModuleEditorWindow::DataAskedStep(const QByteArray &reply)
{
    if (!reply.isEmpty())
        ShowData(reply);
    ShowCommunicationStatus(!reply.isEmpty());
    if (SendPendingWrite() || SendPendingRequest())
        return false;
    phase = EditorPhase::Idle;
    return true;
}

bool ModuleEditorWindow::SendPendingRequest()
{
    if (updateRequested) {
        StartConfigurationUpdate(RaisesConfigTimeOut(EditorPhase::DataAsked));
        return true;
    }
    return SendPendingCalibration();
}

bool ModuleEditorWindow::WriteSentStep(const QByteArray &reply)
{
    ShowCommunicationStatus(!reply.isEmpty());
    if (updateRequested) {
        StartConfigurationUpdate(RaisesConfigTimeOut(EditorPhase::WriteSent));
        return false;
    }
    phase = EditorPhase::Idle;
    return true;
}

bool ModuleEditorWindow::IdleStep(const QByteArray &)
{
    SendDataQuery();
    return false;
}

bool ModuleEditorWindow::TypePhaseStep(const QByteArray &)
{
    phase = EditorPhase::Idle;
    return true;
}

void ModuleEditorWindow::SendDataQuery()
{
    Send(Command('$', "6"), 8, '!', EditorPhase::DataAsked);
}

void ModuleEditorWindow::ShowData(const QByteArray &) {}

bool ModuleEditorWindow::SendPendingCalibration()
{
    return false;
}

bool ModuleEditorWindow::SendPendingWrite()
{
    return false;
}

bool ModuleEditorWindow::RaisesConfigTimeOut(EditorPhase from) const
{
    return from == EditorPhase::DataAsked;
}

void ModuleEditorWindow::ShowFirmware(const QByteArray &reply)
{
    FirmWareEdit.setText(reply.isEmpty() ? QStringLiteral("Unknow !") : FromWire(Copy(reply, 4, 4)));
}

void ModuleEditorWindow::ShowCommunicationStatus(bool replied)
{
    StatusBox.setTitle(replied ? CommunicationText : CommunicationErrorText);
}

void ModuleEditorWindow::RaiseTimeOut()
{
    workspace.Engine().SetTimeOutMs(RaisedTimeOutMs);
}

void ModuleEditorWindow::RestoreTimeOut()
{
    workspace.Engine().SetTimeOutMs(workspace.TimeOutFieldMs());
}

void ModuleEditorWindow::SendCalibration(const QByteArray &command)
{
    RaiseTimeOut();
    Send(command, 4, '!', EditorPhase::TypePhase);
}

bool ModuleEditorWindow::FinishCalibration(const QByteArray &reply)
{
    // The time-out field's value also becomes the time-out timer's interval (the timer stands still here).
    RestoreTimeOut();
    phase = EditorPhase::Idle;
    if (!reply.isEmpty())
        Prompts().Information("Calibration successful !");
    else
        Prompts().Error("Calibration failed !");
    return true;
}

void ModuleEditorWindow::StartConfigurationUpdate(bool raiseTimeOut)
{
    updateRequested = false;
    UpdateButton.setEnabled(false);
    sentConfig = ComposeConfig();
    if (raiseTimeOut)
        RaiseTimeOut();
    Send('%' + sentConfig + CR, 4, '!', EditorPhase::ConfigSent);
}

bool ModuleEditorWindow::ConfigSentStep(const QByteArray &reply)
{
    if (!reply.isEmpty()) {
        // The record, the tree and the stored settings take what was actually written: the controls may have
        // changed (or been put back by a close) while the module was answering.
        const QByteArray oldAddress = HexByte(storedAddress);
        const QByteArray newAddress = Copy(sentConfig, 3, AddressLength);
        const QByteArray newConfig = Copy(sentConfig, 3, ConfigLength);
        workspace.RelabelModule(oldAddress, " (" + FromWire(newAddress) + ") " + modelLabel);
        workspace.UpdateModuleRecord(oldAddress, newConfig,
                                     closePending ? EditorState::CloseAtTurnEnd : EditorState::Open);
        ShowConfig(newConfig);
        Prompts().Information("Configuration successful !");
    } else {
        RestoreSettings();
        Prompts().Error("Configuration failed !");
    }
    RestoreTimeOut();
    phase = EditorPhase::Idle;
    return true;
}

bool ModuleEditorWindow::IsRestPhase() const
{
    return phase == EditorPhase::Start || phase == EditorPhase::Idle;
}

void ModuleEditorWindow::DecAdrSpinEditChange()
{
    AdresHexEdit.setText(" " + FromWire(HexByte(DecAdrSpinEdit.value())) + " (Hex)");
    UpdateButton.setEnabled(true);
}

void ModuleEditorWindow::SettingComboBoxChange(QComboBox *box)
{
    if (ItemIndex(*box) < 0)
        ShowStoredItem(*box, StoredIndex(*box));
    else
        UpdateButton.setEnabled(true);
}

void ModuleEditorWindow::CheckSumBoxClick()
{
    UpdateButton.setEnabled(true);
}

void ModuleEditorWindow::UpdateSetingButtonClick()
{
    updateRequested = true;
}

void ModuleEditorWindow::ShowSetingsCheckBoxClick()
{
    ApplySettingsLayout(ShowSettingsBox.isChecked());
}

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
    RestoreSettings();
    const QByteArray config = Copy(ComposeConfig(), 3, ConfigLength);
    const QByteArray address = HexByte(storedAddress);
    if (!IsRestPhase()) {
        // An exchange of this editor is outstanding: the engine serves it to the end of its turn and closes
        // the window then (CloseAtTurnEnd), which passes the other branch.
        closePending = true;
        workspace.UpdateModuleRecord(address, config, EditorState::CloseAtTurnEnd);
        event->ignore();
        return;
    }
    workspace.UpdateModuleRecord(address, config, EditorState::Closed);
    event->accept();
    // Never deleted at once: a delivery may still be on the call stack above a nested event loop.
    deleteLater();
}

void ModuleEditorWindow::CloseAtTurnEnd()
{
    close();
}
