#include "base/command_line.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

std::string format(const char* pattern, const std::string& text, double lo, double hi) {
    char buffer[200];
    std::snprintf(buffer, sizeof buffer, pattern, text.c_str(), lo, hi);
    return buffer;
}

// Skips the digits at text[i...]; how many there were.
size_t skipDigits(const std::string& text, size_t& i) {
    const size_t start = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    return i - start;
}

// One number syntax everywhere: plain decimal for times and digits only for
// counts. strtod alone would also take hex, inf, nan and leading spaces.
bool readNumber(const OptionSyntax& option, ValueKind kind, const std::string& text, double& number,
                std::string& error) {
    const bool syntax = kind == ValueKind::Count ? isDigits(text) : isPlainDecimal(text);
    number = syntax ? std::strtod(text.c_str(), nullptr) : 0.0;
    const bool inRange = kind == ValueKind::FrameMs ? number > option.lo : number >= option.lo;
    if (syntax && inRange && number <= option.hi) return true;
    const char* pattern = ": '%s' is not a whole number from %g to %g";
    if (kind == ValueKind::Seconds) pattern = ": '%s' is not a time from %g to %g seconds";
    if (kind == ValueKind::FrameMs) pattern = ": '%s' is not a frame time above %g and up to %g ms";
    if (kind == ValueKind::Decimal) pattern = ": '%s' is not a number from %g to %g";
    error = option.name + format(pattern, text, option.lo, option.hi);
    return false;
}

}  // namespace

// A loop, not a regular expression: the standard library's matcher recurses
// once per character and a long value would overflow the stack.
bool isPlainDecimal(const std::string& text) {
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t digits = skipDigits(text, i);
    if (i < text.size() && text[i] == '.') digits += skipDigits(text, ++i);
    if (digits == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        if (skipDigits(text, i) == 0) return false;
    }
    return i == text.size();
}

bool isDigits(const std::string& text) {
    size_t i = 0;
    return skipDigits(text, i) > 0 && i == text.size();
}

std::vector<std::string> splitOn(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == separator)
            parts.emplace_back();
        else
            parts.back().push_back(c);
    }
    return parts;
}

bool readOptionValue(const OptionSyntax& option, const std::string& text, OptionValue& value, std::string& error) {
    const std::string name = option.name;
    value.text = text;
    switch (option.kind) {
        case ValueKind::None:
            return true;
        case ValueKind::File:
        case ValueKind::Folder:
            if (!text.empty()) return true;
            error = name + " needs " + (option.kind == ValueKind::Folder ? "a folder" : "a file name");
            return false;
        case ValueKind::Choice: {
            const std::vector<std::string> words = splitOn(option.placeholder, '|');
            if (std::find(words.begin(), words.end(), text) != words.end()) return true;
            error = name + ": '" + text + "' is not one of";
            for (const std::string& word : words) error += " " + word + (&word == &words.back() ? "" : ",");
            return false;
        }
        case ValueKind::Size: {
            // WIDTHxHEIGHT, each side digits only (as every count) and in range.
            const std::vector<std::string> sides = splitOn(text, 'x');
            const auto side = [&](const std::string& digits, int& n) {
                const double number = isDigits(digits) ? std::strtod(digits.c_str(), nullptr) : 0.0;
                n = static_cast<int>(std::min(number, 1e9));
                return number >= option.lo && number <= option.hi;
            };
            if (sides.size() == 2 && side(sides[0], value.width) && side(sides[1], value.height)) return true;
            error = name + format(": '%s' is not a size WxH with both sides from %g to %g", text, option.lo, option.hi);
            return false;
        }
        case ValueKind::SecondsList:
        case ValueKind::DecimalList:
        case ValueKind::SizeList: {
            // Each item as the option's single kind, refused by itself.
            OptionSyntax single = option;
            single.kind = option.kind == ValueKind::SecondsList   ? ValueKind::Seconds
                          : option.kind == ValueKind::DecimalList ? ValueKind::Decimal
                                                                  : ValueKind::Size;
            value.numbers.clear();
            value.sizes.clear();
            for (const std::string& item : splitOn(text, ',')) {
                OptionValue one;
                if (!readOptionValue(single, item, one, error)) return false;
                value.numbers.push_back(one.number);
                value.sizes.emplace_back(one.width, one.height);
            }
            return true;
        }
        case ValueKind::Seconds:
        case ValueKind::FrameMs:
        case ValueKind::Decimal:
        case ValueKind::Count:
            break;
    }
    return readNumber(option, option.kind, text, value.number, error);
}

bool splitInlineValue(std::string& word, std::string& value) {
    const size_t equals = word.find('=');
    if (word.compare(0, 2, "--") != 0 || equals == std::string::npos) return false;
    value = word.substr(equals + 1);
    word.resize(equals);
    return true;
}

std::string unknownOption(const std::string& name) {
    return "unknown option '" + name + "'";
}

bool needsValue(const OptionSyntax& option, bool inlineValue, int i, int argc, std::string& error) {
    if (option.kind == ValueKind::None && inlineValue) {
        error = std::string(option.name) + " takes no value";
        return false;
    }
    if (option.kind != ValueKind::None && !inlineValue && i + 1 >= argc) {
        error = std::string(option.name) + " needs a value";
        return false;
    }
    return true;
}
