#include "command_log.h"

#include "text_file.h"

#include <QDateTime>
#include <QTime>

#include <algorithm>
#include <cstdio>

namespace navix {

namespace {
constexpr int RoundTripDecimals = 1;
const QStringList CsvTitles = {"Command", "Response", "Time", "Round trip (ms)"};
} // namespace

CommandLogModel::CommandLogModel(QObject *parent)
    : BatchedRowModel({"Command : ", "Response :", "Time :"}, MaxRows, Order::NewestFirst, parent)
{
}

void CommandLogModel::AppendResponse(const QString &response, const QString &time,
                                     std::optional<double> roundTripMs)
{
    QStringList cells{response, time};
    if (roundTripMs)
        cells.append(QString::number(*roundTripMs, 'f', RoundTripDecimals));
    AppendToNewest(cells);
}

QVariant CommandLogModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::ToolTipRole)
        return BatchedRowModel::data(index, role);
    const QString roundTrip = ShownRow(index.row()).value(RoundTripCell);
    return roundTrip.isEmpty() ? QVariant() : QVariant("Round trip: " + roundTrip + " ms");
}

QByteArray CommandLogModel::Csv() const
{
    QByteArray csv;
    const auto appendLine = [&csv](const QStringList &fields) {
        for (int field = 0; field < fields.size(); ++field)
            csv += (field > 0 ? "," : "") + CsvField(fields[field]);
        csv += "\r\n";
    };
    appendLine(CsvTitles);
    for (int row = 0; row < Count(); ++row) {
        const QStringList cells = Row(row);
        QStringList fields;
        for (int cell = 0; cell < CsvTitles.size(); ++cell)
            fields.append(cells.value(cell));
        appendLine(fields);
    }
    return csv;
}

QString LogTimeStamp(const QTime &time)
{
    // Written out directly: at line rate every reply gets one.
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%d:%d:%d.%d", time.hour(), time.minute(),
                                     time.second(), time.msec());
    return QString::fromLatin1(text, std::clamp(length, 0, int(sizeof text) - 1));
}

QTime LogTimeOfDay()
{
    constexpr qint64 OffsetKeptMs = 1000;
    constexpr qint64 MsPerDay = 24 * 60 * 60 * 1000;
    static qint64 offsetMs = 0;
    static qint64 offsetValidUntil = 0;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now >= offsetValidUntil || now < offsetValidUntil - OffsetKeptMs) {
        offsetMs = QDateTime::fromMSecsSinceEpoch(now).offsetFromUtc() * qint64(1000);
        offsetValidUntil = now + OffsetKeptMs;
    }
    return QTime::fromMSecsSinceStartOfDay(
        static_cast<int>(((now + offsetMs) % MsPerDay + MsPerDay) % MsPerDay));
}

} // namespace navix
