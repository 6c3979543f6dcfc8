#include "about_box.h"

#include "workspace/workspace.h"

#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace navix {

TForm2::TForm2(Workspace &workspace, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint), workspace(workspace)
{
    setObjectName("Form2");
    setWindowTitle("About NAVIX utility ...");
    Label1 = new QLabel("NAVIX Utility Software  ", this);
    Label1->setObjectName("Label1");
    QFont title = Label1->font();
    title.setBold(true);
    title.setPointSizeF(title.pointSizeF() * 1.3);
    Label1->setFont(title);
    Label2 = new QLabel("Version : 1.2", this);
    Label2->setObjectName("Label2");
    OKBitBtn = new QPushButton("&OK", this);
    OKBitBtn->setObjectName("OKBitBtn");
    OKBitBtn->setDefault(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1, 0, Qt::AlignHCenter);
    layout->addWidget(Label2, 0, Qt::AlignHCenter);
    layout->addSpacing(8);
    layout->addWidget(OKBitBtn, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    adjustSize();
    connect(OKBitBtn, &QPushButton::clicked, this, &QDialog::accept);
}

void TForm2::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    workspace.SetMainEnabled(false);
    const QRect main = workspace.MainGeometry();
    move(main.left() + main.width() / 2 - width() / 2, main.top() + main.height() / 2 - height() / 2);
}

void TForm2::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    if (!event->spontaneous())
        workspace.SetMainEnabled(true);
}

} // namespace navix
