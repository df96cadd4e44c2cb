#include "editing/PresetSession.h"

#include "presets/AtomicFile.h"
#include "presets/LayoutKeepingSave.h"
#include "presets/ReadBack.h"

#include "platform/Files.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace voriraz {

namespace {

// Whether two sets of values differ only in the lists' selected lines.
bool onlySelectionDiffers(const PresetControls &a, const PresetControls &b)
{
    PresetControls same = b;
    same.artifacts.selected = a.artifacts.selected;
    same.spells.selected = a.spells.selected;
    same.perks.selected = a.perks.selected;
    return same == a;
}

bool armyDiffers(const PresetControls &a, const PresetControls &b)
{
    return a.creatures != b.creatures || a.counts != b.counts;
}

} // namespace

PresetSession::PresetSession(PresetCatalogs catalogs)
    : mCatalogs(std::move(catalogs))
{
}

void PresetSession::setCatalogs(PresetCatalogs catalogs)
{
    mCatalogs = std::move(catalogs);
    showValues(mValues, ValuesChanged);
}

void PresetSession::load(const std::string &path, PresetLoadReport *report)
{
    // The load works on a copy; whatever it set before an error stays, so
    // the values show how far it came.
    PresetControls values = mValues;
    mLoadComplete = false;
    mUnknown = {};
    clearHistory();
    try {
        mUnknown = loadPreset(mDocument, path, mCatalogs, values, report);
    } catch (...) {
        mPath = mDocument.IsActive() ? mDocument.FileName() : std::string();
        mDiskStamp = platform::fileStamp(mPath);
        showValues(values, ValuesChanged | ArmyChanged | FileChanged | HistoryChanged);
        throw;
    }
    mPath = mDocument.FileName();
    mLoadComplete = !report || report->problems.empty();
    mSavedValues = values;
    mSlotItems = slotItemsOf(mDocument);
    mDiskStamp = platform::fileStamp(mPath);
    showValues(values, ValuesChanged | ArmyChanged | FileChanged | HistoryChanged);
}

void PresetSession::load(const std::string &path, PresetControls &controls, PresetLoadReport *report)
{
    try {
        load(path, report);
    } catch (...) {
        controls = mValues;
        throw;
    }
    controls = mValues;
}

// --- Values and history -------------------------------------------------------

void PresetSession::notify(unsigned changes)
{
    for (const Observer &observer : mObservers)
        observer(changes);
}

void PresetSession::showValues(const PresetControls &values, unsigned changes)
{
    mValues = values;
    mProblems = mDocument.IsActive() ? checkValues(mValues, mCatalogs, mUnknown, mLoadComplete) : std::vector<Problem>();
    notify(changes);
}

void PresetSession::clearHistory()
{
    mSteps.clear();
    mDone = 0;
    mTypingKey.clear();
}

void PresetSession::setValues(const PresetControls &values, const std::string &typingKey)
{
    if (values == mValues)
        return;
    const unsigned army = armyDiffers(values, mValues) ? ArmyChanged : 0u;
    if (onlySelectionDiffers(values, mValues)) {
        showValues(values, ValuesChanged);
        return;
    }
    mSteps.resize(mDone);
    if (!typingKey.empty() && typingKey == mTypingKey && !mSteps.empty()) {
        mSteps.back().after = values;
    } else {
        mSteps.push_back({mValues, values});
        mDone = mSteps.size();
    }
    mTypingKey = typingKey;
    showValues(values, ValuesChanged | HistoryChanged | army);
}

void PresetSession::edit(const std::function<void(PresetControls &)> &change, const std::string &typingKey)
{
    PresetControls values = mValues;
    change(values);
    setValues(values, typingKey);
}

void PresetSession::setAttribute(int index, const std::string &text)
{
    edit([&](PresetControls &v) { v.attributes.at(static_cast<std::size_t>(index)) = text; }, "attribute" + std::to_string(index));
}

void PresetSession::setPrimaryMastery(int index)
{
    edit([&](PresetControls &v) { v.primaryMastery = index; });
}

void PresetSession::setWarMachine(int index, bool on)
{
    edit([&](PresetControls &v) { v.warMachines.at(static_cast<std::size_t>(index)) = on; });
}

void PresetSession::setSkill(int slot, int index)
{
    edit([&](PresetControls &v) { v.skills.at(static_cast<std::size_t>(slot)) = index; });
}

void PresetSession::setSkillMastery(int slot, int index)
{
    edit([&](PresetControls &v) { v.skillMasteries.at(static_cast<std::size_t>(slot)) = index; });
}

void PresetSession::setCreature(int slot, int index)
{
    edit([&](PresetControls &v) { v.creatures.at(static_cast<std::size_t>(slot)) = index; });
}

void PresetSession::setCount(int slot, const std::string &text)
{
    edit([&](PresetControls &v) { v.counts.at(static_cast<std::size_t>(slot)) = text; }, "count" + std::to_string(slot));
}

bool PresetSession::isUntransferable(const PresetControls &values, int line)
{
    const std::string flag = artifactFlag(values, static_cast<std::size_t>(line));
    return flag != "0";
}

void PresetSession::setArtifactFlag(int line, bool untransferable)
{
    if (line < 0 || static_cast<std::size_t>(line) >= mValues.artifacts.lines.size() || isUntransferable(mValues, line) == untransferable)
        return;
    edit([&](PresetControls &v) {
        const auto at = static_cast<std::size_t>(line);
        if (v.artifactFlags.size() <= at)
            v.artifactFlags.resize(at + 1, "0");
        v.artifactFlags[at] = untransferable ? "1" : "0";
    });
}

void PresetSession::undo()
{
    if (!canUndo())
        return;
    mTypingKey.clear();
    const Step &step = mSteps[--mDone];
    const unsigned army = armyDiffers(step.before, mValues) ? ArmyChanged : 0u;
    showValues(step.before, ValuesChanged | HistoryChanged | army);
}

void PresetSession::redo()
{
    if (!canRedo())
        return;
    mTypingKey.clear();
    const Step &step = mSteps[mDone++];
    const unsigned army = armyDiffers(step.after, mValues) ? ArmyChanged : 0u;
    showValues(step.after, ValuesChanged | HistoryChanged | army);
}

// --- The file on disk -----------------------------------------------------------

bool PresetSession::fileChangedOnDisk() const
{
    return platform::fileStamp(mPath) != mDiskStamp;
}

void PresetSession::rememberDiskStamp()
{
    mDiskStamp = platform::fileStamp(mPath);
}

// --- Saving -------------------------------------------------------------------

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
    setValues(controls);
    return bytesToSave();
}

std::string PresetSession::bytesToSave()
{
    std::string bytes;
    if (mKeepLayout)
        layoutKeptSave(mValues, bytes);
    else
        bytes = treeSave(mValues);
    return bytes;
}

void PresetSession::save(const PresetControls &controls, const std::string &path)
{
    setValues(controls);
    save(path);
}

void PresetSession::save(const std::string &path)
{
    const PresetControls controls = mValues;
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
    mDiskStamp = platform::fileStamp(mPath);
    showValues(mValues, FileChanged);
}

} // namespace voriraz
