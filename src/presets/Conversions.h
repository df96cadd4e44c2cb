#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace voriraz {

// A value read from an XML document: absent (no element, an empty element,
// a missing attribute) or a text. Absent is distinct from every text,
// including the empty one.
using XmlValue = std::optional<std::string>;

// A value that does not convert to the requested type:
// "Could not convert variant of type (<source>) into type (<target>)".
class ConversionError : public std::runtime_error
{
public:
    ConversionError(const std::string &sourceType, const std::string &targetType);
};

// A text that is not a strict integer: "'<text>' is not a valid integer value".
class IntegerFormatError : public std::runtime_error
{
public:
    explicit IntegerFormatError(std::string_view text);
};

// Arithmetic that leaves the signed 32-bit range.
class IntegerOverflowError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The text of a value. Throws ConversionError (Null into String) when absent.
std::string valueToText(const XmlValue &value);

// The truth of a value: "true" or "false" in any letter case, or a decimal
// number, zero being false. Throws ConversionError: (Null into Boolean) when
// absent, (OleStr into Boolean) for any other text.
bool valueToBoolean(const XmlValue &value);

// How the editor writes a Boolean: "true" or "false".
const char *booleanText(bool value);

// Strict integer conversion: optional leading blanks, an optional sign, then
// decimal digits, or "$", "x" or "0x" (either case) and hexadecimal digits.
// Nothing may follow the digits. Throws IntegerFormatError for anything else,
// also for a value outside the signed 32-bit range.
int textToInteger(std::string_view text);

} // namespace voriraz
