#include "message_prompt.h"

#include "network_address_dialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace navix {

namespace {
QWidget *DialogParent()
{
    return QApplication::activeWindow();
}

QString RunFileDialog(QFileDialog::AcceptMode mode, const QString &title, const QString &filter,
                      const QString &defaultSuffix)
{
    QFileDialog dialog(DialogParent(), title);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(DialogNameFilters(filter));
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}
} // namespace

QStringList DialogNameFilters(const QString &filter)
{
    if (!filter.contains('|'))
        return filter.isEmpty() ? QStringList() : filter.split(";;");
    QStringList names;
    const QStringList parts = filter.split('|');
    for (int i = 0; i < parts.size(); i += 2) {
        const QString pattern = parts.value(i + 1).replace(';', ' ');
        names.append(parts[i].contains('(') ? parts[i] : parts[i] + " (" + pattern + ")");
    }
    return names;
}

void MessagePrompt::Error(const QString &text)
{
    QMessageBox::critical(DialogParent(), QStringLiteral("Error"), text, QMessageBox::Ok);
}

void MessagePrompt::Information(const QString &text)
{
    QMessageBox::information(DialogParent(), QStringLiteral("Information"), text, QMessageBox::Ok);
}

QString MessagePrompt::SaveFileName(const QString &title, const QString &filter, const QString &defaultSuffix)
{
    return RunFileDialog(QFileDialog::AcceptSave, title, filter, defaultSuffix);
}

QString MessagePrompt::OpenFileName(const QString &title, const QString &filter, const QString &defaultSuffix)
{
    return RunFileDialog(QFileDialog::AcceptOpen, title, filter, defaultSuffix);
}

std::optional<TypedNetworkAddress> MessagePrompt::AskNetworkAddress(const QString &title)
{
    NetworkAddressDialog dialog(DialogParent());
    dialog.setWindowTitle(title);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.Typed();
}

} // namespace navix
