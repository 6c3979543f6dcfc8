#pragma once
// The module configuration file: for every known module a block of a header line (type id, "," and the
// configuration text AATTCCFF), its descriptive texts and "END", each line ended by CR LF. Saving writes the
// blocks of all records; loading rebuilds records and tree captions from the blocks alone, one block at a
// time, without a word on the bus. Nothing here knows a widget.

#include "bus/module_records.h"
#include "bus/workspace.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <optional>

// The name a chosen file is saved under: a name without ".cfg" or ".CFG" gets ".cfg" appended, the first
// ".CFG" is replaced by a trailing ".cfg", an empty name becomes "Noname.cfg". Only the last part of a path
// is adjusted, so a folder whose name holds ".CFG" or ".cfg" is neither renamed nor mistaken for the
// extension.
QString ConfigFileName(const QString &chosen);

// The type id a record is saved under: "4013" for the whole 4013 list (a TVR5x comes back as an ordinary
// 4013), the record's own type id for the sub-type lists, the list's type elsewhere.
QByteArray SavedTypeId(const ModuleRecord &record);
// The descriptive texts a record is saved with: what its open editor shows, else what the record keeps.
QStringList SavedTexts(const ModuleRecord &record);
// One block: header, descriptive lines, "END".
QByteArray ModuleBlock(const ModuleRecord &record);
// The blocks of all records, lists in the order 4013, 4x13, 4017, 4021, 4052, 4152, 4050, 4060, each list
// from its newest record on. No records give an empty text.
QByteArray ModuleFileText(const ModuleRegistry &modules);

// A header line as the loader reads it; c is the position of its first ",".
struct ModuleHeader
{
    QByteArray typeId;      // the known type id found in the first four characters
    QByteArray addressText; // the two characters after c
    QByteArray config;      // the eight characters after c
};
// The header a line stands for; nothing for a line without "," or of no known type, or whose address is not
// two hex digits.
std::optional<ModuleHeader> ParseHeader(const QByteArray &line);
// The text between the first "(" and the first ")" of a descriptive line; without "(" the text before ")",
// without ")" nothing.
QString BracketText(const QByteArray &line);
// The model the loading window names for a known type id ("PKL-02" for 4513), empty for any other.
QString LoadedModelName(const QByteArray &typeId);

// A module configuration file opened for loading, read line by line. Lines may end in CR LF or LF alone.
class ModuleFileReader
{
public:
    bool Open(const QString &path);
    void Close();
    bool IsOpen() const { return file.isOpen(); }
    bool AtEnd() const;
    QByteArray ReadLine();

private:
    QFile file;
};

// Loads the next block of the file: skips lines up to the next header of a known type, adds its module as the
// search adds a found one (record at the head of its list, INIT flag clear, default texts, caption queued),
// then reads its descriptive lines up to "END" or the end of the file. Returns the header, or nothing when
// the file ended before one.
std::optional<ModuleHeader> LoadNextBlock(ModuleFileReader &file, Workspace &workspace);
