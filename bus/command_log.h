#pragma once
// The command log that the main window's ListView1 shows: newest exchange on top, at most 500 rows. A row
// keeps every cell it was given; the view shows the first three (command, response, time). A second response
// to the same command (for example "Time out !" after a reply) lands in further cells that the columns do not
// show.

#include <QAbstractTableModel>
#include <QStringList>

#include <deque>

class CommandLogModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int MaxRows = 500;

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // A new row on top with the text as its first cell; the oldest row goes when there would be more than
    // 500.
    void InsertRow(const QString &firstCell);
    // Appends cells to the top row; without a row nothing happens.
    void AppendToTop(const QStringList &cells);
    // All cells of a row, row 0 being the newest.
    QStringList Row(int row) const;
    void Clear();

private:
    std::deque<QStringList> rows;
};

class QTime;
// Time of day as hours, minutes, seconds and milliseconds without leading zeros: 9:05:07.045 reads 9:5:7.45.
QString LogTimeStamp(const QTime &time);
