#include "packaging/FileMask.h"

#include "platform/Case.h"
#include "text/AsciiCase.h"
#include "text/Utf8.h"

#include <vector>

namespace voriraz {

MaskError::MaskError(std::string_view mask, std::size_t position)
    : std::runtime_error("'" + std::string(mask) + "' is an invalid mask at (" + std::to_string(position) + ")")
{
}

namespace {

// Letters compared ignoring case: ASCII always, other letters of the Basic
// Multilingual Plane by the system's Unicode upper case.
char32_t fold(char32_t c)
{
    if (c < 0x80)
        return foldAsciiCase(c);
    if (c > 0xFFFF || (c >= 0xD800 && c <= 0xDFFF))
        return c;
    return platform::upperCase(c);
}

// A compiled mask element: a literal, '?', '*' or a bracketed set.
struct Element
{
    enum Kind { Literal, AnyChar, AnyRun, Set };

    explicit Element(Kind k, char32_t c = 0) : kind(k), literal(c) {}

    Kind kind;
    char32_t literal = 0;
    bool negated = false;
    std::vector<std::pair<char32_t, char32_t>> ranges;

    bool matches(char32_t c) const
    {
        switch (kind) {
        case Literal:
            return fold(c) == literal;
        case AnyChar:
            return true;
        case AnyRun:
            return true;
        case Set:
            break;
        }
        const char32_t folded = fold(c);
        bool inSet = false;
        for (const auto &[low, high] : ranges)
            inSet = inSet || (folded >= low && folded <= high) || (c >= low && c <= high);
        return inSet != negated;
    }
};

std::vector<Element> compile(std::string_view maskText)
{
    const std::u32string mask = codePointsForMatching(maskText);
    std::vector<Element> elements;
    for (std::size_t i = 0; i < mask.size(); ++i) {
        const char32_t c = mask[i];
        if (c == '*') {
            if (elements.empty() || elements.back().kind != Element::AnyRun)
                elements.emplace_back(Element::AnyRun);
        } else if (c == '?') {
            elements.emplace_back(Element::AnyChar);
        } else if (c == '[') {
            Element set(Element::Set);
            std::size_t j = i + 1;
            if (j < mask.size() && mask[j] == '!') {
                set.negated = true;
                ++j;
            }
            bool closed = false;
            for (; j < mask.size(); ++j) {
                if (mask[j] == ']') {
                    closed = true;
                    break;
                }
                char32_t low = fold(mask[j]);
                char32_t high = low;
                if (j + 2 < mask.size() && mask[j + 1] == '-' && mask[j + 2] != ']') {
                    high = fold(mask[j + 2]);
                    j += 2;
                    if (high < low)
                        std::swap(low, high);
                }
                set.ranges.emplace_back(low, high);
            }
            if (!closed)
                throw MaskError(maskText, j + 1);
            elements.push_back(std::move(set));
            i = j;
        } else {
            elements.emplace_back(Element::Literal, fold(c));
        }
    }
    return elements;
}

// Greedy matching with backtracking to the last '*' only, which is linear in
// practice and never exponential.
bool matchElements(const std::vector<Element> &elements, const std::u32string &name)
{
    std::size_t e = 0, n = 0;
    std::size_t starE = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (e < elements.size() && elements[e].kind == Element::AnyRun) {
            starE = e++;
            starN = n;
        } else if (e < elements.size() && elements[e].matches(name[n])) {
            ++e;
            ++n;
        } else if (starE != std::string::npos) {
            e = starE + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (e < elements.size() && elements[e].kind == Element::AnyRun)
        ++e;
    return e == elements.size();
}

} // namespace

bool matchesMask(std::string_view mask, std::string_view name)
{
    return matchElements(compile(mask), codePointsForMatching(name));
}

bool matchesListingMask(std::string_view mask, std::string_view name)
{
    const auto elements = compile(mask);
    const auto decoded = codePointsForMatching(name);
    if (matchElements(elements, decoded))
        return true;
    return decoded.find(U'.') == std::u32string::npos && matchElements(elements, decoded + U".");
}

} // namespace voriraz
