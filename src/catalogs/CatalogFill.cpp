#include "catalogs/CatalogFill.h"

#include "catalogs/IconName.h"

#include <utility>

namespace voriraz {

InvalidImageSize::InvalidImageSize(const std::string &path, int width, int height)
    : std::runtime_error("Invalid image size: \"" + path + "\" is " + std::to_string(width) + " x "
                         + std::to_string(height) + " pixels (an icon needs at least " + std::to_string(iconSize)
                         + " x " + std::to_string(iconSize) + ")")
{
}

CatalogFill::CatalogFill(const std::string &applicationDir)
    : CatalogFill(dataFolderOf(applicationDir))
{
}

CatalogFill::CatalogFill(DataFolder data)
    : mDataDir(std::move(data.path))
{
}

std::string CatalogFill::iconPath(const IconCatalogKind &kind, const std::string &entry) const
{
    return mDataDir + kind.iconFolder + entry + ".jpg";
}

void CatalogFill::fillIconCatalog(const IconCatalogKind &kind, CatalogSink &sink)
{
    mIdentifiers = readCatalog(mDataDir + kind.catalogFile);
    sink.setEntries(mIdentifiers);
    for (std::size_t i = 0; i < mIdentifiers.size(); ++i) {
        // The entry becomes part of a path: one that could lead out of the
        // icon folder is refused before anything is read.
        checkIconName(mIdentifiers[i], mDataDir + kind.catalogFile, i + 1);
        const std::string path = iconPath(kind, mIdentifiers[i]);
        mDecoder.loadFile(path);
        // A picture smaller than an icon comes out at full size, and is
        // refused with its own size.
        mDecoder.decode(mBitmap, iconSize);
        if (mBitmap.width < iconSize || mBitmap.height < iconSize)
            throw InvalidImageSize(path, mBitmap.width, mBitmap.height);
        // A larger picture still makes exactly one icon, so icon i stays
        // the icon of entry i.
        scaleDownTo(mBitmap, iconSize);
        sink.addIcon(i, mBitmap);
    }
}

const CatalogList &CatalogFill::readNames(const char *catalogFile)
{
    mIdentifiers = readCatalog(mDataDir + catalogFile);
    return mIdentifiers;
}

void fillStartupCatalogs(CatalogFill &fill, const StartupCatalogSinks &sinks)
{
    fill.fillIconCatalog(catalogKinds::creatures, sinks.creatures);
    fill.fillIconCatalog(catalogKinds::artifacts, sinks.artifacts);
    fill.fillIconCatalog(catalogKinds::spells, sinks.spells);
    fill.fillIconCatalog(catalogKinds::perks, sinks.perks);
    fill.fillIconCatalog(catalogKinds::skills, sinks.skills);
    sinks.primaryMasteries.setNames(fill.readNames(catalogKinds::primaryMastery));
    sinks.masteries.setNames(fill.readNames(catalogKinds::mastery));
}

namespace {

class EntriesOnly : public CatalogSink, public NamesSink
{
public:
    explicit EntriesOnly(CatalogList &entries) : mEntries(entries) {}
    void setEntries(const CatalogList &entries) override { mEntries = entries; }
    void addIcon(std::size_t, const Bitmap &) override {}
    void setNames(const CatalogList &names) override { mEntries = names; }

private:
    CatalogList &mEntries;
};

} // namespace

StartupCatalogs readStartupCatalogs(CatalogFill &fill)
{
    StartupCatalogs catalogs;
    EntriesOnly creatures(catalogs.creatures), artifacts(catalogs.artifacts), spells(catalogs.spells),
        perks(catalogs.perks), skills(catalogs.skills), primaryMasteries(catalogs.primaryMasteries),
        masteries(catalogs.masteries);
    fillStartupCatalogs(fill, {creatures, artifacts, spells, perks, skills, primaryMasteries, masteries});
    return catalogs;
}

} // namespace voriraz
