#pragma once

#include "packaging/BaseArchiver.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QProgressDialog>
#include <QString>

#include <functional>

class QWidget;

namespace voriraz {

// The progress of a long pack: a dialog with the files and bytes done and
// the current file's name, shown only once packing has run for the delay,
// so short packs show nothing. Its Cancel button calls the cancel handler.
// The dialog is not modal (a modal QProgressDialog processes events in
// setValue()); whoever packs keeps input from the window meanwhile.
class PackProgress
{
public:
    PackProgress(QWidget *owner, const QString &title, int delayMs);
    ~PackProgress();
    PackProgress(const PackProgress &) = delete;
    PackProgress &operator=(const PackProgress &) = delete;

    // Shows where packing stands; the End phase closes the dialog.
    void update(TProgressPhase phase, const TArchiveProgress &progress);
    void setCancelHandler(std::function<void()> handler) { mCancel = std::move(handler); }

    // The text the dialog shows for a state of packing.
    static QString labelText(const TArchiveProgress &progress);

private:
    QWidget *mOwner;
    QString mTitle;
    int mDelayMs;
    QElapsedTimer mClock;
    qint64 mLastRefresh = -1;
    QPointer<QProgressDialog> mDialog;
    std::function<void()> mCancel;
};

} // namespace voriraz
