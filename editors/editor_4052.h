#pragma once
// Windows of the digital input modules: type 4052 (Navix 76x, eight inputs, TForm20) and type 4152 (Navix
// 790, TForm2x), which shows one input. Both are one design: panels and data field only display the inputs
// that the turn (InputTurn) reads.

#include "digital_editor.h"

namespace navix {

class InputEditorWindow : public DigitalEditorWindow
{
    Q_OBJECT
public:
    InputEditorWindow(Workspace &workspace, const EditorDesign &design, InputTurn &turn, int visibleChannels,
                      QWidget *parent = nullptr);
};

class TForm20 : public InputEditorWindow
{
    Q_OBJECT
public:
    explicit TForm20(Workspace &workspace, QWidget *parent = nullptr);
};

class TForm2x : public InputEditorWindow
{
    Q_OBJECT
public:
    explicit TForm2x(Workspace &workspace, QWidget *parent = nullptr);

private:
    // Only the type id 4152 names the window.
    void ShowModuleName(const QByteArray &typeId);
};

} // namespace navix
