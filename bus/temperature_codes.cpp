#include "bus/temperature_codes.h"

#include <QtGlobal>
#include <cmath>

namespace {

struct Segment
{
    int from;
    int to;
    int origin;
    double factor;
    int base;
};

constexpr Segment codeSegments[] = {
    {0, 8, 0, 1.25, -50},       {9, 68, 8, 1.33, -40},      {69, 83, 68, 1.33, 40},
    {84, 91, 83, 1.25, 60},     {92, 113, 91, 1.35, 70},    {114, 131, 113, 1.39, 100},
    {132, 138, 131, 1.43, 125}, {139, 156, 138, 1.39, 135}, {157, 171, 156, 1.33, 160},
    {172, 255, 171, 1.42, 180},
};

constexpr Segment temperatureSegments[] = {
    {-50, -40, -50, 1.2, 0},    {-39, 0, -40, 1.33, 8},     {1, 40, 0, 1.33, 38},
    {41, 60, 40, 1.33, 68},     {61, 70, 60, 1.25, 83},     {71, 100, 70, 1.36, 91},
    {101, 125, 100, 1.39, 113}, {126, 135, 125, 1.43, 131}, {136, 160, 135, 1.39, 138},
    {161, 180, 160, 1.33, 156}, {181, 300, 180, 1.43, 171},
};

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
    return segment.base + (code - segment.origin) * segment.factor;
}

int TemperatureToCode(int celsius)
{
    celsius = qBound(-50, celsius, 300);
    const Segment &segment = SegmentFor(temperatureSegments, celsius);
    // Dividing by the factor (not multiplying by its inverse) keeps the ties of the table exact halves,
    // which the default rounding mode resolves to the even code.
    const double exact = segment.base + (celsius - segment.origin) / segment.factor;
    return qBound(0, static_cast<int>(std::nearbyint(exact)), 255);
}

QString FormatTemperature(double celsius)
{
    return QString::number(celsius, 'g', 4);
}

QString TemperatureFromCode(const QByteArray &twoHexDigits)
{
    if (twoHexDigits.size() != 2 || !IsHexDigit(twoHexDigits.at(0)) || !IsHexDigit(twoHexDigits.at(1)))
        return QStringLiteral("?");
    return FormatTemperature(CodeToTemperature(twoHexDigits.toInt(nullptr, 16)));
}
