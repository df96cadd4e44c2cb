#include "app/ValuesChange.h"

namespace voriraz {

ValuesChange::ValuesChange(PresetControls before, PresetControls after, Apply apply)
    : mBefore(std::move(before))
    , mAfter(std::move(after))
    , mApply(std::move(apply))
{
}

void ValuesChange::redo()
{
    // QUndoStack::push() redoes the step at once; it is done already.
    if (!mPushed) {
        mPushed = true;
        return;
    }
    mApply(mAfter);
}

} // namespace voriraz
