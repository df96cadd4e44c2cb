#pragma once

// The integer and Boolean conversions of preset and reference values,
// checked against independent readings of the same grammar.

#include "FuzzCheck.h"

#include "presets/Conversions.h"

#include <charconv>
#include <optional>
#include <string_view>

namespace voriraz::fuzz {

namespace detail {

// Blanks, a sign, then decimal digits or "$", "x", "0x" and hexadecimal
// digits, read with std::from_chars.
inline std::optional<int> referenceInteger(std::string_view text)
{
    std::size_t i = text.find_first_not_of(' ');
    if (i == std::string_view::npos)
        return std::nullopt;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    const std::string_view rest = text.substr(i);
    if (rest.starts_with('$') || rest.starts_with('x') || rest.starts_with('X')) {
        base = 16;
        i += 1;
    } else if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
        base = 16;
        i += 2;
    }
    const std::string_view digits = text.substr(i);
    if (digits.empty())
        return std::nullopt;
    unsigned long long magnitude = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
    if (error != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    if (magnitude > (negative ? 2147483648ULL : 2147483647ULL))
        return std::nullopt;
    return static_cast<int>(negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude));
}

// "true" or "false" in any case, or a decimal number that is true unless
// zero: blanks, a sign, a mantissa of digits with at most one full stop and
// at least one digit, an exponent of "e", a sign and digits, blanks. Read by
// splitting the text at its parts rather than scanning it.
inline std::optional<bool> referenceBoolean(std::string_view text)
{
    std::string lower(text);
    for (char &c : lower)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    if (lower == "true")
        return true;
    if (lower == "false")
        return false;

    const std::size_t first = lower.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::nullopt;
    std::string_view number = std::string_view(lower).substr(first, lower.find_last_not_of(' ') + 1 - first);
    if (number.starts_with('+') || number.starts_with('-'))
        number.remove_prefix(1);
    const auto allDigits = [](std::string_view part) {
        return part.find_first_not_of("0123456789") == std::string_view::npos;
    };
    const std::size_t e = number.find('e');
    if (e != std::string_view::npos) {
        std::string_view exponent = number.substr(e + 1);
        if (exponent.starts_with('+') || exponent.starts_with('-'))
            exponent.remove_prefix(1);
        if (exponent.empty() || !allDigits(exponent))
            return std::nullopt;
        number = number.substr(0, e);
    }
    const std::size_t point = number.find('.');
    const std::string_view whole = number.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view() : number.substr(point + 1);
    if (!allDigits(whole) || !allDigits(fraction) || whole.size() + fraction.size() == 0)
        return std::nullopt;
    return whole.find_first_not_of('0') != std::string_view::npos
        || fraction.find_first_not_of('0') != std::string_view::npos;
}

} // namespace detail

inline void conversions(std::string_view bytes)
{
    const std::optional<int> expected = detail::referenceInteger(bytes);
    try {
        const int value = textToInteger(bytes);
        check(expected.has_value(), "an integer text the grammar refuses was accepted");
        check(*expected == value, "an integer text converted to the wrong value");
    } catch (const IntegerFormatError &e) {
        check(!expected, "an integer text the grammar accepts was refused");
        // The message is a C string, so a NUL byte in the text ends it.
        const std::string message = "'" + std::string(bytes) + "' is not a valid integer value";
        check(e.what() == message.substr(0, message.find('\0')), "the integer error does not quote the text");
    }

    const std::string text(bytes);
    const std::optional<bool> truth = detail::referenceBoolean(text);
    try {
        const bool value = valueToBoolean(XmlValue(text));
        check(truth.has_value(), "a Boolean text the grammar refuses was accepted");
        check(*truth == value, "a Boolean text converted to the wrong truth");
    } catch (const ConversionError &e) {
        check(!truth, "a Boolean text the grammar accepts was refused");
        check(std::string(e.what()) == "Could not convert variant of type (OleStr) into type (Boolean)",
              "the Boolean error has another message");
    }
    check(valueToText(XmlValue(text)) == text, "a text value does not convert to itself");
}

} // namespace voriraz::fuzz
