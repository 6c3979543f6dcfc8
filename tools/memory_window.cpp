#include "memory_window.h"

#include "memory_record.h"
#include "row_list_view.h"

#include "bus/text.h"
#include "bus/text_file.h"
#include "workspace/prompt.h"

#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QVBoxLayout>

namespace navix {

namespace {
constexpr int AddressDigits = 4;
// Replies are read by length and not checked for their last character; the blank end character is not used.
constexpr char NoEndChar = ' ';
constexpr int PointerReplyLength = 5;
constexpr int SetReplyLength = 3;
constexpr int RecordReplyLength = 17;

const QString StatusAnswered = QStringLiteral(" Commucation...");
const QString StatusSilent = QStringLiteral(" Error...");
const QString ReadCaption = QStringLiteral("&Read data");
const QString StopCaption = QStringLiteral("&Stop");

// The first five list columns and their widths; the status bits B0..B7 follow. The degree sign is the byte B0
// of the program's 8-bit texts.
const QString Degrees = FromWire("\xB0") + "C";
const QStringList ValueTitles = {"Address:", "Time:", "Date:", "Unit: (" + Degrees + ")",
                                 "Stack: (" + Degrees + ")"};
constexpr int ValueWidths[] = {55, 55, 55, 65, 65};
constexpr int BitWidth = 25;

bool IsHexKey(QChar key)
{
    return (key >= '0' && key <= '9') || (key >= 'A' && key <= 'F') || (key >= 'a' && key <= 'f');
}
} // namespace

TForm6::TForm6(Workspace &workspace, QWidget *parent)
    : QDialog(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint | Qt::CustomizeWindowHint),
      workspace(workspace)
{
    setObjectName("TForm6");
    setWindowTitle("Memory Utilities ...");
    BuildSettings();
    BuildButtons();
    BuildListAndTimers();
    BuildLayout();
    setMinimumSize(MinimumWidth, MinimumHeight);
    resize(MinimumWidth + 60, MinimumHeight + 40);

    session.onShow = [this] { FormShow(); };
    session.onBusGranted = [this] {
        step = MemoryStep::Start;
        ReplyStep(QByteArray());
    };
    session.onClose = [this] { FinishClose(); };
}

QStringList TForm6::ListTitles()
{
    QStringList titles = ValueTitles;
    for (int bit = 0; bit < StatusBitCount; ++bit)
        titles.append("B" + QString::number(bit));
    return titles;
}

TForm6::~TForm6()
{
    ListView100.setModel(nullptr);
    // A focused control loses its focus while it is destroyed; that must not reach the filter of a window
    // that is half gone.
    for (QWidget *filtered : {static_cast<QWidget *>(&NextAdresEdit), static_cast<QWidget *>(&FirstAdresEdit),
                              static_cast<QWidget *>(&LastSpinEdit)})
        filtered->removeEventFilter(this);
}

void TForm6::BuildSettings()
{
    MemorySetings.setObjectName("MemorySetings");
    MemorySetings.setTitle(StatusAnswered);
    NextAdresLabel.setObjectName("NextAdresLabel");
    NextAdresLabel.setText("Next address of writing : (Hex)");
    FirstLastAdresLabel.setObjectName("FirstLastAdresLabel");
    FirstLastAdresLabel.setText("Reading from address: (Hex)   Count : (Dec)");
    NextAdresEdit.setObjectName("NextAdresEdit");
    FirstAdresEdit.setObjectName("FirstAdresEdit");
    for (QLineEdit *edit : {&NextAdresEdit, &FirstAdresEdit}) {
        edit->setMaxLength(AddressDigits);
        edit->setText("0000");
        // Typed keys are filtered in eventFilter; the validator also keeps pasted text to hex digits.
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9A-Fa-f]{0,4}"), edit));
        edit->installEventFilter(this);
        connect(edit, &QLineEdit::textEdited, this, [edit](const QString &text) {
            if (text == text.toUpper())
                return;
            const int cursor = edit->cursorPosition();
            edit->setText(text.toUpper());
            edit->setCursorPosition(cursor);
        });
    }
    LastSpinEdit.setObjectName("LastSpinEdit");
    LastSpinEdit.setRange(1, MaximumCount);
    LastSpinEdit.setValue(1);
    LastSpinEdit.setAccessibleName("Count : (Dec)");
    LastSpinEdit.installEventFilter(this);
}

void TForm6::BuildButtons()
{
    MemoryControls.setObjectName("MemoryControls");
    UpdateSetingButton.setObjectName("UpdateSetingButton");
    UpdateSetingButton.setText("&Update setting ");
    UpdateSetingButton.setEnabled(false);
    ReadButton.setObjectName("ReadButton");
    ReadButton.setText(ReadCaption);
    SaveButton.setObjectName("SaveButton");
    SaveButton.setText("&Save data");
    ExitButton.setObjectName("ExitButton");
    ExitButton.setText("&Exit");
    for (QPushButton *button : {&UpdateSetingButton, &ReadButton, &SaveButton, &ExitButton})
        button->setAutoDefault(false);
    connect(&ExitButton, &QPushButton::clicked, this, &TForm6::ExitButtonClick);
    connect(&UpdateSetingButton, &QPushButton::clicked, this, &TForm6::UpdateSetingButtonClick);
    connect(&ReadButton, &QPushButton::clicked, this, &TForm6::ReadButtonClick);
    connect(&SaveButton, &QPushButton::clicked, this, &TForm6::SaveButtonClick);
}

void TForm6::BuildListAndTimers()
{
    ListView100.setObjectName("ListView100");
    QList<int> widths(std::begin(ValueWidths), std::end(ValueWidths));
    widths.resize(records.columnCount(), BitWidth);
    SetUpRowList(ListView100, records, widths);
}

void TForm6::BuildLayout()
{
    NextAdresLabel.setBuddy(&NextAdresEdit);
    FirstLastAdresLabel.setBuddy(&FirstAdresEdit);

    auto *settings = new QGridLayout(&MemorySetings);
    settings->addWidget(&NextAdresLabel, 0, 0, 1, 2);
    settings->addWidget(&NextAdresEdit, 1, 0);
    settings->addWidget(&FirstLastAdresLabel, 2, 0, 1, 2);
    settings->addWidget(&FirstAdresEdit, 3, 0);
    settings->addWidget(&LastSpinEdit, 3, 1);
    settings->setColumnStretch(2, 1);

    auto *buttons = new QVBoxLayout(&MemoryControls);
    buttons->addWidget(&UpdateSetingButton);
    buttons->addWidget(&ReadButton);
    buttons->addWidget(&SaveButton);
    buttons->addWidget(&ExitButton);

    auto *top = new QHBoxLayout;
    top->addWidget(&MemorySetings, 1);
    top->addWidget(&MemoryControls);

    auto *column = new QVBoxLayout(this);
    column->addLayout(top);
    column->addWidget(&ListView100, 1);

    setTabOrder(&NextAdresEdit, &FirstAdresEdit);
    setTabOrder(&FirstAdresEdit, &LastSpinEdit);
    setTabOrder(&LastSpinEdit, &UpdateSetingButton);
    setTabOrder(&UpdateSetingButton, &ReadButton);
    setTabOrder(&ReadButton, &SaveButton);
    setTabOrder(&SaveButton, &ExitButton);
    setTabOrder(&ExitButton, &ListView100);
}

void TForm6::HandOver(const QByteArray &address, bool useChecksum)
{
    // A read or pointer change asked for one module must never be carried out on another.
    if (address != moduleAddress || useChecksum != checksum)
        DropRequests();
    moduleAddress = address;
    checksum = useChecksum;
    show();
}

void TForm6::FormShow()
{
    if (const QScreen *shownOn = screen()) {
        const QRect area = shownOn->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    // The pointer edit stops following the module once the user enters it, so it must not get the focus
    // merely because the window opens.
    ReadButton.setFocus();
    workspace.SetMainEnabled(false);
}

void TForm6::FinishClose()
{
    // What was asked and not yet done belongs to this opening; the next one may be for another module.
    DropRequests();
    workspace.SetMainEnabled(true);
}

void TForm6::DropRequests()
{
    updateRequested = false;
    reading = false;
    ReadButton.setText(ReadCaption);
}

void TForm6::ExitButtonClick()
{
    hide();
}

void TForm6::HandleToolReply(const QByteArray &reply)
{
    ReplyStep(reply);
}

void TForm6::ReplyStep(const QByteArray &reply)
{
    if (!session.ReplyArrived())
        return;
    switch (step) {
    case MemoryStep::Start:
        SendPointerRequest();
        break;
    case MemoryStep::PointerPoll:
        PointerPollStep(reply);
        break;
    case MemoryStep::PointerSet:
        ShowStatus(!reply.isEmpty());
        SendPointerRequest();
        break;
    case MemoryStep::DataRead:
        DataReadStep(reply);
        break;
    }
}

void TForm6::PointerPollStep(const QByteArray &reply)
{
    if (!reply.isEmpty() && !UpdateSetingButton.isEnabled())
        NextAdresEdit.setText(FromWire(Copy(reply, 2, AddressDigits)));
    ShowStatus(!reply.isEmpty());
    if (updateRequested) {
        updateRequested = false;
        UpdateSetingButton.setEnabled(false);
        SendSetCommand();
    } else if (reading) {
        records.Clear();
        hasData = false;
        recordsLeft = LastSpinEdit.value();
        // A start address typed but never left is still short of its leading zeros.
        NextAdresEditExit(FirstAdresEdit);
        readAddress = HexToInt(FirstAdresEdit.text());
        SendDataRequest(ToWire(FirstAdresEdit.text()));
    } else {
        SendPointerRequest();
    }
}

void TForm6::DataReadStep(const QByteArray &reply)
{
    if (!reply.isEmpty())
        AddRow(Copy(reply, 2, 2 * MemoryRecordSize));
    ShowStatus(!reply.isEmpty());
    if (!reading) {
        SendPointerRequest();
        return;
    }
    --recordsLeft;
    if (recordsLeft <= 0) {
        EndRead();
        return;
    }
    readAddress += MemoryRecordSize;
    // The memory ends at FFFF: a record further on would wrap around to the start.
    if (readAddress > LastRecordAddress) {
        EndRead();
        return;
    }
    SendDataRequest(HexDigits(readAddress, AddressDigits));
}

void TForm6::EndRead()
{
    reading = false;
    ReadButton.setText(ReadCaption);
    SendPointerRequest();
}

void TForm6::SendPointerRequest()
{
    workspace.Engine().SendCommand({.command = "@" + moduleAddress + "E" + CR,
                                    .checksum = checksum,
                                    .receiveMode = ReceiveMode::UncheckedFrame,
                                    .startChar = '>',
                                    .endChar = NoEndChar,
                                    .expectedLength = PointerReplyLength});
    step = MemoryStep::PointerPoll;
}

void TForm6::SendSetCommand()
{
    // The module takes the pointer as exactly four digits.
    NextAdresEditExit(NextAdresEdit);
    workspace.Engine().SendCommand({.command = "@" + moduleAddress + "S" + ToWire(NextAdresEdit.text()) + CR,
                                    .checksum = checksum,
                                    .receiveMode = ReceiveMode::UncheckedFrame,
                                    .startChar = '!',
                                    .endChar = NoEndChar,
                                    .expectedLength = SetReplyLength});
    step = MemoryStep::PointerSet;
}

void TForm6::SendDataRequest(const QByteArray &addressDigits)
{
    workspace.Engine().SendCommand({.command = "@" + moduleAddress + "D" + addressDigits + CR,
                                    .checksum = checksum,
                                    .receiveMode = ReceiveMode::UncheckedFrame,
                                    .startChar = '>',
                                    .endChar = NoEndChar,
                                    .expectedLength = RecordReplyLength});
    step = MemoryStep::DataRead;
}

void TForm6::ShowStatus(bool answered)
{
    const QString &status = answered ? StatusAnswered : StatusSilent;
    if (MemorySetings.title() != status)
        MemorySetings.setTitle(status);
}

void TForm6::AddRow(const QByteArray &record)
{
    hasData = true;
    records.AddRow(DecodeMemoryRecord(readAddress, record));
}

void TForm6::NextAdresEditClick()
{
    UpdateSetingButton.setEnabled(true);
}

void TForm6::UpdateSetingButtonClick()
{
    updateRequested = true;
}

void TForm6::ReadButtonClick()
{
    reading = !reading;
    ReadButton.setText(reading ? StopCaption : ReadCaption);
}

void TForm6::SaveButtonClick()
{
    if (!hasData || reading)
        return;
    const QString fileName =
        Prompts().SaveFileName("Save data ...", "Memory extract (*.dat)|*.dat|All files (*.*)|*.*", "dat");
    if (fileName.isEmpty())
        return;
    QList<QStringList> rows;
    for (int row = 0; row < records.Count(); ++row)
        rows.append(records.Row(row));
    if (ReplaceFile(fileName, MemoryExtract(rows)) == SaveResult::Saved)
        Prompts().Information("Saving successful !");
    else
        Prompts().Error("Can not open " + fileName + " !");
}

bool TForm6::NextAdresEditKeyPress(const QKeyEvent *event) const
{
    const QString typed = event->text();
    // Keys without a character (arrows, Delete, Home) keep their editing role, and Tab moves on.
    if (typed.isEmpty() || event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab)
        return false;
    if (event->key() == Qt::Key_Backspace)
        return false;
    return !(typed.size() == 1 && IsHexKey(typed.at(0)));
}

void TForm6::NextAdresEditExit(QLineEdit &edit)
{
    const QString text = edit.text();
    if (text.size() < AddressDigits)
        edit.setText(text.rightJustified(AddressDigits, '0'));
}

void TForm6::LastSpinEditExit()
{
    bool number = false;
    LastSpinEdit.cleanText().toInt(&number);
    if (!number)
        LastSpinEdit.setValue(1);
}

bool TForm6::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &NextAdresEdit || watched == &FirstAdresEdit) {
        auto &edit = static_cast<QLineEdit &>(*watched);
        switch (event->type()) {
        case QEvent::KeyPress:
            return NextAdresEditKeyPress(static_cast<QKeyEvent *>(event));
        case QEvent::FocusIn: {
            // Entering the pointer edit by hand, not getting the focus back with the window.
            const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
            if (&edit == &NextAdresEdit &&
                (reason == Qt::MouseFocusReason || reason == Qt::TabFocusReason ||
                 reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason))
                NextAdresEditClick();
            break;
        }
        case QEvent::MouseButtonPress:
            if (&edit == &NextAdresEdit)
                NextAdresEditClick();
            break;
        case QEvent::FocusOut:
            NextAdresEditExit(edit);
            break;
        default:
            break;
        }
    } else if (watched == &LastSpinEdit && event->type() == QEvent::FocusOut) {
        LastSpinEditExit();
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace navix
