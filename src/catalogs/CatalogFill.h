#pragma once

#include "catalogs/ApplicationDir.h"
#include "catalogs/CatalogList.h"
#include "catalogs/JpegDecoder.h"

#include <cstddef>
#include <stdexcept>
#include <string>

namespace voriraz {

// A kind of catalog that comes with icons: its catalog file and its icon
// folder, both relative to the data folder.
struct IconCatalogKind
{
    const char *catalogFile; // e.g. "/creatures.txt"
    const char *iconFolder;  // e.g. "/img/creatures/"
};

namespace catalogKinds {
inline constexpr IconCatalogKind creatures {"/creatures.txt", "/img/creatures/"};
inline constexpr IconCatalogKind artifacts {"/artifacts.txt", "/img/artifacts/"};
inline constexpr IconCatalogKind spells {"/spells.txt", "/img/spells/"};
inline constexpr IconCatalogKind perks {"/perks.txt", "/img/perks/"};
inline constexpr IconCatalogKind skills {"/skills.txt", "/img/skills/"};
inline constexpr const char *primaryMastery = "/primary_mastery.txt";
inline constexpr const char *mastery = "/mastery.txt";
} // namespace catalogKinds

// The side of every icon in pixels.
inline constexpr int iconSize = 32;

// An icon smaller than iconSize in either dimension: "Invalid image size:
// "<path>" is <w> x <h> pixels (an icon needs at least 32 x 32)".
class InvalidImageSize : public std::runtime_error
{
public:
    InvalidImageSize(const std::string &path, int width, int height);
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
    // Reads the data folder of applicationDir, as the window does.
    explicit CatalogFill(const std::string &applicationDir);
    explicit CatalogFill(DataFolder data);

    // Reads the kind's catalog, hands all entries to the sink, then decodes
    // and hands over each icon in order. Throws FileOpenError (catalog or
    // icon missing), CatalogLineError (a catalog line that is no entry,
    // before the sink gets anything), InvalidCatalogEntryError (an entry that
    // cannot name a file in the icon folder, refused before its icon is
    // opened), JpegError, ImageTooLargeError or InvalidImageSize, leaving the
    // sink with every entry and the icons of the entries before the failing
    // one. Every icon error names the icon's file. A large picture is decoded
    // at the smallest of libjpeg's scales that still covers an icon, then
    // averaged down to it.
    void fillIconCatalog(const IconCatalogKind &kind, CatalogSink &sink);

    // Reads a catalog without icons (relative path such as
    // catalogKinds::mastery) into the identifier list and returns it.
    const CatalogList &readNames(const char *catalogFile);

    // The path of an entry's icon: data folder, icon folder, entry, ".jpg".
    std::string iconPath(const IconCatalogKind &kind, const std::string &entry) const;

private:
    std::string mDataDir;
    CatalogList mIdentifiers;
    JpegDecoder mDecoder;
    Bitmap mBitmap;
};

// Receives a catalog without icons.
class NamesSink
{
public:
    virtual ~NamesSink() = default;
    // Replaces the items of every control of the kind by the names.
    virtual void setNames(const CatalogList &names) = 0;
};

// Where the start-up fill delivers each catalog.
struct StartupCatalogSinks
{
    CatalogSink &creatures;
    CatalogSink &artifacts;
    CatalogSink &spells;
    CatalogSink &perks;
    CatalogSink &skills;
    NamesSink &primaryMasteries;
    NamesSink &masteries;
};

// The start-up fill of every catalog, in the window's order: the creature,
// artifact, spell, perk and skill catalogs with their icons, then the
// primary mastery and the mastery names. Throws at the first error, as
// fillIconCatalog and readNames do; the catalogs before it have been
// delivered and the later ones have not.
void fillStartupCatalogs(CatalogFill &fill, const StartupCatalogSinks &sinks);

// The entries of every catalog, as the window's pickers and lists hold them
// after a start-up without errors.
struct StartupCatalogs
{
    CatalogList creatures;
    CatalogList artifacts;
    CatalogList spells;
    CatalogList perks;
    CatalogList skills;
    CatalogList primaryMasteries;
    CatalogList masteries;
};

// Runs the start-up fill and keeps the entries. Every icon is still read and
// decoded, so this fails exactly where the window's start-up fails, with the
// same error.
StartupCatalogs readStartupCatalogs(CatalogFill &fill);

} // namespace voriraz
