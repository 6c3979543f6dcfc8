#include "editor_4052.h"

#include "turn_factory.h"

namespace navix {

namespace {
constexpr int Type4152 = 4152;

EditorDesign InputDesign(const QString &typeNumber, const QString &caption, bool hasSynDataEdit)
{
    return {.typeNumber = typeNumber,
            .baudrateComboName = "Baudrate52ComboBox",
            .caption = caption,
            .hasSynDataEdit = hasSynDataEdit};
}
} // namespace

InputEditorWindow::InputEditorWindow(Workspace &workspace, const EditorDesign &design, InputTurn &turn,
                                     int visibleChannels, QWidget *parent)
    : DigitalEditorWindow(workspace, design, turn, parent)
{
    DataEdit.setReadOnly(true);
    // The hidden channels keep their panels and names: they follow the reads and go back into the record.
    for (int k = visibleChannels; k < Panels().size(); ++k) {
        Panels()[k]->setVisible(false);
        ChannelEdits()[k]->setVisible(false);
    }
}

TForm20::TForm20(Workspace &workspace, QWidget *parent)
    : InputEditorWindow(workspace, InputDesign("4052", "Navix 76x", true),
                        NewTurnOfKind<InputTurn>(workspace, EditorKind::Type4052),
                        ShownChannelCount(EditorKind::Type4052), parent)
{
    setObjectName("TForm20");
}

TForm2x::TForm2x(Workspace &workspace, QWidget *parent)
    : InputEditorWindow(workspace, InputDesign("4x52", "Navix 790", false),
                        NewTurnOfKind<InputTurn>(workspace, EditorKind::Type4152),
                        ShownChannelCount(EditorKind::Type4152), parent)
{
    setObjectName("TForm2x");
    connect(&Turn(), &EditorTurn::ModuleNamed, this, &TForm2x::ShowModuleName);
}

void TForm2x::ShowModuleName(const QByteArray &typeId)
{
    bool isNumber = false;
    if (typeId.trimmed().toInt(&isNumber, 10) != Type4152 || !isNumber)
        return;
    ShowModelCaption("Navix 790");
}

} // namespace navix
