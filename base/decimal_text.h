#pragma once
// Short decimal text of a number for another program or a script to read back.
#include <string>

// value with at most `places` decimals, trailing zeros and point dropped:
// decimalText(12.3, 6) is "12.3", decimalText(96, 6) is "96", never "-0".
std::string decimalText(double value, int places);
