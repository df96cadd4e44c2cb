#pragma once

#include "platform/Files.h"
#include "presets/LayoutKeepingSave.h"
#include "presets/PresetControls.h"
#include "presets/PresetDocument.h"
#include "presets/PresetLoading.h"
#include "presets/PresetSaving.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace voriraz {

// Something about the edited values that a save would refuse or lose, or
// that is plainly a slip (the same perk twice): where it is and what to say.
struct Problem
{
    // What a save does about it: refuses it, drops an item the catalogs do
    // not know, leaves a half-filled slot out, or takes it as it is (a line
    // equal to an earlier one).
    enum class Kind { Refusal, Drop, LeftOut, Duplicate };

    ValuePlace place;
    std::string message;
    Kind kind = Kind::Refusal;

    // Equal where and what; the kind follows from the message.
    bool operator==(const Problem &other) const { return place == other.place && message == other.message; }
};

// The live checks of a set of values, in the order of the pages: whatever
// the save refuses (with the save's own texts), the items it drops, slots it
// leaves out (a mastery without a skill, a skill without a mastery, a count
// without a creature), and lines equal to an earlier line of their list,
// ignoring letter case. loadComplete false adds the refusal of an incomplete
// load; unknown names the loaded items no catalog knows.
std::vector<Problem> checkValues(const PresetControls &values, const PresetCatalogs &catalogs,
                                 const UnknownIdentifiers &unknown, bool loadComplete);

// The preset being edited: its document and file, the values the user edits
// (the session owns them; the window only shows them), the values it was
// loaded or last saved with, the history of edits, what the file on disk
// looked like, and the live checks of the values. Observers hear of every
// change. The window and the command-line tool load and save presets
// through it.
class PresetSession
{
public:
    // What a notification is about; several may come at once.
    enum Change : unsigned {
        ValuesChanged = 1,  // some edited value (or a list's selected line)
        ArmyChanged = 2,    // a creature or count: the totals are stale
        FileChanged = 4,    // a load or save: path, document, saved values
        HistoryChanged = 8, // what undo and redo would do
    };
    using Observer = std::function<void(unsigned changes)>;

    explicit PresetSession(PresetCatalogs catalogs = {});

    // The catalogs the controls select in; set again when they change.
    void setCatalogs(PresetCatalogs catalogs);
    const PresetCatalogs &catalogs() const { return mCatalogs; }

    // Observers are called after every change, in the order added, for the
    // life of the session.
    void addObserver(Observer observer) { mObservers.push_back(std::move(observer)); }

    // Saves that keep the file's layout (see layoutKeepingText) instead of
    // writing the tree without whitespace.
    void setKeepLayout(bool keep) { mKeepLayout = keep; }
    bool keepLayout() const { return mKeepLayout; }

    // Loads the preset at path (the file of the last load when empty) as
    // loadPreset does, into the edited values, and starts a new history;
    // throws what it throws, the values holding whatever the load set before
    // the error. With a report, the load reads on past the errors of single
    // elements and records them there (see loadPreset); it is complete when
    // none was met.
    void load(const std::string &path, PresetLoadReport *report = nullptr);
    // The same, handing the values loaded to controls as well.
    void load(const std::string &path, PresetControls &controls, PresetLoadReport *report = nullptr);

    // Whether a document is loaded, and whether its load set every control.
    bool hasDocument() const { return mDocument.IsActive(); }
    bool loadComplete() const { return mLoadComplete; }
    // The file being edited: the last one loaded or saved to; empty before.
    const std::string &path() const { return mPath; }
    // Its name without the folder.
    std::string fileName() const;

    // --- The edited values ---------------------------------------------

    const PresetControls &values() const { return mValues; }
    const PresetControls &savedValues() const { return mSavedValues; }

    // Replaces the values as one step of the history. A step that differs
    // from the current values only in the lists' selected lines is no step:
    // the values change, the history does not. Consecutive changes with the
    // same non-empty typingKey (the keystrokes of one field) are one step
    // until endTyping().
    void setValues(const PresetControls &values, const std::string &typingKey = std::string());
    // Changes a copy of the values and sets it as setValues does.
    void edit(const std::function<void(PresetControls &)> &change, const std::string &typingKey = std::string());

    void setAttribute(int index, const std::string &text);
    void setPrimaryMastery(int index);
    void setWarMachine(int index, bool on);
    void setSkill(int slot, int index);
    void setSkillMastery(int slot, int index);
    void setCreature(int slot, int index);
    void setCount(int slot, const std::string &text);
    // The untransferable flag of an artifact line ("1" on, "0" off).
    void setArtifactFlag(int line, bool untransferable);
    static bool isUntransferable(const PresetControls &values, int line);
    // The field being typed in was left: the next keystroke starts a step.
    void endTyping() { mTypingKey.clear(); }

    // Whether the values differ from the file as loaded or last saved (as a
    // save would store them). Never true after an incomplete load, which
    // cannot be saved.
    bool isModified() const { return isModified(mValues); }
    bool isModified(const PresetControls &controls) const;

    // --- History -----------------------------------------------------------

    bool canUndo() const { return mDone > 0; }
    bool canRedo() const { return mDone < mSteps.size(); }
    // The number of steps that undo can take back.
    std::size_t undoCount() const { return mDone; }
    void undo();
    void redo();

    // --- Live checks ---------------------------------------------------

    // checkValues() of the current values, kept up to date on every change.
    // Empty while no document is loaded.
    const std::vector<Problem> &problems() const { return mProblems; }

    // --- Saving ----------------------------------------------------------

    // The skill and army items of the file that a save drops, since the
    // catalogs do not know them. A save that keeps the layout keeps the
    // items of slots left as they were.
    std::vector<DroppedItem> droppedItems() const { return droppedItems(mValues); }
    std::vector<DroppedItem> droppedItems(const PresetControls &controls) const;

    // Throws what a save would be refused with (DocumentError,
    // SaveRefusedError); changes nothing.
    void checkSave() const { checkSave(mValues); }
    void checkSave(const PresetControls &controls) const;

    // The bytes a save writes, without writing them; the document takes the
    // values as a save does. Throws as save() does.
    std::string bytesToSave();
    // The same for controls, which become the edited values.
    std::string bytesToSave(const PresetControls &controls);

    // Saves the values to path (the file being edited when empty), replacing
    // the file atomically; from then on the session edits that file, and
    // the values are its saved values. Refused, with nothing changed, as
    // checkSave() says, and with SaveRefusedError when the bytes to be
    // written would not read back as the values saved (checkReadBack);
    // NotRegularFileError when something other than a regular file is at
    // path. A failed write leaves the file as it was, the session unchanged
    // but for the document's tree, which holds the values. A save that
    // keeps the layout compares with the values the file was loaded or last
    // saved with, never with the tree.
    void save(const std::string &path = std::string());
    // The same for controls, which become the edited values first.
    void save(const PresetControls &controls, const std::string &path = std::string());

    // The identifiers of the loaded file's skill and army items that no
    // catalog knows, by slot (a slot the user has since set shows an entry
    // and is no longer unknown).
    const UnknownIdentifiers &unknownIdentifiers() const { return mUnknown; }

    // --- The file on disk ------------------------------------------------

    // Whether the edited file's size or time of last change differs from
    // when it was loaded, last saved or last remembered (a file that is gone
    // differs from one that was there).
    bool fileChangedOnDisk() const;
    // Takes the file as it now is as the one the session knows.
    void rememberDiskStamp();
    // Whether the edited file existed when it was last remembered.
    bool fileOnDisk() const { return mDiskStamp.has_value(); }

    PresetDocument &document() { return mDocument; }
    const PresetDocument &document() const { return mDocument; }

private:
    LayoutKeepingSave layoutKeptSave(const PresetControls &controls) const;
    // The save that keeps the layout, its bytes proven to read back.
    LayoutKeepingSave layoutKeptSave(const PresetControls &controls, std::string &bytes) const;
    // The default save into the tree; its bytes, proven to read back.
    std::string treeSave(const PresetControls &controls);
    // Sets the values without a step, rechecks them and tells the observers.
    void showValues(const PresetControls &values, unsigned changes);
    void notify(unsigned changes);
    void clearHistory();

    // One step of the history: the values before and after it.
    struct Step
    {
        PresetControls before;
        PresetControls after;
    };

    PresetCatalogs mCatalogs;
    PresetDocument mDocument {PresetDocument::Formatting::AutoIndent};
    std::string mPath;
    bool mLoadComplete = false;
    bool mKeepLayout = false;
    PresetControls mValues;
    // The values as loaded or last saved; where the file's skill and army
    // items are among the slots (a save closes gaps up); and the slots'
    // identifiers that no catalog knows.
    PresetControls mSavedValues;
    SlotItems mSlotItems;
    UnknownIdentifiers mUnknown;
    std::vector<Problem> mProblems;

    std::vector<Step> mSteps;
    std::size_t mDone = 0;
    std::string mTypingKey;

    // The edited file's size and time of last change (none: no file).
    std::optional<platform::FileStamp> mDiskStamp;
    std::vector<Observer> mObservers;
};

} // namespace voriraz
