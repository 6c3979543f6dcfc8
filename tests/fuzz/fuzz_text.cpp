// The text helpers and hexadecimal conversions, fed arbitrary texts, positions and values. Besides staying
// inside their buffers they must keep what they promise: clamped copies and deletes, positions that point at
// what was found, conversions that come back to the value they started from.
//
// Input: a signed position byte, a count byte, four value bytes, a digit count byte, then the text; the first
// bytes of the text are also searched for in it.

#include "fuzz_support.h"

#include "bus/temperature_codes.h"
#include "bus/text.h"

#include <cctype>
#include <climits>
#include <cmath>

using namespace navix;

namespace {
template <typename Text>
void CheckPositions(const Text &text, const Text &what, qsizetype position, qsizetype count)
{
    const Text copy = Copy(text, position, count);
    FuzzCheck(copy.size() <= qMax<qsizetype>(count, 0), "a copy is never longer than asked");
    FuzzCheck(copy.isEmpty() || text.mid(qMax<qsizetype>(position, 1) - 1).startsWith(copy),
              "a copy is the text from its position on");
    FuzzCheck(Copy(text, 1, text.size()) == text, "a copy of the whole text is the text");

    Text shortened = text;
    Delete(shortened, position, count);
    const bool inside = position >= 1 && position <= text.size() && count > 0;
    const qsizetype removed = inside ? qMin(count, text.size() - position + 1) : 0;
    FuzzCheck(shortened.size() == text.size() - removed, "a delete removes what exists of its range");
    FuzzCheck(shortened == Copy(text, 1, position - 1) + Copy(text, position + removed, text.size()),
              "a delete keeps what lies around its range");

    const qsizetype found = Pos(what, text);
    FuzzCheck(found >= 0 && found <= text.size(), "a position lies inside the text");
    FuzzCheck(found == 0 ? what.isEmpty() || !text.contains(what) : Copy(text, found, what.size()) == what,
              "a position points at what was searched for");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const qsizetype position = static_cast<qint8>(input.Byte());
    const qsizetype count = static_cast<qint8>(input.Byte());
    int value = 0;
    for (int i = 0; i < 4; ++i)
        value = static_cast<int>(static_cast<unsigned>(value) << 8 | input.Byte());
    const int digits = input.Byte() % 12;
    const QByteArray text = input.Rest();
    const QByteArray what = Copy(text, 1, qMax<qsizetype>(count, 0) % 4);

    CheckPositions(text, what, position, count);
    CheckPositions(FromWire(text), FromWire(what), position, count);
    FuzzCheck(ToWire(FromWire(text)) == text, "a wire text survives the way to the screen and back");

    const char at = CharAt(text, position);
    FuzzCheck(position >= 1 && position <= text.size() ? at == text.at(position - 1) : at == 0,
              "a character outside the text is 0");
    const qsizetype charPosition = Pos(at, text);
    FuzzCheck(charPosition == 0 || CharAt(text, charPosition) == at, "a character's position points at it");

    const QByteArray byte = HexByte(value);
    FuzzCheck(byte.size() == 2 && IsUpperHex(byte), "a hex byte is two upper-case digits");
    FuzzCheck(HexToInt(byte) == (value & 0xFF), "a hex byte reads back as the low byte of its value");
    FuzzCheck(BitsToInt(HexToBits(byte)) == (value & 0xFF), "the bits of a hex byte read back as its value");
    const QByteArray hex = HexDigits(value, digits);
    FuzzCheck(hex.size() >= digits && IsUpperHex(hex), "hex digits are upper case and padded");
    FuzzCheck(value < 0 || HexToInt(hex) == value, "hex digits read back as their value");

    const int parsed = HexToInt(text);
    FuzzCheck(parsed == 99999 || (parsed >= 0 && (text.isEmpty() || IsUpperHex(text.toUpper()))),
              "a hex text is either read or refused with 99999");
    FuzzCheck(HexToInt(FromWire(text)) == parsed, "a hex text reads alike as wire and screen text");
    if (IsUpperHex(text))
        FuzzCheck(HexToBits(text).size() == 4 * qMin<qsizetype>(text.size(), 2),
                  "upper-case hex reads as bits");
    const QByteArray bits = HexToBits(text);
    FuzzCheck(bits.size() % 4 == 0 && bits.size() <= 8, "each readable digit gives four bits");
    FuzzCheck(BitsToInt(text) >= 0, "a bit text never reads negative");

    const QByteArray checksum = ComputeChecksum(text);
    const bool emptyBody = text.isEmpty() || text == QByteArray(1, CR);
    FuzzCheck(emptyBody ? checksum.isEmpty() : checksum.size() == 2 && IsUpperHex(checksum),
              "a checksum is two upper-case digits of a non-empty body");
    if (!text.endsWith(CR))
        FuzzCheck(ComputeChecksum(text + CR) == checksum, "a trailing CR does not count");

    const QByteArray codeText = Copy(text, 1, 2);
    const bool hexCode = codeText.size() == 2 && std::isxdigit(static_cast<unsigned char>(codeText[0])) &&
                         std::isxdigit(static_cast<unsigned char>(codeText[1]));
    bool isNumber = false;
    const QString degrees = TemperatureFromCode(codeText);
    const double shown = degrees.toDouble(&isNumber);
    FuzzCheck(hexCode ? isNumber && shown >= -50 && shown < 300 : degrees == "?",
              "two hex digits show degrees of the module's range, anything else \"?\"");
    FuzzCheck(TemperatureFromCode(codeText.toUpper()) == TemperatureFromCode(codeText.toLower()),
              "a code reads alike in either case");
    // The module keeps a limit as a code of its table: written and read back, it lands within the tables'
    // difference of the limit (or of the end of the range it was held to).
    const int celsius = value % 400;
    const int code = TemperatureToCode(celsius);
    FuzzCheck(std::abs(CodeToTemperature(code) - qBound(-50, celsius, 300)) <= 1.5,
              "a limit reads back close to what was written");
    FuzzCheck(TemperatureToCode(celsius + 1) >= code, "a warmer limit never takes a lower code");
    return 0;
}
