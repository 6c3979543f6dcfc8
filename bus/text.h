#pragma once
// Wire texts are 8-bit byte strings with 1-based positions, as the module protocol and the file formats count
// them. Every positional access in the program goes through these helpers: they clamp instead of reading past
// the end, so a short or malformed reply, caption or file line can never crash the program.

#include <QByteArray>
#include <QString>

#include <optional>

namespace navix {

namespace TextDetail {
template <typename Text> Text Copy(const Text &text, qsizetype position, qsizetype count)
{
    if (position < 1)
        position = 1;
    if (count <= 0 || position > text.size())
        return Text();
    return text.mid(position - 1, count);
}
} // namespace TextDetail

// Characters position .. position+count-1 (1-based); what lies past the end is simply missing.
inline QByteArray Copy(const QByteArray &text, qsizetype position, qsizetype count)
{
    return TextDetail::Copy(text, position, count);
}
inline QString Copy(const QString &text, qsizetype position, qsizetype count)
{
    return TextDetail::Copy(text, position, count);
}

// Deletes count characters from position on (1-based); a range past the end deletes what exists.
void Delete(QByteArray &text, qsizetype position, qsizetype count);
void Delete(QString &text, qsizetype position, qsizetype count);

// 1-based position of the first occurrence of what in text, 0 when absent.
qsizetype Pos(const QByteArray &what, const QByteArray &text);
qsizetype Pos(const QString &what, const QString &text);
qsizetype Pos(char what, const QByteArray &text);

// The character at a 1-based position, or 0 when the text is shorter.
char CharAt(const QByteArray &text, qsizetype position);

// Two's digit hexadecimal (upper case, zero padded) of the low byte of value; used for addresses and bytes.
QByteArray HexByte(int value);
// Hexadecimal of value, upper case, zero padded to at least digits characters.
QByteArray HexDigits(int value, int digits);

// Two-character checksum of a command or reply body: the sum of all character codes modulo 256, as two
// upper-case hexadecimal digits. One trailing CR is not counted; an empty text has an empty checksum.
QByteArray ComputeChecksum(const QByteArray &text);
// A module puts its two checksum characters directly in front of its CR. A frame read up to its end character
// holds them in front of that character; a frame read by length short of the CR ends with them. The frame
// without them, or nothing when they do not match what precedes them.
std::optional<QByteArray> WithoutChecksum(QByteArray frame, bool endsWithEndChar);

// Value of a hexadecimal text (a..f count as A..F). A character that is not a hex digit gives 99999; an empty
// text gives 0. Values too large for an int are clamped to the largest int.
int HexToInt(const QByteArray &text);
int HexToInt(const QString &text);

// Whether text is made of upper-case hexadecimal digits only (0..9, A..F), as the modules write them; an
// empty text is not.
bool IsUpperHex(const QByteArray &text);

// Eight 0/1 characters for the first two hex digits of text, most significant bit first ("A5" -> "10100101").
// Characters other than 0..9 and upper-case A..F contribute nothing, so the result can be shorter.
QByteArray HexToBits(const QByteArray &text);

// Value of a 0/1 text read as a binary number, last character weight 1; anything but '1' counts as 0.
int BitsToInt(const QByteArray &text);

// Wire text <-> user interface text. The wire is 8-bit; the degree sign is the byte 0xB0.
inline QString FromWire(const QByteArray &text)
{
    return QString::fromLatin1(text);
}
inline QByteArray ToWire(const QString &text)
{
    return text.toLatin1();
}

constexpr char CR = '\r';

} // namespace navix
