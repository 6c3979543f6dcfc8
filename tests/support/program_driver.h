#pragma once
// Drives the whole program as a technician does, for tests that run it against a real port: choosing a port
// item, scanning an address range and opening a module's editor from the tree.

#include "app/program.h"
#include "support/find_control.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

namespace navix {

namespace ProgramDriver {

inline void ClickItem(QTreeWidget *tree, QTreeWidgetItem *item, bool twice = false)
{
    tree->scrollToItem(item);
    const QPoint centre = tree->visualItemRect(item).center();
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, centre);
    if (twice)
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, centre);
}

// Clicks port COM<number> and waits until its panel shows it open and the hint names it (also where it said
// the port was lost).
inline bool ChoosePort(TForm1 &main, int number, int timeoutMs = 5000)
{
    QTreeWidgetItem *item = main.FindPortItem(number);
    if (!item)
        return false;
    ClickItem(Find<QTreeWidget>(main, "MainTreeView"), item);
    return QTest::qWaitFor(
        [&] {
            return main.ComPort().IsOpen() && Find<QGroupBox>(main, "ComProperties")->isVisible() &&
                   Find<QLineEdit>(main, "ComEdit")->text() == QString::number(number) &&
                   Find<QLabel>(main, "HintPanel")->text() == main.PortHint();
        },
        timeoutMs);
}

// Time-out and pacing for a port served by another process, with room for a machine busy with other work.
inline void UseQuickExchanges(TForm1 &main, int timeOutMs)
{
    Find<QSpinBox>(main, "SpinEdit1")->setValue(timeOutMs);
    main.Engine().SetPacingTag(VeryFast);
}

// Opens the search window and scans first..last (at every rate where asked); true once the scan has ended,
// with the window still open.
inline bool RunScan(NavixProgram &program, int first, int last, bool everyRate = false)
{
    Find<QToolButton>(program.Form1, "SearchButton")->click();
    TForm3 &search = program.Form3;
    if (!QTest::qWaitFor([&] { return search.Phase() == ScanPhase::Ready; }, 3000))
        return false;
    Find<QSpinBox>(search, "FirstAdresSpinEdit")->setValue(first);
    Find<QSpinBox>(search, "SecondAdresSpinEdit")->setValue(last);
    Find<QCheckBox>(search, "AllBaudRatesCheckBox")->setChecked(everyRate);
    Find<QPushButton>(search, "StartScanButton")->click();
    return QTest::qWaitFor([&] { return Find<QPushButton>(search, "StartScanButton")->isEnabled(); }, 60000);
}

// Closes the search window and returns the module items it left under the open port.
inline QStringList CloseSearch(NavixProgram &program)
{
    TForm1 &main = program.Form1;
    TForm3 &search = program.Form3;
    // Closing the window hands the modules found to the tree, on the window's own close timer.
    Find<QPushButton>(search, "CancelButton")->click();
    auto found = [&] { return main.ModuleCaptions(main.FindPortItem(main.ComPort().ComNumber(), true)); };
    if (!QTest::qWaitFor([&] { return search.isHidden() && main.isEnabled() && !found().isEmpty(); }, 3000))
        return {"(no module items after the search)"};
    return found();
}

// Scans first..last with the search window and returns the module items it left under the open port.
inline QStringList SearchBus(NavixProgram &program, int first, int last)
{
    if (!RunScan(program, first, last))
        return {"(the scan did not end)"};
    return CloseSearch(program);
}

// Opens the editor of the module item with that caption by a double-click; returns its window.
inline QWidget *OpenEditor(TForm1 &main, const QString &caption)
{
    const auto items =
        Find<QTreeWidget>(main, "MainTreeView")->findItems(caption, Qt::MatchExactly | Qt::MatchRecursive);
    if (items.isEmpty())
        return nullptr;
    ClickItem(Find<QTreeWidget>(main, "MainTreeView"), items.constFirst(), true);
    const ModuleRecordPtr record = main.Modules().FindForOpen(caption.mid(2, 2).toLatin1());
    return record ? qobject_cast<QWidget *>(record->EditorObject()) : nullptr;
}

// The communication status an editor shows (" Communication..." or " Communication Error...").
inline QString EditorStatus(const QWidget *editor)
{
    if (!editor)
        return QString();
    for (const QGroupBox *box : editor->findChildren<QGroupBox *>())
        if (box->title().startsWith(" Communication"))
            return box->title();
    return QString();
}

} // namespace ProgramDriver

} // namespace navix
