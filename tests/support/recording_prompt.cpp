#include "recording_prompt.h"

namespace navix {

void RecordingPrompt::Error(const QString &text)
{
    messages.append({true, text});
    if (onMessage)
        onMessage(text);
}

void RecordingPrompt::Information(const QString &text)
{
    messages.append({false, text});
    if (onMessage)
        onMessage(text);
}

QString RecordingPrompt::SaveFileName(const QString &title, const QString &, const QString &)
{
    dialogTitles.append(title);
    return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
}

QString RecordingPrompt::OpenFileName(const QString &title, const QString &, const QString &)
{
    dialogTitles.append(title);
    return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
}

std::optional<TypedNetworkAddress> RecordingPrompt::AskNetworkAddress(const QString &title)
{
    dialogTitles.append(title);
    if (addressAnswers.isEmpty())
        return std::nullopt;
    return addressAnswers.takeFirst();
}

QStringList RecordingPrompt::Texts() const
{
    QStringList texts;
    for (const Message &message : messages)
        texts.append(message.text);
    return texts;
}

void RecordingPrompt::Clear()
{
    messages.clear();
    fileAnswers.clear();
    addressAnswers.clear();
    dialogTitles.clear();
}

} // namespace navix
