#include "app/StatusCaption.h"

#include <QLabel>

#include <algorithm>

namespace voriraz {

StatusCaption::StatusCaption(QLabel *label, QRect span, QObject *parent)
    : QObject(parent)
    , mLabel(label)
    , mSpan(span)
{
    mTimer.setSingleShot(true);
    connect(&mTimer, &QTimer::timeout, this, &StatusCaption::restore);
}

void StatusCaption::show(const QString &message, int milliseconds)
{
    if (!mTimer.isActive()) {
        mText = mLabel->text();
        mGeometry = mLabel->geometry();
    }
    mLabel->setText(message);
    const int width = std::clamp(mLabel->sizeHint().width(), mGeometry.width(), mSpan.width());
    const int left = std::clamp(mGeometry.center().x() - width / 2, mSpan.left(), mSpan.right() + 1 - width);
    mLabel->setGeometry(left, mGeometry.y(), width, mGeometry.height());
    mTimer.start(milliseconds);
}

void StatusCaption::restore()
{
    if (mGeometry.isNull())
        return;
    mTimer.stop();
    mLabel->setText(mText);
    mLabel->setGeometry(mGeometry);
    mGeometry = QRect();
}

} // namespace voriraz
