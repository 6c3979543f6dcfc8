#pragma once
// Editors of the digital input modules: type 4052 (Navix 76x, eight inputs, TForm20) and type 4152 (Navix
// 790, TForm2x), which shows one input. Both are one design: panels and data field only display the inputs,
// nothing is written but the configuration.

#include "digital_editor.h"

class InputEditorWindow : public DigitalEditorWindow
{
    Q_OBJECT
public:
    InputEditorWindow(Workspace &workspace, const EditorDesign &design, int visibleChannels,
                      QWidget *parent = nullptr);

protected:
    void ShowData(const QByteArray &reply) override;
    void FormShow() override;
};

class TForm20 : public InputEditorWindow
{
    Q_OBJECT
public:
    explicit TForm20(Workspace &workspace, QWidget *parent = nullptr);

protected:
    bool &BusyFlag() override;
};

class TForm2x : public InputEditorWindow
{
    Q_OBJECT
public:
    explicit TForm2x(Workspace &workspace, QWidget *parent = nullptr);

    // The main window passes the module's type id before the configuration.
    void SetModuleName(const QByteArray &typeId) override;

protected:
    bool &BusyFlag() override;
};
