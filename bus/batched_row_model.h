#pragma once
// A table of text rows for a list that may fill faster than anyone can read it (the command log while the
// editors poll at line rate, a memory read-out). Adding a row takes constant time: the rows live in a ring.
// The view hears of the changes in batches, at most PublishIntervalMs apart; rows added and pushed out again
// between two batches never reach it, and a view that is not painted costs nothing in between. Once the list
// is full, a batch tells the view that the texts of its rows changed rather than that rows came and went,
// which spares it laying itself out again; a selected row then stays in its place instead of moving with its
// text.
//
// rowCount() and data() describe what the view was last told; Count() and Row() what the model holds now.

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>

#include <vector>

namespace navix {

class BatchedRowModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum class Order { NewestFirst, OldestFirst };
    static constexpr int PublishIntervalMs = 500;

    // A row keeps every cell it is given; the view shows as many columns as there are titles.
    BatchedRowModel(const QStringList &titles, int capacity, Order order, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // A new newest row; beyond the capacity the oldest goes.
    void AddRow(const QStringList &cells);
    // Appends cells to the newest row; without a row nothing happens.
    void AppendToNewest(const QStringList &cells);
    void Clear();

    int Capacity() const { return capacity; }
    // Rows held now, and one of them in the order of the view (row 0 on top); empty past the end.
    int Count() const;
    QStringList Row(int row) const;

    // Hands every change made since the last batch to the view now.
    void Publish();

protected:
    // The cells of a row as the view was last told of it (row 0 on top); empty past the end.
    QStringList ShownRow(int row) const;

private:
    qint64 HeldFirst() const;
    QStringList &Slot(qint64 sequence);
    const QStringList &Slot(qint64 sequence) const;
    qint64 ShownSequence(int row) const;
    void SchedulePublish();

    const QStringList titles;
    const int capacity;
    const Order order;
    // Rows are numbered in the order they came. The ring has room for twice the capacity, so that the rows
    // the view shows stay intact while fewer than a capacity of new rows wait for the next batch.
    std::vector<QStringList> ring;
    qint64 added = 0;      // rows added since the last Clear: the next row's number
    qint64 shownFirst = 0; // the rows the view knows: numbers shownFirst .. shownEnd - 1
    qint64 shownEnd = 0;
    qint64 changedShownRow = -1; // a row the view shows that got cells since the last batch
    bool pending = false;
    QTimer publishTimer;
    QElapsedTimer sincePublish;
};

} // namespace navix
