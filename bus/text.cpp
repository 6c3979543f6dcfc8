#include "text.h"

#include <algorithm>
#include <climits>

namespace navix {

namespace {
template <typename Text> void DeleteIn(Text &text, qsizetype position, qsizetype count)
{
    if (position < 1 || count <= 0 || position > text.size())
        return;
    text.remove(position - 1, count);
}

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

void Delete(QByteArray &text, qsizetype position, qsizetype count)
{
    DeleteIn(text, position, count);
}

void Delete(QString &text, qsizetype position, qsizetype count)
{
    DeleteIn(text, position, count);
}

qsizetype Pos(const QByteArray &what, const QByteArray &text)
{
    if (what.isEmpty())
        return 0;
    return text.indexOf(what) + 1;
}

qsizetype Pos(const QString &what, const QString &text)
{
    if (what.isEmpty())
        return 0;
    return text.indexOf(what) + 1;
}

qsizetype Pos(char what, const QByteArray &text)
{
    return text.indexOf(what) + 1;
}

char CharAt(const QByteArray &text, qsizetype position)
{
    if (position < 1 || position > text.size())
        return 0;
    return text.at(position - 1);
}

QByteArray HexByte(int value)
{
    return HexDigits(value & 0xFF, 2);
}

QByteArray HexDigits(int value, int digits)
{
    return QByteArray::number(static_cast<uint>(value), 16).toUpper().rightJustified(digits, '0');
}

QByteArray ComputeChecksum(const QByteArray &text)
{
    QByteArray body = text;
    if (!body.isEmpty() && body.back() == CR)
        body.chop(1);
    if (body.isEmpty())
        return QByteArray();
    unsigned sum = 0;
    for (char c : body)
        sum += static_cast<unsigned char>(c);
    return HexByte(static_cast<int>(sum % 256));
}

std::optional<QByteArray> WithoutChecksum(QByteArray frame, bool endsWithEndChar)
{
    const qsizetype checksumAt = frame.size() - (endsWithEndChar ? 2 : 1); // 1-based
    const qsizetype bodyLength = checksumAt - 1;
    if (bodyLength < 1 || ComputeChecksum(Copy(frame, 1, bodyLength)) != Copy(frame, checksumAt, 2))
        return std::nullopt;
    Delete(frame, checksumAt, 2);
    return frame;
}

int HexToInt(const QByteArray &text)
{
    const QByteArray upper = text.toUpper();
    long long value = 0;
    for (char c : upper) {
        const int digit = HexDigitValue(c);
        if (digit < 0)
            return 99999;
        // Callers pass short texts; a long one must still not overflow, so the value saturates.
        value = value * 16 + digit;
        if (value > INT_MAX)
            value = INT_MAX;
    }
    return static_cast<int>(value);
}

int HexToInt(const QString &text)
{
    return HexToInt(text.toLatin1());
}

bool IsUpperHex(const QByteArray &text)
{
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return HexDigitValue(c) >= 0; });
}

QByteArray HexToBits(const QByteArray &text)
{
    QByteArray bits;
    for (char c : Copy(text, 1, 2)) {
        const int digit = HexDigitValue(c);
        if (digit < 0)
            continue;
        for (int bit = 3; bit >= 0; --bit)
            bits.append((digit >> bit) & 1 ? '1' : '0');
    }
    return bits;
}

int BitsToInt(const QByteArray &text)
{
    long long value = 0;
    for (char c : text) {
        value = value * 2 + (c == '1' ? 1 : 0);
        if (value > INT_MAX)
            value = INT_MAX;
    }
    return static_cast<int>(value);
}

} // namespace navix
