// The configuration file reader, fed arbitrary file contents block by block as the loading window reads them.
// It must end, make a tree item for every record it makes and nothing else, give every module an address that
// could be sent on the bus, and what it loaded must load back the same after saving. The file name rule is
// fed the same bytes as a chosen name.
//
// Input: the file's bytes.

#include "fuzz_support.h"

#include "bus/text.h"
#include "config/module_file.h"
#include "support/test_workspace.h"

#include <QTemporaryFile>

#include <algorithm>

namespace {
bool IsHexDigits(const QByteArray &text, qsizetype count)
{
    return text.size() == count && HexToInt(text) != 99999;
}

// Loads file contents into a fresh workspace and returns the blocks of what it loaded, sorted, so that two
// loads compare regardless of the order of the records.
QList<QByteArray> LoadedBlocks(const QByteArray &contents)
{
    static QTemporaryFile file;
    FuzzCheck(file.isOpen() || file.open(), "the scratch file opens");
    file.resize(0);
    file.seek(0);
    file.write(contents);
    file.flush();

    TestWorkspace workspace;
    ModuleFileReader reader;
    FuzzCheck(reader.Open(file.fileName()), "the file opens for loading");
    const qsizetype lines = contents.count('\n') + 1;
    qsizetype blocks = 0;
    while (LoadNextBlock(reader, workspace))
        FuzzCheck(++blocks <= lines, "each block takes at least its header line");
    reader.Close();

    QList<QByteArray> saved;
    workspace.Modules().ForEach([&](const ModuleRecordPtr &record) {
        FuzzCheck(IsHexDigits(record->Address(), 2), "a loaded module has a two-digit hex address");
        saved.append(ModuleBlock(*record));
    });
    FuzzCheck(workspace.pendingItems.size() == saved.size(),
              "every loaded record gets its tree item, no other");
    for (const QString &caption : workspace.pendingItems)
        FuzzCheck(IsHexDigits(CaptionAddress(caption), 2), "a tree item shows a two-digit hex address");
    std::sort(saved.begin(), saved.end());
    return saved;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray contents(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QList<QByteArray> loaded = LoadedBlocks(contents);
    FuzzCheck(LoadedBlocks(loaded.join()) == loaded, "a loaded bus saved and loaded again is the same");

    const QString name = ConfigFileName(QString::fromLatin1(contents));
    FuzzCheck(name.mid(name.lastIndexOf('/') + 1).contains(".cfg"), "a configuration file's name holds .cfg");
    return 0;
}
