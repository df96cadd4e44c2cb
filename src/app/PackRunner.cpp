#include "app/PackRunner.h"

#include "app/PackProgress.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QWidget>

#include <thread>

namespace voriraz {

// How the window's thread and the packing thread wait on each other
//
// The window's thread starts the packing thread and runs a local event loop
// until that thread says it has finished. Meanwhile the window is repainted
// and timers run, but an application-wide event filter drops the mouse and
// keyboard input meant for the main window (a close is turned into a
// cancel); dialogs, which are windows of their own, still get theirs. Keys
// of shortcuts and actions reach their own objects, not the window's
// widgets: the window turns those off while it packs, and its handlers
// refuse to start meanwhile (Unit1Mod.cpp), so no handler of the window can
// start while another is under way. Nothing
// calls processEvents(), and the progress dialog is not modal, since
// QProgressDialog::setValue() processes events for a modal one.
//
// The packing thread never touches a widget. It reaches the window's thread
// only by signals with queued connections, which carry nothing: what they
// are about waits under the mutex.
// - progressed(): the packing thread keeps the newest state and sends the
//   signal only when none is on its way, so at most one waits in the queue
//   however fast the writer goes.
// - failurePromptAsked(): it leaves the question, sends the signal, and waits
//   on mAnswered until the answer is there or packing is cancelled, which
//   answers Abort. So it never waits on a thread that is waiting for it.
// - packingEnded(): it stores the report or the error, sets mFinished and
//   sends the signal, which ends the local loop.
// Cancel (the progress dialog's button, a close of the window, or the
// application quitting) sets mCancelled, wakes a waiting prompt and asks the
// writer to stop, which it does at its next file or chunk. When the local
// loop ends before the packing thread has finished (the application is
// quitting, so every loop of the thread returns), run() cancels and joins:
// the packing thread needs nothing more from the window's thread to end.

PackRunner::PackRunner(QWidget *window, TArchiveWriter &writer, PackProgress &progress, Prompt prompt)
    : mWindow(window), mWriter(writer), mProgress(progress), mPrompt(std::move(prompt))
{
    mProgress.setCancelHandler([this] { cancel(); });
    connect(this, &PackRunner::progressed, this, &PackRunner::showProgress, Qt::QueuedConnection);
    connect(this, &PackRunner::failurePromptAsked, this, &PackRunner::answerFailurePrompt, Qt::QueuedConnection);
    connect(
        this, &PackRunner::packingEnded, this,
        [this] {
            if (mLoop)
                mLoop->quit();
        },
        Qt::QueuedConnection);
}

PackRunner::~PackRunner()
{
    mProgress.setCancelHandler(nullptr);
}

ModArchiveReport PackRunner::run(const std::string &archivePath, const std::string &sourceDir)
{
    mWriter.OnOverallProgress = [this](TProgressPhase phase, const TArchiveProgress &progress, bool &) {
        reportProgress(phase, progress);
    };
    mWriter.OnFailurePrompt = [this](const std::string &text, TPromptButtons buttons) {
        return askFailure(text, buttons);
    };
    QEventLoop loop;
    mLoop = &loop;
    qApp->installEventFilter(this);
    std::thread packing([this, archivePath, sourceDir] { pack(archivePath, sourceDir); });
    loop.exec();
    {
        std::unique_lock lock(mMutex);
        if (!mFinished) {
            lock.unlock();
            cancel();
        }
    }
    packing.join();
    qApp->removeEventFilter(this);
    mLoop = nullptr;
    mWriter.OnOverallProgress = nullptr;
    mWriter.OnFailurePrompt = nullptr;
    if (mFailure)
        std::rethrow_exception(mFailure);
    return mReport;
}

void PackRunner::pack(const std::string &archivePath, const std::string &sourceDir)
{
    ModArchiveReport report;
    std::exception_ptr failure;
    try {
        report = writeModArchive(mWriter, archivePath, sourceDir);
    } catch (...) {
        failure = std::current_exception();
    }
    {
        std::lock_guard lock(mMutex);
        mReport = std::move(report);
        mFailure = failure;
        mFinished = true;
    }
    emit packingEnded();
}

void PackRunner::cancel()
{
    {
        std::lock_guard lock(mMutex);
        mCancelled = true;
    }
    mAnswered.notify_all();
    mWriter.Cancel();
}

bool PackRunner::cancelled() const
{
    std::lock_guard lock(mMutex);
    return mCancelled;
}

void PackRunner::reportProgress(TProgressPhase phase, const TArchiveProgress &progress)
{
    {
        std::lock_guard lock(mMutex);
        mPhase = phase;
        mLatest = progress;
        if (std::exchange(mProgressPosted, true))
            return;
    }
    emit progressed();
}

void PackRunner::showProgress()
{
    TProgressPhase phase;
    TArchiveProgress progress;
    {
        std::lock_guard lock(mMutex);
        phase = mPhase;
        progress = mLatest;
        mProgressPosted = false;
    }
    mProgress.update(phase, progress);
}

TPromptAnswer PackRunner::askFailure(const std::string &text, TPromptButtons buttons)
{
    {
        std::lock_guard lock(mMutex);
        if (mCancelled)
            return TPromptAnswer::Abort;
        mQuestion = std::pair {text, buttons};
        mAnswer.reset();
    }
    emit failurePromptAsked();
    std::unique_lock lock(mMutex);
    mAnswered.wait(lock, [this] { return mCancelled || mAnswer; });
    mQuestion.reset();
    return mAnswer.value_or(TPromptAnswer::Abort);
}

void PackRunner::answerFailurePrompt()
{
    std::optional<std::pair<std::string, TPromptButtons>> question;
    {
        std::lock_guard lock(mMutex);
        question = mQuestion;
    }
    // Asked once cancelled: the packing thread has gone on with Abort.
    if (!question)
        return;
    const TPromptAnswer answer = mPrompt(QString::fromStdString(question->first), question->second);
    {
        std::lock_guard lock(mMutex);
        if (mQuestion)
            mAnswer = answer;
    }
    mAnswered.notify_all();
}

bool PackRunner::eventFilter(QObject *watched, QEvent *event)
{
    const auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || widget->window() != mWindow)
        return false;
    switch (event->type()) {
    case QEvent::Close:
        cancel();
        event->ignore();
        return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
        return true;
    default:
        return false;
    }
}

} // namespace voriraz
