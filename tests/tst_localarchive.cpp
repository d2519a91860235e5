// The download folder as an archive: which local file holds a recording,
// where a new one goes, and what a partial download may be trusted with.
#include "localarchive.h"
#include "savedcardfile.h"

#include <QtTest>

#include <sys/mount.h>

namespace {

const QDateTime kTime(QDate(2026, 1, 2), QTime(3, 4, 5));

// Distinct bytes per recording, so that a splice of two shows.
QByteArray bytesOf(char seed, int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(seed * 31 + i * 7 + i / 251);
    return bytes;
}

bool put(const QString& path, const QByteArray& bytes, const QDateTime& time)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush()
           && (!time.isValid() || file.setFileTime(time, QFileDevice::FileModificationTime));
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestLocalArchive : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void findsAndPlacesRecordings_data();
    void findsAndPlacesRecordings();
    void resumesOnlyTheSameRecordingAsFarAsSynced();
    void aFailedFreshStartLeavesNoDescription();
    void linksInThePartialFolderAreLeftAlone_data();
    void linksInThePartialFolderAreLeftAlone();
    void aFullDiskKeepsWhatReachedIt();

private:
    QString folder() const { return dir->path() + '/'; }
    std::unique_ptr<QTemporaryDir> dir;
};

void TestLocalArchive::init()
{
    dir = std::make_unique<QTemporaryDir>();
}

void TestLocalArchive::findsAndPlacesRecordings_data()
{
    // In the folder: "name:size:seconds off the card's time[:seed]" entries,
    // or "name:link" for a link to a file outside; the card's A.MP4 has 100
    // bytes of seed 'a' and the time kTime, none, or one it cannot read.
    QTest::addColumn<QStringList>("local");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("copy");        // which file holds it, if any
    QTest::addColumn<QString>("destination"); // where a download of it goes
    const QString beside = "A_20260102-030405.MP4";
    QTest::newRow("does a name nobody holds stay the card's name?")
        << QStringList() << "known" << "" << "A.MP4";
    QTest::newRow("is a time FAT kept to 2 s still the same recording?")
        << QStringList{"A.MP4:100:1"} << "known" << "A.MP4" << "A.MP4";
    QTest::newRow("is a time a daylight-saving change moved still the same recording?")
        << QStringList{"A.MP4:100:-3600"} << "known" << "A.MP4" << "A.MP4";
    QTest::newRow("is a recording of another time kept, the new one beside it?")
        << QStringList{"A.MP4:100:600"} << "known" << "" << beside;
    QTest::newRow("does a clip grown since replace its shorter copy?")
        << QStringList{"A.MP4:60:0"} << "known" << "" << "A.MP4";
    QTest::newRow("is a shorter copy of other bytes (a clock reset) kept, never replaced?")
        << QStringList{"A.MP4:60:0:b"} << "known" << "" << beside;
    QTest::newRow("is the same name, time and size of other bytes kept beside?")
        << QStringList{"A.MP4:100:0:b"} << "known" << "A.MP4" << beside;
    QTest::newRow("is a shorter card copy of a clip kept beside, never over it?")
        << QStringList{"A.MP4:160:0"} << "known" << "" << beside;
    QTest::newRow("is the copy beside an older recording found?")
        << QStringList{"A.MP4:100:600", beside + ":100:0"} << "known" << beside << beside;
    QTest::newRow("does a third recording of the name get a name of its own?")
        << QStringList{"A.MP4:100:600", beside + ":160:0"} << "known" << ""
        << "A_20260102-030405_2.MP4";
    QTest::newRow("is a link at the name left alone, never a copy, the file beside?")
        << QStringList{"A.MP4:link"} << "known" << "" << beside;
    QTest::newRow("without a time, is another size another recording?")
        << QStringList{"A.MP4:60:0"} << "none" << "" << "A_100B.MP4";
    QTest::newRow("without a time, is the same size the same recording?")
        << QStringList{"A.MP4:100:600"} << "none" << "A.MP4" << "A.MP4";
    QTest::newRow("with a time it cannot read, is the same size no copy?")
        << QStringList{"A.MP4:100:0"} << "unreadable" << "" << "A.MP4";
}

void TestLocalArchive::findsAndPlacesRecordings()
{
    QFETCH(QStringList, local);
    QFETCH(QString, time);
    QTemporaryDir outside;
    QVERIFY(put(outside.filePath("elsewhere"), bytesOf('a', 100), kTime));
    for (const QString& entry : local) {
        const QStringList parts = entry.split(':');
        if (parts[1] == "link") {
            QVERIFY(QFile::link(outside.filePath("elsewhere"), folder() + parts[0]));
            continue;
        }
        const char seed = parts.value(3, "a").at(0).toLatin1();
        QVERIFY(put(folder() + parts[0], bytesOf(seed, parts[1].toInt()),
                    kTime.addSecs(parts[2].toInt())));
    }
    QVERIFY(put(folder() + "arrived", bytesOf('a', 100), QDateTime()));
    const LocalArchive archive(folder());
    CardRecording recording{"A.MP4", 100, time == "known" ? kTime : QDateTime()};
    recording.createdText = time == "known" ? "20260102030405" : time == "none" ? "" : "2026-1-2";
    const QString copy = archive.copyOf(recording);
    QTEST(copy.isEmpty() ? QString() : QFileInfo(copy).fileName(), "copy");
    QTEST(QFileInfo(archive.destinationFor(recording, folder() + "arrived")).fileName(),
          "destination");
    // Whatever stood outside is as it was.
    QVERIFY(contents(outside.filePath("elsewhere")) == bytesOf('a', 100));
}

void TestLocalArchive::resumesOnlyTheSameRecordingAsFarAsSynced()
{
    const LocalArchive archive(folder());
    const QByteArray card = bytesOf('b', 500000);
    const CardRecording recording{"B.MP4", card.size(), kTime};
    {
        SavedCardFile file(archive, recording);
        file.prepare();
        QVERIFY(file.open(0, card.size()) && file.write(card.constData(), 300000));
        // Broken off here: what came is kept for the next try.
    }
    // Bytes of a recording whose time was not known when they came.
    const CardRecording timeless{"C.MP4", card.size(), QDateTime()};
    {
        SavedCardFile file(archive, timeless);
        QVERIFY(file.open(0, card.size()) && file.write(card.constData(), 300000));
    }
    QCOMPARE(SavedCardFile(archive, recording).resumable(), 300000);
    // Only the same size and the same time, both known, may go on from them.
    for (const CardRecording& other :
         {CardRecording{"B.MP4", card.size(), kTime.addSecs(60)},
          CardRecording{"B.MP4", card.size(), QDateTime()},
          CardRecording{"B.MP4", card.size() + 1, kTime}, timeless,
          CardRecording{"C.MP4", card.size(), kTime}})
        QCOMPARE(SavedCardFile(archive, other).resumable(), 0);

    // What was written after the last sync may be garbage after a power cut.
    QFile part(archive.partialFolder() + "B.MP4");
    QVERIFY(part.open(QIODevice::Append) && part.write("junk") == 4);
    part.close();
    SavedCardFile file(archive, recording);
    QCOMPARE(file.resumable(), 300000);
    QVERIFY(file.open(300000, card.size()) && file.write(card.constData() + 300000, 200000));
    QVERIFY(file.finish());
    QCOMPARE(file.savedAs(), folder() + "B.MP4");
    // The checksum of the whole recording: the kept bytes and the rest.
    QCOMPARE(file.sha256(), QCryptographicHash::hash(card, QCryptographicHash::Sha256).toHex());
    QVERIFY(contents(folder() + "B.MP4") == card);
    QCOMPARE(QFileInfo(folder() + "B.MP4").lastModified(), kTime);
    QCOMPARE(QDir(archive.partialFolder()).entryList(QDir::Files),
             (QStringList{"C.MP4", "C.MP4 description"}));
}

void TestLocalArchive::aFailedFreshStartLeavesNoDescription()
{
    // Bytes of one recording kept; another recording of the name starts
    // afresh, and the old bytes cannot be dropped (a file that a scanner
    // holds on Windows; here, a read-only mount of it).
    const LocalArchive archive(folder());
    const CardRecording old{"D.MP4", 500000, kTime};
    {
        SavedCardFile file(archive, old);
        file.prepare();
        QVERIFY(file.open(0, 500000) && file.write(bytesOf('d', 200000).constData(), 200000));
    }
    const QByteArray part = QFile::encodeName(archive.partialFolder() + "D.MP4");
    if (::mount(part.constData(), part.constData(), nullptr, MS_BIND, nullptr) != 0
        || ::mount(nullptr, part.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr)
               != 0)
        QSKIP("No read-only mount can be made here");
    const CardRecording next{"D.MP4", 500000, kTime.addDays(7)};
    SavedCardFile file(archive, next);
    const bool opened = file.open(0, 500000);
    ::umount2(part.constData(), MNT_DETACH);
    QVERIFY(!opened);
    // No description pairs the old bytes with the new recording, nor with any.
    QVERIFY(!QFile::exists(archive.partialFolder() + "D.MP4 description"));
    QCOMPARE(SavedCardFile(archive, next).resumable(), 0);
}

void TestLocalArchive::linksInThePartialFolderAreLeftAlone_data()
{
    QTest::addColumn<QString>("link"); // in the partial folder's place, or in it
    QTest::newRow("is a link in place of the partial folder not followed?") << "";
    QTest::newRow("is a link under the card name not written through?") << "E.MP4";
    QTest::newRow("is a link in place of the description not written through?")
        << "E.MP4 description";
}

void TestLocalArchive::linksInThePartialFolderAreLeftAlone()
{
    QFETCH(QString, link);
    QTemporaryDir outside;
    const QString important = outside.filePath("important");
    QVERIFY(put(important, "keep me", QDateTime()));
    const LocalArchive archive(folder());
    const QString partial = QDir::cleanPath(archive.partialFolder());
    const QString at = link.isEmpty() ? partial : archive.partialFolder() + link;
    if (!link.isEmpty())
        QVERIFY(QDir().mkpath(partial));
    QVERIFY(QFile::link(link.isEmpty() ? outside.path() : important, at));
    const QByteArray card = bytesOf('e', 400000);
    const CardRecording recording{"E.MP4", card.size(), kTime};
    SavedCardFile file(archive, recording);
    file.prepare();
    QCOMPARE(file.resumable(), 0);
    QVERIFY(file.open(0, card.size()) && file.write(card.constData(), card.size()));
    QVERIFY(file.finish());
    QCOMPARE(file.linkFound(), at);
    // The recording arrived whole under its name; the link and what it
    // points at are as they were.
    QVERIFY(contents(folder() + "E.MP4") == card
            && LocalArchive::isRegularFile(folder() + "E.MP4"));
    QVERIFY(QFileInfo(at).isSymLink());
    QVERIFY(contents(important) == "keep me");
    QCOMPARE(QDir(outside.path()).entryList(QDir::Files), QStringList{"important"});
}

void TestLocalArchive::aFullDiskKeepsWhatReachedIt()
{
    // A volume of 1 MiB, half of it taken, for a recording of 900,000 bytes.
    QVERIFY(QDir().mkpath(folder() + "small"));
    const QByteArray small = QFile::encodeName(folder() + "small");
    if (::mount("tmpfs", small.constData(), "tmpfs", 0, "size=1m") != 0)
        QSKIP("No small volume can be mounted here");
    const LocalArchive archive(folder() + "small/");
    QVERIFY(put(folder() + "small/filler", QByteArray(500000, 'x'), QDateTime()));
    const QByteArray card = bytesOf('f', 900000);
    const CardRecording recording{"F.MP4", card.size(), kTime};
    {
        SavedCardFile file(archive, recording);
        file.prepare();
        QVERIFY(file.open(0, card.size()));
        bool wrote = true;
        for (int at = 0; wrote && at < card.size(); at += 4096)
            wrote = file.write(card.constData() + at, std::min(4096, card.size() - at));
        QVERIFY(!wrote);
    }
    // What reached the disk is described, less a little to make room, and
    // can be gone on from once there is space.
    const qint64 kept = SavedCardFile(archive, recording).resumable();
    const QByteArray part = contents(archive.partialFolder() + "F.MP4");
    QVERIFY(QFile::remove(folder() + "small/filler"));
    SavedCardFile again(archive, recording);
    const bool resumed = again.open(kept, card.size())
                         && again.write(card.constData() + kept, card.size() - kept)
                         && again.finish();
    const QByteArray saved = contents(folder() + "small/F.MP4");
    ::umount2(small.constData(), MNT_DETACH);
    QVERIFY2(kept > 300000, QByteArray::number(kept));
    QVERIFY(part.size() == kept && card.startsWith(part));
    QVERIFY(resumed && saved == card);
    QCOMPARE(again.sha256(), QCryptographicHash::hash(card, QCryptographicHash::Sha256).toHex());
}

QTEST_GUILESS_MAIN(TestLocalArchive)
#include "tst_localarchive.moc"
