#pragma once
// Reads a trend's CSV file back: the header's channel names and, per line, the time stamp and the values
// (lost for an empty cell), so that a test compares numbers, not texts.

#include "workspace/trend_feed.h"

#include <QFile>
#include <QStringList>

namespace navix {

struct ReadTrendFile
{
    QStringList names;
    QList<TrendSample> samples;
    bool ok = true;
};

// Splits a line at the commas outside quotes and takes the quotes off.
inline QStringList CsvCells(const QString &line)
{
    QStringList cells{QString()};
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == '"' && quoted && i + 1 < line.size() && line[i + 1] == '"') {
            cells.last() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            cells.append(QString());
        } else {
            cells.last() += c;
        }
    }
    return cells;
}

inline ReadTrendFile ReadTrendCsv(const QByteArray &text)
{
    ReadTrendFile file;
    const QStringList lines = QString::fromUtf8(text).split("\r\n", Qt::SkipEmptyParts);
    if (lines.isEmpty() || !text.endsWith("\r\n"))
        return {{}, {}, false};
    file.names = CsvCells(lines.first()).mid(1);
    for (const QString &line : lines.mid(1)) {
        const QStringList cells = CsvCells(line);
        TrendSample sample{QDateTime::fromString(cells.first(), Qt::ISODateWithMs), {}};
        file.ok = file.ok && sample.time.isValid() && cells.size() == file.names.size() + 1;
        for (const QString &cell : cells.mid(1)) {
            bool isNumber = false;
            const double value = cell.toDouble(&isNumber);
            file.ok = file.ok && (cell.isEmpty() || isNumber);
            sample.values.append(cell.isEmpty() ? LostValue : value);
        }
        file.samples.append(sample);
    }
    return file;
}

inline ReadTrendFile ReadTrendCsvFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? ReadTrendCsv(file.readAll()) : ReadTrendFile{{}, {}, false};
}

// Same values, a lost one only where the other is lost too.
inline bool SameValues(const QList<double> &a, const QList<double> &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (IsLost(a[i]) != IsLost(b[i]) || (!IsLost(a[i]) && a[i] != b[i]))
            return false;
    return true;
}

} // namespace navix
