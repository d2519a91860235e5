// The download journal and the checksum behind it: lines that read back as
// written, whatever bytes a card name holds; a line torn by a power cut
// skipped, and the next one whole; what is safe found by the journal,
// wherever the file went; SHA-256 as the standard has it, with and without
// the processor's instructions.
#include "journal.h"
#include "localarchive.h"
#include "sha256.h"

#include <QtTest>

namespace {

JournalEntry saved(const QByteArray& card, qint64 size, const QString& path)
{
    JournalEntry entry;
    entry.at = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC);
    entry.card = card;
    entry.size = size;
    entry.created = "20260102030405";
    entry.camera = "192.168.72.20:80";
    entry.path = path;
    entry.sha256 = QByteArray(64, 'a');
    return entry;
}

bool put(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly)
           && file.write(bytes) == bytes.size();
}

} // namespace

class TestJournal : public QObject
{
    Q_OBJECT

private slots:
    void linesReadBackAsWritten();
    void aTornLineIsSkippedAndTheNextIsWhole();
    void whatIsSafeIsFoundByTheJournal();
    void hashesAsTheStandardHasIt_data();
    void hashesAsTheStandardHasIt();
};

void TestJournal::linesReadBackAsWritten()
{
    // Bytes no encoding reads, a quote, a backslash's look-alike, control bytes.
    JournalEntry entry = saved("A\xff\"\x01\xc3\xa9.MP4", 42, "2026-01-02/A\"é.MP4");
    entry.kind = JournalEntry::Kind::Freed;
    entry.created = "2025-13-99\n";
    entry.note = "size 42; bytes 0-41 equal";
    const QByteArray line = Journal::line(entry);
    QVERIFY(line.endsWith("}\n") && line.count('\n') == 1);
    // Standard JSON, as a reader like jq takes it.
    QJsonParseError error;
    const QJsonObject json = QJsonDocument::fromJson(line, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(json.value("event").toString(), QString("freed"));
    QCOMPARE(json.value("card").toString(), QString("A\\xff\"\\x01\\xc3\\xa9.MP4"));
    QCOMPARE(json.value("size").toInt(), 42);
    JournalEntry back;
    QVERIFY(Journal::parse(line.chopped(1), &back));
    QCOMPARE(back.kind, entry.kind);
    QCOMPARE(back.card, entry.card);
    QCOMPARE(back.created, entry.created);
    QCOMPARE(back.path, entry.path);
    QCOMPARE(back.note, entry.note);
    QCOMPARE(back.at, entry.at);
    // As another JSON writer spaces it, or a line ended for Windows.
    QVERIFY(Journal::parse("{ \"event\" : \"saved\",\t\"card\": \"B.MP4\", \"path\": \"B.MP4\","
                           " \"size\": 7 }\r",
                           &back));
    QCOMPARE(back.card, QByteArray("B.MP4"));
    QCOMPARE(back.size, 7);
    QVERIFY(!Journal::parse("{\"event\":\"saved\",\"card\":\"A\"", &back));
    QVERIFY(!Journal::parse("{\"event\":\"other\",\"card\":\"A\",\"path\":\"A\"}", &back));
}

void TestJournal::aTornLineIsSkippedAndTheNextIsWhole()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + '/';
    QVERIFY(Journal::append(folder, saved("A.MP4", 1, "A.MP4")));
    // A power cut in the middle of the second line.
    QFile file(Journal::pathIn(folder));
    QVERIFY(file.open(QIODevice::Append));
    const QByteArray torn = Journal::line(saved("B.MP4", 2, "B.MP4")).left(40);
    QVERIFY(file.write(torn) == torn.size());
    file.close();
    QCOMPARE(Journal::read(folder).size(), 1);
    QCOMPARE(JournalIndex::lines(folder), 1);
    // The next line starts on its own; nothing before it is rewritten.
    QVERIFY(Journal::append(folder, saved("C.MP4", 3, "C.MP4")));
    const QVector<JournalEntry> entries = Journal::read(folder);
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries.at(1).card, QByteArray("C.MP4"));
    QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll().contains(torn + '\n'));
    QCOMPARE(JournalIndex::lines(folder), 2);
}

void TestJournal::whatIsSafeIsFoundByTheJournal()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + '/';
    const QByteArray bytes(1000, 'r');
    // Saved under a dated folder and another name: the journal knows it.
    QVERIFY(put(folder + "2026-01/renamed.MP4", bytes));
    QVERIFY(Journal::append(folder, saved("R.MP4", 1000, "2026-01/renamed.MP4")));
    CardRecording recording("R.MP4", 1000, QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)));
    recording.createdText = "20260102030405";
    const LocalArchive archive(folder);
    QCOMPARE(archive.copyOf(recording), folder + "2026-01/renamed.MP4");
    // Another size, or another time, is another recording.
    recording.createdText = "20260102030406";
    QCOMPARE(archive.copyOf(recording), QString());
    recording.createdText = "20260102030405";
    // A file that no longer has its size holds it no more; one removed by
    // retention is said so.
    QVERIFY(put(folder + "2026-01/renamed.MP4", bytes.left(10)));
    QCOMPARE(archive.copyOf(recording), QString());
    QVERIFY(!archive.retired(recording));
    JournalEntry removed = saved("R.MP4", 1000, "2026-01/renamed.MP4");
    removed.kind = JournalEntry::Kind::Removed;
    QVERIFY(Journal::append(folder, removed));
    QVERIFY(archive.retired(recording));
}

void TestJournal::hashesAsTheStandardHasIt_data()
{
    QTest::addColumn<bool>("accelerated");
    QTest::newRow("with the processor's instructions, where it has them") << true;
    QTest::newRow("without them") << false;
}

void TestJournal::hashesAsTheStandardHasIt()
{
    QFETCH(bool, accelerated);
    Sha256::setAccelerated(accelerated);
    Sha256 hash;
    hash.add("abc", 3);
    QCOMPARE(hash.result().toHex(),
             QByteArray("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    // Every length around the block edges, fed in uneven pieces.
    QByteArray data;
    for (int i = 0; i < 300; ++i)
        data += static_cast<char>(i * 7 + i / 13);
    for (int length = 0; length <= data.size(); ++length) {
        for (int step : {1, 7, 64, 100}) {
            for (int at = 0; at < length; at += step)
                hash.add(data.constData() + at, std::min(step, length - at));
            QCOMPARE(hash.result(), QCryptographicHash::hash(data.left(length),
                                                             QCryptographicHash::Sha256));
        }
    }
    Sha256::setAccelerated(true);
}

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
