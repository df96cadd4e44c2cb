#pragma once

#include "presets/PresetControls.h"

#include <QUndoCommand>

#include <functional>

namespace voriraz {

// One step of the edits of a preset: the values of the controls before and
// after it. The step is recorded once the change is made, so pushing it
// changes nothing; undo and redo put the values back through `apply`.
class ValuesChange : public QUndoCommand
{
public:
    using Apply = std::function<void(const PresetControls &)>;

    ValuesChange(PresetControls before, PresetControls after, Apply apply);

    void undo() override { mApply(mBefore); }
    void redo() override;

private:
    PresetControls mBefore;
    PresetControls mAfter;
    Apply mApply;
    bool mPushed = false;
};

} // namespace voriraz
