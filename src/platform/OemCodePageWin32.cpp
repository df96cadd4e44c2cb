#include "platform/OemCodePage.h"

#include <windows.h>

namespace voriraz::platform {

namespace {

std::wstring utf16(std::u32string_view characters)
{
    std::wstring wide;
    wide.reserve(characters.size());
    for (const char32_t c : characters) {
        if (c < 0x10000) {
            wide.push_back(static_cast<wchar_t>(c));
        } else {
            wide.push_back(static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10)));
            wide.push_back(static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        }
    }
    return wide;
}

} // namespace

unsigned oemCodePage()
{
    return ::GetOEMCP();
}

// WC_NO_BEST_FIT_CHARS keeps Windows from putting a look-alike in place of
// a character the code page lacks; the default character it then uses is
// reported. Converting back catches what that flag does not cover.
std::optional<std::string> oemText(std::u32string_view characters)
{
    if (characters.empty())
        return std::string();
    const std::wstring wide = utf16(characters);
    const UINT codePage = ::GetOEMCP();
    const int wideLength = static_cast<int>(wide.size());
    BOOL defaultUsed = FALSE;
    const int length = ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength, nullptr, 0,
                                             nullptr, &defaultUsed);
    if (length <= 0 || defaultUsed)
        return std::nullopt;
    std::string bytes(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength, bytes.data(), length, nullptr,
                          &defaultUsed);
    if (defaultUsed)
        return std::nullopt;
    std::wstring back(wide.size() + 1, L'\0');
    const int backLength = ::MultiByteToWideChar(codePage, 0, bytes.data(), length, back.data(),
                                                 static_cast<int>(back.size()));
    if (backLength != wideLength || back.compare(0, wide.size(), wide) != 0)
        return std::nullopt;
    return bytes;
}

} // namespace voriraz::platform
