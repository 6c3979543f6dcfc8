#pragma once
// The lists that fill at line rate: the command log, the terminal's list and the memory list. Each is a table
// of one-line plain texts without tree decoration, repainted up to ten times a second while the bus is
// polled, so its cells are drawn from texts laid out once and kept, not laid out anew on every repaint.

#include <QCache>
#include <QFont>
#include <QList>
#include <QStaticText>
#include <QStyledItemDelegate>

class QAbstractItemModel;
class QTreeView;

namespace navix {

// Draws a cell's text left-aligned on one line, elided at the right when it does not fit, over the style's
// item background (selection included).
class PlainTextDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // Polling repeats the same commands and replies, and a row stays in view for many repaints. Time stamps
    // never repeat, so while the bus is polled the texts kept grow to this many and then stay there: room
    // for every cell of a list as tall as a screen, and for the commands and replies of a busy bus.
    static constexpr int KeptTexts = 600;
    int KeptTextCount() const { return texts.count(); }

private:
    const QStaticText &LaidOut(const QString &text, const QFont &font) const;
    int Margin(const QStyleOptionViewItem &option) const;

    mutable QCache<QString, QStaticText> texts{KeptTexts};
    mutable QFont textFont;
    mutable int rowHeight = 0;
};

// Shows model in view as such a list, with the given column widths.
void SetUpRowList(QTreeView &view, QAbstractItemModel &model, const QList<int> &columnWidths);

} // namespace navix
