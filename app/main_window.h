#pragma once
// app/ assembles the program: the main window, its small dialogs and the wiring of every window.
//
// The main window: the workspace of the program. It holds the bus session (the serial port, the module
// records, the transaction engine and the bus router), shows the tree of the computer, its ports and the
// modules found on the open port, the port panel with the command log, and the status bar; every tool window
// and module editor reaches it through Workspace.
//
// How the windows are wired, one way only: a window that wants something of the main window calls it through
// the Workspace interface; the main window wants something of another window only by a signal (SearchWanted,
// LoadStarted, ...), and NavixProgram (program.cpp) connects those signals to the windows it creates. The
// main window holds no pointer to another window.

#include "bus/network_port_store.h"
#include "bus/port_directory.h"
#include "bus/port_watch.h"
#include "bus/serial_port.h"
#include "bus/transaction_engine.h"
#include "config/module_file.h"
#include "module_tree.h"
#include "workspace/bus_session.h"
#include "workspace/module_records.h"
#include "workspace/workspace.h"

#include <QMainWindow>
#include <QMap>
#include <QPointer>
#include <QRect>
#include <QStringList>
#include <QTimer>

#include <functional>

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QSpinBox;
class QSplitter;
class QStatusBar;
class QToolBar;
class QToolButton;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;

namespace navix {

class TForm1 : public QMainWindow, public Workspace
{
    Q_OBJECT
public:
    static constexpr const char *MainCaption = "Navix V1.2";
    static constexpr int DefaultTimeOutMs = 100;
    static constexpr int ComTimerMs = 250;
    // Ports offered when none can be listed at all: COM1 to COM4.
    static constexpr int FallbackPortCount = 4;
    // Shown when this user may not open a serial device; the message box keeps the system's text.
    static constexpr const char *PermissionHint =
        "Hint: Permission denied: add your user to the group dialout (sudo usermod -aG dialout $USER), "
        "then log out and in again...";
    // Follows the port hint of a network port.
    static constexpr const char *NetworkBaudNote =
        " (network port: the baud rate has no effect, the device server sets its line's rate)";

    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    // Workspace
    TransactionEngine &Engine() override { return engine; }
    BusRouter &Router() override { return router; }
    ModuleRegistry &Modules() override { return modules; }
    void ClearModules(bool keepRouting) override;
    void QueueModuleItem(const QString &caption) override { moduleTree.Queue(caption); }
    void FlushModuleItems() override;
    void DropPendingModuleItems() override { moduleTree.DropPending(); }
    bool IsAddressFree(const QByteArray &address) override { return moduleTree.IsAddressFree(address); }
    void UpdateModuleRecord(const QByteArray &address, const QByteArray &config,
                            EditorState editorState) override;
    void RelabelModule(const QByteArray &address, const QString &caption) override;
    int TimeOutFieldMs() const override { return panelTimeOutMs; }
    int LineBaud() const override { return ApdComPort1.Baud(); }
    void SetLineBaud(int baud) override;
    void SetHint(const QString &hint) override;
    void SetWorkspaceCaption(const QString &caption) override;
    QRect MainGeometry() const override;
    void SetMainEnabled(bool enabled) override;
    void ShowMemoryUtilities(const QByteArray &address, bool checksum) override
    {
        emit MemoryUtilitiesWanted(address, checksum);
    }
    void ShowTrend(TrendFeed &feed) override { emit TrendWanted(&feed); }

    // Ports
    void EnumeratePorts();
    // Brings the port items under "PC" up to date with the ports that exist now: new ones are added and
    // vanished ones removed, except the chosen port and a port with module items, which wait for the
    // next EnumeratePorts. Nothing else is touched.
    void RefreshPortList();
    // Network ports are remembered in this store (not owned), and the ones it holds are offered now.
    // Without a store nothing is remembered.
    void SetNetworkPortStore(NetworkPortStore *store);
    const PortDirectory &Ports() const { return portDirectory; }
    // Chooses the port of a tree caption "COM<n>"; the port opens on the next tick of ComTimer1.
    void SelectPort(const QString &caption);
    void EnableWorkspace(bool on);
    // The open port's hint: "Hint: Com " + number + two blanks + baud rate + " bps", for a network port
    // followed by NetworkBaudNote, for a USB adapter that holds replies longer than it needs to by a note
    // saying how to lower its latency timer.
    QString PortHint() const;
    TApdComPort &ComPort() { return ApdComPort1; }
    BusSession &Session() { return session; }
    PortWatch &PortWatcher() { return PortWatch1; } // says when the port list may have changed

    // Module tree
    void OpenModuleEditor(const QString &caption);
    // The item of port "COM<number>" (first or last of that caption), nullptr when the tree has none.
    QTreeWidgetItem *FindPortItem(int number, bool last = false) const
    {
        return moduleTree.FindPortItem(number, last);
    }
    // Captions of the module items under a port item, in tree order.
    QStringList ModuleCaptions(const QTreeWidgetItem *portItem) const
    {
        return moduleTree.ModuleCaptions(portItem);
    }
    const QStringList &PendingCaptions() const { return moduleTree.PendingCaptions(); }

    // The ticks of LoadTimer (one module block of the configuration file being loaded) and of DateTimeTimer,
    // for callers that do not wait for the timers.
    void LoadTimerTimer();
    void DateTimeTimerTimer();
    static constexpr int LoadTimerMs = 30;

    // The configuration file being loaded stops before its next module block (the loading window was
    // cancelled).
    void CancelLoad() { loadCancelled = true; }

    // Seams: where the port list, the screen and the editor windows come from.
    using PortLister = std::function<QMap<int, QString>()>;
    using EditorFactory = ModuleTree::EditorFactory;
    void SetPortLister(PortLister lister) { portLister = std::move(lister); }
    void SetScreenGeometry(std::function<QRect()> source) { screenGeometry = std::move(source); }
    void SetEditorFactory(EditorFactory factory) { moduleTree.SetEditorFactory(std::move(factory)); }

signals:
    // The main window was closed: the program ends.
    void Closed();
    // The user asked for a tool window or dialog from a menu, a button or the tree's pop-up.
    void SearchWanted();
    void TerminalWanted();
    void PacingWanted();
    void AboutWanted();
    // An editor asked for the memory utilities of the Tvr 5x at this address.
    void MemoryUtilitiesWanted(const QByteArray &address, bool checksum);
    void TrendWanted(TrendFeed *feed);
    // Loading a configuration file: started, the module block being loaded, ended (also when cancelled).
    void LoadStarted();
    void ModuleLoading(const QByteArray &typeId, const QByteArray &addressText);
    void LoadEnded();
    // File > Compare with bus: the chosen configuration file, by name, and its modules by address.
    void CompareWanted(const QString &fileName, const QList<ModuleRecordPtr> &modules);

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Handlers, named after control and event.
    void AddNetworkPortClick();
    void RemoveNetworkPortClick();
    void ComTimer1Timer();
    void BaudRateComboBoxChange();
    void SpinEdit1Change();
    void SpinEdit1Exit();
    void MainTreeViewClick();
    void MainTreeViewDblClick();
    void MainTreeViewEnter();
    void AutoSortItemsClick();
    void OpenFileButtonClick();
    void CompareWithBusClick();
    void SaveFileButtonClick();
    void Close1Click();
    void SearchButtonClick();
    void TerminalButtonClick();
    void MoveWindowsButtonClick();
    void SpeedButtonClick();
    void HelpButtonClick();
    void Layout();

    void ConnectPort();
    void StartTimers();
    void BuildMenus();
    void BuildFileMenu();
    void BuildToolsMenu();
    void BuildPortsMenu();
    void BuildCommandLog();
    void BuildToolBar();
    void BuildTree();
    void BuildPortPanel();
    void BuildPortFields();
    void LayOutPortPanel();
    // Runs a stage of the port opening that touches the device; a failure is shown and leaves ComTimer1
    // stopped.
    void RunPortStage(const std::function<void()> &stage);
    void BuildStatusBar();
    void SetTabOrder();
    void ShowPortPanel();
    void PortOpenFailed(const QString &message);
    void ApdComPort1OpenFailed(const QString &message);
    QMap<int, QString> ListSerialPorts() const;
    void SyncPortItems();
    // The network port of the current tree item that may be withdrawn now; 0 when there is none.
    int RemovableNetworkPort() const;
    void SaveNetworkPorts();
    void TakeTimeOut(int milliseconds);
    void ApdComPort1DeviceLost(const QString &reason);
    void TreeItemChosen(QTreeWidgetItem *item);
    QRect ScreenGeometry() const;

    // The bus of the open port: the serial port, the engine, the router and the module records.
    BusSession session;
    TApdComPort &ApdComPort1 = *session.ComPort();
    QTimer ComTimer1{this};
    PortWatch PortWatch1;
    int comTimer1Tag = 0; // the port number the user chose
    QTimer DateTimeTimer{this};
    QTimer LoadTimer{this};

    ModuleRegistry &modules = session.Modules();
    TransactionEngine &engine = session.Engine();
    BusRouter &router = session.Router();
    ModuleTree moduleTree{*this, modules, router};
    QTreeWidgetItem *pcItem = nullptr;
    int panelTimeOutMs = DefaultTimeOutMs; // the last value the time-out field gave the engine
    bool portLost = false;                 // the open port's device went away

    ModuleFileLoad loadFile;    // open while a configuration file is being loaded
    bool loadCancelled = false; // the load stops before its next block
    PortLister portLister;
    PortDirectory portDirectory;
    NetworkPortStore *networkPortStore = nullptr;
    std::function<QRect()> screenGeometry;

    // Controls and timers; tests find them by their object names.

    QTreeWidget *MainTreeView = nullptr;
    QMenu *EnaDisModules = nullptr;
    QAction *SearchPopupItem = nullptr;
    QAction *TerminalPopupItem = nullptr;
    QAction *AutoSortItems = nullptr;
    // Also in the tree's pop-up.
    QMenu *Ports1 = nullptr;
    QAction *AddNetworkPort1 = nullptr;
    QAction *RemoveNetworkPort1 = nullptr;

    QSplitter *Splitter1 = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    QGroupBox *ComProperties = nullptr;
    QLabel *ComLabel = nullptr;
    QLineEdit *ComEdit = nullptr;
    QLabel *DevicePathLabel = nullptr;
    QLineEdit *DevicePathEdit = nullptr;
    QLabel *BaudRateLabel = nullptr;
    QComboBox *BaudRateComboBox = nullptr;
    QLabel *DataBitsLabel = nullptr;
    QLineEdit *DataBitsEdit = nullptr;
    QLabel *StopBitsLabel = nullptr;
    QLineEdit *StopBitsEdit = nullptr;
    QLabel *ParityLabel = nullptr;
    QLineEdit *ParityEdit = nullptr;
    QLabel *TimeOutLabel = nullptr;
    QSpinBox *SpinEdit1 = nullptr;
    QTreeView *ListView1 = nullptr;

    QStatusBar *StatusBar1 = nullptr;
    QLabel *TimePanel = nullptr;
    QLabel *DatePanel = nullptr;
    QLabel *HintPanel = nullptr;

    QMenu *File1 = nullptr;
    QAction *OpenFile = nullptr;
    QAction *SaveFile = nullptr;
    QAction *CompareWithBus1 = nullptr;
    QAction *Close1 = nullptr;
    QAction *Exit1 = nullptr;
    QMenu *Tools1 = nullptr;
    QAction *Search1 = nullptr;
    QAction *Terminal1 = nullptr;
    QAction *MoveWindows1 = nullptr;
    QAction *SpeedOfCommandSending1 = nullptr;
    QMenu *Help1 = nullptr;
    QAction *AboutNavixUtility1 = nullptr;

    QToolBar *ToolBar1 = nullptr;
    QToolButton *OpenFileButton = nullptr;
    QToolButton *SaveFileButton = nullptr;
    QToolButton *SearchButton = nullptr;
    QToolButton *TerminalButton = nullptr;
    QToolButton *MoveWindowsButton = nullptr;
    QToolButton *HelpButton = nullptr;
};

} // namespace navix
