#pragma once
// The memory utilities window: it works with the data memory of one Tvr 5x. While shown it holds the bus and
// keeps polling the controller's next address of writing; setting that pointer and reading a run of records
// are slotted in between two polls. The records read are decoded into the list and can be saved as a text
// file.

#include "bus/batched_row_model.h"
#include "bus/transaction_engine.h"
#include "workspace/tool_session.h"
#include "workspace/workspace.h"

#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QTreeView>

class QKeyEvent;

namespace navix {

class TForm6 : public QDialog, public ToolReplyHandler
{
    Q_OBJECT
public:
    enum class MemoryStep { Start = 0, PointerPoll = 1, PointerSet = 2, DataRead = 3 };

    static constexpr int MinimumWidth = 507;
    static constexpr int MinimumHeight = 380;
    static constexpr int MaximumCount = 8192;

    // The workspace and its engine must outlive the window.
    explicit TForm6(Workspace &workspace, QWidget *parent = nullptr);
    ~TForm6() override;

    // The Tvr 5x editor's memory command: the module address (two hex digits) and its checksum use, then
    // show.
    void HandOver(const QByteArray &address, bool checksum);

    void HandleToolReply(const QByteArray &reply) override;

    ScanPhase Phase() const { return session.Phase(); }
    MemoryStep Step() const { return step; }
    bool Reading() const { return reading; }
    bool HasData() const { return hasData; }
    const QByteArray &ModuleAddress() const { return moduleAddress; }
    // The records read, top row first, as ListView100 shows them.
    const BatchedRowModel &Records() const { return records; }
    bool Checksum() const { return checksum; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void ExitButtonClick();
    void NextAdresEditClick();
    void UpdateSetingButtonClick();
    void ReadButtonClick();
    void SaveButtonClick();
    void LastSpinEditExit();

    void FormShow();
    void BuildSettings();
    void BuildButtons();
    void BuildListAndTimers();
    void BuildLayout();
    void ReplyStep(const QByteArray &reply);
    void PointerPollStep(const QByteArray &reply);
    void DataReadStep(const QByteArray &reply);
    void EndRead();
    void SendPointerRequest();
    void SendSetCommand();
    void SendDataRequest(const QByteArray &addressDigits);
    void ShowStatus(bool answered);
    void AddRow(const QByteArray &record);
    bool NextAdresEditKeyPress(const QKeyEvent *event) const;
    static void NextAdresEditExit(QLineEdit &edit);
    void FinishClose();
    static QStringList ListTitles();
    void DropRequests();

    // Controls and timers: each object name is the member's name, by which tests find the control.
    QGroupBox MemorySetings;
    QLabel NextAdresLabel;
    QLineEdit NextAdresEdit;
    QLabel FirstLastAdresLabel;
    QLineEdit FirstAdresEdit;
    QSpinBox LastSpinEdit;
    QGroupBox MemoryControls;
    QPushButton UpdateSetingButton;
    QPushButton ReadButton;
    QPushButton SaveButton;
    QPushButton ExitButton;
    QTreeView ListView100;
    QTimer InitTimer;
    QTimer CloseTimer;

    Workspace &workspace;
    QByteArray moduleAddress = "00";
    bool checksum = false;
    MemoryStep step = MemoryStep::Start;
    bool updateRequested = false;
    bool reading = false;
    int readAddress = 0;
    int recordsLeft = 0;
    bool hasData = false;
    // A read-out at line rate adds a row per exchange; the list follows in batches.
    BatchedRowModel records{ListTitles(), MaximumCount, BatchedRowModel::Order::OldestFirst};
    ToolBusSession session{workspace.Engine(), workspace.Router(), ToolKind::Memory, *this, *this,
                           InitTimer,          CloseTimer};
};

} // namespace navix
