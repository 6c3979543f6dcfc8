#pragma once
// The about box. While it is shown the main window is disabled, so that nothing in the workspace changes
// under it.

#include <QDialog>

class QLabel;
class QPushButton;

namespace navix {

class Workspace;

class TForm2 : public QDialog
{
    Q_OBJECT
public:
    explicit TForm2(Workspace &workspace, QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    Workspace &workspace;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QPushButton *OKBitBtn = nullptr;
};

} // namespace navix
