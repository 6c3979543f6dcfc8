#pragma once
// A prompt for tests: answers at once, records every message and returns the queued file names (empty =
// cancelled).

#include "workspace/prompt.h"

#include <QList>
#include <QStringList>

#include <functional>

namespace navix {

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

} // namespace navix
