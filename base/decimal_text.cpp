#include "base/decimal_text.h"

#include <cstdio>

std::string decimalText(double value, int places) {
    char text[400];
    std::snprintf(text, sizeof text, "%.*f", places, value);
    std::string s = text;
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    return s == "-0" ? "0" : s;
}
