#include "cardrecording.h"

#include "cardreplies.h"

#include <QTextCodec>
#include <QTimeZone>

#include <algorithm>
#include <cstdlib>

namespace {

bool decodes(const char* codecName, const QByteArray& bytes, QString* text)
{
    const QTextCodec* codec = QTextCodec::codecForName(codecName);
    if (!codec)
        return false;
    QTextCodec::ConverterState state;
    *text = codec->toUnicode(bytes.constData(), bytes.size(), &state);
    // Some decoders put in a replacement character without counting it.
    return state.invalidChars == 0 && state.remainingChars == 0
           && !text->contains(QChar::ReplacementCharacter);
}

int digits(const QByteArray& text, int at, int count)
{
    return text.mid(at, count).toInt();
}

// The zone's offset at an instant, in seconds.
int offsetAt(const QTimeZone& zone, qint64 secs)
{
    return zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(secs, Qt::UTC));
}

} // namespace

CardRecording recordingFromInfo(const QString& name, const char* reply)
{
    const CardReplies::FileInfoFields fields = CardReplies::cutFileInfo(reply);
    CardRecording recording;
    recording.name = name;
    recording.createdText = QByteArray(fields.create);
    recording.created = cameraTime(recording.createdText);
    // 64-bit: recordings of 2 GiB and more are common.
    const long long bytes = std::strtoll(fields.size, nullptr, 10);
    // Only a plain byte count is a size to compare copies with.
    if (QByteArray(fields.size) == QByteArray::number(bytes) && bytes >= 0)
        recording.size = bytes;
    return recording;
}

QString cardNameText(const QByteArray& bytes)
{
    QString text;
    if (decodes("UTF-8", bytes, &text) || decodes("GB18030", bytes, &text))
        return text;
    return QString::fromLatin1(bytes);
}

QDateTime cameraTime(const QByteArray& text)
{
    if (text.size() != 14 || !std::all_of(text.begin(), text.end(), [](char c) {
            return c >= '0' && c <= '9';
        }))
        return QDateTime();
    const QDate date(digits(text, 0, 4), digits(text, 4, 2), digits(text, 6, 2));
    const QTime time(digits(text, 8, 2), digits(text, 10, 2), digits(text, 12, 2));
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    const QTimeZone zone = QTimeZone::systemTimeZone();
    // The wall clock read as if it were UTC; the instant is that less the
    // zone's offset then, which may have changed within a day of it.
    const qint64 wall = QDateTime(date, time, Qt::UTC).toSecsSinceEpoch();
    constexpr qint64 kDay = 86400;
    qint64 first = 0;
    bool found = false;
    for (const qint64 near : {wall - kDay, wall, wall + kDay}) {
        const int offset = offsetAt(zone, near);
        const qint64 instant = wall - offset;
        if (offsetAt(zone, instant) == offset && (!found || instant < first)) {
            first = instant;
            found = true;
        }
    }
    if (!found) {
        // Skipped: the instant the clocks jumped over it.
        const QTimeZone::OffsetData jump =
            zone.nextTransition(QDateTime::fromSecsSinceEpoch(wall - kDay, Qt::UTC));
        first = jump.atUtc.isValid() && jump.atUtc.toSecsSinceEpoch() <= wall + kDay
                    ? jump.atUtc.toSecsSinceEpoch()
                    : wall - offsetAt(zone, wall - kDay);
    }
    return QDateTime::fromSecsSinceEpoch(first, Qt::LocalTime);
}
