#pragma once
// Every message box and file dialog of the program goes through this seam. The program installs one that
// shows real dialogs; tests install one that records what was asked and answers at once, so no test waits for
// a person.

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

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

// The prompt in force. Until the program installs its own, a recording prompt answers (see RecordingPrompt).
Prompt &Prompts();
// Installs a prompt (not owned) and returns the previous one; nullptr restores the recording prompt.
Prompt *InstallPrompt(Prompt *prompt);

// Answers at once: records every message, returns the queued file names (empty = cancelled).
class RecordingPrompt : public Prompt
{
public:
    struct Message
    {
        bool error;
        QString text;
    };
    void Error(const QString &text) override;
    void Information(const QString &text) override;
    QString SaveFileName(const QString &title, const QString &filter, const QString &defaultSuffix) override;
    QString OpenFileName(const QString &title, const QString &filter, const QString &defaultSuffix) override;
    std::optional<TypedNetworkAddress> AskNetworkAddress(const QString &title) override;

    QList<Message> messages;
    QStringList fileAnswers;                   // taken from the front, one per dialog
    QList<TypedNetworkAddress> addressAnswers; // taken from the front, one per dialog; none = cancelled
    QStringList dialogTitles;                  // titles of the dialogs that were shown
    // Called while a message box would be open (tests use it to act during the modal loop).
    std::function<void(const QString &)> onMessage;

    QStringList Texts() const;
    void Clear();
};
