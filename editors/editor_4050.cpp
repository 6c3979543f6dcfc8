#include "editor_4050.h"

TForm30::TForm30(Workspace &workspace, QWidget *parent)
    : OutputEditorWindow(workspace,
                         EditorDesign{.typeNumber = "4050",
                                      .baudrateComboName = "Baudrate50ComboBox",
                                      .caption = "Navix 730",
                                      .modelLabel = "N730"},
                         {8, "Vystup "}, 2, parent)
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
