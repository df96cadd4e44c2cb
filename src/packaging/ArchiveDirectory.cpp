#include "packaging/ArchiveDirectory.h"

namespace voriraz {

std::optional<std::size_t> TArchiveDirArray::find(const std::string &storedName) const
{
    const auto found = mIndex.find(storedName);
    if (found == mIndex.end())
        return std::nullopt;
    return found->second;
}

TArchiveDirEntry &TArchiveDirArray::append(TArchiveDirEntry entry)
{
    mIndex[entry.storedName] = mEntries.size();
    mEntries.push_back(std::move(entry));
    return mEntries.back();
}

void TArchiveDirArray::removeAt(std::size_t index)
{
    mIndex.erase(mEntries[index].storedName);
    mEntries.erase(mEntries.begin() + static_cast<std::ptrdiff_t>(index));
    for (auto &[name, position] : mIndex)
        if (position > index)
            --position;
}

void TArchiveDirArray::clear()
{
    mEntries.clear();
    mIndex.clear();
}

} // namespace voriraz
