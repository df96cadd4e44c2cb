#include "packaging/NameRules.h"

#include "text/Utf8.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace voriraz {

namespace {

struct Decomposition
{
    char32_t codePoint;
    std::uint16_t first;
    std::uint8_t count;
};

struct CombiningClass
{
    char32_t codePoint;
    std::uint8_t value;
};

struct CaseFold
{
    char32_t codePoint;
    char32_t folded;
};

#include "packaging/NameFoldTables.inc"

template <typename Row, std::size_t N>
const Row *findRow(const Row (&rows)[N], char32_t codePoint)
{
    const Row *found = std::lower_bound(rows, rows + N, codePoint,
                                        [](const Row &row, char32_t cp) { return row.codePoint < cp; });
    return found != rows + N && found->codePoint == codePoint ? found : nullptr;
}

int combiningClass(char32_t codePoint)
{
    const CombiningClass *row = findRow(combiningClasses, codePoint);
    return row ? row->value : 0;
}

// Hangul syllables decompose by a formula instead of a table.
constexpr char32_t hangulFirst = 0xAC00;
constexpr char32_t hangulLast = 0xD7A3;
constexpr char32_t leadingFirst = 0x1100;
constexpr char32_t vowelFirst = 0x1161;
constexpr char32_t trailingFirst = 0x11A7;
constexpr char32_t vowelCount = 21;
constexpr char32_t trailingCount = 28;

void appendDecomposed(std::u32string &out, char32_t codePoint)
{
    if (codePoint >= hangulFirst && codePoint <= hangulLast) {
        const char32_t index = codePoint - hangulFirst;
        out.push_back(leadingFirst + index / (vowelCount * trailingCount));
        out.push_back(vowelFirst + (index % (vowelCount * trailingCount)) / trailingCount);
        if (index % trailingCount != 0)
            out.push_back(trailingFirst + index % trailingCount);
        return;
    }
    if (const Decomposition *row = findRow(decompositions, codePoint)) {
        out.append(decompositionParts + row->first, row->count);
        return;
    }
    out.push_back(codePoint);
}

char32_t folded(char32_t codePoint)
{
    const CaseFold *row = findRow(caseFolds, codePoint);
    return row ? row->folded : codePoint;
}

bool isControl(char32_t codePoint)
{
    return codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F);
}

} // namespace

std::optional<std::string> unsafeNameReason(std::string_view storedName)
{
    if (storedName.find('\\') != std::string_view::npos)
        return "a name with a backslash would be a folder on Windows";
    std::string_view rest = storedName;
    if (!rest.empty() && rest.back() == '/')
        rest.remove_suffix(1);
    for (bool first = true;; first = false) {
        const std::size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        if (first && part.find(':') != std::string_view::npos)
            return "a colon in the first part of a name would make it a drive on Windows";
        if (part == "..")
            return "a part \"..\" would lead out of the folder the archive is extracted into";
        if (part == ".")
            return "a part \".\" names no file of its own";
        if (slash == std::string_view::npos)
            break;
        rest.remove_prefix(slash + 1);
    }
    const char *at = storedName.data();
    const char *end = at + storedName.size();
    while (at < end) {
        char32_t codePoint = 0;
        const std::size_t length = decodeUtf8Char(at, end, codePoint);
        if (length == 0) {
            ++at;
            continue;
        }
        if (isControl(codePoint)) {
            char text[96];
            std::snprintf(text, sizeof text, "a name with a control character (U+%04X) cannot be shown or typed",
                          static_cast<unsigned>(codePoint));
            return std::string(text);
        }
        at += length;
    }
    return std::nullopt;
}

std::string NameCollisions::foldKey(std::string_view name)
{
    // Decomposed, with each run of combining marks in canonical order, so
    // that every canonically equivalent spelling gives the same key.
    std::u32string decomposed;
    std::string key;
    const auto flush = [&] {
        for (std::size_t start = 0; start < decomposed.size();) {
            std::size_t stop = start + 1;
            while (stop < decomposed.size() && combiningClass(decomposed[stop]) != 0)
                ++stop;
            std::stable_sort(decomposed.begin() + static_cast<std::ptrdiff_t>(start) + 1,
                             decomposed.begin() + static_cast<std::ptrdiff_t>(stop),
                             [](char32_t a, char32_t b) { return combiningClass(a) < combiningClass(b); });
            start = stop;
        }
        for (const char32_t codePoint : decomposed)
            appendUtf8(key, folded(codePoint));
        decomposed.clear();
    };
    const char *at = name.data();
    const char *end = at + name.size();
    while (at < end) {
        char32_t codePoint = 0;
        const std::size_t length = decodeUtf8Char(at, end, codePoint);
        if (length == 0) {
            flush();
            key.push_back(*at++);
            continue;
        }
        appendDecomposed(decomposed, codePoint);
        at += length;
    }
    flush();
    return key;
}

void NameCollisions::add(std::string_view storedName)
{
    mNames.push_back({foldKey(storedName), std::string(storedName), mNames.size()});
}

std::vector<std::vector<std::string>> NameCollisions::groups() const
{
    std::vector<const Name *> sorted;
    sorted.reserve(mNames.size());
    for (const Name &name : mNames)
        sorted.push_back(&name);
    std::stable_sort(sorted.begin(), sorted.end(), [](const Name *a, const Name *b) { return a->key < b->key; });
    std::vector<std::pair<std::size_t, std::vector<std::string>>> found;
    for (std::size_t i = 0; i < sorted.size();) {
        std::size_t j = i + 1;
        while (j < sorted.size() && sorted[j]->key == sorted[i]->key)
            ++j;
        if (j - i > 1) {
            std::vector<std::string> group;
            for (std::size_t k = i; k < j; ++k)
                group.push_back(sorted[k]->name);
            found.emplace_back(sorted[i]->order, std::move(group));
        }
        i = j;
    }
    std::sort(found.begin(), found.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    std::vector<std::vector<std::string>> groups;
    for (auto &[order, group] : found)
        groups.push_back(std::move(group));
    return groups;
}

} // namespace voriraz
