#pragma once
// Reading a command line against a table of options: each option that takes a
// value takes it as the next word or after '=' (--still=60), and every value
// is checked and parsed here, once, by its kind. Programs keep their own table
// of what each option means.
#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// What an option's value is; None for a switch. A Choice is one of the words of
// its placeholder ("auto|cpu|cuda").
enum class ValueKind {
    None,
    Seconds,      // plain decimal, lo to hi
    SecondsList,  // Seconds, comma-separated
    FrameMs,      // plain decimal, above lo, up to hi
    Decimal,      // plain decimal, lo to hi
    Count,        // digits only, lo to hi
    File,         // any non-empty text
    Folder,       // any non-empty text
    Choice,
    Size,         // WIDTHxHEIGHT, both sides Count from lo to hi
    DecimalList,  // Decimal, comma-separated
    SizeList,     // Size, comma-separated
};

struct OptionSyntax {
    const char* name;
    ValueKind kind;
    const char* placeholder;  // the value's name in a usage text
    double lo, hi;            // a number's range
};

// A value as read: the text, and what it says for its kind.
struct OptionValue {
    std::string text;
    double number = 0.0;          // Seconds, FrameMs, Decimal, Count
    std::vector<double> numbers;  // SecondsList, DecimalList
    int width = 0, height = 0;    // Size
    std::vector<std::pair<int, int>> sizes;  // SizeList
};

// Plain decimal: an optional sign, digits with an optional fraction (or a
// fraction alone), an optional exponent. Digits: one or more of 0-9 alone.
bool isPlainDecimal(const std::string& text);
bool isDigits(const std::string& text);

// Checks and parses text as the option's value. False with a one-line reason
// that names the option and states the allowed range or words.
bool readOptionValue(const OptionSyntax& option, const std::string& text, OptionValue& value, std::string& error);

// The words between separators ("a,,b" is "a", "", "b").
std::vector<std::string> splitOn(const std::string& text, char separator);

// Walks argv[1...]: finds each option in rows[0..count) (Row has a `syntax`
// member), reads its value and hands both to take, which may refuse (false
// with error) or stop the walk early (setting stop). False with a one-line
// reason for an unknown option, a value missing or given to a switch, or a
// malformed value.
template <class Row>
bool readCommandLine(int argc, const char* const* argv, const Row* rows, size_t count,
                     const std::function<bool(const Row&, const OptionValue&, bool& stop, std::string&)>& take,
                     std::string& error);

// ---- implementation ----

// Splits "--name=value" (only for words starting with "--"); false when there is no '='.
bool splitInlineValue(std::string& word, std::string& value);
// The refusals of the walk itself.
std::string unknownOption(const std::string& name);
bool needsValue(const OptionSyntax& option, bool inlineValue, int i, int argc, std::string& error);

template <class Row>
bool readCommandLine(int argc, const char* const* argv, const Row* rows, size_t count,
                     const std::function<bool(const Row&, const OptionValue&, bool& stop, std::string&)>& take,
                     std::string& error) {
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        OptionValue value;
        const bool inlineValue = splitInlineValue(name, value.text);
        const Row* row = nullptr;
        for (size_t r = 0; r < count && !row; ++r)
            if (name == rows[r].syntax.name) row = &rows[r];
        if (!row) {
            error = unknownOption(name);
            return false;
        }
        if (!needsValue(row->syntax, inlineValue, i, argc, error)) return false;
        if (row->syntax.kind != ValueKind::None && !inlineValue) value.text = argv[++i];
        if (!readOptionValue(row->syntax, value.text, value, error)) return false;
        bool stop = false;
        if (!take(*row, value, stop, error)) return false;
        if (stop) return true;
    }
    return true;
}
