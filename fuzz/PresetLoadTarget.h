#pragma once

// A preset from arbitrary bytes, through the window's own load and save: the
// bytes are written as a preset file, loaded into the document and the
// controls with the catalogs of the sample data, and a preset that loads
// completely is saved and loaded again. Saving it twice must give the same
// file, and a save that keeps the layout must give the input back exactly.

#include "FuzzCheck.h"
#include "ScratchTree.h"

#include "catalogs/CatalogList.h"
#include "editing/PresetSession.h"
#include "presets/PresetLoading.h"
#include "presets/PresetSaving.h"

#include <string>
#include <string_view>

namespace voriraz::fuzz {

class PresetLoadTarget
{
public:
    // Reads the catalogs of the data tree at dataDir (creatures, skills and
    // both mastery lists).
    explicit PresetLoadTarget(const std::string &dataDir)
        : mCatalogs {readCatalog(dataDir + "/creatures.txt"), readCatalog(dataDir + "/skills.txt"),
                     readCatalog(dataDir + "/mastery.txt"), readCatalog(dataDir + "/primary_mastery.txt")}
    {
    }

    void run(std::string_view bytes)
    {
        const std::string input = mTree.path() + "/input.xdb";
        const std::string saved = mTree.path() + "/saved.xdb";
        mTree.write("input.xdb", bytes);

        PresetDocument document;
        PresetControls controls;
        try {
            loadPreset(document, input, mCatalogs, controls);
        } catch (const std::runtime_error &e) {
            check(*e.what() != '\0', "a load failed without a message");
            return;
        }

        mTree.write("saved.xdb", "");
        try {
            savePreset(document, saved, mCatalogs, controls, true);
        } catch (const SaveRefusedError &) {
            check(controls.primaryMastery < 0 || !refusedValues(controls).empty(),
                  "a completely loaded preset with valid values was refused");
            return;
        }
        const std::string once = mTree.read("saved.xdb");
        savePreset(document, saved, mCatalogs, controls, true);
        check(mTree.read("saved.xdb") == once, "saving the same values again changed the file");

        PresetSession kept(mCatalogs);
        kept.setKeepLayout(true);
        PresetControls keptControls;
        kept.load(input, keptControls);
        check(kept.bytesToSave(keptControls) == std::string(bytes), "a save keeping the layout changed a preset without edits");

        // Parsing drops whitespace-only text, so a value that is only
        // whitespace (possible through CDATA or character references) reads
        // as absent after the save: that is the file format, not a fault.
        if (holdsBlankText(controls))
            return;

        PresetDocument again;
        PresetControls reloaded;
        try {
            loadPreset(again, saved, mCatalogs, reloaded);
        } catch (const TooManyItemsError &) {
            // Elements of other names in the army or skill list stay beside
            // the written items and count as items.
            return;
        } catch (const std::runtime_error &e) {
            check(false, std::string("a saved preset does not load again: ") + e.what());
        }
        check(reloaded.attributes == controls.attributes, "the attributes changed through a save");
        check(reloaded.primaryMastery == controls.primaryMastery, "the primary mastery changed through a save");
        check(reloaded.warMachines == controls.warMachines, "the war machines changed through a save");
    }

private:
    static bool isBlank(const std::string &text) { return text.find_first_not_of(" \t\r\n") == std::string::npos; }

    static bool holdsBlankText(const PresetControls &controls)
    {
        for (const std::string &text : controls.attributes) {
            if (isBlank(text))
                return true;
        }
        for (const std::string &text : controls.counts) {
            if (!text.empty() && isBlank(text))
                return true;
        }
        for (const LineList *list : {&controls.artifacts, &controls.spells, &controls.perks}) {
            for (const std::string &line : list->lines) {
                if (isBlank(line))
                    return true;
            }
        }
        return false;
    }

    PresetCatalogs mCatalogs;
    ScratchTree mTree;
};

} // namespace voriraz::fuzz
