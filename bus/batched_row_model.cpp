#include "batched_row_model.h"

#include <algorithm>

namespace navix {

BatchedRowModel::BatchedRowModel(const QStringList &titles, int capacity, Order order, QObject *parent)
    : QAbstractTableModel(parent), titles(titles), capacity(std::max(1, capacity)), order(order)
{
    publishTimer.setSingleShot(true);
    connect(&publishTimer, &QTimer::timeout, this, &BatchedRowModel::Publish);
}

int BatchedRowModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(shownEnd - shownFirst);
}

int BatchedRowModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(titles.size());
}

QVariant BatchedRowModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    return ShownRow(index.row()).value(index.column());
}

QStringList BatchedRowModel::ShownRow(int row) const
{
    if (row < 0 || row >= rowCount())
        return {};
    return Slot(ShownSequence(row));
}

QVariant BatchedRowModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= titles.size())
        return {};
    return titles[section];
}

qint64 BatchedRowModel::HeldFirst() const
{
    return std::max<qint64>(0, added - capacity);
}

QStringList &BatchedRowModel::Slot(qint64 sequence)
{
    return ring[static_cast<size_t>(sequence % (2 * capacity))];
}

const QStringList &BatchedRowModel::Slot(qint64 sequence) const
{
    return ring[static_cast<size_t>(sequence % (2 * capacity))];
}

qint64 BatchedRowModel::ShownSequence(int row) const
{
    return order == Order::NewestFirst ? shownEnd - 1 - row : shownFirst + row;
}

int BatchedRowModel::Count() const
{
    return static_cast<int>(added - HeldFirst());
}

QStringList BatchedRowModel::Row(int row) const
{
    if (row < 0 || row >= Count())
        return {};
    return Slot(order == Order::NewestFirst ? added - 1 - row : HeldFirst() + row);
}

void BatchedRowModel::AddRow(const QStringList &cells)
{
    if (ring.size() < static_cast<size_t>(2 * capacity))
        ring.push_back(cells);
    else
        Slot(added) = cells;
    ++added;
    // Once a capacity of rows waits for the next batch, every row the view shows is gone from the model: the
    // view lets go of them now, so that their places in the ring may be taken.
    if (added - shownEnd >= capacity && shownEnd > shownFirst) {
        beginRemoveRows({}, 0, rowCount() - 1);
        shownFirst = shownEnd;
        endRemoveRows();
    }
    SchedulePublish();
}

void BatchedRowModel::AppendToNewest(const QStringList &cells)
{
    if (added == 0)
        return;
    Slot(added - 1).append(cells);
    if (added - 1 < shownEnd)
        changedShownRow = added - 1;
    SchedulePublish();
}

void BatchedRowModel::Clear()
{
    beginResetModel();
    ring.clear();
    added = shownFirst = shownEnd = 0;
    changedShownRow = -1;
    pending = false;
    publishTimer.stop();
    endResetModel();
}

void BatchedRowModel::SchedulePublish()
{
    pending = true;
    if (publishTimer.isActive())
        return;
    // The first change after a quiet spell shows at once; a stream of changes shows in batches.
    const qint64 waited = sincePublish.isValid() ? sincePublish.elapsed() : PublishIntervalMs;
    publishTimer.start(static_cast<int>(std::max<qint64>(0, PublishIntervalMs - waited)));
}

void BatchedRowModel::Publish()
{
    publishTimer.stop();
    if (!pending)
        return;
    pending = false;
    sincePublish.start();

    // A full list stays full: new rows push as many old ones out. To the view every row then shows other
    // texts, which it repaints; taking rows out and putting others in would make it lay out all its rows,
    // its header and its scroll bars again on every batch.
    const qint64 heldFirst = HeldFirst();
    if (added > shownEnd && shownEnd > shownFirst && added - heldFirst == shownEnd - shownFirst) {
        shownFirst = heldFirst;
        shownEnd = added;
        changedShownRow = -1;
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
        return;
    }

    // Rows the view shows that the model no longer holds leave first.
    const qint64 goneEnd = std::min(heldFirst, shownEnd);
    if (goneEnd > shownFirst) {
        const int count = static_cast<int>(goneEnd - shownFirst);
        const int first = order == Order::NewestFirst ? rowCount() - count : 0;
        beginRemoveRows({}, first, first + count - 1);
        shownFirst = goneEnd;
        endRemoveRows();
    }
    if (shownFirst == shownEnd)
        shownFirst = shownEnd = std::max(shownEnd, heldFirst);

    // The changed row's place before the new rows come in.
    const qint64 changed = changedShownRow >= shownFirst && changedShownRow < shownEnd ? changedShownRow : -1;
    changedShownRow = -1;

    if (added > shownEnd) {
        const int count = static_cast<int>(added - shownEnd);
        const int first = order == Order::NewestFirst ? 0 : rowCount();
        beginInsertRows({}, first, first + count - 1);
        shownEnd = added;
        endInsertRows();
    }
    if (changed >= 0) {
        const int row =
            static_cast<int>(order == Order::NewestFirst ? shownEnd - 1 - changed : changed - shownFirst);
        emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    }
}

} // namespace navix
