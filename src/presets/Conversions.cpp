#include "presets/Conversions.h"

#include <cstdint>

namespace voriraz {

ConversionError::ConversionError(const std::string &sourceType, const std::string &targetType)
    : std::runtime_error("Could not convert variant of type (" + sourceType + ") into type (" + targetType + ")")
{
}

IntegerFormatError::IntegerFormatError(std::string_view text)
    : std::runtime_error("'" + std::string(text) + "' is not a valid integer value")
{
}

std::string valueToText(const XmlValue &value)
{
    if (!value)
        throw ConversionError("Null", "String");
    return *value;
}

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool equalsIgnoringAsciiCase(std::string_view text, std::string_view word)
{
    if (text.size() != word.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (lower(text[i]) != word[i])
            return false;
    }
    return true;
}

// A decimal number as blanks, sign, digits with an optional fraction and
// exponent, blanks; sets isZero to whether its value is zero.
bool parseDecimalNumber(std::string_view text, bool &isZero)
{
    std::size_t i = 0;
    auto skipBlanks = [&] { while (i < text.size() && text[i] == ' ') ++i; };
    skipBlanks();
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    bool digits = false;
    isZero = true;
    while (i < text.size() && isDigit(text[i])) {
        isZero = isZero && text[i] == '0';
        digits = true;
        ++i;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i])) {
            isZero = isZero && text[i] == '0';
            digits = true;
            ++i;
        }
    }
    if (!digits)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        if (i >= text.size() || !isDigit(text[i]))
            return false;
        while (i < text.size() && isDigit(text[i]))
            ++i;
    }
    skipBlanks();
    return i == text.size();
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = lower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

bool valueToBoolean(const XmlValue &value)
{
    if (!value)
        throw ConversionError("Null", "Boolean");
    bool isZero = false;
    if (parseDecimalNumber(*value, isZero))
        return !isZero;
    if (equalsIgnoringAsciiCase(*value, "true"))
        return true;
    if (equalsIgnoringAsciiCase(*value, "false"))
        return false;
    throw ConversionError("OleStr", "Boolean");
}

const char *booleanText(bool value)
{
    return value ? "true" : "false";
}

int textToInteger(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }

    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i < text.size() && lower(text[i]) == 'x') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && lower(text[i + 1]) == 'x') {
        base = 16;
        i += 2;
    }

    if (i == text.size())
        throw IntegerFormatError(text);
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const int digit = base == 16 ? hexValue(text[i]) : (isDigit(text[i]) ? text[i] - '0' : -1);
        if (digit < 0)
            throw IntegerFormatError(text);
        magnitude = magnitude * base + digit;
        if (magnitude > limit)
            throw IntegerFormatError(text);
    }
    return static_cast<int>(negative ? -magnitude : magnitude);
}

} // namespace voriraz
