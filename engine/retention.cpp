#include "retention.h"

#include "archivecheck.h"
#include "localarchive.h"
#include "windowtexts.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

bool RetentionLimits::parseSize(const QString& text, qint64* bytes)
{
    static const QRegularExpression form(QStringLiteral("^(\\d{1,15})([KMGT]?)$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = form.match(text.trimmed());
    if (!match.hasMatch())
        return false;
    const QString units = QStringLiteral("KMGT");
    const int power = units.indexOf(match.captured(2).toUpper()) + 1;
    qint64 value = match.captured(1).toLongLong();
    for (int i = 0; i < power; ++i) {
        if (value > (Q_INT64_C(1) << 53))
            return false;
        value *= 1024;
    }
    *bytes = value;
    return true;
}

Retention::Retention(const QString& folder, const RetentionLimits& limits)
    : folder(folder), limits(limits)
{
}

QDateTime Retention::cutoff() const
{
    return limits.keepDays > 0 ? QDateTime::currentDateTimeUtc().addDays(-limits.keepDays)
                               : QDateTime();
}

QVector<Retention::Held> Retention::held() const
{
    QVector<Held> present;
    for (const JournalEntry& saved : ArchiveCheck::held(Journal::read(folder))) {
        const QString path = folder + saved.path;
        if (saved.path.contains(QLatin1String("..")) || !LocalArchive::isRegularFile(path)
            || QFileInfo(path).size() != saved.size)
            continue;
        const QDateTime time = cameraTime(saved.created);
        present.append(Held{saved, time.isValid() ? time : saved.at});
    }
    std::stable_sort(present.begin(), present.end(),
                     [](const Held& a, const Held& b) { return a.time < b.time; });
    return present;
}

QVector<Retention::Held> Retention::due(qint64 incoming) const
{
    QVector<Held> going;
    QVector<Held> present = held();
    if (present.isEmpty() || !limits.any())
        return going;
    qint64 total = incoming;
    for (const Held& held : present)
        total += held.saved.size;
    // Never the newest: the archive keeps at least the last that came.
    present.removeLast();
    const QDateTime oldest = cutoff();
    for (const Held& held : present) {
        const bool old = oldest.isValid() && held.time < oldest;
        const bool over = limits.maxBytes > 0 && total > limits.maxBytes;
        if (!old && !over)
            break;
        going << held;
        total -= held.saved.size;
    }
    return going;
}

bool Retention::wouldGoAtOnce(const QDateTime& time, qint64 size) const
{
    if (!time.isValid())
        return false;
    if (cutoff().isValid() && time < cutoff())
        return true;
    if (limits.maxBytes <= 0 || size < 0)
        return false;
    if (size > limits.maxBytes)
        return true;
    // Room only from older ones: a newer recording is never removed for it.
    qint64 total = size;
    for (const Held& held : held())
        total += held.time < time ? 0 : held.saved.size;
    return total > limits.maxBytes;
}

QString Retention::reason(const Held& held, bool translated) const
{
    const QDateTime oldest = cutoff();
    if (oldest.isValid() && held.time < oldest)
        return (translated ? WindowTexts::tr("older than %1 days")
                           : QStringLiteral("older than %1 days"))
            .arg(limits.keepDays);
    return (translated ? WindowTexts::tr("the download folder was over %1 bytes")
                       : QStringLiteral("the download folder was over %1 bytes"))
        .arg(limits.maxBytes);
}

QVector<Retention::Held> Retention::remove(const QVector<Held>& due)
{
    QVector<Held> gone;
    for (const Held& held : due) {
        const QString path = folder + held.saved.path;
        // Only that very file: it still has the size it arrived with.
        if (!LocalArchive::isRegularFile(path) || QFileInfo(path).size() != held.saved.size)
            continue;
        JournalEntry removed = held.saved;
        removed.kind = JournalEntry::Kind::Removed;
        removed.at = QDateTime::currentDateTimeUtc();
        removed.note = reason(held);
        // The line first: a file is never gone without a word of why.
        if (!Journal::append(folder, removed) || !QFile::remove(path))
            continue;
        gone << held;
    }
    return gone;
}
