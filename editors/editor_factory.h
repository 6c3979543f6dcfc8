#pragma once
// Creates the editor window of a module record's kind, set up as the main window opens an editor: module name
// (4x13 and 4152), configuration text, INIT mode and the record's captions, and links the record to it
// (ModuleRecord::SetEditor). The caller shows it, sets the
// record's editor state to 1 and starts the editor cycle when it is idle.

#include "workspace/module_records.h"

class QWidget;
class Workspace;

// nullptr when that kind of module has no editor in this program yet.
QWidget *CreateModuleEditor(Workspace &workspace, ModuleRecord &record);
