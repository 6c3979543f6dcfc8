#include "output_panel.h"

#include <QMouseEvent>

namespace navix {

const QColor OutputPanel::OffColor(0xC0, 0xC0, 0xC0);
const QColor OutputPanel::OnColor(0x00, 0xFF, 0x00);

OutputPanel::OutputPanel(int tag, QWidget *parent) : QLabel(parent), tag(tag)
{
    setAlignment(Qt::AlignCenter);
    setFrameShape(QFrame::Panel);
    setLineWidth(2);
    setAutoFillBackground(true);
    setFixedSize(25, 25);
    SetOn(false);
}

QColor OutputPanel::Color() const
{
    return palette().color(QPalette::Window);
}

void OutputPanel::SetOn(bool on)
{
    setText(on ? QStringLiteral("1") : QStringLiteral("0"));
    setFrameShadow(on ? QFrame::Sunken : QFrame::Raised);
    QPalette colors = palette();
    colors.setColor(QPalette::Window, on ? OnColor : OffColor);
    colors.setColor(QPalette::WindowText, Qt::black);
    setPalette(colors);
}

void OutputPanel::mouseReleaseEvent(QMouseEvent *event)
{
    QLabel::mouseReleaseEvent(event);
    if (clickable && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit Clicked(this);
}

} // namespace navix
