#pragma once

#include <QObject>
#include <QRect>
#include <QString>
#include <QTimer>

class QLabel;

namespace voriraz {

// Shows a short message in a caption label for a few seconds, then puts the
// label's own text back. The label may widen, centred on its place, up to a
// given span so a longer message is not cut; it returns to its size with
// its text. A new message replaces the one shown and restarts the time.
class StatusCaption : public QObject
{
    Q_OBJECT

public:
    // span: the widest the label may become, in its parent's coordinates.
    StatusCaption(QLabel *label, QRect span, QObject *parent = nullptr);

    void show(const QString &message, int milliseconds = defaultMilliseconds);
    // Puts the label's own text back at once.
    void restore();

    bool isShowing() const { return mTimer.isActive(); }

    static constexpr int defaultMilliseconds = 5000;

private:
    QLabel *mLabel;
    QRect mSpan;
    QString mText;
    QRect mGeometry;
    QTimer mTimer;
};

} // namespace voriraz
