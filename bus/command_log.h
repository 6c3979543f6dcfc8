#pragma once
// The command log that the main window's ListView1 shows: newest exchange on top, at most 500 rows. A row
// keeps every cell it was given; the view shows the first three (command, response, time). A second response
// to the same command (for example "Time out !" after a reply) lands in further cells that the columns do not
// show. The log is written on every exchange; the view follows in batches (BatchedRowModel).

#include "batched_row_model.h"

#include <optional>
class QTime;

namespace navix {

class CommandLogModel : public BatchedRowModel
{
    Q_OBJECT
public:
    static constexpr int MaxRows = 500;

    explicit CommandLogModel(QObject *parent = nullptr);

    // A new row on top with the text as its first cell; the oldest row goes when there would be more than
    // 500.
    void InsertRow(const QString &firstCell) { AddRow({firstCell}); }
    // Appends cells to the top row; without a row nothing happens.
    void AppendToTop(const QStringList &cells) { AppendToNewest(cells); }
    // A response with its time of day and, when it ended an exchange, the round trip of that exchange.
    void AppendResponse(const QString &response, const QString &time, std::optional<double> roundTripMs);

    // The tooltip of a row tells its round trip.
    QVariant data(const QModelIndex &index, int role) const override;

    // The rows as the list shows them, newest first, as comma-separated values with a title line: command,
    // response, time and round trip in milliseconds (empty where the exchange had none).
    QByteArray Csv() const;

    // Where a row keeps the round trip of its exchange, in milliseconds; the columns do not show it.
    static constexpr int RoundTripCell = 3;
};

// Time of day as hours, minutes, seconds and milliseconds without leading zeros: 9:05:07.045 reads 9:5:7.45.
QString LogTimeStamp(const QTime &time);

// The local time of day for a log row. Asking the system for the local time reads the time zone anew every
// time, which at line rate costs more than the rest of logging; the zone's offset is taken at most once a
// second instead (a change of summer time shows within that second).
QTime LogTimeOfDay();

} // namespace navix
