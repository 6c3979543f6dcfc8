#include "tree_icons.h"

#include <QPainter>
#include <QPixmap>

namespace navix {

namespace {
constexpr int IconSize = 16;

QPixmap Canvas()
{
    QPixmap pixmap(IconSize, IconSize);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QPixmap DrawComputer()
{
    QPixmap pixmap = Canvas();
    QPainter painter(&pixmap);
    painter.setPen(QColor(60, 60, 60));
    painter.setBrush(QColor(70, 130, 200));
    painter.drawRect(1, 1, 13, 9); // screen
    painter.setBrush(QColor(160, 160, 160));
    painter.drawRect(6, 11, 3, 1); // neck
    painter.drawRect(3, 13, 9, 1); // foot
    return pixmap;
}

// A nine-pin connector face; the selected port glows green like an open line.
QPixmap DrawPort(bool selected)
{
    QPixmap pixmap = Canvas();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(50, 50, 50));
    painter.setBrush(selected ? QColor(90, 190, 90) : QColor(190, 190, 190));
    const QPointF shell[] = {{1, 4}, {15, 4}, {13, 12}, {3, 12}};
    painter.drawPolygon(shell, 4);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(40, 40, 40));
    for (int pin = 0; pin < 5; ++pin)
        painter.drawEllipse(QPointF(3.5 + 2.25 * pin, 6.5), 0.8, 0.8);
    for (int pin = 0; pin < 4; ++pin)
        painter.drawEllipse(QPointF(4.6 + 2.25 * pin, 9.5), 0.8, 0.8);
    return pixmap;
}

// A rail-mounted module with its status lamp; the lamp lights when the module is selected.
QPixmap DrawModule(bool selected)
{
    QPixmap pixmap = Canvas();
    QPainter painter(&pixmap);
    painter.setPen(QColor(60, 60, 60));
    painter.setBrush(QColor(230, 220, 190));
    painter.drawRect(3, 1, 10, 14);
    painter.setBrush(QColor(120, 120, 120));
    painter.drawRect(5, 3, 6, 2); // terminals
    painter.drawRect(5, 11, 6, 2);
    painter.setBrush(selected ? QColor(40, 200, 40) : QColor(110, 60, 60));
    painter.drawEllipse(QPointF(8, 8), 1.5, 1.5);
    return pixmap;
}
} // namespace

QIcon TreeIcon(TreeImage image)
{
    QIcon icon;
    switch (image) {
    case TreeImage::Computer:
        icon.addPixmap(DrawComputer(), QIcon::Normal);
        icon.addPixmap(DrawComputer(), QIcon::Selected);
        break;
    case TreeImage::Port:
        icon.addPixmap(DrawPort(false), QIcon::Normal);
        icon.addPixmap(DrawPort(true), QIcon::Selected);
        break;
    case TreeImage::Module:
        icon.addPixmap(DrawModule(false), QIcon::Normal);
        icon.addPixmap(DrawModule(true), QIcon::Selected);
        break;
    }
    return icon;
}

} // namespace navix
