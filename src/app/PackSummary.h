#pragma once

#include "packaging/ModArchive.h"

#include <QString>

namespace voriraz {

// What the window tells after "Create mod", archiveName being the file
// name of the archive.

// "Packed 12 entries into ZavirAru.pak (6.5 KB)."
QString packedText(const ModArchiveReport &report, const QString &archiveName);

// The packed text, then what was left out and why, one line each (the first
// twenty, then how many more), then the report's warnings. Shown instead of
// the packed text when there is any of them.
QString skippedText(const ModArchiveReport &report, const QString &archiveName);

// "Packing aborted (or cancelled); the previous ZavirAru.pak was kept." or
// "...; no archive was written."
QString stoppedText(bool cancelled, bool previous, const QString &archiveName);

// "Packing failed; the previous ZavirAru.pak was kept." or "...; no archive
// was written."
QString failedText(bool previous, const QString &archiveName);

} // namespace voriraz
