#pragma once
// Window of the type 4060 module (Navix 720): four relay outputs, of which one hexadecimal digit can be
// typed.

#include "output_editor.h"

namespace navix {

class TForm40 : public OutputEditorWindow
{
    Q_OBJECT
public:
    explicit TForm40(Workspace &workspace, QWidget *parent = nullptr);
};

} // namespace navix
