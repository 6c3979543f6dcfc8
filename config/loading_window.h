#pragma once
// The loading-progress window: shows the module whose block is being loaded from a configuration file and
// lets the user cancel the load between two blocks. Whoever loads asks it whether the load was cancelled;
// hiding the window in any way (its button, its close box, the loader itself) counts as a cancel.

#include <QByteArray>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace navix {

class TForm9 : public QDialog
{
    Q_OBJECT
public:
    explicit TForm9(QWidget *parent = nullptr);

    bool Cancelled() const { return cancelled; }
    // The module being loaded: its model, its address text as it stands and that address in decimal.
    void ShowModule(const QByteArray &typeId, const QByteArray &addressText);

signals:
    // The window was hidden: whoever loads stops before the next block.
    void Cancel();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void Button1Click();
    void FormShow();
    void FormHide();
    void BuildLayout();

    // Controls: each object name is the member's name, by which tests find the control.
    QLabel Label1;
    QLabel Label2;
    QLabel Label3;
    QLabel Label4;
    QLabel Label5;
    QLabel Label6;
    QLabel Label7;
    QProgressBar Animate1;
    QPushButton Button1;

    bool cancelled = true;
};

} // namespace navix
