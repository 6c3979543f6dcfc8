#include "editor_4060.h"

#include "turn_factory.h"

namespace navix {

namespace {
constexpr int TypedDigits = 1;
} // namespace

TForm40::TForm40(Workspace &workspace, QWidget *parent)
    : OutputEditorWindow(workspace,
                         EditorDesign{.typeNumber = "4060",
                                      .baudrateComboName = "Baudrate60ComboBox",
                                      .caption = "Navix 720"},
                         NewTurnOfKind<OutputTurn>(workspace, EditorKind::Type4060), TypedDigits, parent)
{
    setObjectName("TForm40");
}

} // namespace navix
