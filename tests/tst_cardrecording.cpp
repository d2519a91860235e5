// A card recording as the tool reads it: names as a person reads their
// bytes, and the camera's wall-clock times as instants, daylight-saving
// changes included (in Europe/Berlin).
#include "cardrecording.h"

#include <QtTest>

#include <ctime>

class TestCardRecording : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void readsTheCamerasWallClock_data();
    void readsTheCamerasWallClock();
    void readsNamesAsAPersonDoes_data();
    void readsNamesAsAPersonDoes();
};

void TestCardRecording::initTestCase()
{
    qputenv("TZ", "Europe/Berlin");
    tzset();
}

void TestCardRecording::readsTheCamerasWallClock_data()
{
    QTest::addColumn<QByteArray>("camera");
    QTest::addColumn<QString>("utc"); // empty: no time can be read
    QTest::newRow("is a winter time an hour ahead of UTC?")
        << QByteArray("20250115103000") << "2025-01-15T09:30:00Z";
    QTest::newRow("is a summer time two hours ahead?")
        << QByteArray("20250715103000") << "2025-07-15T08:30:00Z";
    QTest::newRow("is a time the spring change skipped the instant the clocks jumped?")
        << QByteArray("20250330023000") << "2025-03-30T01:00:00Z";
    QTest::newRow("is the first second after the jump itself?")
        << QByteArray("20250330030000") << "2025-03-30T01:00:00Z";
    QTest::newRow("is a time the autumn change repeated the first of the two?")
        << QByteArray("20251026023000") << "2025-10-26T00:30:00Z";
    QTest::newRow("is the hour after the repeat read as ever?")
        << QByteArray("20251026033000") << "2025-10-26T02:30:00Z";
    for (const char* bad : {"", "2025033002300", "202503300230000", "2025-03-30 0230",
                            "20251326103000", "20250230103000", "20250101246000"})
        QTest::addRow("is \"%s\" no time?", bad) << QByteArray(bad) << "";
}

void TestCardRecording::readsTheCamerasWallClock()
{
    QFETCH(QByteArray, camera);
    QFETCH(QString, utc);
    const QDateTime read = cameraTime(camera);
    QCOMPARE(read.isValid(), !utc.isEmpty());
    if (read.isValid())
        QCOMPARE(read.toUTC(), QDateTime::fromString(utc, Qt::ISODate));
    // An info reply carries it, and says when it cannot be read.
    const CardRecording told =
        recordingFromInfo("A.MP4", "var create=\"" + camera + "\";\r\nvar size=\"42\";\r\n");
    QCOMPARE(told.created, read);
    QCOMPARE(told.createdText, camera);
    QCOMPARE(told.timeUnreadable(), !camera.isEmpty() && utc.isEmpty());
}

void TestCardRecording::readsNamesAsAPersonDoes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");
    QTest::newRow("is a plain name itself?") << QByteArray("H0001.MP4") << "H0001.MP4";
    QTest::newRow("is a UTF-8 name read as UTF-8?")
        << QByteArray("B\xc3\xa9.MP4") << QString::fromUtf8("Bé.MP4");
    QTest::newRow("is a GBK name read as GB18030?")
        << QByteArray("\xc2\xbc\xcf\xf1.MP4") << QString::fromUtf8("录像.MP4");
    QTest::newRow("is a name no encoding reads one character a byte?")
        << QByteArray("A\xff\xfe.MP4") << QString::fromLatin1("A\xff\xfe.MP4");
}

void TestCardRecording::readsNamesAsAPersonDoes()
{
    QFETCH(QByteArray, bytes);
    QTEST(cardNameText(bytes), "name");
    CardRecording recording("shown", 1, QDateTime());
    recording.cardName = bytes;
    QCOMPARE(recording.bytes(), bytes);
}

QTEST_GUILESS_MAIN(TestCardRecording)
#include "tst_cardrecording.moc"
