#include "editor_4052.h"

#include "bus/text.h"

namespace {
EditorDesign InputDesign(const QString &typeNumber, const QString &caption, const QString &modelLabel,
                         bool hasSynDataEdit)
{
    return {.typeNumber = typeNumber,
            .baudrateComboName = "Baudrate52ComboBox",
            .caption = caption,
            .modelLabel = modelLabel,
            .hasSynDataEdit = hasSynDataEdit};
}
} // namespace

InputEditorWindow::InputEditorWindow(Workspace &workspace, const EditorDesign &design, int visibleChannels,
                                     QWidget *parent)
    : DigitalEditorWindow(workspace, design, {8, "Vstup "}, parent)
{
    DataEdit.setReadOnly(true);
    // The hidden channels keep their panels and names: they follow the reads and go back into the record.
    for (int k = visibleChannels; k < Panels().size(); ++k) {
        Panels()[k]->setVisible(false);
        ChannelEdits()[k]->setVisible(false);
    }
}

void InputEditorWindow::ShowData(const QByteArray &reply)
{
    DataEdit.setText(FromWire(Copy(reply, 2, 2)));
    const int state = ReplyState(reply);
    if (state >= 0)
        ShowOutputs(state);
}

void InputEditorWindow::FormShow()
{
    ClearBusyFlag();
    DigitalEditorWindow::FormShow();
}

TForm20::TForm20(Workspace &workspace, QWidget *parent)
    : InputEditorWindow(workspace, InputDesign("4052", "Navix 76x", "N76x", true), 8, parent)
{
    setObjectName("TForm20");
}

bool &TForm20::BusyFlag()
{
    static bool busy = false;
    return busy;
}

TForm2x::TForm2x(Workspace &workspace, QWidget *parent)
    : InputEditorWindow(workspace, InputDesign("4x52", "Navix 790", "N790", false), 1, parent)
{
    setObjectName("TForm2x");
}

void TForm2x::SetModuleName(const QByteArray &typeId)
{
    bool isNumber = false;
    if (typeId.trimmed().toInt(&isNumber, 10) != 4152 || !isNumber)
        return;
    setWindowTitle(windowTitle().contains("Init") ? "Navix 790 - Init" : "Navix 790");
}

bool &TForm2x::BusyFlag()
{
    static bool busy = false;
    return busy;
}
