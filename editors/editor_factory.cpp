#include "editor_factory.h"

#include "editor_4013.h"
#include "editor_4017.h"
#include "editor_4021.h"
#include "editor_4050.h"
#include "editor_4052.h"
#include "editor_4060.h"
#include "editor_4x13.h"

namespace navix {

namespace {
ModuleEditorWindow *CreateWindowOfKind(Workspace &workspace, EditorKind kind)
{
    switch (kind) {
    case EditorKind::Type4013:
        return new TForm10(workspace);
    case EditorKind::Type4x13:
        return new TForm1x(workspace);
    case EditorKind::Type4017:
        return new TForm50(workspace);
    case EditorKind::Type4021:
        return new TForm60(workspace);
    case EditorKind::Type4050:
        return new TForm30(workspace);
    case EditorKind::Type4060:
        return new TForm40(workspace);
    case EditorKind::Type4052:
        return new TForm20(workspace);
    case EditorKind::Type4152:
        return new TForm2x(workspace);
    default:
        return nullptr;
    }
}
} // namespace

QWidget *CreateModuleEditor(Workspace &workspace, ModuleRecord &record)
{
    ModuleEditorWindow *window = CreateWindowOfKind(workspace, record.kind);
    if (!window)
        return nullptr;
    SetUpTurn(window->Turn(), record);
    // The record holds the window through a guarded pointer and reaches its turn only while the window
    // exists: once the window is gone no reply can reach the turn it owned.
    record.SetEditor(window, &window->Turn());
    return window;
}

} // namespace navix
