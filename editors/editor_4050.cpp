#include "editor_4050.h"

namespace navix {

namespace {
constexpr int TypedDigits = 2;
} // namespace

TForm30::TForm30(Workspace &workspace, QWidget *parent)
    : OutputEditorWindow(workspace,
                         EditorDesign{.typeNumber = "4050",
                                      .baudrateComboName = "Baudrate50ComboBox",
                                      .caption = "Navix 730"},
                         *new OutputTurn(workspace, OutputTurn::Outputs4050), TypedDigits, parent)
{
    setObjectName("TForm30");
}

} // namespace navix
