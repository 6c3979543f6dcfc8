#pragma once
// tools/ holds the tool windows that take the bus while open, the terminal (this file) and the Tvr 5x's
// memory utilities with its record decoding, and the command log's menu and the line-rate list view they
// and the main window share.
//
// The raw command terminal: the user types any command text and sends it once or over and over; every command
// goes into the list with the response and the time it came. The window takes the bus while shown and sends
// in the unframed receive modes, so that whatever a module answers, well-formed or not, is shown as it
// arrived.

#include "bus/command_log.h"
#include "bus/transaction_engine.h"
#include "workspace/tool_session.h"
#include "workspace/workspace.h"

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>

namespace navix {

// The terminal's list keeps the rows as the command log does (newest on top, at most 500, further responses
// to one command in cells the columns do not show); only its column titles differ.
class TerminalLogModel : public CommandLogModel
{
    Q_OBJECT
public:
    using CommandLogModel::CommandLogModel;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
};

class TForm4 : public QDialog, public ToolReplyHandler
{
    Q_OBJECT
public:
    static constexpr int MinimumWidth = 425;
    static constexpr int MinimumHeight = 390;

    // The workspace and its engine must outlive the window.
    explicit TForm4(Workspace &workspace, QWidget *parent = nullptr);
    ~TForm4() override;

    // The reply step.
    void HandleToolReply(const QByteArray &reply) override;

    ScanPhase Phase() const { return session.Phase(); }
    bool Repeating() const { return repeating; }
    TerminalLogModel &Log() { return log; }
    // The command text as it goes to SendCommand, read anew from ComandEdit for every send.
    QByteArray PreparedCommand() const;

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void SendButtonClick();
    void ComandEditKeyPress(char key);
    void ContinueSendButtonClick();
    void StopButtonClick();
    void ExitButtonClick();
    void SendButtonTimerTimer();
    void FormResize();

    void FormShow();
    void BuildCommandFields();
    void BuildButtons();
    void BuildListAndTimers();
    void BuildLayout();
    void SendOnce(ReceiveMode receiveMode);
    void SendPrepared(ReceiveMode receiveMode);
    void LogCommand(const QByteArray &command);
    void LogResponse(const QByteArray &reply);
    void FinishClose();

    // Controls and timers: each object name is the member's name, by which tests find the control.
    QGroupBox ComandGroupBox;
    QLabel CommandLabel;
    QLineEdit ComandEdit;
    QLabel ResponeLabel;
    QLineEdit ResponeEdit;
    QCheckBox CheckSumBox;
    QCheckBox EnterBox;
    QGroupBox ButtonsGroupBox;
    QPushButton SendButton;
    QPushButton ContinueSendButton;
    QPushButton StopButton;
    QPushButton ExitButton;
    QTreeView ListView10;
    QTimer InitTimer;
    QTimer CloseTimer;
    QTimer SendButtonTimer;

    Workspace &workspace;
    TerminalLogModel log;
    bool repeating = false;
    ToolBusSession session{workspace.Engine(), workspace.Router(), ToolKind::Terminal, *this, *this,
                           InitTimer,          CloseTimer};
};

} // namespace navix
