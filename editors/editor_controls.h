#pragma once
// Small set-up helpers for the controls the module editors add to the common window.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>

// A settings combo box: the user may type into it; a text that is no item is put back by the change handler.
void SetUpSettingCombo(QComboBox &box, const QString &name, const QStringList &items);
void SetUpReadOnlyEdit(QLineEdit &edit, const QString &name);
void SetUpLabel(QLabel &label, const QString &name, const QString &text);
void SetUpButton(QPushButton &button, const QString &name, const QString &text);
// The silver fields of the data areas; borderless ones are the editable names and descriptions.
void MakeSilver(QLineEdit &edit, bool borderless = false);
