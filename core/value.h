#pragma once

#include <QString>

namespace framla::core {

/// The numeric value of a text: leading blanks skipped, an optional sign,
/// then the leading digits with an optional fraction; 0 when the text does
/// not start with a number ("F0001" is 0, "12AB" is 12).
double VAL(const QString &text);

/// Division where a zero divisor yields 0, as every division in the program must.
double safeDiv(double numerator, double divisor);

/// Modulo where a zero divisor yields 0.
double safeMod(double numerator, double divisor);

} // namespace framla::core
