#include "row_list_view.h"

#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QTreeView>

namespace navix {

int PlainTextDelegate::Margin(const QStyleOptionViewItem &option) const
{
    const QStyle *style = option.widget ? option.widget->style() : QApplication::style();
    return style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, option.widget) + 1;
}

const QStaticText &PlainTextDelegate::LaidOut(const QString &text, const QFont &font) const
{
    if (font != textFont) {
        texts.clear();
        textFont = font;
        rowHeight = 0;
    }
    if (QStaticText *kept = texts.object(text))
        return *kept;
    auto *laidOut = new QStaticText(text);
    laidOut->setTextFormat(Qt::PlainText);
    laidOut->prepare(QTransform(), font);
    texts.insert(text, laidOut);
    return *laidOut;
}

void PlainTextDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const
{
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    const QWidget *widget = option.widget;
    const QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &background, painter, widget);

    const QString text = index.data(Qt::DisplayRole).toString();
    if (text.isEmpty())
        return;
    const QPalette::ColorGroup group = !(option.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (option.state & QStyle::State_Active) ? QPalette::Active
                                                                               : QPalette::Inactive;
    const bool selected = option.state & QStyle::State_Selected;
    const int margin = Margin(option);
    const QRect area = option.rect.adjusted(margin, 0, -margin, 0);
    const QStaticText &laidOut = LaidOut(text, option.font);

    painter->save();
    painter->setFont(option.font);
    painter->setPen(option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
    painter->setClipRect(area, Qt::IntersectClip);
    if (laidOut.size().width() <= area.width()) {
        const int top = area.top() + (area.height() - qRound(laidOut.size().height())) / 2;
        painter->drawStaticText(QPoint(area.left(), top), laidOut);
    } else {
        painter->drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                          option.fontMetrics.elidedText(text, Qt::ElideRight, area.width()));
    }
    painter->restore();
}

QSize PlainTextDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QStaticText &laidOut = LaidOut(index.data(Qt::DisplayRole).toString(), option.font);
    // Every row is one line high; the style's own measure of a line is taken once.
    if (rowHeight == 0)
        rowHeight = QStyledItemDelegate::sizeHint(option, index).height();
    return {qCeil(laidOut.size().width()) + 2 * Margin(option), rowHeight};
}

void SetUpRowList(QTreeView &view, QAbstractItemModel &model, const QList<int> &columnWidths)
{
    view.setRootIsDecorated(false);
    view.setUniformRowHeights(true);
    view.setItemsExpandable(false);
    view.setEditTriggers(QAbstractItemView::NoEditTriggers);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setItemDelegate(new PlainTextDelegate(&view));
    view.setModel(&model);
    view.header()->setStretchLastSection(false);
    for (int column = 0; column < columnWidths.size(); ++column)
        view.setColumnWidth(column, columnWidths[column]);
}

} // namespace navix
