#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <vector>

namespace voriraz {

struct ArtPicture {
    QString fileName;
    QImage image;
};

// The editor window's pictures: 16 x 16 tool glyphs, 32 x 32 war machines
// and the application icon in two sizes, in the order they are listed in
// the resource file.
std::vector<ArtPicture> paintWindowArt();

// A Qt resource collection that lists the pictures under the "/art" prefix,
// paths relative to the .qrc file.
QByteArray artResourceCollection(const std::vector<ArtPicture>& pictures);

} // namespace voriraz
