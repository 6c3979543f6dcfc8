#pragma once
// The compare window: a saved configuration file held against the modules on the bus, a row per module of
// the file, and the ticked rows put back onto the modules. It takes the bus while shown, as the search window
// does, and lets the compare's step machine (BusCompareRun) do the asking and the writing; it shows what that
// reports. Closing it breaks a run off and gives the bus back.

#include "editors/bus_compare.h"
#include "search/bus_compare_run.h"
#include "workspace/tool_session.h"
#include "workspace/workspace.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

namespace navix {

class CompareWindow : public QDialog, public ToolReplyHandler
{
    Q_OBJECT
public:
    // The columns of the table.
    enum Column {
        RestoreColumn = 0,
        AddressColumn,
        TypeColumn,
        FileColumn,
        BusColumn,
        DifferencesColumn,
        ResultColumn,
        ColumnCount
    };

    // The workspace and its engine must outlive the window.
    explicit CompareWindow(Workspace &workspace, QWidget *parent = nullptr);

    // The file to compare with, by name, and its modules by address; the next compare takes them.
    void TakeFile(const QString &fileName, const QList<ModuleRecordPtr> &modules);

    void HandleToolReply(const QByteArray &reply) override;

    ScanPhase Phase() const { return session.Phase(); }
    const BusCompareRun &Run() const { return run; }

private:
    void CompareButtonClick();
    void WriteButtonClick();

    void FormShow();
    void BusGranted();
    void FinishClose();
    void BuildLayout();
    void SetBusyLook(bool busy);
    void ShowRows(const QList<CompareRow> &rows);
    void ShowResult(const QByteArray &address, RestoreOutcome outcome);
    void RunFinished();
    int RowOf(const QByteArray &address) const;

    // Controls and timers: each object name is the member's name, by which tests find the control.
    QLabel FileLabel;
    QTableWidget CompareTable;
    QLabel StatusLabel;
    QPushButton CompareButton;
    QPushButton WriteButton;
    QPushButton CloseButton;
    QTimer InitTimer;
    QTimer CloseTimer;

    Workspace &workspace;
    QString fileName;
    QList<ModuleRecordPtr> fileModules;
    bool spareConfigured = false; // a spare took its configuration in the last restore
    BusCompareRun run{workspace, ToolKind::Compare};
    ToolBusSession session{workspace.Engine(), workspace.Router(), ToolKind::Compare, *this, *this,
                           InitTimer,          CloseTimer};
};

} // namespace navix
