#pragma once
// The common part of every module editor window. An editor shows one module: its address, baud rate, checksum
// use, firmware and live data, and writes a changed configuration back. It never touches the port: it takes
// its turn in the transaction engine's editor cycle, where each HandleReply call sends at most one command
// and gets that command's reply in the next call. The poll turn is a small state machine; a module type adds
// its controls, its commands and, where it needs them, phases of its own by overriding the step functions
// below.

#include "workspace/module_editor.h"
#include "workspace/workspace.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QWidget>

#include <vector>

// Where an editor stands in its poll turn. Start and Idle are the rest phases of every editor: in them no
// exchange of the editor is outstanding. TypePhase hands the step to the module type, which keeps its own
// phase.
enum class EditorPhase { Start, FirmwareAsked, DataAsked, WriteSent, Idle, ConfigSent, TypePhase };

// What differs between the module types in the common part of their windows.
struct EditorDesign
{
    QString typeNumber;        // names the group boxes: Box<n>, GSBox<n>, DABox<n>
    QString baudrateComboName; // e.g. Baudrate60ComboBox
    QString caption;           // model name, the window caption ("Navix 720")
    QString modelLabel;        // short label of the tree caption ("N720")
    QString updateButtonName = QStringLiteral("UpdateSetingButton");
    QString showSettingsName = QStringLiteral("ShowSetingsCheckBox");
    QString checkSumText = QStringLiteral(" Enabled");
    int baudrateCount = 6;      // the 4017 lists only the first five rates
    bool hasSynDataEdit = true; // the 4152 design has none
};

class ModuleEditorWindow : public QWidget, public ModuleEditor
{
    Q_OBJECT
public:
    static constexpr int RaisedTimeOutMs = 500; // configuration writes wait longer for the module
    static const QStringList BaudrateItems;
    static const QString CommunicationText;
    static const QString CommunicationErrorText;

    ModuleEditorWindow(Workspace &workspace, const EditorDesign &design, QWidget *parent = nullptr);

    // Set-up by the main window, in this order: module name (types with sub-types), configuration text, INIT
    // flag, the record's captions.
    virtual void SetModuleName(const QByteArray &typeId);
    void ShowConfig(const QByteArray &config);
    void SetInitMode(bool init);
    virtual void SetCaptions(const QStringList &captions) = 0;

    bool IsInitMode() const;
    void RestoreSettings();
    // Old address, new address, type code, baud code and format: the body of the configuration command.
    QByteArray ComposeConfig();

    bool HandleReply(const QByteArray &reply) final;
    void CloseAtTurnEnd() override;

    EditorPhase Phase() const { return phase; }
    bool UpdateRequested() const { return updateRequested; }
    int StoredAddress() const { return storedAddress; }
    bool StoredChecksum() const { return storedChecksum; }
    const QString &ModelLabel() const { return modelLabel; }
    // No exchange of this editor is outstanding.
    virtual bool IsRestPhase() const;
    // How many bus addresses the module takes, from its own address up.
    virtual int AddressSpan() const { return 1; }

    // Handlers of the settings controls.
    void DecAdrSpinEditChange();
    void SettingComboBoxChange(QComboBox *box);
    void CheckSumBoxClick();
    void UpdateSetingButtonClick();
    void ShowSetingsCheckBoxClick();

    // The group boxes and settings controls every editor has. The boxes and the baud combo box are named
    // after the module type, as are the update button and the "Show setting" box of some types.
    QGroupBox GroupBox1;
    QGroupBox StatusBox;   // Box<n>: the communication status
    QGroupBox DataAreaBox; // DABox<n>
    QGroupBox SettingBox;  // GSBox<n>
    QLabel AdresLabel;
    QLineEdit AdresHexEdit;
    QSpinBox DecAdrSpinEdit;
    QLabel BaudrateLabel;
    QComboBox BaudrateComboBox;
    QLabel CheckSumLabel;
    QCheckBox CheckSumBox;
    QLabel FirmWareLabel;
    QLineEdit FirmWareEdit;
    QPushButton UpdateButton;
    QLineEdit *SynDataEdit = nullptr; // hidden and unused; kept where the design has it
    QCheckBox ShowSettingsBox;

protected:
    // Building the type's controls: rows of the data area go above "Show setting", setting rows below the
    // firmware row. Setting combo boxes registered here share the change handler and are restored with the
    // other stored settings.
    void AddDataRow(QLayout *row);
    void AddDataWidget(QWidget *widget);
    void AddSettingRow(QLabel &label, QWidget &field);
    void RegisterSettingComboBox(QComboBox &box);
    // A setting combo box with its label in a row of its own, registered as above.
    void AddSettingComboBox(QLabel &label, const QString &labelName, const QString &labelText, QComboBox &box,
                            const QString &boxName, const QStringList &items);
    // Shows the item and makes it the stored setting; an index outside the list shows no item.
    void ShowStoredItem(QComboBox &box, int index);
    int StoredIndex(const QComboBox &box) const;
    // The list index of the text in the box, compared without regard to case; -1 when it is no item.
    static int ItemIndex(const QComboBox &box);

    // The re-entrancy guard of HandleReply: one flag for all open editors of a type.
    virtual bool &BusyFlag() = 0;
    void ClearBusyFlag() { BusyFlag() = false; }

    // The steps of the poll turn, one per phase; each returns true when the turn is over.
    virtual bool StartStep(const QByteArray &reply);
    virtual bool FirmwareAskedStep(const QByteArray &reply);
    virtual bool DataAskedStep(const QByteArray &reply);
    virtual bool WriteSentStep(const QByteArray &reply);
    virtual bool IdleStep(const QByteArray &reply);
    virtual bool ConfigSentStep(const QByteArray &reply);
    virtual bool TypePhaseStep(const QByteArray &reply);

    // The type's data query; the digital types ask "$AA6" and wait in DataAsked.
    virtual void SendDataQuery();
    // Shows a non-empty data reply.
    virtual void ShowData(const QByteArray &reply);
    // Sends a write of the type that waits for the data reply; false when none is pending.
    virtual bool SendPendingWrite();
    // Sends a calibration asked for since the last turn, once the data is read and no configuration update
    // waits; false when none is pending.
    virtual bool SendPendingCalibration();
    // After the data of a turn: the configuration update the user asked for, else a pending calibration;
    // false when neither waits.
    bool SendPendingRequest();
    // Whether the configuration write started from this phase waits the raised time-out for its reply.
    virtual bool RaisesConfigTimeOut(EditorPhase from) const;

    // Type parts of the configuration text: the fields beyond address, baud and checksum.
    virtual void ShowTypeConfig(const QByteArray &config);
    virtual QByteArray TypeCode() const;
    virtual int TypeFormatBits() const;

    // Widths of the status box and the window with the setting group shown or hidden.
    virtual void ApplySettingsLayout(bool settingsShown);
    virtual void FormShow();

    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

    // Commands: the address is the stored one, "00" in INIT mode, where no checksum is ever added.
    QByteArray AddressText() const;
    bool ChecksumFlag() const;
    QByteArray Command(char commandCharacter, const QByteArray &tail) const;
    // A checked frame ending in CR, the reply of most commands.
    void Send(const QByteArray &command, int expectedLength, char startChar, EditorPhase next);
    void SendFrame(const QByteArray &command, ReceiveMode receiveMode, char startChar, char endChar,
                   int expectedLength, EditorPhase next);
    void SetPhase(EditorPhase next) { phase = next; }

    void ShowFirmware(const QByteArray &reply);
    void ShowCommunicationStatus(bool replied);
    // Clears the update request and sends the configuration command; the reply comes to ConfigSentStep.
    void StartConfigurationUpdate(bool raiseTimeOut);
    void RaiseTimeOut();
    void RestoreTimeOut();
    // A calibration the user confirmed goes out with the raised time-out: the module takes a while to store
    // it. Its reply comes in TypePhase, where the type hands it to FinishCalibration.
    void SendCalibration(const QByteArray &command);
    // Any framed answer means the module stored the calibration. The time-out goes back to the port panel's
    // value and the turn ends.
    bool FinishCalibration(const QByteArray &reply);
    void SetModelLabel(const QString &label) { modelLabel = label; }

    Workspace &workspace;

private:
    struct StoredItem
    {
        QComboBox *box;
        int index;
    };
    StoredItem *FindStored(const QComboBox &box);
    // Every address the module would take at the new address is its own already or no other module's.
    bool IsNewAddressFree(int address) const;
    const StoredItem *FindStored(const QComboBox &box) const;
    void BuildControls(const EditorDesign &design);
    void CentreOnScreen();

    QVBoxLayout *dataAreaLayout = nullptr;
    QGridLayout *settingLayout = nullptr;
    std::vector<StoredItem> storedItems;
    QString modelLabel;
    EditorPhase phase = EditorPhase::Start;
    bool updateRequested = false;
    bool closePending = false; // the window was closed while an exchange of it was outstanding
    bool centred = false;
    int storedAddress = 0;
    bool storedChecksum = false;
    QByteArray storedConfig;
    QByteArray sentConfig; // the composed text of the configuration command that went out
};
