#include "test_workspace.h"

namespace navix {

TestWorkspace::TestWorkspace()
{
    engine.SetPacingTag(VeryFast);
}

} // namespace navix
