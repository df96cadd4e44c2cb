#pragma once

#include "presets/LayoutKeepingSave.h"
#include "presets/PresetControls.h"
#include "presets/PresetDocument.h"
#include "presets/PresetLoading.h"
#include "presets/PresetSaving.h"

#include <string>
#include <vector>

namespace voriraz {

// The preset being edited: its document and file, the values it was loaded
// with or last saved with, and what a save of the current values would do.
// The window and the command-line tool load and save presets through it;
// the values themselves live in the caller's controls and are handed in and
// out as PresetControls.
class PresetSession
{
public:
    explicit PresetSession(PresetCatalogs catalogs = {});

    // The catalogs the controls select in; set again when they change.
    void setCatalogs(PresetCatalogs catalogs) { mCatalogs = std::move(catalogs); }
    const PresetCatalogs &catalogs() const { return mCatalogs; }

    // Saves that keep the file's layout (see layoutKeepingText) instead of
    // writing the tree without whitespace.
    void setKeepLayout(bool keep) { mKeepLayout = keep; }
    bool keepLayout() const { return mKeepLayout; }

    // Loads the preset at path (the file of the last load when empty) into
    // the document and controls, as loadPreset does; throws what it throws,
    // with controls holding whatever the load set before the error. With a
    // report, the load reads on past the errors of single elements and
    // records them there (see loadPreset); it is complete when none was met.
    void load(const std::string &path, PresetControls &controls, PresetLoadReport *report = nullptr);

    // Whether a document is loaded, and whether its load set every control.
    bool hasDocument() const { return mDocument.IsActive(); }
    bool loadComplete() const { return mLoadComplete; }
    // The file being edited: the last one loaded or saved to; empty before.
    const std::string &path() const { return mPath; }
    // Its name without the folder.
    std::string fileName() const;

    // Whether controls hold values a save would store differently from
    // the file as loaded or last saved. Never true after an incomplete load,
    // which cannot be saved.
    bool isModified(const PresetControls &controls) const;

    // The skill and army items of the file that a save of controls drops,
    // since the catalogs do not know them. A save that keeps the layout
    // keeps the items of slots left as they were.
    std::vector<DroppedItem> droppedItems(const PresetControls &controls) const;

    // Throws what a save of controls would be refused with (DocumentError,
    // SaveRefusedError); changes nothing.
    void checkSave(const PresetControls &controls) const;

    // The bytes a save of controls writes, without writing them; the
    // document takes the values as a save does. Throws as save() does.
    std::string bytesToSave(const PresetControls &controls);

    // Saves controls to path (the file being edited when empty), replacing
    // the file atomically; from then on the session edits that file, and
    // controls are its saved values. Refused, with nothing changed, as
    // checkSave() says, and with SaveRefusedError when the bytes to be
    // written would not read back as the values saved (checkReadBack);
    // NotRegularFileError when something other than a regular file is at
    // path. A failed write leaves the file as it was, the session unchanged
    // but for the document's tree, which holds the values. A save that
    // keeps the layout compares with the values the file was loaded or last
    // saved with, never with the tree.
    void save(const PresetControls &controls, const std::string &path = std::string());

    // The identifiers of the loaded file's skill and army items that no
    // catalog knows, by slot (a slot the user has since set shows an entry
    // and is no longer unknown).
    const UnknownIdentifiers &unknownIdentifiers() const { return mUnknown; }

    PresetDocument &document() { return mDocument; }
    const PresetDocument &document() const { return mDocument; }

private:
    LayoutKeepingSave layoutKeptSave(const PresetControls &controls) const;
    // The save that keeps the layout, its bytes proven to read back.
    LayoutKeepingSave layoutKeptSave(const PresetControls &controls, std::string &bytes) const;
    // The default save into the tree; its bytes, proven to read back.
    std::string treeSave(const PresetControls &controls);

    PresetCatalogs mCatalogs;
    PresetDocument mDocument {PresetDocument::Formatting::AutoIndent};
    std::string mPath;
    bool mLoadComplete = false;
    bool mKeepLayout = false;
    // The values as loaded or last saved; where the file's skill and army
    // items are among the slots (a save closes gaps up); and the slots'
    // identifiers that no catalog knows.
    PresetControls mSavedValues;
    SlotItems mSlotItems;
    UnknownIdentifiers mUnknown;
};

} // namespace voriraz
