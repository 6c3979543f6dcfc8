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

using namespace navix;

namespace {
bool IsHexAddress(const QByteArray &text)
{
    return text.size() == 2 && IsUpperHex(text);
}

// Loads file contents into a fresh workspace, step by step as the loading window does, and returns the file
// that saving what it loaded would write.
QByteArray LoadAndSave(const QByteArray &contents)
{
    static QTemporaryFile file;
    FuzzCheck(file.isOpen() || file.open(), "the scratch file opens");
    file.resize(0);
    file.seek(0);
    file.write(contents);
    file.flush();

    TestWorkspace workspace;
    ModuleFileLoad load;
    FuzzCheck(load.Open(file.fileName()), "the file opens for loading");
    // Every step loads a block, which takes at least its header line, or reads a part of the file.
    const qsizetype stepBound =
        contents.count('\n') + contents.count('\r') + contents.size() / ModuleFileLoad::StepBytes + 2;
    qsizetype steps = 0;
    while (load.Step(workspace) == LoadStep::Loading)
        FuzzCheck(++steps <= stepBound, "each step takes a block or a part of the file");
    load.Close();

    FuzzCheck(workspace.Modules().Count() <= ModuleFileLoad::MaxModules, "a load makes no more than the cap");
    workspace.Modules().ForEach([&](const ModuleRecordPtr &record) {
        FuzzCheck(IsHexAddress(record->Address()), "a loaded module has a two-digit hex address");
    });
    FuzzCheck(workspace.pendingItems.size() == workspace.Modules().Count(),
              "every loaded record gets its tree item, no other");
    for (const QString &caption : workspace.pendingItems)
        FuzzCheck(IsHexAddress(CaptionAddress(caption)), "a tree item shows a two-digit hex address");
    return ModuleFileText(workspace.Modules());
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray contents(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const QByteArray saved = LoadAndSave(contents);
    FuzzCheck(LoadAndSave(saved) == saved, "a loaded bus saved and loaded again is the same");

    const QString chosen = QString::fromLatin1(contents);
    const QString name = ConfigFileName(chosen);
    const QString folder = chosen.left(chosen.lastIndexOf('/') + 1);
    FuzzCheck(name.startsWith(folder) && name.lastIndexOf('/') == folder.size() - 1,
              "the folder of a chosen name stays as chosen");
    const QString chosenName = chosen.mid(folder.size());
    FuzzCheck(name.mid(folder.size()).startsWith(chosenName.left(chosenName.indexOf(".CFG"))),
              "the chosen name stays, up to a .CFG it held");
    return 0;
}
