#pragma once

// What an interrupted process leaves behind. A program that writes a file
// through a temporary one (and puts it in place only once it is complete)
// remembers the temporary here; SIGINT, SIGTERM, SIGHUP and SIGQUIT then
// remove it before the process ends, so an interrupt leaves the old file as
// it was and nothing beside it. On Windows, which has no such signals, these
// do nothing.

#include <string>

namespace voriraz::platform {

// Installs the handlers for the four signals (each one the process does
// not ignore: a program started with SIGHUP ignored, by nohup say, keeps it
// so). The handler removes every temporary file remembered, with nothing
// but unlink(), and ends the process with status 128 + the signal's number,
// without running anything else of the program. The program's own threads
// take no part: whichever thread the signal reaches ends the process.
void removeTemporariesOnInterrupt();

// Remembers a temporary file to remove on an interrupt, and forgets it once
// it has taken its target's place or was removed. A token of -1 (the table
// of a few dozen files is full) is forgotten at no cost; that file is then
// not removed on an interrupt.
int rememberTemporary(const std::string &path);
void forgetTemporary(int token);

// For its scope, the four signals wait in this thread instead of being
// handled: around the step that puts a finished file in place and forgets
// its temporary, so an interrupt never comes between the two.
class InterruptsDeferred
{
public:
    InterruptsDeferred();
    ~InterruptsDeferred();
    InterruptsDeferred(const InterruptsDeferred &) = delete;
    InterruptsDeferred &operator=(const InterruptsDeferred &) = delete;

private:
    unsigned char mSaved[128];
};

// For its scope, threads started by this thread take none of the four
// signals (they inherit the blocked mask), so that an interrupt always
// reaches a thread that may defer it. Worker threads that only compute are
// started so.
class InterruptsKeptFromNewThreads
{
public:
    InterruptsKeptFromNewThreads();
    ~InterruptsKeptFromNewThreads();
    InterruptsKeptFromNewThreads(const InterruptsKeptFromNewThreads &) = delete;
    InterruptsKeptFromNewThreads &operator=(const InterruptsKeptFromNewThreads &) = delete;

private:
    unsigned char mSaved[128];
};

} // namespace voriraz::platform
