#include "packaging/FileSelection.h"

#include "packaging/ArchiveError.h"
#include "packaging/EntrySource.h"
#include "packaging/FileMask.h"
#include "packaging/NameEncoding.h"
#include "packaging/NameRules.h"
#include "platform/File.h"
#include "text/AsciiCase.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <mutex>

namespace voriraz {

namespace {

std::mutex &selectionLock()
{
    static std::mutex lock;
    return lock;
}

// The order of a case-insensitive file system's listing: ASCII letters
// compared as upper case, then plain byte order between names that differ
// only in case, so the order never depends on the order on disk.
bool listingOrder(const std::string &a, const std::string &b)
{
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(foldAsciiCase(a[i]));
        const auto y = static_cast<unsigned char>(foldAsciiCase(b[i]));
        if (x != y)
            return x < y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

std::string_view directoryPart(std::string_view path)
{
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view {} : path.substr(0, slash + 1);
}

std::string_view namePart(std::string_view path)
{
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Whether path is left out by one exclusion (a full path or a mask over full
// paths): within the exclusion's own directory it must match it as a mask;
// elsewhere only an exclusion of "*.*" reaches, and then a whole tree.
bool excludedBy(std::string exclusion, std::string path, bool isDirectory)
{
    if (isDirectory) {
        path.push_back('/');
        if (exclusion.empty() || exclusion.back() != '*')
            exclusion.push_back('/');
    }
    if (exclusion == "*.*")
        return true;
    if (equalsIgnoringAsciiCase(directoryPart(path), directoryPart(exclusion)))
        return matchesMask(exclusion, path);
    const std::string_view excludedDir = directoryPart(exclusion);
    const std::string_view pathDir = directoryPart(path);
    return namePart(exclusion) == "*.*" && pathDir.size() >= excludedDir.size()
           && equalsIgnoringAsciiCase(pathDir.substr(0, excludedDir.size()), excludedDir);
}

// What the walk needs of a directory's item: its kind, size, time,
// identity and attributes, links resolved.
using Listed = platform::FolderItem;
using Kind = platform::FolderItem::Kind;

// Whether a resolved path lies in the resolved base directory or is it.
bool isInside(const std::string &resolved, const std::string &base)
{
    if (base == "/")
        return true;
    return resolved.size() >= base.size() && resolved.compare(0, base.size(), base) == 0
           && (resolved.size() == base.size() || resolved[base.size()] == '/');
}

// Test seam: told of every directory the walk lists.
std::function<int(const std::string &)> &listingHook()
{
    static std::function<int(const std::string &)> hook;
    return hook;
}

// The items of a directory in listing order, or nothing with the system's
// error number when it cannot be listed.
std::optional<std::vector<Listed>> listDirectory(const std::string &path, int &error)
{
    if (listingHook()) {
        if (const int injected = listingHook()(path)) {
            error = injected;
            return std::nullopt;
        }
    }
    std::optional<std::vector<Listed>> listed = platform::listFolder(path);
    if (!listed) {
        error = platform::lastSystemError().code;
        return std::nullopt;
    }
    std::sort(listed->begin(), listed->end(), [](const Listed &a, const Listed &b) { return listingOrder(a.name, b.name); });
    return listed;
}

std::uint32_t fileAttributes(const Listed &item)
{
    if (item.kind == Kind::Folder)
        return zip::attributeDirectory;
    std::uint32_t attributes = zip::attributeArchive;
    if (item.readOnly)
        attributes |= zip::attributeReadOnly;
    if (item.hidden)
        attributes |= zip::attributeHidden;
    return attributes;
}

// Why an item that is neither a file nor a folder is left out.
const char *notAFileReason(Kind kind)
{
    switch (kind) {
    case Kind::Pipe: return "a named pipe, not a file";
    case Kind::Socket: return "a socket, not a file";
    case Kind::Device: return "a device, not a file";
    default: return "neither a file nor a folder";
    }
}

class Walker
{
public:
    Walker(const SelectionRequest &request, TArchiveDirArray &directory, std::string base,
           std::vector<std::string> exclusions)
        : mRequest(request), mDirectory(directory), mBase(std::move(base)), mExclusions(std::move(exclusions)),
          mShownBase(platform::shownPath(request.baseDir.empty() ? mBase : request.baseDir))
    {
    }

    void walkBase(const std::string &mask)
    {
        // A base that is not there to list is a failure of the whole walk:
        // an archive of nothing would pass for the tree's.
        platform::SystemError kindError;
        const platform::FileKind kind = platform::fileKind(mBase, &kindError);
        if (kind == platform::FileKind::Missing)
            throw SourceFolderError(mShownBase, kindError.text);
        if (kind != platform::FileKind::Directory)
            throw SourceFolderError(mShownBase, platform::errnoError(ENOTDIR).text);
        const std::optional<std::string> resolved = platform::realPath(mBase);
        const std::optional<FileIdentity> identity = platform::identityOf(mBase);
        if (!resolved || !identity)
            throw SourceFolderError(mShownBase, platform::lastSystemError().text);
        int error = 0;
        std::optional<std::vector<Listed>> listing = listDirectory(mBase, error);
        if (!listing)
            throw SourceFolderError(mShownBase, platform::errorText(error));
        mRealBase = *resolved;
        mPath.push_back(*identity);
        walk(mBase, "", mask, mRequest.recurse, std::move(*listing));
        mPath.pop_back();
    }

private:
    bool stopped() const { return mStopped || (mRequest.cancelled && mRequest.cancelled->load()); }

    // Asks what to do about a failure; leaving an item out without anybody
    // to ask.
    WalkDecision ask(WalkFailure failure)
    {
        const WalkDecision decision = mRequest.failed ? mRequest.failed(failure) : WalkDecision::LeaveOut;
        if (decision == WalkDecision::Stop)
            mStopped = true;
        return decision;
    }

    void leaveOut(LeftOutKind kind, const std::string &name, const std::string &reason) const
    {
        if (mRequest.leftOut)
            mRequest.leftOut(kind, name, reason);
    }

    // Settles the items that are neither files nor folders: those that
    // cannot be looked at are asked about (and looked at again on a retry),
    // the others left out and told. Returns the files and folders, in
    // order.
    std::vector<Listed> settle(const std::shared_ptr<const std::string> &folder, const std::string &relative,
                               std::vector<Listed> listing)
    {
        std::vector<Listed> kept;
        kept.reserve(listing.size());
        for (Listed &item : listing) {
            while (item.kind == Kind::Unreadable && !stopped()) {
                WalkFailure failure;
                failure.error = NativeError::CannotOpenFile;
                failure.arguments = {printableName(*folder + "/" + item.name)};
                failure.reason = {item.error, printableName(relative + item.name)};
                failure.folder = folder;
                failure.storedName = relative + item.name;
                if (ask(std::move(failure)) != WalkDecision::Retry)
                    break;
                item = platform::folderItem(*folder, item.name);
            }
            if (stopped())
                return {};
            const std::string name = relative + item.name;
            switch (item.kind) {
            case Kind::Unreadable:
                break;
            case Kind::File:
            case Kind::Folder:
                // Links that lead outside are reported, not listed.
                if (!item.linkTarget.empty() && !isInside(item.linkTarget, mRealBase))
                    leaveOut(LeftOutKind::LinkOutside, name,
                             "a link leading outside the folder, to \"" + item.linkTarget + "\"");
                else
                    kept.push_back(std::move(item));
                break;
            case Kind::BrokenLink:
                leaveOut(LeftOutKind::LinkNowhere, name, "a link leading nowhere, to \"" + item.linkTarget + "\"");
                break;
            case Kind::LinkLoop:
                leaveOut(LeftOutKind::LinkNowhere, name, "a link that leads round in a loop");
                break;
            default:
                leaveOut(LeftOutKind::NotAFile, name, notAFileReason(item.kind));
                break;
            }
        }
        return kept;
    }

    void walk(const std::string &dirPath, const std::string &relative, const std::string &mask, bool recurse,
              std::vector<Listed> listing)
    {
        if (stopped())
            return;
        // One copy of the folder's path for all its entries.
        const auto folder = std::make_shared<const std::string>(dirPath);
        listing = settle(folder, relative, std::move(listing));
        const int fileSearch = mRequest.searchAttr & ~searchAttr::directory;
        for (const Listed &item : listing) {
            if (stopped())
                return;
            if (item.kind != Kind::File || !matchesListingMask(mask, item.name))
                continue;
            const std::uint32_t attributes = fileAttributes(item);
            const bool searched = (attributes & static_cast<std::uint32_t>(fileSearch)) != 0
                                  || (attributes == 0 && (fileSearch & 0x27) == 0x27);
            if (searched)
                offer(folder, relative, item, attributes);
        }

        const bool listsDirectories = (mRequest.searchAttr & searchAttr::directory) != 0;
        if (!listsDirectories && !recurse)
            return;
        for (const Listed &item : listing) {
            if (item.kind != Kind::Folder || stopped())
                continue;
            const std::string path = dirPath + "/" + item.name;
            if (isExcluded(path, true))
                continue;
            const FileIdentity identity = item.identity;
            const bool onPath = std::find(mPath.begin(), mPath.end(), identity) != mPath.end();
            const std::string below = relative + item.name + "/";
            if (listsDirectories && (matchesMask(mask, item.name) || matchesMask(mask, item.name + "."))) {
                if (!nameAccepted(folder, below, true))
                    continue;
                // A directory already on the path is stored, not walked again.
                std::optional<std::vector<Listed>> children;
                if (!onPath && !(children = listSubdirectory(folder, path, below)))
                    continue;
                if (!offer(folder, relative, item, zip::attributeDirectory) || onPath)
                    continue;
                descend(identity, path, below, "*.*", true, std::move(*children));
            } else if (recurse && !onPath) {
                if (std::optional<std::vector<Listed>> children = listSubdirectory(folder, path, below))
                    descend(identity, path, below, mask, recurse, std::move(*children));
            }
        }
    }

    // The listing of a subdirectory, asked about until it is listed, left
    // out or the walk stops: a path longer than the system opens cannot be
    // listed, and trying again cannot change that.
    std::optional<std::vector<Listed>> listSubdirectory(const std::shared_ptr<const std::string> &folder,
                                                        const std::string &path, const std::string &storedName)
    {
        while (!stopped()) {
            WalkFailure failure;
            failure.folder = folder;
            failure.storedName = storedName;
            failure.isDirectory = true;
            if (path.size() > platform::longestPath) {
                failure.error = NativeError::FileNameTooLong;
                failure.arguments = {printableName(path)};
            } else {
                int error = 0;
                if (std::optional<std::vector<Listed>> listing = listDirectory(path, error))
                    return listing;
                failure.error = NativeError::CannotListFolder;
                failure.arguments = {printableName(path)};
                failure.reason = {error, printableName(storedName)};
            }
            if (ask(std::move(failure)) != WalkDecision::Retry)
                break;
        }
        return std::nullopt;
    }

    void descend(const FileIdentity &identity, const std::string &path, const std::string &relative,
                 const std::string &mask, bool recurse, std::vector<Listed> listing)
    {
        mPath.push_back(identity);
        walk(path, relative, mask, recurse, std::move(listing));
        mPath.pop_back();
    }

    bool isExcluded(const std::string &path, bool isDirectory) const
    {
        for (const std::string &exclusion : mExclusions)
            if (excludedBy(exclusion, path, isDirectory))
                return true;
        return false;
    }

    // Whether the name an item would be stored under may be stored; a name
    // refused is asked about, and never taken (trying again cannot change
    // it).
    bool nameAccepted(const std::shared_ptr<const std::string> &folder, const std::string &storedName,
                      bool isDirectory)
    {
        const std::optional<std::string> reason = unsafeNameReason(storedName);
        if (!reason)
            return true;
        std::string_view name = storedName;
        if (isDirectory)
            name.remove_suffix(1);
        name.remove_prefix(name.rfind('/') == std::string_view::npos ? 0 : name.rfind('/') + 1);
        WalkFailure failure;
        failure.error = NativeError::UnsafeName;
        failure.arguments = {printableName(*folder + "/" + std::string(name)), *reason};
        failure.folder = folder;
        failure.storedName = storedName;
        failure.isDirectory = isDirectory;
        ask(std::move(failure));
        return false;
    }

    std::string storedName(const std::string &path, const std::string &relative, const std::string &name,
                           bool isDirectory) const
    {
        std::string stored;
        switch (mRequest.storePath) {
        case TStorePathMode::spNoPath:
            stored = name;
            break;
        case TStorePathMode::spRelativePath:
            stored = relative + name;
            break;
        case TStorePathMode::spFullPath:
        case TStorePathMode::spFullPathWithDrive:
            stored = path.substr(path.find_first_not_of('/'));
            break;
        }
        if (isDirectory)
            stored.push_back('/');
        return stored;
    }

    // Whether a file found is the previous archive at its own path: left
    // out. The same file under another path is a file of the tree that the
    // archive would replace.
    bool isPreviousArchive(const std::string &path, const Listed &item) const
    {
        if (!mRequest.previousArchive || item.identity != *mRequest.previousArchive)
            return false;
        if (platform::realPath(path).value_or(std::string()) == mRequest.previousArchivePath)
            return true;
        throw ArchiveTargetError(path);
    }

    // Adds a found file or directory unless it is excluded or its name is
    // refused; returns whether it was taken. A directory's name was looked
    // at before it was listed.
    bool offer(const std::shared_ptr<const std::string> &folder, const std::string &relative, const Listed &item,
               std::uint32_t attributes)
    {
        const std::string path = *folder + "/" + item.name;
        const bool isDirectory = item.kind == Kind::Folder;
        if (!isDirectory && mRequest.archive && item.identity == *mRequest.archive)
            return false;
        if (!isDirectory && isPreviousArchive(path, item))
            return false;
        // Writing the archive would destroy a file it is to hold.
        if (!isDirectory && mRequest.target && item.identity == *mRequest.target)
            throw ArchiveTargetError(path);
        if (isExcluded(path, isDirectory))
            return false;

        const std::string name = storedName(path, relative, item.name, isDirectory);
        if (!isDirectory && !nameAccepted(folder, name, false))
            return false;
        TArchiveDirEntry entry;
        entry.sourceFolder = folder;
        entry.operation = TProcessOperation::poAdd;
        entry.modified = true;
        entry.compressionMode = static_cast<std::uint8_t>(isDirectory ? 0 : mRequest.compressionMode);
        auto &h = entry.header;
        h.flags = isDirectory ? zip::flagDirectory : 0;
        h.method = isDirectory ? zip::methodStored : static_cast<std::uint16_t>(mRequest.method);
        const auto stamp = (isDirectory ? std::nullopt : dosDateTime(item.modified))
                               .value_or(dosDateTime(std::time(nullptr)).value_or(0));
        h.dosTime = static_cast<std::uint16_t>(stamp & 0xFFFF);
        h.dosDate = static_cast<std::uint16_t>(stamp >> 16);
        h.crc32 = isDirectory ? 0 : zip::max32;
        h.externalAttributes = attributes;
        h.nameLength = static_cast<std::uint16_t>(std::min<std::size_t>(name.size(), zip::max16));
        if (!isDirectory) {
            entry.uncompressedSize64 = item.size;
            entry.zip64 = needsZip64(entry.uncompressedSize64);
            h.uncompressedSize = static_cast<std::uint32_t>(std::min<std::uint64_t>(entry.uncompressedSize64, zip::max32));
        }

        if (const auto existing = mDirectory.find(name)) {
            if (mRequest.overwriteMode == TOverwriteMode::omNever)
                return true;
            entry.operation = TProcessOperation::poUpdate;
            mDirectory.replaceAt(*existing, std::move(entry));
            if (mRequest.replaced)
                mRequest.replaced();
        } else {
            const TArchiveDirEntry &appended = mDirectory.append(std::move(entry), name);
            if (mRequest.appended)
                mRequest.appended(appended);
        }
        return true;
    }

    const SelectionRequest &mRequest;
    TArchiveDirArray &mDirectory;
    std::string mBase;
    std::vector<std::string> mExclusions;
    std::string mRealBase;
    std::vector<FileIdentity> mPath;
    bool mStopped = false;
    // The base directory as the caller named it, for messages.
    std::string mShownBase;
};

} // namespace

void setListingHookForTesting(std::function<int(const std::string &directory)> hook)
{
    listingHook() = std::move(hook);
}

std::optional<std::uint32_t> dosDateTime(std::time_t time)
{
    const std::optional<std::tm> known = platform::localTime(time);
    if (!known)
        return std::nullopt;
    const std::tm &local = *known;
    const int year = local.tm_year + 1900;
    if (year < 1980 || year > 2107)
        return std::nullopt;
    const std::uint32_t dosTime = (static_cast<std::uint32_t>(local.tm_hour) << 11)
                                  | (static_cast<std::uint32_t>(local.tm_min) << 5)
                                  | static_cast<std::uint32_t>(std::min(local.tm_sec, 59) / 2);
    const std::uint32_t dosDate = (static_cast<std::uint32_t>(year - 1980) << 9)
                                  | (static_cast<std::uint32_t>(local.tm_mon + 1) << 5)
                                  | static_cast<std::uint32_t>(local.tm_mday);
    return (dosDate << 16) | dosTime;
}

void selectFiles(const SelectionRequest &request, TArchiveDirArray &directory)
{
    std::lock_guard lock(selectionLock());
    std::string base = request.baseDir;
    base = platform::absolutePath(base.empty() ? "." : base);
    while (base.size() > 1 && base.back() == '/' && base[base.size() - 2] != ':')
        base.pop_back();

    // Invalid masks are refused before anything is walked.
    std::vector<std::string> exclusions;
    for (const std::string &exclusion : request.exclusions) {
        matchesMask(exclusion, "");
        std::string resolved = (!exclusion.empty() && exclusion.front() == '/') || exclusion == "*.*"
                                   ? exclusion
                                   : base + "/" + exclusion;
        exclusions.push_back(std::move(resolved));
    }
    for (const std::string &mask : request.masks)
        matchesMask(mask, "");

    Walker walker(request, directory, base, std::move(exclusions));
    for (const std::string &mask : request.masks)
        walker.walkBase(mask);
}

} // namespace voriraz
