#pragma once

#include "catalogs/ApplicationDir.h"
#include "catalogs/CatalogList.h"
#include "catalogs/JpegDecoder.h"

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

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
    // Entry index has no icon that can be shown (missing, unreadable, not
    // JPEG, too small or too large): the sink gives it a placeholder of its
    // own, so icon i still belongs to entry i.
    virtual void addPlaceholderIcon(std::size_t index, const std::string &entry) = 0;
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
    // and hands over each icon in order. An icon that cannot be shown (its
    // file missing or unreadable, lying outside the data folder, not
    // decodable, smaller than an icon or beyond maxPictureSide) is no error:
    // the sink gets a placeholder for it and iconProblems() the error's
    // message, which names the icon's file. Throws FileOpenError (catalog
    // missing or lying outside the data folder) or CatalogLineError (a
    // catalog line that is no entry, among them an empty line whose icon
    // img/<kind>/.jpg does not exist), before the sink gets anything, and
    // InvalidCatalogEntryError (an entry that cannot name a file in the
    // icon folder, refused before its icon is opened), leaving the sink with
    // every entry and the icons of the entries before the failing one. A
    // large picture is decoded at the smallest of libjpeg's scales that
    // still covers an icon, then averaged down to it.
    void fillIconCatalog(const IconCatalogKind &kind, CatalogSink &sink);

    // Reads a catalog without icons (relative path such as
    // catalogKinds::mastery) into the identifier list and returns it. An
    // empty line before the last entry is a CatalogLineError ("empty
    // entry"): a mastery cannot be empty.
    const CatalogList &readNames(const char *catalogFile);

    // The messages of the icons that got placeholders so far, in the order
    // of the fill.
    const std::vector<std::string> &iconProblems() const { return mIconProblems; }

    // The path of an entry's icon: data folder, icon folder, entry, ".jpg".
    std::string iconPath(const IconCatalogKind &kind, const std::string &entry) const;

private:
    void placeholder(const std::exception &error, std::size_t index, CatalogSink &sink);

    std::string mDataDir;
    CatalogList mIdentifiers;
    JpegDecoder mDecoder;
    Bitmap mBitmap;
    std::vector<std::string> mIconProblems;
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
    // The icons shown as placeholders, one message each (see iconProblems).
    std::vector<std::string> iconProblems;
};

// Runs the start-up fill and keeps the entries. Every icon is still read and
// decoded, so this fails exactly where the window's start-up fails, with the
// same error, and finds the same icon problems.
StartupCatalogs readStartupCatalogs(CatalogFill &fill);

} // namespace voriraz
