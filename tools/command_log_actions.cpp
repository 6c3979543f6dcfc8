#include "command_log_actions.h"

#include "bus/command_log.h"
#include "bus/text_file.h"
#include "workspace/prompt.h"

#include <QAbstractItemView>
#include <QAction>

namespace navix {

void AddCommandLogActions(QAbstractItemView &view, CommandLogModel &log)
{
    auto *save = new QAction("Save log ...", &view);
    save->setObjectName("SaveLogAction");
    QObject::connect(save, &QAction::triggered, &view, [&log] {
        const QString fileName =
            Prompts().SaveFileName("Save log ...", "Command log (*.csv)|*.csv|All files (*.*)|*.*", "csv");
        if (fileName.isEmpty())
            return;
        if (ReplaceFile(fileName, log.Csv()) != SaveResult::Saved)
            Prompts().Error("Can not open " + fileName + " !");
    });
    auto *clear = new QAction("Clear", &view);
    clear->setObjectName("ClearLogAction");
    QObject::connect(clear, &QAction::triggered, &view, [&log] { log.Clear(); });
    view.addActions({save, clear});
    view.setContextMenuPolicy(Qt::ActionsContextMenu);
}

} // namespace navix
