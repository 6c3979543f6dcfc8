#include "prompt.h"

#include <QtGlobal>

namespace navix {

namespace {
Prompt *currentPrompt = nullptr;
} // namespace

Prompt &Prompts()
{
    if (!currentPrompt)
        qFatal("A message box or file dialog was asked for with no prompt installed");
    return *currentPrompt;
}

Prompt *InstallPrompt(Prompt *prompt)
{
    Prompt *previous = currentPrompt;
    currentPrompt = prompt;
    return previous;
}

} // namespace navix
