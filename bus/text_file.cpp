#include "text_file.h"

#include <QFile>
#include <QSaveFile>

namespace navix {

namespace {
bool WriteFromStart(QFile &file, const QByteArray &contents)
{
    return file.seek(0) && file.write(contents) == contents.size();
}

// Overwrites the existing file itself. Only the part the new text covers is kept aside: the rest of the old
// file is cut off only once the whole new text stands in the file.
SaveResult OverwriteInPlace(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    // Read and write without truncation; unbuffered, so that a write the disk takes only in part shows here.
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return SaveResult::NotOpened;
    const qint64 oldSize = file.size();
    const QByteArray oldStart = file.read(contents.size());
    if (oldStart.size() != qMin<qint64>(oldSize, contents.size()))
        return SaveResult::NotOpened;
    if (WriteFromStart(file, contents) && file.resize(contents.size()))
        return SaveResult::Saved;
    // The new text did not fit: the old one goes back, into the room it had before.
    WriteFromStart(file, oldStart);
    file.resize(oldSize);
    return SaveResult::NotWritten;
}
} // namespace

SaveResult ReplaceFile(const QString &path, const QByteArray &contents)
{
    // The new text goes to a file of its own and takes the old one's place only once it is complete.
    QSaveFile file(path);
    // Unbuffered, so that a write the disk takes only in part shows here as a short count; through the
    // buffer a short final write can pass unnoticed and the truncated file would be put in place.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        // No new file beside the old one (a folder the user may not write in): the old file is overwritten
        // where it stands when it exists and may be written.
        return QFile::exists(path) ? OverwriteInPlace(path, contents) : SaveResult::NotOpened;
    }
    // An unfinished file is discarded when it goes out of scope without a commit.
    if (file.write(contents) != contents.size())
        return SaveResult::NotWritten;
    return file.commit() ? SaveResult::Saved : SaveResult::NotWritten;
}

QByteArray CsvField(const QString &text)
{
    QByteArray field = text.toUtf8();
    if (field.contains(',') || field.contains('"') || field.contains('\n') || field.contains('\r'))
        field = '"' + field.replace('"', "\"\"") + '"';
    return field;
}

} // namespace navix
