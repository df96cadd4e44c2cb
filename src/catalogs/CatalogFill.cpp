#include "catalogs/CatalogFill.h"

#include "catalogs/IconName.h"

#include <utility>

namespace voriraz {

CatalogFill::CatalogFill(std::string applicationDir)
    : mApplicationDir(std::move(applicationDir))
{
}

std::string CatalogFill::iconPath(const IconCatalogKind &kind, const std::string &entry) const
{
    return mApplicationDir + kind.iconFolder + entry + ".jpg";
}

void CatalogFill::fillIconCatalog(const IconCatalogKind &kind, CatalogSink &sink)
{
    mIdentifiers = readCatalog(mApplicationDir + kind.catalogFile);
    sink.setEntries(mIdentifiers);
    for (std::size_t i = 0; i < mIdentifiers.size(); ++i) {
        // The entry becomes part of a path: one that could lead out of the
        // icon folder is refused before anything is read.
        checkIconName(mIdentifiers[i], mApplicationDir + kind.catalogFile, i + 1);
        mDecoder.loadFile(iconPath(kind, mIdentifiers[i]));
        mDecoder.decode(mBitmap);
        if (mBitmap.width < iconSize || mBitmap.height < iconSize)
            throw InvalidImageSize();
        // A larger picture still makes exactly one icon, so icon i stays
        // the icon of entry i.
        scaleDownTo(mBitmap, iconSize);
        sink.addIcon(i, mBitmap);
    }
}

const CatalogList &CatalogFill::readNames(const char *catalogFile)
{
    mIdentifiers = readCatalog(mApplicationDir + catalogFile);
    return mIdentifiers;
}

} // namespace voriraz
