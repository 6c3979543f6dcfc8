#include "editor_4050.h"

#include "turn_factory.h"

namespace navix {

namespace {
constexpr int TypedDigits = 2;
} // namespace

TForm30::TForm30(Workspace &workspace, QWidget *parent)
    : OutputEditorWindow(workspace,
                         EditorDesign{.typeNumber = "4050",
                                      .baudrateComboName = "Baudrate50ComboBox",
                                      .caption = "Navix 730"},
                         NewTurnOfKind<OutputTurn>(workspace, EditorKind::Type4050), TypedDigits, parent)
{
    setObjectName("TForm30");
}

} // namespace navix
