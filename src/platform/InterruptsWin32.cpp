#include "platform/Interrupts.h"

// Windows has none of the four signals: a console's Ctrl+C ends the program
// through its own control handler, and an open temporary file cannot be
// removed from there. Nothing is installed, remembered or deferred.

namespace voriraz::platform {

void removeTemporariesOnInterrupt()
{
}

int rememberTemporary(const std::string &)
{
    return -1;
}

void forgetTemporary(int)
{
}

InterruptsDeferred::InterruptsDeferred() : mSaved {}
{
}

InterruptsDeferred::~InterruptsDeferred()
{
}

InterruptsKeptFromNewThreads::InterruptsKeptFromNewThreads() : mSaved {}
{
}

InterruptsKeptFromNewThreads::~InterruptsKeptFromNewThreads()
{
}

} // namespace voriraz::platform
