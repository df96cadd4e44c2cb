#include "catalogs/CatalogFill.h"

#include "catalogs/FileErrors.h"
#include "catalogs/IconName.h"
#include "platform/Files.h"

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
    const std::string catalogPath = mDataDir + kind.catalogFile;
    mIdentifiers = readDataCatalog(mDataDir, kind.catalogFile);
    // An empty line stands for an entry (the empty slot) only where the
    // data folder has a picture for it; otherwise it is a slip in the file.
    for (std::size_t i = 0; i < mIdentifiers.size(); ++i) {
        if (mIdentifiers[i].empty() && platform::fileKind(iconPath(kind, mIdentifiers[i])) != platform::FileKind::Regular)
            throw CatalogLineError(catalogPath, i + 1, "empty entry");
    }
    sink.setEntries(mIdentifiers);
    for (std::size_t i = 0; i < mIdentifiers.size(); ++i) {
        // The entry becomes part of a path: one that could lead out of the
        // icon folder is refused before anything is read.
        checkIconName(mIdentifiers[i], catalogPath, i + 1);
        const std::string path = iconPath(kind, mIdentifiers[i]);
        try {
            mDecoder.loadData(path, readDataFile(mDataDir, kind.iconFolder + mIdentifiers[i] + ".jpg"));
            // A picture smaller than an icon comes out at full size, and is
            // refused with its own size.
            mDecoder.decode(mBitmap, iconSize);
            if (mBitmap.width < iconSize || mBitmap.height < iconSize)
                throw InvalidImageSize(path, mBitmap.width, mBitmap.height);
        } catch (const FileOpenError &e) {
            placeholder(e, i, sink);
            continue;
        } catch (const JpegError &e) {
            placeholder(e, i, sink);
            continue;
        } catch (const ImageTooLargeError &e) {
            placeholder(e, i, sink);
            continue;
        } catch (const InvalidImageSize &e) {
            placeholder(e, i, sink);
            continue;
        }
        // A larger picture still makes exactly one icon, so icon i stays
        // the icon of entry i.
        scaleDownTo(mBitmap, iconSize);
        sink.addIcon(i, mBitmap);
    }
}

// One picture is not worth the whole window: the entry is shown with a
// placeholder, and the problem is told once the fill is done.
void CatalogFill::placeholder(const std::exception &error, std::size_t index, CatalogSink &sink)
{
    mIconProblems.push_back(error.what());
    sink.addPlaceholderIcon(index, mIdentifiers[index]);
}

const CatalogList &CatalogFill::readNames(const char *catalogFile)
{
    mIdentifiers = readDataCatalog(mDataDir, catalogFile);
    refuseEmptyEntries(mIdentifiers, mDataDir + catalogFile);
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
    void addPlaceholderIcon(std::size_t, const std::string &) override {}
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
    catalogs.iconProblems = fill.iconProblems();
    return catalogs;
}

} // namespace voriraz
