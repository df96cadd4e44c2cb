#include "packaging/ArchiveDirectory.h"

#include <functional>

namespace voriraz {

namespace {

std::size_t hashOf(const std::string &name)
{
    return std::hash<std::string> {}(name);
}

} // namespace

std::string TArchiveDirEntry::sourcePath() const
{
    std::string_view name = storedName;
    if (!name.empty() && name.back() == '/')
        name.remove_suffix(1);
    if (const auto slash = name.rfind('/'); slash != std::string_view::npos)
        name.remove_prefix(slash + 1);
    std::string path = sourceFolder ? *sourceFolder : std::string();
    if (!path.empty() && path.back() != '/')
        path.push_back('/');
    path.append(name);
    if (isDirectory())
        path.push_back('/');
    return path;
}

std::optional<std::size_t> TArchiveDirArray::find(const std::string &storedName) const
{
    const auto [from, to] = mIndex.equal_range(hashOf(storedName));
    for (auto it = from; it != to; ++it)
        if (mEntries[it->second].storedName == storedName)
            return it->second;
    return std::nullopt;
}

TArchiveDirEntry &TArchiveDirArray::append(TArchiveDirEntry entry)
{
    mIndex.emplace(hashOf(entry.storedName), mEntries.size());
    mEntries.push_back(std::move(entry));
    return mEntries.back();
}

void TArchiveDirArray::removeAt(std::size_t index)
{
    const auto [from, to] = mIndex.equal_range(hashOf(mEntries[index].storedName));
    for (auto it = from; it != to; ++it)
        if (it->second == index) {
            mIndex.erase(it);
            break;
        }
    mEntries.erase(mEntries.begin() + static_cast<std::ptrdiff_t>(index));
    for (auto &[hash, position] : mIndex)
        if (position > index)
            --position;
}

void TArchiveDirArray::clear()
{
    mEntries.clear();
    mIndex.clear();
}

} // namespace voriraz
