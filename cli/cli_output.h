#pragma once
// What navix-cli prints: aligned text columns for a reader, or one JSON document for a script.

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

namespace navix {

// Columns padded to their widest cell, separated by two blanks, the last one unpadded.
QString AlignedRows(const QList<QStringList> &rows);

void PrintOut(const QString &text);
void PrintJson(const QJsonObject &document);
// One line on standard error, after "navix-cli: ".
void PrintProblem(const QString &text);
// Progress shown in place on standard error, only where standard error is a terminal.
class Progress
{
public:
    explicit Progress(bool quiet);
    ~Progress();
    void Show(const QString &text);

private:
    bool shown = false;
    bool enabled = false;
};

} // namespace navix
