#include "editor_controls.h"

#include "bus/name_text.h"

#include <QPalette>
#include <QValidator>

namespace navix {

namespace {
class NameValidator : public QValidator
{
public:
    using QValidator::QValidator;

    State validate(QString &input, int &position) const override
    {
        // The cursor stays behind what was typed or pasted: a CR LF before it becomes a single blank.
        position = static_cast<int>(WithoutLineBreaks(input.left(position)).size());
        input = WithoutLineBreaks(input);
        if (input.contains(QChar(NameEnd)) || !Windows1250Holds(input))
            return Invalid;
        return Acceptable;
    }
};
} // namespace

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

void ShowText(QLineEdit &edit, const QString &text)
{
    if (edit.text() != text)
        edit.setText(text);
}

void MakeSilver(QLineEdit &edit, bool borderless)
{
    QPalette palette = edit.palette();
    palette.setColor(QPalette::Base, QColor(0xC0, 0xC0, 0xC0));
    edit.setPalette(palette);
    edit.setFrame(!borderless);
}

void SetUpNameEdit(QLineEdit &edit)
{
    edit.setMaxLength(MaxNameLength);
    edit.setValidator(new NameValidator(&edit));
}

} // namespace navix
