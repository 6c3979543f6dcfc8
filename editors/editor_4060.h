#pragma once
// Editor of the type 4060 module (Navix 720): four relay outputs. Only one hexadecimal digit can be typed,
// and the configuration write waits the raised time-out when it follows a relay write, not when it follows a
// read.

#include "output_editor.h"

class TForm40 : public OutputEditorWindow
{
    Q_OBJECT
public:
    explicit TForm40(Workspace &workspace, QWidget *parent = nullptr);

protected:
    bool &BusyFlag() override;
    bool RaisesConfigTimeOut(EditorPhase from) const override;
};
