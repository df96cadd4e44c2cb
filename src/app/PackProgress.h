#pragma once

#include "packaging/BaseArchiver.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QProgressDialog>
#include <QString>

class QWidget;

namespace voriraz {

// The progress of a long pack: a modal dialog with the files and bytes
// done and the current file's name, shown only once packing has run for
// the delay, so short packs show nothing. Its Cancel button asks the writer
// to stop, which rolls the archive back.
class PackProgress
{
public:
    PackProgress(QWidget *owner, const QString &title, int delayMs);
    ~PackProgress();
    PackProgress(const PackProgress &) = delete;
    PackProgress &operator=(const PackProgress &) = delete;

    // The writer's overall-progress handler.
    void update(TProgressPhase phase, const TArchiveProgress &progress, bool &cancel);

    // The text the dialog shows for a state of packing.
    static QString labelText(const TArchiveProgress &progress);

private:
    QWidget *mOwner;
    QString mTitle;
    int mDelayMs;
    QElapsedTimer mClock;
    qint64 mLastRefresh = -1;
    QPointer<QProgressDialog> mDialog;
};

} // namespace voriraz
