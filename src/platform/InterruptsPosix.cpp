#include "platform/Interrupts.h"

#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>
#include <pthread.h>
#include <unistd.h>

namespace voriraz::platform {

namespace {

constexpr int interrupts[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The remembered temporaries: a path and its state in each slot. The
// handler reads them while another thread may be changing one, so the state
// is a lock-free atomic and a path is only read once its slot is Ready.
// Slots are taken in turn, so one just forgotten is not written again at
// once while a handler might still be reading it.
enum SlotState : int { Free, Writing, Ready };
constexpr int slotCount = 32;
struct Slot
{
    std::atomic<int> state {Free};
    char path[PATH_MAX];
};
Slot slots[slotCount];
std::atomic<unsigned> nextSlot {0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler reads the slots' states");

extern "C" void removeTemporariesAndEnd(int signal)
{
    // Only async-signal-safe calls: unlink() and _exit().
    for (Slot &slot : slots) {
        if (slot.state.load() == Ready)
            ::unlink(slot.path);
    }
    ::_exit(128 + signal);
}

sigset_t interruptSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : interrupts)
        sigaddset(&set, signal);
    return set;
}

static_assert(sizeof(sigset_t) <= 128, "the saved masks hold a sigset_t");

void block(unsigned char *saved)
{
    const sigset_t set = interruptSet();
    sigset_t old;
    // pthread_sigmask cannot fail with a valid set and operation.
    ::pthread_sigmask(SIG_BLOCK, &set, &old);
    std::memcpy(saved, &old, sizeof old);
}

void restore(const unsigned char *saved)
{
    sigset_t old;
    std::memcpy(&old, saved, sizeof old);
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

} // namespace

void removeTemporariesOnInterrupt()
{
    for (const int signal : interrupts) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN)
            continue;
        struct sigaction action {};
        action.sa_handler = removeTemporariesAndEnd;
        sigfillset(&action.sa_mask);
        ::sigaction(signal, &action, nullptr);
    }
}

int rememberTemporary(const std::string &path)
{
    if (path.size() >= PATH_MAX)
        return -1;
    for (int tried = 0; tried < slotCount; ++tried) {
        const int index = static_cast<int>(nextSlot.fetch_add(1) % slotCount);
        int expected = Free;
        if (slots[index].state.compare_exchange_strong(expected, Writing)) {
            std::memcpy(slots[index].path, path.c_str(), path.size() + 1);
            slots[index].state.store(Ready);
            return index;
        }
    }
    return -1;
}

void forgetTemporary(int token)
{
    if (token >= 0 && token < slotCount)
        slots[token].state.store(Free);
}

InterruptsDeferred::InterruptsDeferred()
{
    block(mSaved);
}

InterruptsDeferred::~InterruptsDeferred()
{
    restore(mSaved);
}

InterruptsKeptFromNewThreads::InterruptsKeptFromNewThreads()
{
    block(mSaved);
}

InterruptsKeptFromNewThreads::~InterruptsKeptFromNewThreads()
{
    restore(mSaved);
}

} // namespace voriraz::platform
