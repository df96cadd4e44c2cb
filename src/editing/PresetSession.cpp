#include "editing/PresetSession.h"

#include "presets/AtomicFile.h"
#include "presets/LayoutKeepingSave.h"
#include "presets/ReadBack.h"

#include <filesystem>

namespace voriraz {

PresetSession::PresetSession(PresetCatalogs catalogs)
    : mCatalogs(std::move(catalogs))
{
}

void PresetSession::load(const std::string &path, PresetControls &controls, PresetLoadReport *report)
{
    mLoadComplete = false;
    mUnknown = {};
    try {
        mUnknown = loadPreset(mDocument, path, mCatalogs, controls, report);
    } catch (...) {
        mPath = mDocument.IsActive() ? mDocument.FileName() : std::string();
        throw;
    }
    mPath = mDocument.FileName();
    mLoadComplete = !report || report->problems.empty();
    mSavedValues = controls;
    mSlotItems = slotItemsOf(mDocument);
}

std::string PresetSession::fileName() const
{
    return std::filesystem::path(mPath).filename().string();
}

bool PresetSession::isModified(const PresetControls &controls) const
{
    return mLoadComplete && mDocument.IsActive() && !sameValues(controls, mSavedValues);
}

std::vector<DroppedItem> PresetSession::droppedItems(const PresetControls &controls) const
{
    if (!mLoadComplete)
        return {};
    std::vector<DroppedItem> items = voriraz::droppedItems(controls, mUnknown);
    if (mKeepLayout) {
        std::erase_if(items, [&](const DroppedItem &item) {
            const int n = item.slot - 1;
            if (item.kind == DroppedItem::Kind::Skill)
                return controls.skills[n] == mSavedValues.skills[n] && controls.skillMasteries[n] == mSavedValues.skillMasteries[n];
            return controls.creatures[n] == mSavedValues.creatures[n] && controls.counts[n] == mSavedValues.counts[n];
        });
    }
    return items;
}

void PresetSession::checkSave(const PresetControls &controls) const
{
    refuseUnsavable(mDocument, mCatalogs, controls, mLoadComplete);
}

LayoutKeepingSave PresetSession::layoutKeptSave(const PresetControls &controls) const
{
    // Refused saves change nothing; an accepted one is written into the
    // file's own text instead of the tree.
    checkSave(controls);
    return layoutKeepingText(mDocument, mCatalogs, mSavedValues, controls, mSlotItems);
}

LayoutKeepingSave PresetSession::layoutKeptSave(const PresetControls &controls, std::string &bytes) const
{
    LayoutKeepingSave kept = layoutKeptSave(controls);
    bytes = mDocument.EncodedText(kept.text);
    checkReadBack(bytes, mCatalogs, controls, kept.items);
    return kept;
}

std::string PresetSession::treeSave(const PresetControls &controls)
{
    writeControlsToDocument(mDocument, mCatalogs, controls, mLoadComplete);
    std::string bytes = mDocument.SaveToBytes();
    checkReadBack(bytes, mCatalogs, controls, writtenSlotItems(controls));
    return bytes;
}

std::string PresetSession::bytesToSave(const PresetControls &controls)
{
    std::string bytes;
    if (mKeepLayout)
        layoutKeptSave(controls, bytes);
    else
        bytes = treeSave(controls);
    return bytes;
}

void PresetSession::save(const PresetControls &controls, const std::string &path)
{
    const std::string target = path.empty() ? mPath : path;
    if (mKeepLayout) {
        std::string bytes;
        const LayoutKeepingSave kept = layoutKeptSave(controls, bytes);
        writeFileAtomically(target, bytes);
        // The document becomes the file just written. The identifiers no
        // catalog knows stay where their slots were left alone.
        mDocument.LoadFromBytes(bytes);
        for (int n = 0; n < skillSlotCount; ++n) {
            if (kept.items.skills[n] < 0 || controls.skills[n] != mSavedValues.skills[n]
                || controls.skillMasteries[n] != mSavedValues.skillMasteries[n]) {
                mUnknown.skills[n].clear();
                mUnknown.masteries[n].clear();
            }
        }
        for (int n = 0; n < armySlotCount; ++n) {
            if (kept.items.army[n] < 0 || controls.creatures[n] != mSavedValues.creatures[n] || controls.counts[n] != mSavedValues.counts[n])
                mUnknown.creatures[n].clear();
        }
        mSlotItems = kept.items;
    } else {
        treeSave(controls);
        mDocument.SaveDocument(target);
        // What the file now holds is what the catalogs know.
        mUnknown = {};
        mSlotItems = writtenSlotItems(controls);
    }
    mDocument.SetFileName(target);
    mPath = target;
    mSavedValues = controls;
}

} // namespace voriraz
