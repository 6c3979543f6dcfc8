// The main window's commands for the module configuration file: saving every known module, and loading a file
// block by block from LoadTimer while the loading window shows the progress.

#include "main_window.h"

#include "bus/text_file.h"
#include "search/bus_compare_run.h"
#include "workspace/prompt.h"

namespace navix {

namespace {
const QString ConfigFileFilter = QStringLiteral("Module Config (*.cfg)|*.cfg");
const QString ConfigFileSuffix = QStringLiteral("cfg");
} // namespace

void TForm1::SaveFileButtonClick()
{
    const QString chosen = Prompts().SaveFileName("Save file ...", ConfigFileFilter, ConfigFileSuffix);
    if (chosen.isEmpty())
        return;
    switch (ReplaceFile(ConfigFileName(chosen), ModuleFileText(modules))) {
    case SaveResult::NotOpened:
        Prompts().Error("Can not open " + chosen + " !");
        return;
    case SaveResult::NotWritten:
        Prompts().Error("Can not write " + chosen + " !");
        return;
    case SaveResult::Saved:
        Prompts().Information("Saving successful !");
        return;
    }
}

void TForm1::OpenFileButtonClick()
{
    // One load at a time: the modules of a file still being loaded would be mixed into the next one's tree.
    if (loadFile.IsOpen())
        return;
    const QString name = Prompts().OpenFileName("Open file ...", ConfigFileFilter, ConfigFileSuffix);
    if (name.isEmpty())
        return;
    if (!loadFile.Open(name)) {
        Prompts().Error("Can not open " + name + " !");
        return;
    }
    setWindowTitle(QString(MainCaption) + " - " + name);
    // Replies from the bus are dropped until the load ends; nothing is sent meanwhile.
    ClearModules(false);
    loadCancelled = false;
    emit LoadStarted();
    LoadTimer.start(LoadTimerMs);
}

void TForm1::CompareWithBusClick()
{
    const QString name = Prompts().OpenFileName("Compare with bus ...", ConfigFileFilter, ConfigFileSuffix);
    if (name.isEmpty())
        return;
    // The file's records alone, apart from the tree's: its session's port is never opened.
    BusSession file;
    const int loaded = LoadModuleFile(name, file);
    if (loaded < 0) {
        Prompts().Error("Can not open " + name + " !");
        return;
    }
    if (loaded == 0) {
        Prompts().Error("No module found in " + name + " !");
        return;
    }
    emit CompareWanted(name, ModulesByAddress(file.Modules()));
}

void TForm1::LoadTimerTimer()
{
    LoadTimer.stop();
    if (!loadFile.IsOpen())
        return;
    LoadStep step = LoadStep::Ended;
    const bool cancelled = loadCancelled;
    if (!cancelled) {
        step = loadFile.Step(*this);
        if (loadFile.Header())
            emit ModuleLoading(loadFile.Header()->typeId, loadFile.Header()->addressText);
        if (step == LoadStep::Loading) {
            LoadTimer.start(LoadTimerMs);
            return;
        }
    }
    // End of the file or cancelled: the records loaded so far stay and their captions become tree items.
    emit LoadEnded();
    const QString name = loadFile.FileName();
    const int loaded = loadFile.LoadedModules();
    loadFile.Close();
    FlushModuleItems();
    router.ReleaseBus();
    // A file that gave nothing, or not all it holds, says so rather than leave an empty or partial tree.
    if (step == LoadStep::TooManyModules)
        Prompts().Error(QString("Too many modules in %1 ! Only the first %2 are loaded.")
                            .arg(name)
                            .arg(ModuleFileLoad::MaxModules));
    else if (!cancelled && loaded == 0)
        Prompts().Error("No module found in " + name + " !");
}

} // namespace navix
