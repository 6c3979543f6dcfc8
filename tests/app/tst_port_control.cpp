// Port enumeration, the staged opening of a port and the port panel, against real pseudo-terminals registered
// as virtual COM ports in a private runtime folder.

#include "support/find_control.h"
#include "support/pseudo_terminal.h"
#include "support/recording_prompt.h"

#include "app/main_window.h"
#include "workspace/prompt.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <memory>

using namespace navix;

namespace {
QString Canonical(const QString &path)
{
    return QFileInfo(path).canonicalFilePath();
}
} // namespace

class TestPortControl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { InstallPrompt(nullptr); }
    void init() { prompt.Clear(); }
    void cleanup() { form.reset(); }

    void EnumerationListsRegisteredPortsOrFourDefaults();
    void StagedOpeningAndSwitching();
    void OpeningErrorsShowTheirBoxes_data();
    void OpeningErrorsShowTheirBoxes();
    void BaudRateRules();
    void TimeOutFieldRules();
    void DestroyedWhileTimeOutFieldHasFocus();
    void LostDeviceKeepsTheProgramUsable();
    void ClosingTheWindowClearsModulesAndFreesThePort();
    void AdapterLatencyInTheHint_data();
    void AdapterLatencyInTheHint();

private:
    // quickTicks shortens the opening stages where their timing is not under test.
    void MakeWindow(bool quickTicks = true);
    void Choose(const QString &caption);
    bool WaitForPanel(int number);

    RecordingPrompt prompt;
    std::unique_ptr<TForm1> form;
    PseudoTerminal first;
    PseudoTerminal second;
    QTemporaryFile notALine;
};

void TestPortControl::initTestCase()
{
    InstallPrompt(&prompt);
    if (!first.IsValid() || !second.IsValid())
        QSKIP("no pseudo-terminals on this system");
    QVERIFY(first.Register(41));
    QVERIFY(second.Register(42));
    // A registered port whose device is no serial line at all.
    QVERIFY(notALine.open());
    QVERIFY(QFile::link(notALine.fileName(), VirtualPortFolder() + "/COM44"));
}

void TestPortControl::MakeWindow(bool quickTicks)
{
    form = std::make_unique<TForm1>();
    if (quickTicks)
        Find<QTimer>(*form, "ComTimer1")->setInterval(20);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
}

void TestPortControl::Choose(const QString &caption)
{
    const auto items =
        Find<QTreeWidget>(*form, "MainTreeView")->findItems(caption, Qt::MatchExactly | Qt::MatchRecursive);
    QVERIFY2(!items.isEmpty(), qPrintable(caption));
    const QRect rect = Find<QTreeWidget>(*form, "MainTreeView")->visualItemRect(items.constFirst());
    QTest::mouseClick(Find<QTreeWidget>(*form, "MainTreeView")->viewport(), Qt::LeftButton, {},
                      rect.center());
}

bool TestPortControl::WaitForPanel(int number)
{
    return QTest::qWaitFor(
        [&] {
            return Find<QGroupBox>(*form, "ComProperties")->isVisible() &&
                   Find<QLineEdit>(*form, "ComEdit")->text() == QString::number(number);
        },
        3000);
}

void TestPortControl::EnumerationListsRegisteredPortsOrFourDefaults()
{
    MakeWindow();
    QTreeWidgetItem *pc = Find<QTreeWidget>(*form, "MainTreeView")->topLevelItem(0);
    QMap<QString, QString> tips;
    for (int i = 0; i < pc->childCount(); ++i)
        tips.insert(pc->child(i)->text(0), pc->child(i)->toolTip(0));
    QCOMPARE(tips.value("COM41"), VirtualPortFolder() + "/COM41 -> " + Canonical(first.SlavePath()));
    QCOMPARE(tips.value("COM42"), VirtualPortFolder() + "/COM42 -> " + Canonical(second.SlavePath()));
    QCOMPARE(Find<QLabel>(*form, "HintPanel")->text(), QString("Hint: Available ports..."));

    form->SetPortLister([] { return QMap<int, QString>(); });
    form->EnumeratePorts();
    QStringList captions;
    for (int i = 0; i < pc->childCount(); ++i)
        captions.append(pc->child(i)->text(0));
    QCOMPARE(captions, QStringList({"COM1", "COM2", "COM3", "COM4"}));
}

void TestPortControl::StagedOpeningAndSwitching()
{
    MakeWindow(false);
    QCOMPARE(Find<QTimer>(*form, "ComTimer1")->interval(), 250);
    struct Tick
    {
        bool open;
        int number;
        QString comEdit;
    };
    QList<Tick> ticks;
    connect(Find<QTimer>(*form, "ComTimer1"), &QTimer::timeout, form.get(), [&] {
        ticks.append({form->ComPort().IsOpen(), form->ComPort().ComNumber(),
                      Find<QLineEdit>(*form, "ComEdit")->text()});
    });

    Choose("COM41");
    QVERIFY(WaitForPanel(41));
    QCOMPARE(ticks.size(), 2); // open, show
    QCOMPARE(Find<QLabel>(*form, "HintPanel")->text(), QString("Hint: Com 41  9600 bps"));
    QCOMPARE(Find<QComboBox>(*form, "BaudRateComboBox")->currentText(), QString("9600"));
    QCOMPARE(Find<QLineEdit>(*form, "DataBitsEdit")->text() + Find<QLineEdit>(*form, "StopBitsEdit")->text() +
                 Find<QLineEdit>(*form, "ParityEdit")->text(),
             QString("81None"));
    QCOMPARE(Canonical(Find<QLineEdit>(*form, "DevicePathEdit")->text()), Canonical(first.SlavePath()));
    QVERIFY(Find<QMenu>(*form, "File1")->menuAction()->isEnabled() &&
            Find<QToolButton>(*form, "SearchButton")->isEnabled());

    // From an open port to another: close, open, show.
    ticks.clear();
    Choose("COM42");
    QVERIFY(WaitForPanel(42));
    QCOMPARE(ticks.size(), 3);
    QVERIFY(!ticks[0].open && ticks[0].number == 41);
    QVERIFY(ticks[1].open && ticks[1].number == 42 && ticks[1].comEdit == "41");

    // The open port chosen again: panel and hint refreshed in one tick, the port not reopened.
    ticks.clear();
    form->SetHint("Hint: something else");
    Choose("COM42");
    QTRY_COMPARE_WITH_TIMEOUT(Find<QLabel>(*form, "HintPanel")->text(), QString("Hint: Com 42  9600 bps"),
                              2000);
    QCOMPARE(ticks.size(), 1);
    QVERIFY(ticks[0].open);
}

void TestPortControl::OpeningErrorsShowTheirBoxes_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("message"); // how the message starts
    QTest::newRow("no such port") << "COM77"
                                  << "Error, bad ID !";
    QTest::newRow("port number 0") << "COM0"
                                   << "Error,no port selected !";
    QTest::newRow("port in use") << "COM42"
                                 << "Port is already open !";
    QTest::newRow("no serial line") << "COM44"
                                    << "COM44";
}

void TestPortControl::OpeningErrorsShowTheirBoxes()
{
    QFETCH(QString, caption);
    QFETCH(QString, message);
    TApdComPort other; // another program holds port 42
    other.SetComNumber(42);
    other.SetOpen(true);
    MakeWindow();
    Choose("COM41");
    QVERIFY(WaitForPanel(41));

    form->SelectPort(caption);
    QTRY_COMPARE_WITH_TIMEOUT(prompt.messages.size(), 1, 2000);
    QVERIFY(prompt.messages[0].error);
    QVERIFY2(prompt.messages[0].text.startsWith(message), qPrintable(prompt.messages[0].text));
    QVERIFY(!Find<QTimer>(*form, "ComTimer1")->isActive());
    QVERIFY(Find<QGroupBox>(*form, "ComProperties")->isHidden());
    QVERIFY(!Find<QMenu>(*form, "File1")->menuAction()->isEnabled() &&
            !Find<QToolButton>(*form, "SearchButton")->isEnabled());

    // Choosing the failed port again does nothing while its number is set; after another port it is retried.
    prompt.Clear();
    other.SetOpen(false);
    form->SelectPort(caption);
    QTRY_VERIFY_WITH_TIMEOUT(!Find<QTimer>(*form, "ComTimer1")->isActive(), 2000);
    QVERIFY(prompt.messages.isEmpty());
    form->SelectPort("COM41");
    QVERIFY(WaitForPanel(41));
    form->SelectPort(caption);
    if (caption == "COM42")
        QVERIFY(WaitForPanel(42));
    else
        QTRY_COMPARE_WITH_TIMEOUT(prompt.messages.size(), 1, 3000);
}

void TestPortControl::BaudRateRules()
{
    MakeWindow();
    Choose("COM41");
    QVERIFY(WaitForPanel(41));
    QComboBox *combo = Find<QComboBox>(*form, "BaudRateComboBox");
    auto type = [combo](const QString &text) {
        combo->lineEdit()->selectAll();
        QTest::keyClicks(combo->lineEdit(), text);
        QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    };

    combo->setCurrentIndex(combo->findText("19200"));
    emit combo->activated(combo->currentIndex());
    QCOMPARE(form->ComPort().Baud(), 19200);
    QVERIFY(form->ComPort().IsOpen());
    QCOMPARE(Find<QLabel>(*form, "HintPanel")->text(), QString("Hint: Com 41  19200 bps"));

    // A rate that is not listed: the port's rate comes back and the list stays as it is.
    type("12345");
    QCOMPARE(combo->currentText(), QString("19200"));
    QCOMPARE(combo->count(), 8);
    QCOMPARE(form->ComPort().Baud(), 19200);
    type("2400");
    QCOMPARE(form->ComPort().Baud(), 2400);
    QCOMPARE(Find<QLabel>(*form, "HintPanel")->text(), QString("Hint: Com 41  2400 bps"));
}

void TestPortControl::TimeOutFieldRules()
{
    MakeWindow();
    QSpinBox *field = Find<QSpinBox>(*form, "SpinEdit1");
    TransactionEngine &engine = form->Engine();
    auto type = [field](const QString &text) {
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
    };

    type("250");
    QCOMPARE(engine.TimeOutMs(), 100); // nothing taken while the number is being typed
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(engine.TimeOutMs(), 250);
    for (const QString ignored : {"2000", "0"}) {
        type(ignored);
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(engine.TimeOutMs(), 250);
        // Editors that restore the time-out after a raised one get the value in force, not the field's text.
        QCOMPARE(form->TimeOutFieldMs(), 250);
    }
    field->setValue(1000);
    QCOMPARE(engine.TimeOutMs(), 1000);

    // Leaving the field applies the same rule; leaving it empty sets 100 in both.
    QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
    type("40");
    QApplication::sendEvent(field, &leave);
    QCOMPARE(engine.TimeOutMs(), 40);
    type("");
    QApplication::sendEvent(field, &leave);
    QCOMPARE(engine.TimeOutMs(), 100);
    QCOMPARE(field->value(), 100);
}

void TestPortControl::DestroyedWhileTimeOutFieldHasFocus()
{
    MakeWindow();
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    QSpinBox *field = Find<QSpinBox>(*form, "SpinEdit1");
    field->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(field->hasFocus());
    // A number typed but not yet taken: the field would take it as it loses the focus.
    field->selectAll();
    QTest::keyClicks(field, "250");
    // The field must really take its number as the window goes, or this would test nothing.
    int taken = 0;
    connect(field, &QSpinBox::editingFinished, field, [&] { taken = field->value(); });
    form.reset();
    QCOMPARE(taken, 250);
}

void TestPortControl::LostDeviceKeepsTheProgramUsable()
{
    auto lost = std::make_unique<PseudoTerminal>();
    QVERIFY(lost->Register(43));
    MakeWindow();
    Choose("COM43");
    QVERIFY(WaitForPanel(43));

    lost->Close();
    QTRY_VERIFY_WITH_TIMEOUT(!form->ComPort().IsOpen(), 3000);
    QCOMPARE(Find<QLabel>(*form, "HintPanel")->text(),
             QString("Hint: Com 43 lost (the device went away), choose the port to open it again..."));
    // The system's words stay in the tooltip, with the device they are about.
    QVERIFY2(Find<QLabel>(*form, "HintPanel")->toolTip().startsWith(lost->SlavePath() + ": "),
             qPrintable(Find<QLabel>(*form, "HintPanel")->toolTip()));
    QVERIFY(Find<QLabel>(*form, "HintPanel")->toolTip().size() > lost->SlavePath().size() + 2);
    TransactionEngine &engine = form->Engine();
    engine.SetPacingTag(VeryFast);
    engine.SetTimeOutMs(20);
    engine.SendCommand({.command = "$01M\r",
                        .checksum = false,
                        .receiveMode = ReceiveMode::CheckedFrame,
                        .startChar = '!',
                        .endChar = '\r',
                        .expectedLength = 8});
    QTRY_COMPARE_WITH_TIMEOUT(engine.CommandLog().Row(0).value(1), QString("Time out !"), 1000);
    QVERIFY(prompt.messages.isEmpty());

    // The adapter comes back: choosing the same port opens it again.
    lost.reset();
    PseudoTerminal back;
    QVERIFY(back.Register(43));
    Choose("COM43");
    QTRY_VERIFY_WITH_TIMEOUT(form->ComPort().IsOpen(), 3000);
    // The panel stayed up from before the loss; it is shown anew, with the new device, one tick after the
    // open.
    QTRY_COMPARE_WITH_TIMEOUT(Canonical(Find<QLineEdit>(*form, "DevicePathEdit")->text()),
                              Canonical(back.SlavePath()), 3000);
    QVERIFY(WaitForPanel(43));
    // The new device may well have the old one's name; the port's own hint tells that the panel came anew.
    QTRY_COMPARE_WITH_TIMEOUT(Find<QLabel>(*form, "HintPanel")->text(), form->PortHint(), 3000);
    QVERIFY(Find<QLabel>(*form, "HintPanel")->toolTip().isEmpty());
}

void TestPortControl::ClosingTheWindowClearsModulesAndFreesThePort()
{
    MakeWindow();
    Choose("COM41");
    QVERIFY(WaitForPanel(41));
    form->Modules().AddModule("4017", "05080600", false);
    form->QueueModuleItem(" (05) N770");
    form->FlushModuleItems();
    form->Router().ResumeRouting();
    QSignalSpy closed(form.get(), &TForm1::Closed);

    Find<QAction>(*form, "Exit1")->trigger();
    QVERIFY(!form->isVisible());
    QCOMPARE(closed.size(), 1);
    QCOMPARE(form->Modules().Count(), 0);
    QVERIFY(form->ModuleCaptions(form->FindPortItem(41)).isEmpty());
    QVERIFY(form->Router().RoutingSuspended());
    QVERIFY(!form->ComPort().IsOpen());
    // The device is free for the next program at once.
    TApdComPort next;
    next.SetComNumber(41);
    next.SetOpen(true);
    QVERIFY(next.IsOpen());
    QVERIFY(prompt.messages.isEmpty());
}

void TestPortControl::AdapterLatencyInTheHint_data()
{
    QTest::addColumn<QByteArray>("latencyTimer"); // empty: the device shows none
    QTest::addColumn<QString>("hint");

    const QString plain = "Hint: Com 41  9600 bps";
    QTest::newRow("no timer") << QByteArray() << plain;
    QTest::newRow("lowered") << QByteArray("1\n") << plain;
    QTest::newRow("unreadable") << QByteArray("fast\n") << plain;
    QTest::newRow("held 16 ms")
        << QByteArray("16\n")
        << plain + " - the adapter holds replies 16 ms: set its latency_timer to 1 (see README)";
}

void TestPortControl::AdapterLatencyInTheHint()
{
    QFETCH(QByteArray, latencyTimer);
    QFETCH(QString, hint);

    // The adapters' folder as the system shows it, with an entry for the device behind COM41.
    QTemporaryDir adapters;
    if (!latencyTimer.isEmpty()) {
        const QString folder = adapters.filePath(QFileInfo(Canonical(first.SlavePath())).fileName());
        QVERIFY(QDir().mkpath(folder));
        QFile timer(folder + "/latency_timer");
        QVERIFY(timer.open(QIODevice::WriteOnly));
        timer.write(latencyTimer);
    }
    MakeWindow();
    form->ComPort().SetAdaptersFolder(adapters.path());
    Choose("COM41");
    QVERIFY(WaitForPanel(41));
    QCOMPARE(Find<QLabel>(*form, "HintPanel")->text(), hint);
    // The note stays with the baud rate hint and goes with the port.
    QComboBox *baudRate = Find<QComboBox>(*form, "BaudRateComboBox");
    baudRate->setCurrentIndex(baudRate->findText("19200"));
    emit baudRate->activated(baudRate->currentIndex());
    QCOMPARE(Find<QLabel>(*form, "HintPanel")->text(), QString(hint).replace("9600", "19200"));
    form->ComPort().SetOpen(false);
    QCOMPARE(form->ComPort().AdapterLatencyMs(), -1);
    QVERIFY(prompt.messages.isEmpty());
}

int main(int argc, char *argv[])
{
    // Virtual ports are registered in the runtime folder, which must be this test's own before anything reads
    // it.
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    QApplication application(argc, argv);
    TestPortControl test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_port_control.moc"
