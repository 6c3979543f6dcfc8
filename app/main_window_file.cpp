// The main window's commands for the module configuration file: saving every known module, and loading a file
// block by block from LoadTimer while the loading window shows the progress.

#include "main_window.h"

#include "bus/text_file.h"
#include "workspace/prompt.h"

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
    if (loadingWindow)
        loadingWindow->show();
    LoadTimer.start(LoadTimerMs);
}

void TForm1::LoadTimerTimer()
{
    LoadTimer.stop();
    if (!loadFile.IsOpen())
        return;
    if (!loadingWindow || !loadingWindow->Cancelled()) {
        if (const std::optional<ModuleHeader> header = LoadNextBlock(loadFile, *this)) {
            if (loadingWindow)
                loadingWindow->ShowModule(header->typeId, header->addressText);
            LoadTimer.start(LoadTimerMs);
            return;
        }
    }
    // End of the file or cancelled: the records loaded so far stay and their captions become tree items.
    if (loadingWindow)
        loadingWindow->hide();
    loadFile.Close();
    FlushModuleItems();
    router.ReleaseBus();
}
