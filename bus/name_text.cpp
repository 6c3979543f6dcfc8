#include "name_text.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace navix {

namespace {
constexpr const char *CodePage = "windows-1250";
} // namespace

QByteArray EncodeName(const QString &text, NameEncoding encoding)
{
    if (encoding == NameEncoding::Utf8)
        return text.toUtf8();
    QStringEncoder encoder(CodePage);
    return encoder.encode(text);
}

QString DecodeName(const QByteArray &bytes, NameEncoding encoding)
{
    if (encoding == NameEncoding::Utf8) {
        // A name sits inside its line, so a byte-order mark at its start is a character of the name that
        // saving writes back, not a mark to drop.
        QStringDecoder decoder(QStringConverter::Utf8,
                               QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
        return decoder.decode(bytes);
    }
    QStringDecoder decoder(CodePage);
    return decoder.decode(bytes);
}

bool Windows1250Holds(const QString &text)
{
    QStringEncoder encoder(CodePage);
    [[maybe_unused]] const QByteArray encoded = encoder.encode(text);
    return !encoder.hasError();
}

bool IsUtf8(const QByteArray &bytes, bool cutOffEndAllowed)
{
    // A stateful decoder keeps a sequence cut off at the end for the next part; a stateless one calls it an
    // error.
    QStringDecoder decoder(QStringConverter::Utf8, cutOffEndAllowed ? QStringConverter::Flag::Default
                                                                    : QStringConverter::Flag::Stateless);
    [[maybe_unused]] const QString decoded = decoder.decode(bytes);
    return !decoder.hasError();
}

QString WithoutLineBreaks(const QString &text)
{
    QString clean;
    clean.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == '\r' && i + 1 < text.size() && text.at(i + 1) == '\n')
            continue; // the LF of a CR LF pair makes the one blank
        clean += (c.unicode() < 0x20 || c.unicode() == 0x7F) ? QChar(' ') : c;
    }
    return clean;
}

QString AsName(const QString &text)
{
    QString name = WithoutLineBreaks(text);
    if (name.size() > MaxNameLength) {
        // A letter beyond the first 65536 takes two places; cutting between them would leave half a letter.
        const bool halfLetter = name.at(MaxNameLength - 1).isHighSurrogate();
        name.truncate(halfLetter ? MaxNameLength - 1 : MaxNameLength);
    }
    return name;
}

} // namespace navix
