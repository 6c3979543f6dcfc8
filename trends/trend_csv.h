#pragma once
// The trend's comma-separated files, without any widget: a header line "Time" + the channel names, then a
// line per sample with its ISO-8601 time stamp (milliseconds and offset from UTC) and a column per channel,
// an empty cell where the read was lost. Numbers are written with a point and as few digits as read back to
// the same value. Lines end in CR LF, as spreadsheet programs expect.

#include "trend_model.h"

#include <QByteArray>
#include <QFile>
#include <QObject>

namespace navix {

QByteArray TrendCsvHeader(const QList<TrendChannel> &channels);
QByteArray TrendCsvLine(const TrendSample &sample);
// The whole trend as a file's contents.
QByteArray TrendCsvText(const TrendModel &model);

// "Log to file ...": every sample as it comes, appended to a file that already exists (a header only where
// the file is empty or the channels changed) and flushed at once, so that what was logged stays on disk
// whatever else fails later. A write that fails stops the log and reports it; the lines before it stay.
class TrendLog : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // False (with the system's reason) when the file cannot be opened for appending.
    bool Start(const QString &path, const QList<TrendChannel> &channels, QString &error);
    void Stop();
    bool IsActive() const { return file.isOpen(); }
    QString Path() const { return file.fileName(); }

    // The channels changed: a header line of the new ones goes first.
    void Describe(const QList<TrendChannel> &channels);
    void Append(const TrendSample &sample);

signals:
    // The log stopped after a failed write.
    void Failed(const QString &message);

private:
    void Write(const QByteArray &text);

    QFile file;
    QList<TrendChannel> loggedChannels;
};

} // namespace navix
