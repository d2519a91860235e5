// The window's sync: on each link, a link lost mid-way, freeing the card of
// what is safe. Against the simulated device, private network.
#include "mainwindow.h"
#include "synccard.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

using namespace synccard;

class TestWindowSync : public SyncTest
{
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }
    void windowSyncsOnEachLink();
    void aSyncWaitingForDetailsEndsWithTheLink();
};

void TestWindowSync::windowSyncsOnEachLink()
{
    // The newest is in DCIM/ already; each link downloads what is not.
    QVERIFY(QDir().mkpath("DCIM"));
    QFile copy("DCIM/A_NEW.MP4");
    QVERIFY(copy.open(QIODevice::WriteOnly) && copy.write(card("A_NEW.MP4")) && copy.flush()
            && copy.setFileTime(QDateTime::fromString("2025-03-01T10:00:00Z", Qt::ISODate),
                                QFileDevice::FileModificationTime));
    copy.close();
    // Slow enough for the link to be lost within the large one.
    QVERIFY(sim->command("camera rate 200000"));
    auto window = std::make_unique<MainWindow>();
    window->setSyncOnLink(true);
    window->show();
    auto* bar = window->findChild<QProgressBar*>("progressBarDownLoad");
    auto* indicator = window->findChild<QLineEdit*>("lineEditLinkMERRO");
    QTest::mouseClick(window->findChild<QPushButton*>("pushButtonLinkMERRO"), Qt::LeftButton);
    const QString part = work->filePath("DCIM/partial downloads/B_MID.MP4");
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(part).size() > 300000, 10000);

    // A link lost mid-way ends the run as a cancel does; the next link goes on.
    QVERIFY(sim->command("control heartbeat off"));
    QTRY_VERIFY_WITH_TIMEOUT(indicator->text() == "Link Fail!" && bar->isHidden(), 10000);
    const qint64 kept = QFileInfo(part).size();
    QVERIFY2(window->statusBar()->currentMessage().startsWith("Cancelled: 1 of "),
             qPrintable(window->statusBar()->currentMessage()));
    const int from = sim->output.size();
    QVERIFY(sim->command("camera rate 0") && sim->command("control heartbeat on"));
    QTRY_VERIFY_WITH_TIMEOUT(local("B_MID.MP4") == card("B_MID.MP4"), 15000);
    QTRY_VERIFY(bar->isHidden());
    QVERIFY(sim->output.mid(from).contains("B_MID.MP4 bytes " + QByteArray::number(kept) + '-'));
    // (Those whose details came first were not queued at all.)
    QVERIFY2(window->statusBar()->currentMessage().startsWith("1 of 1 files downloaded"),
             qPrintable(window->statusBar()->currentMessage()));

    // Freed of what is safe (by its shortcut), after a question: what left
    // DCIM/ meanwhile stays.
    QFile::remove("DCIM/C_OLD.MP4");
    QStringList asked;
    QTimer answer;
    answer.callOnTimeout(this, [&asked] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            asked << box->text();
            box->button(QMessageBox::Yes)->click();
        }
    });
    answer.start(20);
    auto* menu = window->findChild<QToolButton*>("toolButtonSync");
    QVERIFY(menu && menu->isVisible() && window->statusBar()->isAncestorOf(menu)
            && menu->menu()->actions().size() == 5);
    QTest::keyClick(window.get(), Qt::Key_Delete, Qt::ControlModifier | Qt::ShiftModifier);
    QTRY_COMPARE(asked.size(), 1);
    QVERIFY2(asked[0].startsWith("Delete the 2 recordings already in DCIM/ from the card? This"
                                 " frees 2.19 MiB.\n\n1 recordings stay on the card: they are"
                                 " not in DCIM/ yet."), qPrintable(asked[0]));
    QTRY_COMPARE(QDir(sim->cardPath()).entryList(QDir::Files), QStringList{"C_OLD.MP4"});
    auto* table = window->findChild<QTableWidget*>("tableWidgetFileInfo");
    QCOMPARE(table->rowCount(), 1);
}

void TestWindowSync::aSyncWaitingForDetailsEndsWithTheLink()
{
    // Many new files on a slow camera: the sync on link waits for their
    // details, and the link is lost meanwhile.
    for (int i = 0; i < 30; ++i)
        QVERIFY(QFile(sim->cardPath() + QString("/N%1.MP4").arg(i, 2, 10, QChar('0')))
                    .open(QIODevice::WriteOnly));
    QVERIFY(sim->command("camera latency 300"));
    auto window = std::make_unique<MainWindow>();
    window->setSyncOnLink(true);
    window->show();
    auto* indicator = window->findChild<QLineEdit*>("lineEditLinkMERRO");
    QTest::mouseClick(window->findChild<QPushButton*>("pushButtonLinkMERRO"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(window->isReadingCardDetails(), 5000);
    QVERIFY(sim->command("control heartbeat off"));
    QTRY_VERIFY_WITH_TIMEOUT(indicator->text() == "Link Fail!", 10000);
    // The details may still come; no download starts unlinked.
    QTRY_VERIFY_WITH_TIMEOUT(!window->isReadingCardDetails(), 20000);
    QTest::qWait(500);
    QVERIFY(sim->command("stats"));
    QCOMPARE(sim->lines("camera: served file"), QList<QByteArray>());
    QVERIFY(!window->findChild<QProgressBar*>("progressBarDownLoad")->isVisible());
}

QTEST_MAIN(TestWindowSync)
#include "tst_windowsync.moc"
