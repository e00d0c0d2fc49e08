#pragma once

#include <QString>
#include <QStringView>

// Number reading and writing shared by every screen and importer.
namespace TextNumbers {

// The leading part of the text that reads as a decimal number: blanks are
// skipped, then an optional sign, digits and one decimal point. Text that
// does not begin with a number gives 0.
double numericValue(QStringView text);

// A whole or fractional number written with one leading blank (a minus sign
// in its place when negative) and no decimal point for whole values:
// 42 -> " 42", -3 -> "-3", 2.5 -> " 2.5".
QString withLeadingBlank(double value);

// The same number without the blank: 42 -> "42", -3 -> "-3".
QString plain(double value);

} // namespace TextNumbers
