#pragma once
// config/ holds the module configuration file (this file, in its own widget-free library) and the loading
// window that shows a load going on.
//
// The module configuration file: for every known module a block of a header line (type id, "," and the
// configuration text AATTCCFF), its descriptive texts and "END", each line ended by CR LF. Saving writes the
// blocks of all records; loading rebuilds records and tree captions from the blocks alone, one block at a
// time, without a word on the bus. Nothing here knows a widget.

#include "bus/name_text.h"
#include "workspace/module_records.h"
#include "workspace/workspace.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

#include <optional>

namespace navix {

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
// The encoding the texts of these records are saved in: Windows-1250, unless one of them holds a character
// that code page lacks (a name read from a UTF-8 file), then UTF-8 for the whole file, so no name is lost.
// ModuleFileText saves in UTF-8 also where the code page bytes would be taken for UTF-8 when loading, and
// begins a UTF-8 file with the byte-order mark where it would not read as UTF-8 without one.
NameEncoding SavedEncoding(const ModuleRegistry &modules);
// One block: header, descriptive lines, "END".
QByteArray ModuleBlock(const ModuleRecord &record, NameEncoding encoding = NameEncoding::Windows1250);
// The blocks of all records, lists in the order 4013, 4x13, 4017, 4021, 4052, 4152, 4050, 4060, each list
// from its head on. No records give an empty text.
QByteArray ModuleFileText(const ModuleRegistry &modules);

// A header line as the loader reads it; c is the position of its first ",".
struct ModuleHeader
{
    QByteArray typeId;      // the known type id found in the first four characters
    QByteArray addressText; // the two characters after c
    QByteArray config;      // the eight characters after c
};
// The header a line stands for; nothing for a line without ",", of no known type, or whose address is not
// two upper-case hexadecimal digits (it would become a command address and a tree caption).
std::optional<ModuleHeader> ParseHeader(const QByteArray &line);
// The text between the first "(" and the first ")" of a descriptive line; without "(" the text before ")",
// without ")" nothing.
QByteArray BracketText(const QByteArray &line);
// The model the loading window names for a known type id ("PKL-02" for 4513), empty for any other.
QString LoadedModelName(const QByteArray &typeId);

// A module configuration file opened for loading, handed out line by line. Lines may end in CR LF, LF or CR
// alone. A UTF-8 or UTF-16 byte-order mark is skipped; UTF-16 text (also without a mark, recognised by its
// first character) is handed out as UTF-8. Other text is UTF-8 when it is well-formed UTF-8 for 64 KiB from
// its first byte beyond ASCII on, else Windows-1250. A line longer than MaxLineLength is cut there and the
// rest of it is skipped, so that no file, however large or odd, makes the reader hold more than about a
// hundred kilobytes.
class ModuleFileReader
{
public:
    static constexpr qsizetype MaxLineLength = 4096;

    bool Open(const QString &path);
    void Close();
    bool IsOpen() const { return file.isOpen(); }
    // The next line when one is complete in what has been read so far; the last line of the file also when
    // it has no line end.
    std::optional<QByteArray> TakeLine();
    // Reads the next part of the file; false once the file has ended.
    bool ReadMore();
    bool AtEnd() const { return !IsOpen() || (fileEnded && taken >= pending.size()); }
    // How the names and descriptions of the lines are encoded.
    NameEncoding Encoding() const { return encoding; }
    // Bytes read from the file so far.
    qint64 BytesRead() const { return bytesRead; }

private:
    void TakeEncoding();
    void TakeEightBitEncoding();

    QFile file;
    QByteArray pending;    // read but not yet handed out, from index taken on
    qsizetype taken = 0;   // bytes of pending already handed out or skipped
    bool skipping = false; // inside the rest of an overlong line
    bool fileEnded = false;
    qint64 bytesRead = 0;
    NameEncoding encoding = NameEncoding::Windows1250;
    bool encodingKnown = false;             // an all-ASCII start leaves the choice open
    std::optional<QStringDecoder> wideText; // set for a UTF-16 file
};

enum class LoadStep {
    Loading,       // a block was loaded or a part of the file read; the next step goes on
    Ended,         // the file has ended
    TooManyModules // the file holds more blocks than MaxModules; the rest is not loaded
};

// A configuration file being loaded. Each step loads the next block: it skips lines up to the next header
// of a known type, adds its module as the search adds a found one (INIT flag clear, default texts, caption
// queued) but at the end of its list, so that the lists come back in the order they were saved, then reads
// its descriptive lines up to "END" or the end of the file. A step reads at most StepBytes of the file, so
// that the window stays responsive and the load can be cancelled whatever the file holds.
class ModuleFileLoad
{
public:
    // A bus holds at most 256 addresses; a file with far more blocks than that is no bus of ours.
    static constexpr int MaxModules = 1024;
    static constexpr qint64 StepBytes = 1 << 20;

    bool Open(const QString &path);
    void Close();
    bool IsOpen() const { return file.IsOpen(); }
    // The name the file was opened by.
    const QString &FileName() const { return fileName; }
    LoadStep Step(BusWorkspace &workspace);
    // The header of the block loaded last.
    const std::optional<ModuleHeader> &Header() const { return header; }
    int LoadedModules() const { return loadedModules; }

private:
    void TakeHeader(const QByteArray &line, BusWorkspace &workspace);
    void TakeDescription(const QByteArray &line);

    ModuleFileReader file;
    QString fileName;
    std::optional<ModuleHeader> header;
    ModuleRecordPtr record; // the module whose block is being read; empty between blocks
    int channel = -1;       // channel lines read after a "DSCR" line; -1 outside of them
    int loadedModules = 0;
};

// Loads a whole configuration file into the workspace's records at once, as a program without the loading
// window does: how many modules it holds, -1 when it cannot be opened.
int LoadModuleFile(const QString &path, BusWorkspace &workspace);

} // namespace navix
