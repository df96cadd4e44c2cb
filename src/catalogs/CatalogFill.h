#pragma once

#include "catalogs/CatalogList.h"
#include "catalogs/JpegDecoder.h"

#include <cstddef>
#include <stdexcept>
#include <string>

namespace voriraz {

// A kind of catalog that comes with icons: its catalog file and its icon
// folder, both relative to the application directory.
struct IconCatalogKind
{
    const char *catalogFile; // e.g. "/data/creatures.txt"
    const char *iconFolder;  // e.g. "/data/img/creatures/"
};

namespace catalogKinds {
inline constexpr IconCatalogKind creatures {"/data/creatures.txt", "/data/img/creatures/"};
inline constexpr IconCatalogKind artifacts {"/data/artifacts.txt", "/data/img/artifacts/"};
inline constexpr IconCatalogKind spells {"/data/spells.txt", "/data/img/spells/"};
inline constexpr IconCatalogKind perks {"/data/perks.txt", "/data/img/perks/"};
inline constexpr IconCatalogKind skills {"/data/skills.txt", "/data/img/skills/"};
inline constexpr const char *primaryMastery = "/data/primary_mastery.txt";
inline constexpr const char *mastery = "/data/mastery.txt";
} // namespace catalogKinds

// The side of every icon in pixels.
inline constexpr int iconSize = 32;

// An icon smaller than iconSize in either dimension.
class InvalidImageSize : public std::runtime_error
{
public:
    InvalidImageSize() : std::runtime_error("Invalid image size") {}
};

// Receives the fill of one icon catalog: first every entry, then the icons
// one by one in entry order.
class CatalogSink
{
public:
    virtual ~CatalogSink() = default;
    // Replaces the items of every control of the kind by the entries.
    virtual void setEntries(const CatalogList &entries) = 0;
    // Adds the next icon, which belongs to entry index; the bitmap is
    // exactly iconSize × iconSize and is reused after the call returns.
    virtual void addIcon(std::size_t index, const Bitmap &icon) = 0;
};

// The working objects of the start-up fill: one identifier list, one JPEG
// decoder and one bitmap, shared by every catalog and every icon.
class CatalogFill
{
public:
    explicit CatalogFill(std::string applicationDir);

    // Reads the kind's catalog, hands all entries to the sink, then decodes
    // and hands over each icon in order. Throws FileOpenError (catalog or
    // icon missing), InvalidCatalogEntryError (an entry that cannot name a
    // file in the icon folder, refused before its icon is opened), JpegError,
    // ImageTooLargeError or InvalidImageSize, leaving the sink with every
    // entry and the icons of the entries before the failing one.
    void fillIconCatalog(const IconCatalogKind &kind, CatalogSink &sink);

    // Reads a catalog without icons (relative path such as
    // catalogKinds::mastery) into the identifier list and returns it.
    const CatalogList &readNames(const char *catalogFile);

    // The path of an entry's icon: application dir, folder, entry, ".jpg".
    std::string iconPath(const IconCatalogKind &kind, const std::string &entry) const;

private:
    std::string mApplicationDir;
    CatalogList mIdentifiers;
    JpegDecoder mDecoder;
    Bitmap mBitmap;
};

} // namespace voriraz
