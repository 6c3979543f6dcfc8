#include "text_file.h"

#include <QSaveFile>

SaveResult ReplaceFile(const QString &path, const QByteArray &contents)
{
    // The new text goes to a file of its own and takes the old one's place only once it is complete.
    QSaveFile file(path);
    // Unbuffered, so that a write the disk takes only in part shows here as a short count; through the
    // buffer a short final write can pass unnoticed and the truncated file would be put in place.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return SaveResult::NotOpened;
    // An unfinished file is discarded when it goes out of scope without a commit.
    if (file.write(contents) != contents.size())
        return SaveResult::NotWritten;
    return file.commit() ? SaveResult::Saved : SaveResult::NotWritten;
}
