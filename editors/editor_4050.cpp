#include "editor_4050.h"

namespace {
EditorDesign Design4050()
{
    EditorDesign design;
    design.typeNumber = "4050";
    design.baudrateComboName = "Baudrate50ComboBox";
    design.caption = "Navix 730";
    design.modelLabel = "N730";
    return design;
}
} // namespace

TForm30::TForm30(Workspace &workspace, QWidget *parent)
    : OutputEditorWindow(workspace, Design4050(), {8, "Vystup "}, 2, parent)
{
    setObjectName("TForm30");
}

bool &TForm30::BusyFlag()
{
    static bool busy = false;
    return busy;
}

void TForm30::FormShow()
{
    ClearBusyFlag();
    OutputEditorWindow::FormShow();
}
