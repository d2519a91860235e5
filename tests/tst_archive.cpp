// The archive keeps itself, as a scheduled sync uses it: a journal with the
// checksum of every recording that arrived, --verify against it, dated
// folders, retention by age and by size, and the summary as JSON. The tool
// as a process against the simulated device, private network.
#include "synccard.h"

#include <QtTest>

using namespace synccard;

namespace {

const QString kJournal = "DCIM/download journal.jsonl";

QList<QJsonObject> journalLines()
{
    QList<QJsonObject> lines;
    QFile file(kJournal);
    if (file.open(QIODevice::ReadOnly))
        for (const QByteArray& line : file.readAll().split('\n'))
            if (!line.isEmpty())
                lines << QJsonDocument::fromJson(line).object();
    return lines;
}

QStringList recordingsIn(const QString& folder)
{
    QStringList found;
    QDirIterator it(folder, {"*.MP4"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << QDir(QDir(folder).absolutePath())
                     .relativeFilePath(QFileInfo(it.next()).absoluteFilePath());
    found.sort();
    return found;
}

} // namespace

class TestArchive : public SyncTest
{
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }
    void journalsEveryRecordingAndVerifiesIt();
    void aLayoutChangedBetweenSyncsFetchesNothing();
    void retentionKeepsWithinItsLimits_data();
    void retentionKeepsWithinItsLimits();

private:
    // A run whose standard output must be one JSON document.
    QJsonObject json(const QStringList& arguments, int* code)
    {
        QProcess tool;
        tool.setWorkingDirectory(work->path());
        tool.start(qEnvironmentVariable("MERRO_TOOL"), arguments + QStringList{"--json"});
        tool.waitForFinished(60000);
        *code = tool.exitCode();
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(tool.readAllStandardOutput(),
                                                               &error);
        [&] { QCOMPARE(error.error, QJsonParseError::NoError); }();
        [this] { QVERIFY(sim->command("stats")); }();
        return document.object();
    }
};

void TestArchive::journalsEveryRecordingAndVerifiesIt()
{
    int code = -1;
    const QJsonObject summary = json({"--sync"}, &code);
    QCOMPARE(code, 0);
    QCOMPARE(summary.value("exit").toInt(), 0);
    QCOMPARE(summary.value("listed").toInt(), 3);
    QCOMPARE(summary.value("downloaded").toInt(), 3);
    QCOMPARE(summary.value("downloadedBytes").toDouble(), 2700000.0);
    QVERIFY(summary.value("failed").toArray().isEmpty() && summary.contains("seconds"));
    // One saved line a recording, its checksum that of the card's bytes.
    const QList<QJsonObject> lines = journalLines();
    QCOMPARE(lines.size(), 3);
    for (const QJsonObject& line : lines) {
        const QString name = line.value("card").toString();
        QCOMPARE(line.value("event").toString(), QString("saved"));
        QCOMPARE(line.value("path").toString(), name);
        QCOMPARE(line.value("sha256").toString().toLatin1(),
                 QCryptographicHash::hash(card(qPrintable(name)), QCryptographicHash::Sha256)
                     .toHex());
        QVERIFY(line.value("created").toString().startsWith("2025"));
    }
    QCOMPARE(json({"--verify"}, &code).value("holding").toInt(), 3);
    QCOMPARE(code, 0);
    // A file changed after it arrived, one gone: both named, exit 1.
    QFile changed("DCIM/B_MID.MP4");
    QVERIFY(changed.open(QIODevice::ReadWrite) && changed.seek(1000) && changed.write("x") == 1);
    changed.close();
    QVERIFY(QFile::remove("DCIM/C_OLD.MP4"));
    const QJsonObject verified = json({"--verify"}, &code);
    QCOMPARE(code, 1);
    QCOMPARE(verified.value("changed").toArray(), QJsonArray{"B_MID.MP4"});
    QCOMPARE(verified.value("missing").toArray(), QJsonArray{"C_OLD.MP4"});
    QCOMPARE(verified.value("holding").toInt(), 1);
}

void TestArchive::aLayoutChangedBetweenSyncsFetchesNothing()
{
    QCOMPARE(sync({"--layout", "day"}), 0);
    QCOMPARE(recordingsIn("DCIM"), (QStringList{"2025-01-01/C_OLD.MP4", "2025-02-01/B_MID.MP4",
                                                "2025-03-01/A_NEW.MP4"}));
    // Another layout, and none: nothing is fetched again, nothing moves.
    for (const char* layout : {"month", "flat"}) {
        const int from = sim->output.size();
        QCOMPARE(sync({"--layout", layout}), 0);
        QCOMPARE(sim->lines("camera: GET http", from), QList<QByteArray>());
    }
    QCOMPARE(recordingsIn("DCIM").size(), 3);
    // Freed from wherever they are, each proven.
    QCOMPARE(sync({"--free-card"}), 0);
    QCOMPARE(onCard(), QStringList());
    const QList<QJsonObject> lines = journalLines();
    QCOMPARE(std::count_if(lines.begin(), lines.end(),
                           [](const QJsonObject& line) {
                               return line.value("event") == "freed"
                                      && line.value("path").toString().startsWith("2025-");
                           }),
             3);
}

void TestArchive::retentionKeepsWithinItsLimits_data()
{
    QTest::addColumn<QStringList>("limit");
    QTest::addColumn<QStringList>("left"); // in DCIM/ afterwards
    QTest::addColumn<QStringList>("removed");
    QTest::newRow("does an age limit remove the older ones, never the newest?")
        << QStringList{"--keep-days", "1"} << QStringList{"A_NEW.MP4", "hand.MP4"}
        << QStringList{"C_OLD.MP4", "B_MID.MP4"};
    QTest::newRow("does a size limit remove the oldest until the rest fits?")
        << QStringList{"--max-size", "2500K"}
        << QStringList{"A_NEW.MP4", "B_MID.MP4", "hand.MP4"}
        << QStringList{"C_OLD.MP4"};
}

void TestArchive::retentionKeepsWithinItsLimits()
{
    QFETCH(QStringList, limit);
    QCOMPARE(sync(), 0);
    // A file the tool did not save, older than all: never removed.
    QFile hand("DCIM/hand.MP4");
    QVERIFY(hand.open(QIODevice::WriteOnly) && hand.resize(3000000)
            && hand.setFileTime(QDateTime(QDate(2020, 1, 1), QTime(0, 0)),
                                QFileDevice::FileModificationTime));
    hand.close();
    // A dry run says what would go, and nothing goes.
    QByteArray said;
    QCOMPARE(sync(limit + QStringList{"--dry-run"}, &said), 0);
    QFETCH(QStringList, removed);
    for (const QString& name : removed)
        QVERIFY2(said.contains("would remove " + name.toUtf8()), said.constData());
    QCOMPARE(recordingsIn("DCIM").size(), 4);
    int code = -1;
    const QJsonObject summary = json(QStringList{"--sync"} + limit, &code);
    QCOMPARE(code, 0);
    QFETCH(QStringList, left);
    QCOMPARE(recordingsIn("DCIM"), left);
    QStringList gone;
    for (const QJsonValue& entry : summary.value("removedByRetention").toArray())
        gone << entry.toObject().value("path").toString();
    QCOMPARE(gone, removed);
    const QList<QJsonObject> lines = journalLines();
    QCOMPARE(std::count_if(lines.begin(), lines.end(),
                           [](const QJsonObject& line) {
                               return line.value("event") == "removed";
                           }),
             removed.size());
    // Never fetched again while the card holds them.
    const int from = sim->output.size();
    QCOMPARE(sync(), 0);
    QCOMPARE(sim->lines("camera: GET http", from), QList<QByteArray>());
    // One that would go at once is left on the card: A_NEW only is recent.
    QVERIFY(QDir("DCIM").removeRecursively());
    const QByteArray today = QDateTime::currentDateTime().toString("yyyyMMddhhmmss").toLatin1();
    QVERIFY(sim->command("camera time A_NEW.MP4 " + today));
    QCOMPARE(json({"--sync", "--keep-days", "30"}, &code).value("skippedForAge").toInt(), 2);
    QCOMPARE(recordingsIn("DCIM"), QStringList{"A_NEW.MP4"});
}

QTEST_GUILESS_MAIN(TestArchive)
#include "tst_archive.moc"
