#include "app/PackProgress.h"

#include <QLocale>

namespace voriraz {

namespace {

// Refreshing more often than this would cost more than it shows.
constexpr qint64 refreshIntervalMs = 40;

QString megabytes(std::uint64_t bytes)
{
    return QLocale::c().toString(static_cast<double>(bytes) / 1048576.0, 'f', 1) + " MB";
}

} // namespace

PackProgress::PackProgress(QWidget *owner, const QString &title, int delayMs)
    : mOwner(owner), mTitle(title), mDelayMs(delayMs)
{
    mClock.start();
}

PackProgress::~PackProgress()
{
    delete mDialog.data();
}

QString PackProgress::labelText(const TArchiveProgress &progress)
{
    const std::size_t current = std::min(progress.filesDone + 1, progress.totalFiles);
    return QStringLiteral("Packing file %1 of %2 (%3 of %4)\n%5")
        .arg(current)
        .arg(progress.totalFiles)
        .arg(megabytes(progress.bytesDone), megabytes(progress.totalBytes),
             QString::fromStdString(progress.currentName));
}

void PackProgress::update(TProgressPhase phase, const TArchiveProgress &progress)
{
    if (phase == TProgressPhase::End) {
        delete mDialog.data();
        return;
    }
    const qint64 now = mClock.elapsed();
    if (!mDialog && now < mDelayMs)
        return;
    if (mDialog && now - mLastRefresh < refreshIntervalMs)
        return;
    mLastRefresh = now;
    if (!mDialog) {
        mDialog = new QProgressDialog(mOwner, Qt::Dialog);
        mDialog->setObjectName("PackProgressDialog");
        mDialog->setWindowTitle(mTitle);
        mDialog->setWindowModality(Qt::NonModal);
        mDialog->setCancelButtonText("Cancel");
        mDialog->setRange(0, 1000);
        mDialog->setMinimumDuration(0);
        mDialog->setAutoClose(false);
        mDialog->setAutoReset(false);
        mDialog->setMinimumWidth(360);
        QObject::connect(mDialog, &QProgressDialog::canceled, mDialog, [this] {
            if (mCancel)
                mCancel();
        });
        mDialog->show();
    }
    mDialog->setLabelText(labelText(progress));
    const double share = progress.totalBytes ? static_cast<double>(progress.bytesDone) / progress.totalBytes
                         : progress.totalFiles ? static_cast<double>(progress.filesDone) / progress.totalFiles
                                               : 0.0;
    mDialog->setValue(static_cast<int>(share * 1000));
}

} // namespace voriraz
