#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTime>

// Speed and time left of one transfer, measured from its first report (a
// resumed file starts with what it kept), redrawn a few times a second.
class RateMeter
{
public:
    static constexpr qint64 kRefreshMs = 250;

    void restart() { from = -1; }
    // True when the figures are worth showing again.
    bool update(qint64 bytesRead, qint64 totalBytes)
    {
        if (from < 0) {
            from = bytesRead;
            clock.start();
            shownAt = 0;
            return false;
        }
        const qint64 elapsedMs = clock.elapsed();
        if (elapsedMs - shownAt < kRefreshMs || elapsedMs <= 0)
            return false;
        shownAt = elapsedMs;
        bytesPerSecond = (bytesRead - from) * 1000.0 / elapsedMs;
        secondsLeft = totalBytes < 0 || bytesPerSecond <= 0
                          ? -1
                          : static_cast<qint64>((totalBytes - bytesRead) / bytesPerSecond + 0.5);
        return true;
    }
    QString speed() const { return QString::number(bytesPerSecond / 1e6, 'f', 1); }
    // -1: not known.
    qint64 left() const { return secondsLeft; }
    static QString duration(qint64 seconds)
    {
        const QTime time = QTime(0, 0).addSecs(static_cast<int>(seconds % 86400));
        return time.toString(seconds >= 3600 ? QStringLiteral("h:mm:ss") : QStringLiteral("m:ss"));
    }

private:
    QElapsedTimer clock;
    qint64 from = -1;
    qint64 shownAt = 0;
    double bytesPerSecond = 0;
    qint64 secondsLeft = -1;
};
