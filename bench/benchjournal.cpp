// Deciding what is safe from a journal of N lines: how long the first look
// takes (the whole journal read), how long a thousand more take, and the
// peak memory. The journal is made here, one saved line a recording.
//   bench_journal FOLDER [lines]
#include "journal.h"
#include "localarchive.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <sys/resource.h>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 2)
        return 2;
    const QString folder = arguments.at(1) + '/';
    const int lines = arguments.value(2, QStringLiteral("100000")).toInt();
    const auto recording = [](int i) {
        CardRecording made(QStringLiteral("H%1.MP4").arg(i, 6, 10, QLatin1Char('0')),
                           1000000 + i, QDateTime());
        made.createdText = QByteArray::number(20250101000000LL + i);
        return made;
    };
    {
        QFile journal(Journal::pathIn(folder));
        if (!journal.open(QIODevice::WriteOnly))
            return 1;
        for (int i = 0; i < lines; ++i) {
            JournalEntry saved;
            const CardRecording made = recording(i);
            saved.at = QDateTime::currentDateTimeUtc();
            saved.card = made.name.toLatin1();
            saved.size = made.size;
            saved.created = made.createdText;
            saved.camera = QStringLiteral("192.168.72.20:80");
            saved.path = QStringLiteral("2025-01-01/") + made.name;
            saved.sha256 = QByteArray(64, 'f');
            journal.write(Journal::line(saved));
        }
    }
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const LocalArchive archive(folder);
    QElapsedTimer clock;
    clock.start();
    archive.copyOf(recording(lines / 2));
    const qint64 first = clock.nsecsElapsed();
    clock.restart();
    for (int i = 0; i < 1000; ++i)
        archive.copyOf(recording(i * (lines / 1000)));
    const qint64 more = clock.nsecsElapsed();
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    std::printf("journal of %d lines (%.1f MB): first look %.3f s (the whole journal read),"
                " 1000 more %.3f ms; peak memory %.1f MB (%.1f MB more than before it was"
                " read)\n",
                lines, QFile(Journal::pathIn(folder)).size() / 1e6, first / 1e9, more / 1e6,
                after.ru_maxrss / 1024.0, (after.ru_maxrss - before.ru_maxrss) / 1024.0);
    return 0;
}
