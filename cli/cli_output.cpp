#include "cli_output.h"

#include <QJsonDocument>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace navix {

QString AlignedRows(const QList<QStringList> &rows)
{
    QList<qsizetype> widths;
    for (const QStringList &row : rows)
        for (qsizetype column = 0; column < row.size(); ++column) {
            if (widths.size() <= column)
                widths.append(0);
            widths[column] = std::max(widths[column], row[column].size());
        }
    QString text;
    for (const QStringList &row : rows) {
        QString line;
        for (qsizetype column = 0; column < row.size(); ++column)
            line += column + 1 < row.size() ? row[column].leftJustified(widths[column] + 2) : row[column];
        text += line.trimmed() + '\n';
    }
    return text;
}

void PrintOut(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

void PrintJson(const QJsonObject &document)
{
    PrintOut(QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Indented)));
}

void PrintProblem(const QString &text)
{
    std::fprintf(stderr, "navix-cli: %s\n", text.toUtf8().constData());
}

Progress::Progress(bool quiet) : enabled(!quiet && ::isatty(STDERR_FILENO)) {}

Progress::~Progress()
{
    if (shown)
        std::fputs("\n", stderr);
}

void Progress::Show(const QString &text)
{
    if (!enabled)
        return;
    std::fprintf(stderr, "\r%s\033[K", text.toUtf8().constData());
    std::fflush(stderr);
    shown = true;
}

} // namespace navix
