#include "main_window.h"

#include "app_icon.h"
#include "status_clock.h"
#include "tree_icons.h"
#include "tree_items.h"
#include "window_arrangement.h"

#include "bus/port_names.h"
#include "bus/port_routing.h"
#include "editors/editor_factory.h"
#include "tools/command_log_actions.h"
#include "tools/row_list_view.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDate>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTime>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>

namespace navix {

TForm1::TForm1(QWidget *parent) : QMainWindow(parent)
{
    setObjectName("Form1");
    setWindowTitle(MainCaption);
    setWindowIcon(ApplicationIcon());
    portLister = [] { return EnumerateComPorts(); };
    moduleTree.SetEditorFactory(
        [](Workspace &workspace, ModuleRecord &record) { return CreateModuleEditor(workspace, record); });
    ConnectPort();

    BuildMenus();
    BuildToolBar();
    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName("Splitter1");
    Splitter1->setChildrenCollapsible(false);
    BuildTree();
    GroupBox1 = new QGroupBox(Splitter1);
    GroupBox1->setObjectName("GroupBox1");
    GroupBox1->setMinimumSize(360, 240);
    GroupBox1->installEventFilter(this);
    BuildPortPanel();
    BuildCommandLog();
    Splitter1->addWidget(MainTreeView);
    Splitter1->addWidget(GroupBox1);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({180, 520});
    setCentralWidget(Splitter1);
    BuildStatusBar();
    SetTabOrder();
    resize(760, 520);

    StartTimers();
    ComProperties->hide();
    EnableWorkspace(false);
}

void TForm1::ConnectPort()
{
    connect(&ApdComPort1, &TApdComPort::DeviceLost, this, &TForm1::ApdComPort1DeviceLost);
    connect(&ApdComPort1, &TApdComPort::OpenFailed, this, &TForm1::ApdComPort1OpenFailed);
    // The port object opens what the port list offers under the chosen number.
    RoutePortThroughDirectory(ApdComPort1, portDirectory, [this] { return ListSerialPorts(); });
    connect(&PortWatch1, &PortWatch::Changed, this, &TForm1::RefreshPortList);
}

void TForm1::StartTimers()
{
    ComTimer1.setObjectName("ComTimer1");
    ComTimer1.setSingleShot(true);
    ComTimer1.setInterval(ComTimerMs);
    connect(&ComTimer1, &QTimer::timeout, this, &TForm1::ComTimer1Timer);
    DateTimeTimer.setObjectName("DateTimeTimer");
    DateTimeTimer.setInterval(1000);
    connect(&DateTimeTimer, &QTimer::timeout, this, &TForm1::DateTimeTimerTimer);
    DateTimeTimer.start();
    LoadTimer.setObjectName("LoadTimer");
    LoadTimer.setSingleShot(true);
    LoadTimer.setInterval(LoadTimerMs);
    connect(&LoadTimer, &QTimer::timeout, this, &TForm1::LoadTimerTimer);
}

void TForm1::BuildCommandLog()
{
    ListView1 = new QTreeView(GroupBox1);
    ListView1->setObjectName("ListView1");
    ListView1->setAccessibleName("Command log");
    SetUpRowList(*ListView1, engine.CommandLog(), {70, 70, 2000});
    AddCommandLogActions(*ListView1, engine.CommandLog());
}

TForm1::~TForm1()
{
    // The child widgets outlive this part of the window: they go with the base class, after the members
    // here. A field that loses the focus then (the time-out field takes its number) must reach neither
    // handler nor filter of a window that is gone.
    for (QObject *child : findChildren<QObject *>()) {
        disconnect(child, nullptr, this, nullptr);
        child->removeEventFilter(this);
    }
    ComTimer1.stop();
    PortWatch1.Stop();
    // The editors refer to this workspace; none may outlive it, not even until a deferred delete.
    moduleTree.FreeEditorWindows();
    ListView1->setModel(nullptr);
}

void TForm1::BuildMenus()
{
    BuildFileMenu();
    BuildToolsMenu();
    BuildPortsMenu();
    Help1 = menuBar()->addMenu("&Help");
    Help1->setObjectName("Help1");
    AboutNavixUtility1 = Help1->addAction("&About NAVIX utility ", this, &TForm1::HelpButtonClick);
    AboutNavixUtility1->setObjectName("AboutNavixUtility1");
}

void TForm1::BuildFileMenu()
{
    File1 = menuBar()->addMenu("&File");
    File1->setObjectName("File1");
    OpenFile = File1->addAction("&Open ...", this, &TForm1::OpenFileButtonClick);
    OpenFile->setObjectName("OpenFile");
    SaveFile = File1->addAction("&Save ...", this, &TForm1::SaveFileButtonClick);
    SaveFile->setObjectName("SaveFile");
    CompareWithBus1 = File1->addAction("Compare with &bus ...", this, &TForm1::CompareWithBusClick);
    CompareWithBus1->setObjectName("CompareWithBus1");
    Close1 = File1->addAction("&Close", this, &TForm1::Close1Click);
    Close1->setObjectName("Close1");
    Exit1 = File1->addAction("&Exit", this, &QWidget::close);
    Exit1->setObjectName("Exit1");
}

void TForm1::BuildToolsMenu()
{
    Tools1 = menuBar()->addMenu("&Tools");
    Tools1->setObjectName("Tools1");
    Search1 = Tools1->addAction("&Search ...", this, &TForm1::SearchButtonClick);
    Search1->setObjectName("Search1");
    Terminal1 = Tools1->addAction("&Terminal ...", this, &TForm1::TerminalButtonClick);
    Terminal1->setObjectName("Terminal1");
    MoveWindows1 = Tools1->addAction("&Move windows", this, &TForm1::MoveWindowsButtonClick);
    MoveWindows1->setObjectName("MoveWindows1");
    SpeedOfCommandSending1 =
        Tools1->addAction("&Speed of command sending ...", this, &TForm1::SpeedButtonClick);
    SpeedOfCommandSending1->setObjectName("SpeedOfCommandSending1");
}

void TForm1::BuildPortsMenu()
{
    // Network ports can be added while no port is open, so they have a menu of their own rather than a
    // place in "&Tools", which stays disabled until a port is open.
    Ports1 = menuBar()->addMenu("&Ports");
    Ports1->setObjectName("Ports1");
    AddNetworkPort1 = Ports1->addAction("Add network port ...", this, &TForm1::AddNetworkPortClick);
    AddNetworkPort1->setObjectName("AddNetworkPort1");
    RemoveNetworkPort1 = Ports1->addAction("Remove network port", this, &TForm1::RemoveNetworkPortClick);
    RemoveNetworkPort1->setObjectName("RemoveNetworkPort1");
    connect(Ports1, &QMenu::aboutToShow, this,
            [this] { RemoveNetworkPort1->setEnabled(RemovableNetworkPort()); });
}

void TForm1::BuildToolBar()
{
    ToolBar1 = addToolBar("Tools");
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setMovable(false);
    auto addButton = [this](const char *name, const QString &hint, QStyle::StandardPixmap icon,
                            void (TForm1::*handler)()) {
        auto *button = new QToolButton(ToolBar1);
        button->setObjectName(name);
        button->setIcon(style()->standardIcon(icon));
        button->setText(hint);
        button->setToolTip(hint);
        button->setAccessibleName(hint);
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        connect(button, &QToolButton::clicked, this, handler);
        ToolBar1->addWidget(button);
        return button;
    };
    OpenFileButton =
        addButton("OpenFileButton", "Open file", QStyle::SP_DialogOpenButton, &TForm1::OpenFileButtonClick);
    SaveFileButton =
        addButton("SaveFileButton", "Save file", QStyle::SP_DialogSaveButton, &TForm1::SaveFileButtonClick);
    ToolBar1->addSeparator();
    SearchButton = addButton("SearchButton", "Searching for modules", QStyle::SP_FileDialogContentsView,
                             &TForm1::SearchButtonClick);
    TerminalButton =
        addButton("TerminalButton", "Com Terminal", QStyle::SP_ComputerIcon, &TForm1::TerminalButtonClick);
    MoveWindowsButton = addButton("MoveWindowsButton", "Move windows", QStyle::SP_TitleBarNormalButton,
                                  &TForm1::MoveWindowsButtonClick);
    ToolBar1->addSeparator();
    HelpButton = addButton("HelpButton", "Help", QStyle::SP_DialogHelpButton, &TForm1::HelpButtonClick);
}

void TForm1::BuildTree()
{
    MainTreeView = new QTreeWidget(Splitter1);
    MainTreeView->setObjectName("MainTreeView");
    MainTreeView->setAccessibleName("Ports and modules");
    MainTreeView->setHeaderHidden(true);
    MainTreeView->setColumnCount(1);
    MainTreeView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    MainTreeView->setSelectionMode(QAbstractItemView::SingleSelection);
    // A double-click chooses the item; folding it as well would hide the ports just listed.
    MainTreeView->setExpandsOnDoubleClick(false);
    MainTreeView->setContextMenuPolicy(Qt::CustomContextMenu);
    MainTreeView->installEventFilter(this);
    pcItem = new QTreeWidgetItem(MainTreeView, QStringList("PC"), ComputerItem);
    pcItem->setIcon(0, TreeIcon(TreeImage::Computer));
    moduleTree.SetTree(MainTreeView, pcItem);
    connect(MainTreeView, &QTreeWidget::itemClicked, this, &TForm1::MainTreeViewClick);
    connect(MainTreeView, &QTreeWidget::itemDoubleClicked, this, &TForm1::MainTreeViewDblClick);

    EnaDisModules = new QMenu(MainTreeView);
    EnaDisModules->setObjectName("EnaDisModules");
    SearchPopupItem = EnaDisModules->addAction("&Search...", this, &TForm1::SearchButtonClick);
    SearchPopupItem->setObjectName("SearchPopupItem");
    TerminalPopupItem = EnaDisModules->addAction("Terminal...", this, &TForm1::TerminalButtonClick);
    TerminalPopupItem->setObjectName("TerminalPopupItem");
    EnaDisModules->addSeparator();
    AutoSortItems = EnaDisModules->addAction("&Auto Sort Items", this, &TForm1::AutoSortItemsClick);
    AutoSortItems->setObjectName("AutoSortItems");
    AutoSortItems->setCheckable(true);
    EnaDisModules->addSeparator();
    EnaDisModules->addAction(AddNetworkPort1);
    EnaDisModules->addAction(RemoveNetworkPort1);
    connect(MainTreeView, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        RemoveNetworkPort1->setEnabled(RemovableNetworkPort());
        EnaDisModules->popup(MainTreeView->viewport()->mapToGlobal(at));
    });
}

void TForm1::BuildStatusBar()
{
    StatusBar1 = statusBar();
    StatusBar1->setObjectName("StatusBar1");
    auto addPanel = [this](const char *name, const QString &text, int width, int stretch) {
        auto *panel = new QLabel(text, StatusBar1);
        panel->setObjectName(name);
        panel->setMinimumWidth(width);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        StatusBar1->addWidget(panel, stretch);
        return panel;
    };
    TimePanel = addPanel("TimePanel", "Time :", 120, 0);
    DatePanel = addPanel("DatePanel", "Date :", 120, 0);
    HintPanel = addPanel("HintPanel", "Hint : Ready ?", 50, 1);
}

void TForm1::SetTabOrder()
{
    // Tree first, then the port panel row by row, then the command log.
    QWidget::setTabOrder(MainTreeView, ComEdit);
    QWidget::setTabOrder(ComEdit, DevicePathEdit);
    QWidget::setTabOrder(DevicePathEdit, BaudRateComboBox);
    QWidget::setTabOrder(BaudRateComboBox, DataBitsEdit);
    QWidget::setTabOrder(DataBitsEdit, StopBitsEdit);
    QWidget::setTabOrder(StopBitsEdit, ParityEdit);
    QWidget::setTabOrder(ParityEdit, SpinEdit1);
    QWidget::setTabOrder(SpinEdit1, ListView1);
}

void TForm1::EnableWorkspace(bool on)
{
    File1->menuAction()->setEnabled(on);
    // A compare asks the modules on the open port.
    CompareWithBus1->setEnabled(on);
    Tools1->menuAction()->setEnabled(on);
    TerminalButton->setEnabled(on);
    SearchButton->setEnabled(on);
    OpenFileButton->setEnabled(on);
    SaveFileButton->setEnabled(on);
    SearchPopupItem->setEnabled(on);
    TerminalPopupItem->setEnabled(on);
}

void TForm1::SetHint(const QString &hint)
{
    HintPanel->setText(hint);
    HintPanel->setToolTip(QString()); // a tooltip explains only the hint it came with
}

void TForm1::SetWorkspaceCaption(const QString &caption)
{
    setWindowTitle(caption);
}

QRect TForm1::MainGeometry() const
{
    return frameGeometry();
}

void TForm1::SetMainEnabled(bool enabled)
{
    setEnabled(enabled);
}

void TForm1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!event->spontaneous()) {
        router.ResumeRouting();
        EnumeratePorts();
        PortWatch1.Start();
    }
    Layout();
}

void TForm1::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Layout();
}

void TForm1::closeEvent(QCloseEvent *event)
{
    ComTimer1.stop();
    PortWatch1.Stop();
    ClearModules(false);
    try {
        ApdComPort1.SetOpen(false);
    } catch (const std::exception &) {
        // Closing cannot fail in a way the user could act on; the program ends anyway.
    }
    event->accept();
    emit Closed();
}

void TForm1::Layout()
{
    // The port panel on top and the command log below it, both filling GroupBox1's width.
    const int top = GroupBox1->fontMetrics().height() + 2;
    const int panelHeight = ComProperties->sizeHint().height();
    ComProperties->setGeometry(6, top, std::max(0, GroupBox1->width() - 12), panelHeight);
    ListView1->setGeometry(6, top + panelHeight + 2, std::max(0, GroupBox1->width() - 12),
                           std::max(0, GroupBox1->height() - panelHeight - 20));
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == GroupBox1 && event->type() == QEvent::Resize) {
        Layout();
    } else if (watched == MainTreeView && event->type() == QEvent::KeyPress) {
        const auto *keyEvent = static_cast<QKeyEvent *>(event);
        if (keyEvent->key() == Qt::Key_Return || keyEvent->key() == Qt::Key_Enter) {
            const QTreeWidgetItem *item = MainTreeView->currentItem();
            if (keyEvent->modifiers() & Qt::ShiftModifier && item && item->type() == ComputerItem)
                AddNetworkPortClick();
            else
                MainTreeViewEnter();
            return true;
        }
    } else if (watched == SpinEdit1 && event->type() == QEvent::FocusOut) {
        // Runs before the field corrects the text itself, so a text that is no number can still be seen.
        SpinEdit1Exit();
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::DateTimeTimerTimer()
{
    const QLocale locale = QLocale::system();
    const QString timeFormat = WithoutTimeZone(locale.timeFormat(QLocale::LongFormat));
    ShowClockText(*TimePanel, "Time : " + locale.toString(QTime::currentTime(), timeFormat));
    ShowClockText(*DatePanel, "Date : " + locale.toString(QDate::currentDate(), QLocale::ShortFormat));
}

void TForm1::Close1Click()
{
    setWindowTitle(MainCaption);
    ClearModules(false);
}

void TForm1::SearchButtonClick()
{
    emit SearchWanted();
}

void TForm1::TerminalButtonClick()
{
    emit TerminalWanted();
}

void TForm1::SpeedButtonClick()
{
    emit PacingWanted();
}

void TForm1::HelpButtonClick()
{
    emit AboutWanted();
}

QRect TForm1::ScreenGeometry() const
{
    if (screenGeometry)
        return screenGeometry();
    const QScreen *current = screen();
    return current ? current->geometry() : QRect(0, 0, 1024, 768);
}

void TForm1::MoveWindowsButtonClick()
{
    const QRect screenRect = ScreenGeometry();
    move(screenRect.topLeft());
    if (router.RoutingSuspended())
        return;
    const std::array<QList<QWidget *>, EditorKindCount> windows = moduleTree.OpenEditorWindows();
    std::array<int, EditorKindCount> openCounts{};
    for (int kind = 0; kind < EditorKindCount; ++kind)
        openCounts[kind] = static_cast<int>(windows[kind].size());
    const auto places = ArrangeEditors(screenRect.size(), 0, openCounts);
    for (int kind = 0; kind < EditorKindCount; ++kind)
        for (int n = 0; n < windows[kind].size(); ++n)
            if (QWidget *window = windows[kind][n]) {
                window->move(screenRect.topLeft() + places[kind].value(n));
                window->show();
            }
}

} // namespace navix
