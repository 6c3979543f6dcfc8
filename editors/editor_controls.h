#pragma once
// Small set-up helpers for the controls the module editors add to the common window.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>

namespace navix {

// A settings combo box: the user may type into it; a text that is no item is put back by the change handler.
void SetUpSettingCombo(QComboBox &box, const QString &name, const QStringList &items);
void SetUpReadOnlyEdit(QLineEdit &edit, const QString &name);
void SetUpLabel(QLabel &label, const QString &name, const QString &text);
void SetUpButton(QPushButton &button, const QString &name, const QString &text);
// The silver fields of the data areas; borderless ones are the editable names and descriptions.
void MakeSilver(QLineEdit &edit, bool borderless = false);

// Shows text in a field the polling refreshes. Most polls bring what the field already shows; setting it
// again would still lay the text out anew and tell accessibility of a change, on every poll of every editor.
void ShowText(QLineEdit &edit, const QString &text);
// The same as a slot for a turn's signal.
inline auto TextShower(QLineEdit &edit)
{
    return [&edit](const QString &text) { ShowText(edit, text); };
}

// A channel name or module description is saved on one line of a configuration file, in brackets, in code
// page Windows-1250. Its edit therefore turns a pasted line break into a blank and refuses a ")" and any
// character that code page cannot hold; and it keeps a name to MaxNameLength (bus/name_text.h).
void SetUpNameEdit(QLineEdit &edit);

} // namespace navix
