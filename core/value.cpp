#include "value.h"

#include <cmath>

namespace framla::core {

double VAL(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text.at(i) == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < n && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    double value = 0;
    bool sawDigit = false;
    while (i < n && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9')) {
        value = value * 10 + (text.at(i).unicode() - '0');
        sawDigit = true;
        ++i;
    }
    if (i < n && text.at(i) == QLatin1Char('.')) {
        ++i;
        double scale = 0.1;
        while (i < n && text.at(i) >= QLatin1Char('0') && text.at(i) <= QLatin1Char('9')) {
            value += (text.at(i).unicode() - '0') * scale;
            scale /= 10;
            sawDigit = true;
            ++i;
        }
    }
    if (!sawDigit)
        return 0;
    return negative ? -value : value;
}

double safeDiv(double numerator, double divisor)
{
    return divisor == 0 ? 0 : numerator / divisor;
}

double safeMod(double numerator, double divisor)
{
    return divisor == 0 ? 0 : std::fmod(numerator, divisor);
}

} // namespace framla::core
