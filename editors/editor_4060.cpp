#include "editor_4060.h"

TForm40::TForm40(Workspace &workspace, QWidget *parent)
    : OutputEditorWindow(workspace,
                         EditorDesign{.typeNumber = "4060",
                                      .baudrateComboName = "Baudrate60ComboBox",
                                      .caption = "Navix 720",
                                      .modelLabel = "N720"},
                         {4, "Rele "}, 1, parent)
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
