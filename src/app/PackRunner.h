#pragma once

#include "packaging/ModArchive.h"

#include <QObject>
#include <QString>

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

class QEventLoop;
class QWidget;

namespace voriraz {

class PackProgress;

// Runs the packing of "Create mod" on a thread of its own, so that the
// window keeps repainting and the progress dialog keeps answering, and
// brings the writer's progress and failure prompt to the window's thread.
class PackRunner : public QObject
{
    Q_OBJECT

public:
    // Asks the failure prompt on the window's thread.
    using Prompt = std::function<TPromptAnswer(const QString &text, TPromptButtons buttons)>;

    // progress shows the writer's progress; its Cancel button cancels.
    PackRunner(QWidget *window, TArchiveWriter &writer, PackProgress &progress, Prompt prompt);
    ~PackRunner() override;

    // Packs sourceDir into archivePath (writeModArchive()) and returns when
    // packing is over, the window having received no input meanwhile.
    // Throws what writeModArchive() throws.
    ModArchiveReport run(const std::string &archivePath, const std::string &sourceDir);

    // Stops packing as soon as the writer can; callable from any thread.
    void cancel();
    bool cancelled() const;

signals:
    // Sent by the packing thread, received on the window's thread (queued
    // connections); what they are about waits under the mutex.
    void progressed();
    void failurePromptAsked();
    void packingEnded();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // On the packing thread.
    void pack(const std::string &archivePath, const std::string &sourceDir);
    void reportProgress(TProgressPhase phase, const TArchiveProgress &progress);
    TPromptAnswer askFailure(const std::string &text, TPromptButtons buttons);
    // On the window's thread.
    void showProgress();
    void answerFailurePrompt();

    QWidget *mWindow;
    TArchiveWriter &mWriter;
    PackProgress &mProgress;
    Prompt mPrompt;
    QEventLoop *mLoop = nullptr;

    mutable std::mutex mMutex;
    std::condition_variable mAnswered;
    bool mCancelled = false;
    bool mFinished = false;
    // The newest progress, and whether a call to show it is on its way.
    TProgressPhase mPhase = TProgressPhase::Start;
    TArchiveProgress mLatest;
    bool mProgressPosted = false;
    // The prompt being asked, and its answer once given.
    std::optional<std::pair<std::string, TPromptButtons>> mQuestion;
    std::optional<TPromptAnswer> mAnswer;
    ModArchiveReport mReport;
    std::exception_ptr mFailure;
};

} // namespace voriraz
