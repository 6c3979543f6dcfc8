#pragma once
// The program's message boxes and dialogs: modal, over the window that is active; message boxes with one OK
// button.

#include "workspace/prompt.h"

namespace navix {

class MessagePrompt : public Prompt
{
public:
    void Error(const QString &text) override;
    void Information(const QString &text) override;
    QString SaveFileName(const QString &title, const QString &filter, const QString &defaultSuffix) override;
    QString OpenFileName(const QString &title, const QString &filter, const QString &defaultSuffix) override;
    std::optional<TypedNetworkAddress> AskNetworkAddress(const QString &title) override;
};

// File dialog filters are written as "description|pattern|description|pattern"; Qt wants the descriptions,
// which carry their patterns in parentheses, one per entry. A filter already in Qt's form is kept.
QStringList DialogNameFilters(const QString &filter);

} // namespace navix
