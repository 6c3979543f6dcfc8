#include "editor_4060.h"

namespace {
EditorDesign Design4060()
{
    EditorDesign design;
    design.typeNumber = "4060";
    design.baudrateComboName = "Baudrate60ComboBox";
    design.caption = "Navix 720";
    design.modelLabel = "N720";
    return design;
}
} // namespace

TForm40::TForm40(Workspace &workspace, QWidget *parent)
    : OutputEditorWindow(workspace, Design4060(), {4, "Rele "}, 1, parent)
{
    setObjectName("TForm40");
}

bool &TForm40::BusyFlag()
{
    static bool busy = false;
    return busy;
}

bool TForm40::RaisesConfigTimeOut(EditorPhase from) const
{
    return from == EditorPhase::WriteSent;
}
