#include "pacing_dialog.h"

#include "bus/transaction_engine.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

namespace navix {

TForm5::TForm5(TransactionEngine &engine, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), engine(engine)
{
    setObjectName("Form5");
    setWindowTitle("Speed of command sending ...");

    BuildSpeedInfo();
    BuildButtons();
    auto *buttonRow = new QHBoxLayout;
    buttonRow->addWidget(Button1);
    buttonRow->addWidget(Button2);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(SpeedInfo);
    layout->addWidget(StopCheckBox);
    layout->addLayout(buttonRow);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(StopCheckBox, &QCheckBox::clicked, this, &TForm5::StopCheckBoxClick);
    connect(Button1, &QPushButton::clicked, this, &TForm5::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm5::Button2Click);
}

void TForm5::BuildSpeedInfo()
{
    SpeedInfo = new QGroupBox(this);
    SpeedInfo->setObjectName("SpeedInfo");
    auto *speedLayout = new QVBoxLayout(SpeedInfo);
    const char *captions[] = {"Very slow", "Slow", "Average", "Fast", "Very fast"};
    QRadioButton **buttons[] = {&RadioButton1, &RadioButton2, &RadioButton3, &RadioButton4, &RadioButton5};
    for (int i = 0; i < 5; ++i) {
        *buttons[i] = new QRadioButton(captions[i], SpeedInfo);
        (*buttons[i])->setObjectName(QStringLiteral("RadioButton%1").arg(i + 1));
        speedLayout->addWidget(*buttons[i]);
    }
    RadioButton4->setChecked(true);
}

void TForm5::BuildButtons()
{
    StopCheckBox = new QCheckBox("Stop sending !", this);
    StopCheckBox->setObjectName("StopCheckBox");
    QPalette warning = StopCheckBox->palette();
    warning.setColor(QPalette::WindowText, Qt::red);
    warning.setColor(QPalette::ButtonText, Qt::red);
    StopCheckBox->setPalette(warning);

    Button1 = new QPushButton("&OK", this);
    Button1->setObjectName("Button1");
    Button1->setDefault(true);
    Button2 = new QPushButton("&Cancel", this);
    Button2->setObjectName("Button2");
}

int TForm5::SpeedInfoTag() const
{
    return engine.PacingTag();
}

QRadioButton *TForm5::SpeedButton(int number) const
{
    switch (number) {
    case 1:
        return RadioButton1;
    case 2:
        return RadioButton2;
    case 3:
        return RadioButton3;
    case 4:
        return RadioButton4;
    case 5:
        return RadioButton5;
    default:
        return nullptr;
    }
}

int TForm5::CheckedSpeed() const
{
    for (int number = 1; number <= 5; ++number)
        if (SpeedButton(number)->isChecked())
            return number;
    return Fast;
}

void TForm5::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TForm5::FormShow()
{
    // While sending is stopped the dialog shows itself as it was left: stop ticked, speeds disabled.
    if (QRadioButton *button = SpeedButton(SpeedInfoTag())) {
        button->setChecked(true);
        SpeedInfo->setEnabled(true);
        StopCheckBox->setChecked(false);
    }
}

void TForm5::StopCheckBoxClick()
{
    SpeedInfo->setEnabled(!StopCheckBox->isChecked());
}

void TForm5::Button1Click()
{
    hide();
    if (!SpeedInfo->isEnabled()) {
        engine.SetPacingTag(SendingStopped);
        return;
    }
    engine.SetPacingTag(CheckedSpeed());
    // A command held by the stop is still waiting: let it go out now.
    engine.ReleaseHeldCommand();
}

void TForm5::Button2Click()
{
    hide();
}

} // namespace navix
