#include "command_log.h"

#include <QTime>

CommandLogModel::CommandLogModel(QObject *parent)
    : BatchedRowModel({"Command : ", "Response :", "Time :"}, MaxRows, Order::NewestFirst, parent)
{
}

QString LogTimeStamp(const QTime &time)
{
    return QStringLiteral("%1:%2:%3.%4")
        .arg(time.hour())
        .arg(time.minute())
        .arg(time.second())
        .arg(time.msec());
}
