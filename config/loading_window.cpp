#include "loading_window.h"

#include "module_file.h"

#include "bus/text.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

namespace navix {

namespace {
void Colour(QLabel &label, Qt::GlobalColor colour)
{
    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText, colour);
    label.setPalette(palette);
}
} // namespace

TForm9::TForm9(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint)
{
    setObjectName("TForm9");
    setWindowTitle("Loading modules ...");
    // The main window's tree and records are rebuilt while this window is up; nothing else may touch them.
    setWindowModality(Qt::ApplicationModal);

    const std::initializer_list<std::pair<QLabel *, const char *>> labels = {
        {&Label1, "Label1"}, {&Label2, "Label2"}, {&Label3, "Label3"}, {&Label4, "Label4"},
        {&Label5, "Label5"}, {&Label6, "Label6"}, {&Label7, "Label7"}};
    for (const auto &[label, name] : labels)
        label->setObjectName(name);
    Label1.setText("Navix :");
    Label2.setText("Address :");
    Label6.setText("(hex)");
    Label7.setText("(dec)");
    Label3.setAccessibleName("Model");
    Label4.setAccessibleName("Address (hex)");
    Label5.setAccessibleName("Address (dec)");
    Colour(Label3, Qt::red);
    Colour(Label4, Qt::blue);
    Colour(Label5, Qt::blue);
    Animate1.setObjectName("Animate1");
    Animate1.setTextVisible(false);
    Animate1.setRange(0, 0);
    Button1.setObjectName("Button1");
    Button1.setText("&Cancel");

    BuildLayout();
    connect(&Button1, &QPushButton::clicked, this, &TForm9::Button1Click);
}

void TForm9::BuildLayout()
{
    Label1.setBuddy(&Label3);
    Label2.setBuddy(&Label4);

    auto *fields = new QGridLayout;
    fields->addWidget(&Label1, 0, 0);
    fields->addWidget(&Label3, 0, 1, 1, 4);
    fields->addWidget(&Label2, 1, 0);
    fields->addWidget(&Label4, 1, 1);
    fields->addWidget(&Label6, 1, 2);
    fields->addWidget(&Label5, 1, 3);
    fields->addWidget(&Label7, 1, 4);
    fields->setColumnMinimumWidth(1, 40);
    fields->setColumnMinimumWidth(3, 40);

    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(&Button1);
    buttonRow->addStretch();

    auto *column = new QVBoxLayout(this);
    column->addLayout(fields);
    column->addWidget(&Animate1);
    column->addLayout(buttonRow);
    column->setSizeConstraint(QLayout::SetFixedSize);
}

void TForm9::ShowModule(const QByteArray &typeId, const QByteArray &addressText)
{
    Label3.setText(LoadedModelName(typeId));
    Label4.setText(FromWire(addressText));
    Label5.setText(QString::number(HexToInt(addressText)));
}

void TForm9::Button1Click()
{
    hide();
}

void TForm9::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TForm9::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        FormHide();
}

void TForm9::FormShow()
{
    cancelled = false;
    if (const QScreen *current = screen())
        move(current->availableGeometry().center() - QPoint(width() / 2, height() / 2));
}

void TForm9::FormHide()
{
    cancelled = true;
    emit Cancel();
}

} // namespace navix
