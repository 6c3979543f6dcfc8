#pragma once
// Saving a text file the user chose (a module configuration, a memory extract): the new text replaces the old
// file in one step, so a full disk or a failing drive never leaves the user with neither the old nor the new
// file. Where the folder takes no new file but the old file itself may be written, the file is written in
// place, and put back as it was when the new text does not fit.

#include <QByteArray>
#include <QString>

namespace navix {

enum class SaveResult { Saved, NotOpened, NotWritten };

// Replaces the file at path by contents: the old file stays as it was unless the whole new text was written
// and put in its place.
SaveResult ReplaceFile(const QString &path, const QByteArray &contents);

// A field of a comma-separated line (the command log and trend files): quoted where its text holds a comma, a
// quote or a line break, its quotes doubled.
QByteArray CsvField(const QString &text);

} // namespace navix
