#pragma once
// Every message box and file dialog of the program goes through this seam. The program installs one that
// shows real dialogs; tests install one that records what was asked and answers at once, so no test waits for
// a person. Asking with no prompt installed is a programming error: the program stops with a message instead
// of answering for the user.

#include <QString>

#include <optional>

namespace navix {

// What the user typed into the dialog that asks for a network port: the host and the TCP port.
struct TypedNetworkAddress
{
    QString host;
    int port = 0;
};

class Prompt
{
public:
    virtual ~Prompt() = default;
    // Modal boxes with one OK button: failures in the error style, successes in the information style.
    virtual void Error(const QString &text) = 0;
    virtual void Information(const QString &text) = 0;
    // File dialogs; an empty result means the user cancelled.
    virtual QString SaveFileName(const QString &title, const QString &filter,
                                 const QString &defaultSuffix) = 0;
    virtual QString OpenFileName(const QString &title, const QString &filter,
                                 const QString &defaultSuffix) = 0;
    // Asks for the address of a serial device server; nothing when the user cancelled.
    virtual std::optional<TypedNetworkAddress> AskNetworkAddress(const QString &title) = 0;
};

// The prompt in force; stops the program (qFatal) when none is installed.
Prompt &Prompts();
// Installs a prompt (not owned) and returns the previous one; nullptr removes it.
Prompt *InstallPrompt(Prompt *prompt);

} // namespace navix
