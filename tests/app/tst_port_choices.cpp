// Ports the user adds and withdraws, and ports that cannot be opened: network ports through the menu, the
// tree's pop-up and Shift+Enter on "PC", remembered between runs; a device server that does not answer; a
// serial device this user may not open. Network ports are served by TCP servers of the test's own.

#include "support/find_control.h"
#include "support/pseudo_terminal.h"

#include "app/main_window.h"
#include "app/tree_items.h"
#include "support/recording_prompt.h"
#include "workspace/prompt.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <memory>

#include <unistd.h>

using namespace navix;

namespace {

QMap<int, QString> TwoSerialPorts()
{
    return {{1, "/dev/ttyS0"}, {3, "/dev/ttyUSB0"}};
}

// Runs a stretch of the test as an ordinary user where it runs as root, who may open any device.
class OrdinaryUser
{
public:
    static constexpr uid_t Nobody = 65534;
    OrdinaryUser()
    {
        if (::geteuid() == 0)
            dropped = ::seteuid(Nobody) == 0;
    }
    ~OrdinaryUser()
    {
        if (dropped)
            QVERIFY(::seteuid(0) == 0);
    }
    OrdinaryUser(const OrdinaryUser &) = delete;
    OrdinaryUser &operator=(const OrdinaryUser &) = delete;

private:
    bool dropped = false;
};

} // namespace

class TestPortChoices : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { InstallPrompt(&prompt); }
    void cleanupTestCase() { InstallPrompt(nullptr); }
    void init() { prompt.Clear(); }
    void cleanup() { form.reset(); }

    void AddingNetworkPortsFromEveryEntry();
    void NetworkPortsAreRememberedAndWithdrawn();
    void UnansweredServerIsReportedAndTriedAgain();
    void PermissionDeniedSaysHowToGetIn();

private:
    void MakeWindow(QMap<int, QString> (*lister)() = TwoSerialPorts);
    QStringList PortCaptions() const;

    RecordingPrompt prompt;
    std::unique_ptr<TForm1> form;
};

void TestPortChoices::MakeWindow(QMap<int, QString> (*lister)())
{
    form = std::make_unique<TForm1>();
    form->SetPortLister(lister);
    Find<QTimer>(*form, "ComTimer1")->setInterval(20);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
}

QStringList TestPortChoices::PortCaptions() const
{
    QStringList captions;
    const QTreeWidgetItem *pc = Find<QTreeWidget>(*form, "MainTreeView")->topLevelItem(0);
    for (int index = 0; index < pc->childCount(); ++index)
        captions.append(pc->child(index)->text(0));
    return captions;
}

void TestPortChoices::AddingNetworkPortsFromEveryEntry()
{
    MakeWindow();
    QCOMPARE(Find<QMenu>(*form, "Ports1")->actions(),
             QList<QAction *>(
                 {Find<QAction>(*form, "AddNetworkPort1"), Find<QAction>(*form, "RemoveNetworkPort1")}));
    QVERIFY(Find<QMenu>(*form, "EnaDisModules")->actions().contains(Find<QAction>(*form, "AddNetworkPort1")));

    // The menu entry, with the next free number (2 lies between the serial ports).
    prompt.addressAnswers = {{"10.0.0.7", 4001}};
    Find<QAction>(*form, "AddNetworkPort1")->trigger();
    QCOMPARE(PortCaptions(), QStringList({"COM1", "COM2", "COM3"}));
    QTreeWidgetItem *item = form->FindPortItem(2);
    QCOMPARE(item->toolTip(0), QString("10.0.0.7:4001"));
    QCOMPARE(Find<QTreeWidget>(*form, "MainTreeView")->currentItem(), item);
    QCOMPARE(Find<QLabel>(*form, "HintPanel")->text(),
             QString("Hint: Network port COM2 -> 10.0.0.7:4001, choose it to connect..."));

    // Shift+Enter on "PC"; Enter alone still lists the ports again.
    Find<QTreeWidget>(*form, "MainTreeView")
        ->setCurrentItem(Find<QTreeWidget>(*form, "MainTreeView")->topLevelItem(0));
    prompt.addressAnswers = {{"[fe80::1]", 23}};
    QTest::keyClick(Find<QTreeWidget>(*form, "MainTreeView"), Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(form->FindPortItem(4)->toolTip(0), QString("[fe80::1]:23"));
    Find<QTreeWidget>(*form, "MainTreeView")
        ->setCurrentItem(Find<QTreeWidget>(*form, "MainTreeView")->topLevelItem(0));
    QTest::keyClick(Find<QTreeWidget>(*form, "MainTreeView"), Qt::Key_Return);
    QCOMPARE(PortCaptions(), QStringList({"COM1", "COM2", "COM3", "COM4"}));
    QCOMPARE(prompt.dialogTitles, QStringList({"Add network port", "Add network port"}));

    // Cancelled, unusable, already listed.
    prompt.addressAnswers.clear();
    Find<QAction>(*form, "AddNetworkPort1")->trigger();
    prompt.addressAnswers = {{"  ", 4001}};
    Find<QAction>(*form, "AddNetworkPort1")->trigger();
    QCOMPARE(prompt.Texts(), QStringList({"Invalid network address !"}));
    QVERIFY(prompt.messages[0].error);
    prompt.addressAnswers = {{"10.0.0.7", 4001}};
    Find<QAction>(*form, "AddNetworkPort1")->trigger();
    QCOMPARE(PortCaptions(), QStringList({"COM1", "COM2", "COM3", "COM4"}));
    QCOMPARE(Find<QTreeWidget>(*form, "MainTreeView")->currentItem(), form->FindPortItem(2));
}

void TestPortChoices::NetworkPortsAreRememberedAndWithdrawn()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    NetworkPortStore store(folder.filePath("settings.conf"));
    MakeWindow();
    form->SetNetworkPortStore(&store);
    prompt.addressAnswers = {{"10.0.0.7", 4001}, {"10.0.0.8", 4001}};
    Find<QAction>(*form, "AddNetworkPort1")->trigger();
    Find<QAction>(*form, "AddNetworkPort1")->trigger();
    QCOMPARE(store.Load(), QList<NetworkPortEntry>({{2, {"10.0.0.7", 4001}}, {4, {"10.0.0.8", 4001}}}));

    // The next run: the same numbers, even though its serial ports were listed differently.
    form = std::make_unique<TForm1>();
    form->SetPortLister([] { return QMap<int, QString>{{1, "/dev/ttyS0"}}; });
    form->SetNetworkPortStore(&store);
    form->show();
    QCOMPARE(PortCaptions(), QStringList({"COM1", "COM2", "COM4"}));
    QCOMPARE(form->FindPortItem(4)->toolTip(0), QString("10.0.0.8:4001"));

    // Only a network port can be withdrawn, and not while it is the open one.
    Find<QTreeWidget>(*form, "MainTreeView")->setCurrentItem(form->FindPortItem(1));
    emit Find<QMenu>(*form, "Ports1")->aboutToShow();
    QVERIFY(!Find<QAction>(*form, "RemoveNetworkPort1")->isEnabled());
    Find<QAction>(*form, "RemoveNetworkPort1")->trigger();
    QCOMPARE(PortCaptions(), QStringList({"COM1", "COM2", "COM4"}));
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    prompt.addressAnswers = {{"127.0.0.1", server.serverPort()}};
    Find<QAction>(*form, "AddNetworkPort1")->trigger();
    QCOMPARE(Find<QTreeWidget>(*form, "MainTreeView")->currentItem(), form->FindPortItem(3));
    form->SelectPort("COM3");
    QTRY_VERIFY_WITH_TIMEOUT(Find<QGroupBox>(*form, "ComProperties")->isVisible(), 3000);
    emit Find<QMenu>(*form, "Ports1")->aboutToShow();
    QVERIFY(!Find<QAction>(*form, "RemoveNetworkPort1")->isEnabled());

    Find<QTreeWidget>(*form, "MainTreeView")->setCurrentItem(form->FindPortItem(2));
    emit Find<QMenu>(*form, "Ports1")->aboutToShow();
    QVERIFY(Find<QAction>(*form, "RemoveNetworkPort1")->isEnabled());
    Find<QAction>(*form, "RemoveNetworkPort1")->trigger();
    QCOMPARE(PortCaptions(), QStringList({"COM1", "COM3", "COM4"}));
    QCOMPARE(store.Load(),
             QList<NetworkPortEntry>({{3, {"127.0.0.1", server.serverPort()}}, {4, {"10.0.0.8", 4001}}}));
    QVERIFY(form->ComPort().IsOpen());
    QVERIFY(prompt.messages.isEmpty());
}

void TestPortChoices::UnansweredServerIsReportedAndTriedAgain()
{
    quint16 tcpPort = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        tcpPort = probe.serverPort();
    }
    MakeWindow();
    prompt.addressAnswers = {{"127.0.0.1", tcpPort}};
    Find<QAction>(*form, "AddNetworkPort1")->trigger();
    form->SelectPort("COM2");
    QTRY_COMPARE_WITH_TIMEOUT(prompt.messages.size(), 1, 3000);
    QVERIFY(prompt.messages[0].error);
    QCOMPARE(prompt.messages[0].text, "COM2: 127.0.0.1:" + QString::number(tcpPort) + ": Connection refused");
    QVERIFY(Find<QGroupBox>(*form, "ComProperties")->isHidden());
    QVERIFY(!Find<QToolButton>(*form, "SearchButton")->isEnabled());

    // The server is up now: choosing the same port again connects.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, tcpPort));
    form->SelectPort("COM2");
    QTRY_VERIFY_WITH_TIMEOUT(Find<QGroupBox>(*form, "ComProperties")->isVisible(), 3000);
    QCOMPARE(Find<QLineEdit>(*form, "DevicePathEdit")->text(), "127.0.0.1:" + QString::number(tcpPort));
    QVERIFY(Find<QToolButton>(*form, "SearchButton")->isEnabled());
    QCOMPARE(prompt.messages.size(), 1);
}

void TestPortChoices::PermissionDeniedSaysHowToGetIn()
{
    PseudoTerminal locked;
    QVERIFY(locked.IsValid());
    QVERIFY(QFile::setPermissions(locked.SlavePath(), QFileDevice::Permissions()));
    static QString lockedPath;
    lockedPath = locked.SlavePath();
    MakeWindow([] { return QMap<int, QString>{{46, lockedPath}}; });
    {
        OrdinaryUser user;
        form->SelectPort("COM46");
        QTRY_COMPARE_WITH_TIMEOUT(prompt.messages.size(), 1, 3000);
    }
    // The box keeps the system's words; the hint says what to do about them.
    QVERIFY(prompt.messages[0].error);
    QVERIFY2(prompt.messages[0].text.startsWith("COM46: " + locked.SlavePath() + ": "),
             qPrintable(prompt.messages[0].text));
    QCOMPARE(Find<QLabel>(*form, "HintPanel")->text(), QString(TForm1::PermissionHint));
    QVERIFY(Find<QGroupBox>(*form, "ComProperties")->isHidden());
}

QTEST_MAIN(TestPortChoices)
#include "tst_port_choices.moc"
