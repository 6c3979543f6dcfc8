#pragma once
// editors/ holds the module editors: each type's poll turn, a widget-free state machine on the common
// EditorTurn (library navix_editor_turns), and the window that shows it (library navix_editors), with the
// calibration dialogs and the factory that opens the editor for a module record.
//
// The common part of every module editor window. An editor window shows one module: its address, baud rate,
// checksum use, firmware and live data. It holds controls only: its poll turn (EditorTurn and the type's
// turn class) holds the module's settings and requests and takes part in the engine's editor cycle. The
// window shows what the turn reports and hands it what the user did; it owns the turn as a child object,
// so the turn goes with the window.

#include "editor_turn.h"

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

namespace navix {

// What differs between the module types in the common part of their windows.
struct EditorDesign
{
    QString typeNumber;        // names the group boxes: Box<n>, GSBox<n>, DABox<n>
    QString baudrateComboName; // e.g. Baudrate60ComboBox
    QString caption;           // model name, the window caption ("Navix 720")
    QString updateButtonName = QStringLiteral("UpdateSetingButton");
    QString showSettingsName = QStringLiteral("ShowSetingsCheckBox");
    QString checkSumText = QStringLiteral(" Enabled");
    bool hasSynDataEdit = true; // the 4152 design has none
};

class ModuleEditorWindow : public QWidget
{
    Q_OBJECT
public:
    // The hint panel after a configuration written in INIT.
    static constexpr const char *InitSettingsHint =
        "Hint: the module keeps address 00 until it is powered up without INIT";

    // Takes turn (created without a parent) as its child.
    ModuleEditorWindow(Workspace &workspace, const EditorDesign &design, EditorTurn &turn,
                       QWidget *parent = nullptr);

    EditorTurn &Turn() const { return turn; }

    // Handlers of the settings controls.
    void DecAdrSpinEditChange();
    void SettingComboBoxChange(int row);
    void CheckSumBoxClick();
    void UpdateSetingButtonClick();
    void ShowSetingsCheckBoxClick();
    void TrendButtonClick();

protected:
    // Building the type's controls: rows of the data area go above "Show setting", setting rows below the
    // firmware row.
    void AddDataRow(QLayout *row);
    void AddDataWidget(QWidget *widget);
    void AddSettingRow(QLabel &label, QWidget &field);
    // A setting combo box with its label in a row of its own, showing the turn's setting row.
    void AddSettingComboBox(QLabel &label, const QString &labelName, const QString &labelText, QComboBox &box,
                            const QString &boxName, const QStringList &items, int row);
    // An edit that shows and takes the turn's caption at index (a description or channel name, which takes
    // only what a configuration file can hold).
    void AddCaptionEdit(QLineEdit &edit, int index);
    // Shows the item without counting as a change by the user; an index outside the list shows no item.
    static void ShowStoredItem(QComboBox &box, int index);
    // The list index of the text in the box, compared without regard to case; -1 when it is no item.
    static int ItemIndex(const QComboBox &box);
    // The window caption for a model, keeping the " - Init" mark.
    void ShowModelCaption(const QString &model);
    // What a calibration button does: the calibration dialog, set to hand the code to the turn.
    void AskCalibration(CalibrationCode code, const QString &caption, const QString &message);

    // The type's controls that follow the stored configuration.
    virtual void ShowTypeConfig() {}
    // Widths of the status box and the window with the setting group shown or hidden.
    virtual void ApplySettingsLayout(bool settingsShown);
    virtual void FormShow();

    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

    Workspace &workspace;

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
    QPushButton TrendButton; // opens the trend of the values this editor reads

private:
    void BuildGroups(const EditorDesign &design);
    void BuildAddressControls();
    void BuildSettingControls(const EditorDesign &design);
    void LayOutControls();
    void ConnectTurn();
    // What the turn reports.
    void ShowConfig();
    void ShowInitMode(bool init);
    void ShowCaptions();
    void ShowConfigurationDone(bool written);
    void RestoreControls();
    void ShowStoredItems();
    void CentreOnScreen();

    EditorTurn &turn;
    QVBoxLayout *dataAreaLayout = nullptr;
    QGridLayout *settingLayout = nullptr;
    std::vector<QComboBox *> settingBoxes; // by the turn's setting row
    std::vector<QLineEdit *> captionEdits; // by caption index
    bool centred = false;
};

} // namespace navix
