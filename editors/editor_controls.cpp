#include "editor_controls.h"

#include <QPalette>

void SetUpSettingCombo(QComboBox &box, const QString &name, const QStringList &items)
{
    box.setObjectName(name);
    box.setEditable(true);
    box.setInsertPolicy(QComboBox::NoInsert);
    box.addItems(items);
}

void SetUpReadOnlyEdit(QLineEdit &edit, const QString &name)
{
    edit.setObjectName(name);
    edit.setReadOnly(true);
}

void SetUpLabel(QLabel &label, const QString &name, const QString &text)
{
    label.setObjectName(name);
    label.setText(text);
}

void SetUpButton(QPushButton &button, const QString &name, const QString &text)
{
    button.setObjectName(name);
    button.setText(text);
}

void MakeSilver(QLineEdit &edit, bool borderless)
{
    QPalette palette = edit.palette();
    palette.setColor(QPalette::Base, QColor(0xC0, 0xC0, 0xC0));
    edit.setPalette(palette);
    edit.setFrame(!borderless);
}
