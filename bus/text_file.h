#pragma once
// Saving a text file the user chose (a module configuration, a memory extract): the new text replaces the old
// file in one step, so a full disk or a failing drive never leaves the user with neither the old nor the new
// file.

#include <QByteArray>
#include <QString>

enum class SaveResult { Saved, NotOpened, NotWritten };

// Replaces the file at path by contents: the old file stays as it was unless the whole new text was written
// and put in its place.
SaveResult ReplaceFile(const QString &path, const QByteArray &contents);
