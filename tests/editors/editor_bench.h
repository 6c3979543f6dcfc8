#pragma once
// The turn bench with editor windows: they are opened as the main window opens them (created by the factory
// with their turn, shown, editor state open, the cycle started when it is not running yet), and the
// calibration dialogs exist.

#include "turn_bench.h"

#include "editors/calibration_dialogs.h"
#include "editors/editor_factory.h"
#include "editors/editor_window.h"

#include <QPointer>

namespace navix {

// A window's control by its object name; the test ends when there is none.
template <typename Control> Control &Find(const QWidget *window, const QString &name)
{
    auto *control = window->findChild<Control *>(name);
    if (!control)
        qFatal("no control %s", qPrintable(name));
    return *control;
}

// A click on the box's indicator, as the user ticks it.
inline void Tick(QCheckBox &box)
{
    QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(box.height() / 2, box.height() / 2));
}

class EditorBench : public TurnBench
{
public:
    EditorBench() = default;
    ~EditorBench()
    {
        // Windows go before the workspace they use; nothing of them is on the call stack here.
        for (const QPointer<QWidget> &window : windows)
            delete window.data();
    }

    template <typename Window = ModuleEditorWindow> Window *Open(const ModuleRecordPtr &record)
    {
        QWidget *widget = CreateModuleEditor(workspace, *record);
        if (!widget)
            return nullptr;
        windows.append(widget);
        widget->show();
        workspace.router.OpenEditor(*record);
        return qobject_cast<Window *>(widget);
    }

    CalibrationDialogSet calibrationDialogs;
    QList<QPointer<QWidget>> windows;
};

} // namespace navix
