#pragma once

#include <QString>
#include <QStringView>

// Number reading and writing shared by every screen and importer.
namespace TextNumbers {

// The leading part of the text that reads as a decimal number: blanks are
// skipped, then an optional sign, digits and one decimal point. Text that
// does not begin with a number gives 0.
double numericValue(QStringView text);

// The same number written out with every digit the text gives it: no leading
// zeros, no trailing zeros after the point, no point for a whole value, a
// minus sign when negative; "0" when the text does not begin with a number.
// Unlike a printed numericValue, it keeps digits beyond the precision of a
// double: "12345678901234567" stays as it is.
QString numberText(QStringView text);

// A whole or fractional number written with one leading blank (a minus sign
// in its place when negative) and no decimal point for whole values:
// 42 -> " 42", -3 -> "-3", 2.5 -> " 2.5".
QString withLeadingBlank(double value);

// The same number without the blank: 42 -> "42", -3 -> "-3".
QString plain(double value);

} // namespace TextNumbers
