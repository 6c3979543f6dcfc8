#include "trend_csv.h"

#include "bus/text_file.h"

#include <QLocale>

namespace navix {

namespace {
const QByteArray LineEnd = "\r\n";
const QByteArray TimeHeader = "Time";
} // namespace

QByteArray TrendCsvHeader(const QList<TrendChannel> &channels)
{
    QByteArray line = TimeHeader;
    for (const TrendChannel &channel : channels)
        line += ',' + CsvField(channel.name);
    return line + LineEnd;
}

QByteArray TrendCsvLine(const TrendSample &sample)
{
    QByteArray line = sample.time.toString(Qt::ISODateWithMs).toLatin1();
    for (const double value : sample.values) {
        line += ',';
        if (!IsLost(value))
            line += QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
    }
    return line + LineEnd;
}

QByteArray TrendCsvText(const TrendModel &model)
{
    QByteArray text = TrendCsvHeader(model.Channels());
    for (int index = 0; index < model.SampleCount(); ++index)
        text += TrendCsvLine(model.SampleAt(index));
    return text;
}

bool TrendLog::Start(const QString &path, const QList<TrendChannel> &channels, QString &error)
{
    Stop();
    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        error = file.errorString();
        return false;
    }
    loggedChannels = channels;
    if (file.size() == 0)
        Write(TrendCsvHeader(channels));
    return IsActive();
}

void TrendLog::Stop()
{
    if (file.isOpen())
        file.close();
}

void TrendLog::Describe(const QList<TrendChannel> &channels)
{
    if (!IsActive() || channels == loggedChannels)
        return;
    loggedChannels = channels;
    Write(TrendCsvHeader(channels));
}

void TrendLog::Append(const TrendSample &sample)
{
    if (IsActive())
        Write(TrendCsvLine(sample));
}

void TrendLog::Write(const QByteArray &text)
{
    if (file.write(text) == text.size() && file.flush())
        return;
    const QString reason = file.errorString();
    const QString path = file.fileName();
    // Whatever part of the line got out is dropped with the handle; the lines before it are on disk.
    file.close();
    emit Failed(QStringLiteral("The log to %1 stopped: %2").arg(path, reason));
}

} // namespace navix
