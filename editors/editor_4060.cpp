#include "editor_4060.h"

namespace navix {

namespace {
constexpr int TypedDigits = 1;
} // namespace

TForm40::TForm40(Workspace &workspace, QWidget *parent)
    : OutputEditorWindow(workspace,
                         EditorDesign{.typeNumber = "4060",
                                      .baudrateComboName = "Baudrate60ComboBox",
                                      .caption = "Navix 720"},
                         *new OutputTurn(workspace, OutputTurn::Relays4060), TypedDigits, parent)
{
    setObjectName("TForm40");
}

} // namespace navix
