#pragma once
// Window of the type 4050 module (Navix 730): eight digital outputs.

#include "output_editor.h"

namespace navix {

class TForm30 : public OutputEditorWindow
{
    Q_OBJECT
public:
    explicit TForm30(Workspace &workspace, QWidget *parent = nullptr);
};

} // namespace navix
