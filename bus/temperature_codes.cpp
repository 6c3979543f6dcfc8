#include "bus/temperature_codes.h"

#include <QtGlobal>
#include <cmath>

namespace navix {

namespace {

// The tables give their factors in hundredths, so that a value can also be had exactly as a fraction.
constexpr int FactorScale = 100;

struct Segment
{
    int from;
    int to;
    int origin;
    int factorHundredths;
    int base;

    double Factor() const { return double(factorHundredths) / FactorScale; }
};

constexpr Segment codeSegments[] = {
    {0, 8, 0, 125, -50},       {9, 68, 8, 133, -40},      {69, 83, 68, 133, 40},
    {84, 91, 83, 125, 60},     {92, 113, 91, 135, 70},    {114, 131, 113, 139, 100},
    {132, 138, 131, 143, 125}, {139, 156, 138, 139, 135}, {157, 171, 156, 133, 160},
    {172, 255, 171, 142, 180},
};

constexpr Segment temperatureSegments[] = {
    {-50, -40, -50, 120, 0},   {-39, 0, -40, 133, 8},     {1, 40, 0, 133, 38},
    {41, 60, 40, 133, 68},     {61, 70, 60, 125, 83},     {71, 100, 70, 136, 91},
    {101, 125, 100, 139, 113}, {126, 135, 125, 143, 131}, {136, 160, 135, 139, 138},
    {161, 180, 160, 133, 156}, {181, 300, 180, 143, 171},
};

// The mantissa of a 6-byte real: 40 bits, the leading one included.
constexpr int SixByteMantissaBits = 40;

template <std::size_t N> const Segment &SegmentFor(const Segment (&segments)[N], int value)
{
    for (const Segment &segment : segments)
        if (value >= segment.from && value <= segment.to)
            return segment;
    return segments[N - 1];
}

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

} // namespace

double CodeToTemperature(int code)
{
    code = qBound(0, code, 255);
    const Segment &segment = SegmentFor(codeSegments, code);
    return segment.base + (code - segment.origin) * segment.Factor();
}

double CodeToSixByteReal(int code)
{
    code = qBound(0, code, 255);
    const Segment &segment = SegmentFor(codeSegments, code);
    // The value is numerator / FactorScale exactly; its magnitude is scaled by a power of two until it has
    // 40 bits before the binary point, rounded there and scaled back. Every step is exact in integers.
    const qint64 numerator =
        qint64(segment.base) * FactorScale + qint64(code - segment.origin) * segment.factorHundredths;
    if (numerator == 0)
        return 0.0;
    const quint64 magnitude = quint64(numerator < 0 ? -numerator : numerator);
    const quint64 lowest = quint64(1) << (SixByteMantissaBits - 1);
    int shift = 0;
    while ((magnitude << (shift + 1)) / FactorScale < (lowest << 1))
        ++shift;
    // magnitude * 2^shift / FactorScale now lies in [2^39, 2^40).
    const quint64 scaled = magnitude << shift;
    quint64 mantissa = scaled / FactorScale;
    if (2 * (scaled % FactorScale) >= FactorScale)
        ++mantissa;
    const double rounded = std::ldexp(double(mantissa), -shift);
    return numerator < 0 ? -rounded : rounded;
}

int TemperatureToCode(int celsius)
{
    celsius = qBound(-50, celsius, 300);
    const Segment &segment = SegmentFor(temperatureSegments, celsius);
    // Dividing by the factor (not multiplying by its inverse) keeps the ties of the table exact halves,
    // which the default rounding mode resolves to the even code.
    const double exact = segment.base + (celsius - segment.origin) / segment.Factor();
    return qBound(0, static_cast<int>(std::nearbyint(exact)), 255);
}

QString FormatTemperature(double celsius)
{
    return QString::number(celsius, 'g', 4);
}

QString TemperatureFromCode(const QByteArray &twoHexDigits, TemperatureHolding holding)
{
    if (twoHexDigits.size() != 2 || !IsHexDigit(twoHexDigits.at(0)) || !IsHexDigit(twoHexDigits.at(1)))
        return QStringLiteral("?");
    const int code = twoHexDigits.toInt(nullptr, 16);
    return FormatTemperature(holding == TemperatureHolding::SixByteReal ? CodeToSixByteReal(code)
                                                                        : CodeToTemperature(code));
}

} // namespace navix
