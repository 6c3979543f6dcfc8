#include "terminal_window.h"

#include "row_list_view.h"

#include "bus/text.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QTime>
#include <QVBoxLayout>

#include <algorithm>

namespace navix {

QVariant TerminalLogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return {};
    static const char *titles[] = {"Command:", "Response:", "Time :"};
    return section >= 0 && section < 3 ? QString(titles[section]) : QVariant();
}

TForm4::TForm4(Workspace &workspace, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint | Qt::CustomizeWindowHint),
      workspace(workspace)
{
    setObjectName("TForm4");
    setWindowTitle("Com Terminal ");
    BuildCommandFields();
    BuildButtons();
    BuildListAndTimers();
    BuildLayout();
    setMinimumSize(MinimumWidth, MinimumHeight);
    resize(MinimumWidth + 20, MinimumHeight + 30);

    session.onShow = [this] { FormShow(); };
    // Repeated sending switched on before the bus came has sent nothing yet: it starts now, or the window
    // would sit there repeating nothing and refusing single sends.
    session.onBusGranted = [this] {
        if (repeating)
            HandleToolReply(QByteArray());
    };
    session.onClose = [this] { FinishClose(); };
}

void TForm4::BuildCommandFields()
{
    ComandGroupBox.setObjectName("ComandGroupBox");
    ComandGroupBox.setTitle(" Single Command ");
    CommandLabel.setObjectName("CommandLabel");
    CommandLabel.setText("Command :");
    ComandEdit.setObjectName("ComandEdit");
    ComandEdit.installEventFilter(this);
    ResponeLabel.setObjectName("ResponeLabel");
    ResponeLabel.setText("Response :");
    ResponeEdit.setObjectName("ResponeEdit");
    ResponeEdit.setReadOnly(true);
    CheckSumBox.setObjectName("CheckSumBox");
    CheckSumBox.setText("Check sum");
    EnterBox.setObjectName("EnterBox");
    EnterBox.setText("Add  CR");
}

void TForm4::BuildButtons()
{
    ButtonsGroupBox.setObjectName("ButtonsGroupBox");
    SendButton.setObjectName("SendButton");
    SendButton.setText("&Send");
    ContinueSendButton.setObjectName("ContinueSendButton");
    ContinueSendButton.setText("&Continue send");
    StopButton.setObjectName("StopButton");
    StopButton.setText("S&top");
    ExitButton.setObjectName("ExitButton");
    ExitButton.setText("E&xit");
    // Enter in the command field sends the command; no button may take it as the dialog's default.
    for (QPushButton *button : {&SendButton, &ContinueSendButton, &StopButton, &ExitButton})
        button->setAutoDefault(false);
    connect(&SendButton, &QPushButton::clicked, this, &TForm4::SendButtonClick);
    connect(&ContinueSendButton, &QPushButton::clicked, this, &TForm4::ContinueSendButtonClick);
    connect(&StopButton, &QPushButton::clicked, this, &TForm4::StopButtonClick);
    connect(&ExitButton, &QPushButton::clicked, this, &TForm4::ExitButtonClick);
}

void TForm4::BuildListAndTimers()
{
    ListView10.setObjectName("ListView10");
    SetUpRowList(ListView10, log, {145, 145, 123});

    SendButtonTimer.setParent(this);
    SendButtonTimer.setInterval(ToolBusSession::DefaultTimerMs);
    SendButtonTimer.setSingleShot(true);
    SendButtonTimer.setObjectName("SendButtonTimer");
    connect(&SendButtonTimer, &QTimer::timeout, this, &TForm4::SendButtonTimerTimer);
}

TForm4::~TForm4()
{
    // The list's rows go before the list itself.
    ListView10.setModel(nullptr);
}

void TForm4::BuildLayout()
{
    CommandLabel.setBuddy(&ComandEdit);
    ResponeLabel.setBuddy(&ResponeEdit);

    auto *fields = new QGridLayout(&ComandGroupBox);
    fields->addWidget(&CommandLabel, 0, 0);
    fields->addWidget(&ComandEdit, 0, 1, 1, 2);
    fields->addWidget(&ResponeLabel, 1, 0);
    fields->addWidget(&ResponeEdit, 1, 1, 1, 2);
    fields->addWidget(&CheckSumBox, 2, 1);
    fields->addWidget(&EnterBox, 2, 2);
    fields->setColumnStretch(2, 1);

    auto *buttons = new QHBoxLayout(&ButtonsGroupBox);
    buttons->addWidget(&SendButton);
    buttons->addWidget(&ContinueSendButton);
    buttons->addWidget(&StopButton);
    buttons->addWidget(&ExitButton);

    auto *column = new QVBoxLayout(this);
    column->addWidget(&ComandGroupBox);
    column->addWidget(&ButtonsGroupBox);
    column->addWidget(&ListView10, 1);

    setTabOrder(&ComandEdit, &ResponeEdit);
    setTabOrder(&ResponeEdit, &CheckSumBox);
    setTabOrder(&CheckSumBox, &EnterBox);
    setTabOrder(&EnterBox, &SendButton);
    setTabOrder(&SendButton, &ContinueSendButton);
    setTabOrder(&ContinueSendButton, &StopButton);
    setTabOrder(&StopButton, &ExitButton);
    setTabOrder(&ExitButton, &ListView10);
}

void TForm4::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    FormResize();
}

void TForm4::FormResize()
{
    if (width() < MinimumWidth || height() < MinimumHeight)
        resize(std::max(width(), MinimumWidth), std::max(height(), MinimumHeight));
}

bool TForm4::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &ComandEdit && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            ComandEditKeyPress(CR);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TForm4::FormShow()
{
    workspace.SetMainEnabled(false);
    const QRect main = workspace.MainGeometry();
    move(main.left() + main.width() / 2 - width() / 2, main.top() + main.height() / 2 - height() / 2);
    workspace.SetHint("Hint: Terminal !");
    SendButtonTimer.setInterval(workspace.Engine().TimeOutMs());
}

QByteArray TForm4::PreparedCommand() const
{
    QByteArray command = ToWire(ComandEdit.text());
    const qsizetype cr = Pos(CR, command);
    if (EnterBox.isChecked() && cr == 0)
        command.append(CR);
    else if (!EnterBox.isChecked() && cr > 0)
        Delete(command, cr, 1);
    return command;
}

void TForm4::SendButtonClick()
{
    SendOnce(ReceiveMode::LineMode);
}

void TForm4::ComandEditKeyPress(char key)
{
    if (key == CR)
        SendOnce(ReceiveMode::RawMode);
}

void TForm4::SendOnce(ReceiveMode receiveMode)
{
    // A single send waits at least one time-out interval after the last one, and none mixes into repeating.
    if (repeating || SendButtonTimer.isActive())
        return;
    SendPrepared(receiveMode);
    SendButtonTimer.start();
}

void TForm4::SendPrepared(ReceiveMode receiveMode)
{
    const QByteArray command = PreparedCommand();
    LogCommand(command);
    workspace.Engine().SendCommand({.command = command,
                                    .checksum = CheckSumBox.isChecked(),
                                    .receiveMode = receiveMode,
                                    .startChar = ' ',
                                    .endChar = ' ',
                                    .expectedLength = 0});
}

void TForm4::SendButtonTimerTimer()
{
    SendButtonTimer.stop();
}

void TForm4::ContinueSendButtonClick()
{
    if (repeating || SendButtonTimer.isActive())
        return;
    repeating = true;
    HandleToolReply(QByteArray());
}

void TForm4::StopButtonClick()
{
    repeating = false;
}

void TForm4::ExitButtonClick()
{
    hide();
}

void TForm4::HandleToolReply(const QByteArray &reply)
{
    if (!session.ReplyArrived())
        return;
    LogResponse(reply);
    if (repeating)
        SendPrepared(ReceiveMode::LineMode);
}

void TForm4::LogCommand(const QByteArray &command)
{
    QByteArray shown = command;
    if (CheckSumBox.isChecked())
        shown.append(ComputeChecksum(shown));
    shown.replace(CR, QByteArray());
    log.InsertRow(FromWire(shown));
}

void TForm4::LogResponse(const QByteArray &reply)
{
    QByteArray shown = reply;
    shown.replace(CR, QByteArray());
    const QString text = shown.isEmpty() ? QString("Time out !") : FromWire(shown);
    ResponeEdit.setText(text);
    log.AppendToTop({text, LogTimeStamp(LogTimeOfDay())});
}

void TForm4::FinishClose()
{
    repeating = false;
    workspace.SetMainEnabled(true);
}

} // namespace navix
