#pragma once
// How start-up turns stored texts into option states.

#include <string>

namespace kvx {

// The number a stored text stands for: leading blanks skipped, then an optional "-" or
// "+" (which is not applied), then decimal digits or a hexadecimal number introduced by
// "$", "x", "X", "0x" or "0X"; reading stops at the first character that does not fit and
// the digits read so far give the result. No digits (an empty text too) give 0; a number
// too large for an int gives the largest int.
int settingNumber(const std::string& text);

// "equals 1": on exactly when the text is the one character "1".
bool equalsOne(const std::string& text);

// The slide-show pace as the track bar can show it: below 1 gives 1, above 20 gives 20.
int trackBarPosition(int number);

} // namespace kvx
