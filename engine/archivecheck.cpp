#include "archivecheck.h"

#include "localarchive.h"
#include "sha256.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

namespace {

constexpr qint64 kReadStep = 4 * 1024 * 1024;

} // namespace

ArchiveCheck::ArchiveCheck(const QString& folder, const QVector<JournalEntry>& journal,
                           QObject* parent)
    : QThread(parent), folder(folder)
{
    for (const JournalEntry& saved : held(journal)) {
        checked.append(Item{saved, State::Unchecked});
        total += std::max<qint64>(saved.size, 0);
    }
}

ArchiveCheck::~ArchiveCheck()
{
    stop();
    wait();
}

QVector<JournalEntry> ArchiveCheck::held(const QVector<JournalEntry>& journal)
{
    QHash<QString, int> latest;
    QVector<JournalEntry> kept;
    for (const JournalEntry& entry : journal) {
        if (entry.kind == JournalEntry::Kind::Saved && !entry.sha256.isEmpty()) {
            latest.insert(entry.path, kept.size());
            kept.append(entry);
        } else if (entry.kind == JournalEntry::Kind::Removed) {
            latest.remove(entry.path);
        }
    }
    QVector<JournalEntry> now;
    for (auto it = latest.constBegin(); it != latest.constEnd(); ++it)
        now << kept.at(it.value());
    std::sort(now.begin(), now.end(), [](const JournalEntry& a, const JournalEntry& b) {
        return a.at < b.at;
    });
    return now;
}

ArchiveCheck::State ArchiveCheck::check(const QString& folder, const JournalEntry& saved,
                                        const std::atomic<bool>* stop)
{
    const QString path = folder + saved.path;
    if (!LocalArchive::isRegularFile(path))
        return State::Missing;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return State::Missing;
    if (file.size() != saved.size)
        return State::Changed;
    Sha256 hash;
    QByteArray buffer(static_cast<int>(kReadStep), Qt::Uninitialized);
    for (;;) {
        if (stop && *stop)
            return State::Unchecked;
        const qint64 got = file.read(buffer.data(), kReadStep);
        if (got < 0)
            return State::Missing;
        if (got == 0)
            break;
        hash.add(buffer.constData(), got);
    }
    return hash.result().toHex() == saved.sha256 ? State::Holds : State::Changed;
}

void ArchiveCheck::run()
{
    qint64 bytes = 0;
    for (int i = 0; i < checked.size() && !stopping; ++i) {
        const State state = check(folder, checked.at(i).saved, &stopping);
        if (state == State::Unchecked)
            break;
        checked[i].state = state;
        bytes += std::max<qint64>(checked.at(i).saved.size, 0);
        emit itemChecked(i, static_cast<int>(state));
        emit progress(i + 1, bytes);
    }
}
