#include "command_log.h"

int CommandLogModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows.size());
}

int CommandLogModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 3;
}

QVariant CommandLogModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= static_cast<int>(rows.size()))
        return {};
    const QStringList &cells = rows[index.row()];
    return index.column() < cells.size() ? cells[index.column()] : QString();
}

QVariant CommandLogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return {};
    static const char *titles[] = {"Command : ", "Response :", "Time :"};
    return section >= 0 && section < 3 ? QString(titles[section]) : QVariant();
}

void CommandLogModel::InsertRow(const QString &firstCell)
{
    if (rows.size() > MaxRows - 1) {
        const int last = static_cast<int>(rows.size()) - 1;
        beginRemoveRows({}, MaxRows - 1, last);
        rows.resize(MaxRows - 1);
        endRemoveRows();
    }
    beginInsertRows({}, 0, 0);
    rows.push_front({firstCell});
    endInsertRows();
}

void CommandLogModel::AppendToTop(const QStringList &cells)
{
    if (rows.empty())
        return;
    rows.front().append(cells);
    emit dataChanged(index(0, 0), index(0, 2));
}

QStringList CommandLogModel::Row(int row) const
{
    return row >= 0 && row < static_cast<int>(rows.size()) ? rows[row] : QStringList();
}

void CommandLogModel::Clear()
{
    beginResetModel();
    rows.clear();
    endResetModel();
}

#include <QTime>

QString LogTimeStamp(const QTime &time)
{
    return QStringLiteral("%1:%2:%3.%4")
        .arg(time.hour())
        .arg(time.minute())
        .arg(time.second())
        .arg(time.msec());
}
