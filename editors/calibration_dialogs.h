#pragma once
// The calibration dialogs the analog editors share: TForm7 confirms a calibration, TForm8 asks for the counts
// of a trim of the 4021 output. Each exists once in the program and is shown without being modal. The program
// creates one CalibrationDialogSet at start; a test creates its own. Editors reach the dialogs through
// CalibrationDialog() and TrimDialog().
//
// A calibration button's click handler calls
//
//     OpenCalibrationDialog(this, store, 1, "4mA Calibaration N780 (0A)",
//                           "Stores the current output value as 4mA.");
//
// with the editor window, what takes the request (the editor's turn), the code that "&Execute" hands it,
// caption and message. While either dialog is showing it does nothing: one calibration at a time.
//
// "&Execute" hands the request code to the target and hides the dialog; "&Cancel", "E&xit" and the window's
// close button only hide it. TForm8 hands over the trim count as a byte instead: 1..95 as they are, -95..-1
// plus 256, 0 for no trim; a count outside -95..95 is refused with "Invalid number of counts!" and the dialog
// stays. The target is guarded by its editor: once that window is destroyed "&Execute" hands over nothing.
// The editor carries the request out on its next turn.

#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <functional>

namespace navix {

// The frame both dialogs share: picture, message, the three buttons and the guarded target.
class CalibrationDialogFrame : public QDialog
{
    Q_OBJECT
public:
    CalibrationDialogFrame(const QString &caption, const QString &message, QWidget *parent = nullptr);

    // What takes the request on "&Execute"; it lives as long as editor.
    void SetTarget(QObject *editor, std::function<void(int)> store);
    // Whether "&Execute" would hand the request to someone: a target was set and its editor still exists.
    bool HasTarget() const;
    // The message beside the picture.
    void SetMessage(const QString &message);

protected:
    // The value "&Execute" stores; false when the input is refused and the dialog stays open.
    virtual bool TakeRequest(int &request) = 0;
    // Where a dialog puts controls of its own: between the message and the buttons.
    QVBoxLayout *InputLayout() const { return inputLayout; }

private:
    void ExecuteButtonClick();
    void CancelButtonClick();
    void ExitButtonClick();

    QLabel Image1;
    QLabel Label1;
    QPushButton ExecuteButton;
    QPushButton CancelButton;
    QPushButton ExitButton;
    QVBoxLayout *inputLayout = nullptr;
    QPointer<QObject> targetEditor;
    std::function<void(int)> targetStore;
};

// Confirms a calibration: "&Execute" stores the request code the editor set.
class TForm7 : public CalibrationDialogFrame
{
    Q_OBJECT
public:
    explicit TForm7(QWidget *parent = nullptr);

    // The code "&Execute" hands over.
    void SetRequestCode(int code) { requestCode = code; }
    int RequestCode() const { return requestCode; }

protected:
    bool TakeRequest(int &request) override;

private:
    int requestCode = 0;
};

// The spin edit of the trim dialog: the arrows stay inside -95..95, but up to three characters may be typed,
// so that a count out of range reaches "&Execute" and is refused there with a message rather than silently
// changed.
class CountSpinBox : public QSpinBox
{
    Q_OBJECT
public:
    static constexpr int LowestCount = -95;
    static constexpr int HighestCount = 95;

    explicit CountSpinBox(QWidget *parent = nullptr);
    void stepBy(int steps) override;

protected:
    StepEnabled stepEnabled() const override;
};

// Asks for the number of counts by which the 4021 trims its output.
class TForm8 : public CalibrationDialogFrame
{
    Q_OBJECT
public:
    explicit TForm8(QWidget *parent = nullptr);

protected:
    bool TakeRequest(int &request) override;

private:
    CountSpinBox SpinEdit1;
};

// The program's pair of dialogs: installs itself as the one the accessors return while it lives.
class CalibrationDialogSet
{
public:
    CalibrationDialogSet();
    ~CalibrationDialogSet();
    CalibrationDialogSet(const CalibrationDialogSet &) = delete;
    CalibrationDialogSet &operator=(const CalibrationDialogSet &) = delete;

    TForm7 Form7;
    TForm8 Form8;

private:
    CalibrationDialogSet *previous = nullptr;
};

// The dialogs of the installed set (a set must exist).
TForm7 &CalibrationDialog();
TForm8 &TrimDialog();
// Whether either dialog is showing; a calibration button does nothing then.
bool AnyCalibrationDialogVisible();
// The caption of a calibration dialog, "Span Calibaration N770 (0A)": the kind of calibration, the model and
// the address of the input as two hex digits.
QString CalibrationCaption(const QString &kind, const QString &model, int address);
// What a calibration button does: shows TForm7 with the caption and message, set to hand code to store on
// "&Execute". Does nothing and returns false while either dialog is showing.
bool OpenCalibrationDialog(QObject *editor, std::function<void(int)> store, int code, const QString &caption,
                           const QString &message);

} // namespace navix
