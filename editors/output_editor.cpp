#include "output_editor.h"

#include <QKeyEvent>
#include <QRegularExpressionValidator>

namespace navix {

OutputEditorWindow::OutputEditorWindow(Workspace &workspace, const EditorDesign &design, OutputTurn &turn,
                                       int typedDigits, QWidget *parent)
    : DigitalEditorWindow(workspace, design, turn, parent), outputs(turn), typedDigits(typedDigits)
{
    for (OutputPanel *panel : Panels()) {
        panel->SetClickable(true);
        connect(panel, &OutputPanel::Clicked, this, &OutputEditorWindow::PanelClick);
    }
    // The key filter keeps typing to the module's hexadecimal digits; the validator does the same for pasted
    // text, which would otherwise reach the module as a value of its own (two digits on four relays). The
    // field shows every value with two digits, so leading zeros up to that width pass as well.
    const QString typedValue =
        QString("0{0,%1}[0-9A-Fa-f]{0,%2}").arg(ShownDigits - typedDigits).arg(typedDigits);
    DataEdit.setValidator(new QRegularExpressionValidator(QRegularExpression(typedValue), &DataEdit));
    DataEdit.installEventFilter(this);
}

OutputEditorWindow::~OutputEditorWindow()
{
    // The field loses its focus as the window goes; that is no value taken by the user.
    DataEdit.removeEventFilter(this);
}

void OutputEditorWindow::PanelClick(OutputPanel *panel)
{
    outputs.ClickChannel(panel->Tag());
}

void OutputEditorWindow::TakeDataValue(bool upperCase)
{
    outputs.TakeDataText(DataEdit.text(), upperCase);
}

bool OutputEditorWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &DataEdit) {
        switch (event->type()) {
        case QEvent::FocusIn:
            outputs.SetDataFocused(true);
            break;
        case QEvent::FocusOut: {
            // Switching to another window or opening the context menu leaves the field as it is: the user
            // comes back to it.
            const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
            if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
                break;
            TakeDataValue(false);
            outputs.SetDataFocused(false);
            break;
        }
        case QEvent::KeyPress:
            return DataEditKeyPress(static_cast<QKeyEvent *>(event));
        default:
            break;
        }
    }
    return DigitalEditorWindow::eventFilter(watched, event);
}

bool OutputEditorWindow::DataEditKeyPress(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        TakeDataValue(true);
        return true;
    }
    if (event->key() == Qt::Key_Backspace)
        return false;
    const QString typed = event->text();
    // Keys without a character (arrows, Delete, Tab) keep their editing role.
    if (typed.isEmpty() || !typed.at(0).isPrint())
        return false;
    const QChar c = typed.at(0);
    const bool hexDigit = typed.size() == 1 && QStringLiteral("0123456789ABCDEFabcdef").contains(c);
    if (!hexDigit)
        return true;
    const int kept = static_cast<int>(DataEdit.text().size() - DataEdit.selectedText().size());
    return kept >= typedDigits;
}

} // namespace navix
