#pragma once
// The pacing dialog: how long each command is held back before it is written. The choice lives in the
// transaction engine, which reads it at every command; the dialog shows it and changes it.

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QPushButton;
class QRadioButton;

namespace navix {

class TransactionEngine;

class TForm5 : public QDialog
{
    Q_OBJECT
public:
    // The held command goes out this long after the user lifts the stop.

    explicit TForm5(TransactionEngine &engine, QWidget *parent = nullptr);

    // 1..5 the chosen speed (the radio button's number), 6 sending stopped.
    int SpeedInfoTag() const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormShow();
    void StopCheckBoxClick();
    void Button1Click();
    void Button2Click();
    void BuildSpeedInfo();
    void BuildButtons();
    QRadioButton *SpeedButton(int number) const;
    int CheckedSpeed() const;

    TransactionEngine &engine;
    // Controls; tests find them by their object names.
    QGroupBox *SpeedInfo = nullptr;
    QRadioButton *RadioButton1 = nullptr;
    QRadioButton *RadioButton2 = nullptr;
    QRadioButton *RadioButton3 = nullptr;
    QRadioButton *RadioButton4 = nullptr;
    QRadioButton *RadioButton5 = nullptr;
    QCheckBox *StopCheckBox = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *Button2 = nullptr;
};

} // namespace navix
