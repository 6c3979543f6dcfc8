#pragma once
// Creates the editor window of a module record's kind with its turn, sets the turn up from the record (module
// name, configuration text, INIT mode, captions) and links the record to it (ModuleRecord::SetEditor: the
// window as the guard, its turn as the editor the cycle drives). The caller shows the window, opens the
// record's editor state and starts the editor cycle when it is idle.

#include "workspace/module_records.h"

class QWidget;

namespace navix {

class Workspace;

// nullptr when that kind of module has no editor in this program yet.
QWidget *CreateModuleEditor(Workspace &workspace, ModuleRecord &record);

} // namespace navix
