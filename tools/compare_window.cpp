#include "compare_window.h"

#include "bus/text.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

namespace navix {

namespace {

QString Capitalised(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}
} // namespace

CompareWindow::CompareWindow(Workspace &workspace, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      workspace(workspace)
{
    setObjectName("CompareWindow");
    setWindowTitle("Compare with bus");
    BuildLayout();
    SetBusyLook(false);
    CompareButton.setEnabled(false);

    session.onShow = [this] { FormShow(); };
    session.onBusGranted = [this] { BusGranted(); };
    session.onClose = [this] { FinishClose(); };
    connect(&run, &BusCompareRun::Looking, this, [this](const QByteArray &address) {
        StatusLabel.setText("Asking " + FromWire(address) + " ...");
    });
    connect(&run, &BusCompareRun::RowsReady, this, &CompareWindow::ShowRows);
    connect(&run, &BusCompareRun::RowRestored, this, &CompareWindow::ShowResult);
    connect(&run, &BusCompareRun::Finished, this, &CompareWindow::RunFinished);
}

void CompareWindow::BuildLayout()
{
    FileLabel.setObjectName("FileLabel");
    CompareTable.setObjectName("CompareTable");
    CompareTable.setColumnCount(ColumnCount);
    CompareTable.setHorizontalHeaderLabels(
        {"Restore", "Address", "Type", "File", "Bus", "Differences", "Result"});
    CompareTable.setEditTriggers(QAbstractItemView::NoEditTriggers);
    CompareTable.setSelectionMode(QAbstractItemView::NoSelection);
    CompareTable.verticalHeader()->setVisible(false);
    CompareTable.horizontalHeader()->setStretchLastSection(true);
    CompareTable.setMinimumWidth(820);
    FileLabel.setBuddy(&CompareTable);
    StatusLabel.setObjectName("StatusLabel");
    StatusLabel.setWordWrap(true);
    CompareButton.setObjectName("CompareButton");
    CompareButton.setText("&Compare");
    CompareButton.setAutoDefault(false);
    WriteButton.setObjectName("WriteButton");
    WriteButton.setText("&Write to modules");
    WriteButton.setAutoDefault(false);
    CloseButton.setObjectName("CloseButton");
    CloseButton.setText("C&lose");
    CloseButton.setAutoDefault(false);
    connect(&CompareButton, &QPushButton::clicked, this, &CompareWindow::CompareButtonClick);
    connect(&WriteButton, &QPushButton::clicked, this, &CompareWindow::WriteButtonClick);
    connect(&CloseButton, &QPushButton::clicked, this, &QWidget::hide);
    // Ticking a row makes the write possible.
    connect(&CompareTable, &QTableWidget::itemChanged, this, [this] { SetBusyLook(run.Running()); });

    auto *buttonRow = new QHBoxLayout;
    buttonRow->addWidget(&CompareButton);
    buttonRow->addWidget(&WriteButton);
    buttonRow->addStretch();
    buttonRow->addWidget(&CloseButton);

    auto *column = new QVBoxLayout(this);
    column->addWidget(&FileLabel);
    column->addWidget(&CompareTable);
    column->addWidget(&StatusLabel);
    column->addLayout(buttonRow);

    setTabOrder(&CompareTable, &CompareButton);
    setTabOrder(&CompareButton, &WriteButton);
    setTabOrder(&WriteButton, &CloseButton);
}

void CompareWindow::TakeFile(const QString &name, const QList<ModuleRecordPtr> &modules)
{
    run.Cancel();
    fileName = name;
    fileModules = modules;
    FileLabel.setText("&File: " + QFileInfo(name).fileName());
    FileLabel.setToolTip(name);
    CompareTable.setRowCount(0);
    StatusLabel.clear();
}

void CompareWindow::FormShow()
{
    // The main window stays out of reach while the window holds the bus: no port is closed and no editor
    // opened under a running compare.
    workspace.SetMainEnabled(false);
    workspace.SetHint("Hint: Comparing the bus with " + QFileInfo(fileName).fileName() + "...");
    CompareButton.setEnabled(false);
    StatusLabel.setText("Waiting for the bus ...");
}

void CompareWindow::BusGranted()
{
    CompareButtonClick();
}

void CompareWindow::CompareButtonClick()
{
    if (session.Phase() != ScanPhase::Ready || run.Running())
        return;
    spareConfigured = false;
    CompareTable.setRowCount(0);
    SetBusyLook(true);
    run.Compare(fileModules);
}

void CompareWindow::WriteButtonClick()
{
    if (session.Phase() != ScanPhase::Ready || run.Running())
        return;
    QList<CompareRow> ticked;
    for (const CompareRow &row : run.Rows()) {
        const int line = RowOf(row.address);
        const QTableWidgetItem *tick = line < 0 ? nullptr : CompareTable.item(line, RestoreColumn);
        if (tick && tick->checkState() == Qt::Checked) {
            ticked.append(row);
            CompareTable.item(line, ResultColumn)->setText("...");
        }
    }
    if (ticked.isEmpty())
        return;
    spareConfigured = false;
    SetBusyLook(true);
    run.Restore(ticked);
}

void CompareWindow::HandleToolReply(const QByteArray &reply)
{
    if (session.ReplyArrived() && run.Running())
        run.ReplyStep(reply);
}

void CompareWindow::FinishClose()
{
    run.Cancel();
    SetBusyLook(false);
    workspace.SetMainEnabled(true);
    workspace.SetHint("Hint: Ready ...");
}

void CompareWindow::ShowRows(const QList<CompareRow> &rows)
{
    // Filling the table is no ticking by the user.
    const QSignalBlocker quiet(&CompareTable);
    CompareTable.setRowCount(static_cast<int>(rows.size()));
    for (int line = 0; line < rows.size(); ++line) {
        const CompareRow &row = rows.at(line);
        auto *tick = new QTableWidgetItem(Capitalised(ActionText(row)));
        // Only a row that a restore writes can be ticked: another type, a missing module without a spare and
        // a module that needs INIT cannot.
        if (RestoreWrites(row)) {
            tick->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            tick->setCheckState(Qt::Unchecked);
        } else {
            tick->setFlags(Qt::ItemIsEnabled);
        }
        CompareTable.setItem(line, RestoreColumn, tick);
        CompareTable.setItem(line, AddressColumn, new QTableWidgetItem(FromWire(row.address)));
        CompareTable.setItem(line, TypeColumn, new QTableWidgetItem(FromWire(row.typeId)));
        CompareTable.setItem(line, FileColumn, new QTableWidgetItem(FromWire(row.fileConfig)));
        CompareTable.setItem(line, BusColumn, new QTableWidgetItem(BusText(row)));
        CompareTable.setItem(line, DifferencesColumn,
                             new QTableWidgetItem(row.differences.isEmpty() ? QStringLiteral("equal")
                                                                            : row.differences.join(", ")));
        CompareTable.setItem(line, ResultColumn, new QTableWidgetItem);
    }
    CompareTable.resizeColumnsToContents();
    const bool equal = std::all_of(rows.cbegin(), rows.cend(),
                                   [](const CompareRow &row) { return row.differences.isEmpty(); });
    StatusLabel.setText(equal ? QStringLiteral("The bus holds the file's configuration.")
                              : QStringLiteral("Tick the rows to write and press Write to modules."));
}

void CompareWindow::ShowResult(const QByteArray &address, RestoreOutcome outcome)
{
    const int line = RowOf(address);
    if (line < 0)
        return;
    const QSignalBlocker quiet(&CompareTable);
    CompareTable.item(line, ResultColumn)->setText(RestoreOutcomeText(outcome));
    QTableWidgetItem *tick = CompareTable.item(line, RestoreColumn);
    if (outcome == RestoreOutcome::Done) {
        tick->setCheckState(Qt::Unchecked);
        tick->setFlags(Qt::ItemIsEnabled);
        spareConfigured = spareConfigured || run.Rows().value(line).action == RestoreAction::ConfigureSpare;
    }
}

void CompareWindow::RunFinished()
{
    SetBusyLook(false);
    if (spareConfigured)
        StatusLabel.setText(QString::fromLatin1(SpareDoneHint) + ", then press Compare.");
    else if (StatusLabel.text().startsWith("Asking"))
        StatusLabel.clear();
}

int CompareWindow::RowOf(const QByteArray &address) const
{
    for (int line = 0; line < CompareTable.rowCount(); ++line)
        if (const QTableWidgetItem *item = CompareTable.item(line, AddressColumn);
            item && item->text() == FromWire(address))
            return line;
    return -1;
}

void CompareWindow::SetBusyLook(bool busy)
{
    const bool ready = session.Phase() == ScanPhase::Ready;
    bool anyTicked = false;
    for (int line = 0; line < CompareTable.rowCount(); ++line)
        if (const QTableWidgetItem *tick = CompareTable.item(line, RestoreColumn))
            anyTicked = anyTicked || tick->checkState() == Qt::Checked;
    CompareButton.setEnabled(ready && !busy);
    WriteButton.setEnabled(ready && !busy && anyTicked);
}

} // namespace navix
