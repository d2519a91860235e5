// The window's card listing against the simulated device: the requests, the
// rows, odd and hostile replies, a table usable while the details come, and
// no request while unlinked. Runs inside the private network only.
#include "cardwindow.h"

class TestCard : public CardWindowTest
{
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void listsAKnownCard();
    void listingCopesWithOddReplies_data();
    void listingCopesWithOddReplies();
    void listsACardWhoseServerEndsRepliesByClosing();
    void tableIsUsableWhileDetailsCome();
    void linkDownSendsNothing();
    void quittingDuringAStalledRequestEndsIt();
};

void TestCard::listsAKnownCard()
{
    QStringList names, dates, sizes, durations;
    Lines expected = {"camera: GET /cgi-bin/hi3510/getfilecount.cgi? HTTP/1.1",
                      "camera: GET /cgi-bin/hi3510/getfilelist.cgi?&-start=1&-end=5 HTTP/1.1"};
    for (const KnownFile& file : kKnownCard) {
        addFile(file.name, file.size, file.utc, file.seconds);
        names << file.name;
        dates << file.date;
        sizes << file.sizeText;
        durations << QString::number(file.seconds) + 's';
        expected << QByteArray("camera: GET /cgi-bin/hi3510/getfileinfo.cgi?&-name=sd/DCIM/"
                               "100TQCAM/") + file.name + " HTTP/1.1";
    }
    link();
    browse();

    QCOMPARE(column(0), names);
    QCOMPARE(column(1), dates);
    QCOMPARE(column(2), sizes);
    QCOMPARE(column(3), durations);
    for (int row = 0; row < 5; ++row) {
        QCOMPARE(table()->item(row, 2)->data(Qt::UserRole).toLongLong(), kKnownCard[row].size);
        QCOMPARE(table()->item(row, 1)->data(Qt::UserRole).toDateTime(),
                 QDateTime::fromString(kKnownCard[row].date, "yyyy-MM-dd  hh:mm:ss"));
    }
    QCOMPARE(table()->item(0, 1)->foreground().color(), QColor("gray"));
    QCOMPARE(table()->item(0, 2)->textAlignment(), int(Qt::AlignRight | Qt::AlignVCenter));
    QCOMPARE(status(), QString("0 of the 5 listed files are already in DCIM/."));
    QCOMPARE(gets(), expected);
    const QByteArray headers = " HTTP/1.1\\r\\nHost: " + qgetenv("MERRO_CAMERA_HOST")
                               + "\\r\\nAccept: */*\\r\\nAccept-Language: zh-CN\\r\\nConnection:"
                                 " Keep-Alive\\r\\nUser-Agent: SDK C++ http client\\r\\n\\r\\n";
    const Lines heads = sim->lines("camera: head ", mark);
    QCOMPARE(heads.size(), expected.size());
    for (const QByteArray& head : heads)
        QVERIFY2(head.endsWith(headers), head.constData());
    saveScreenshot(window.get(), "card-english");

    // Again, in Chinese, with hostile entries before the card's: the same
    // table, and a line on what was left out (its glyphs must render).
    window->findChild<QComboBox*>("comboBox")->setCurrentIndex(1);
    QVERIFY(sim->command("camera list hostile"));
    browse();
    QCOMPARE(column(1), dates);
    QCOMPARE(column(2), sizes);
    QVERIFY(status().startsWith(QStringLiteral("卡内文件列表中有 8 项被略去")));
    saveScreenshot(window.get(), "card-chinese");
}

void TestCard::listingCopesWithOddReplies_data()
{
    QTest::addColumn<Lines>("commands");
    QTest::addColumn<QByteArray>("listEnd");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("lastName");
    QTest::addColumn<QStringList>("sizes"); // of the first two rows
    QTest::addColumn<int>("infos");
    QTest::addColumn<bool>("status");
    const QStringList none = {"", ""};
    QTest::newRow("count of 0: list, but ask no details")
        << Lines{"camera body count var\\x20count=\"0\";\\r\\n",
                 "camera body list sd/DCIM/100TQCAM/A.MP4;sd/DCIM/100TQCAM/B.MP4;\\r\\n"}
        << QByteArray("0") << 2 << QString("B.MP4") << none << 0 << false;
    QTest::newRow("count without markers: empty count")
        << Lines{"camera body count count=2;"} << QByteArray() << 2 << QString("B.MP4") << none << 0
        << false;
    QTest::newRow("list starting with CR is empty, and short of the count")
        << Lines{"camera body list \\r\\nsd/DCIM/100TQCAM/A.MP4;\\r\\n"} << QByteArray("2") << 0
        << QString() << QStringList() << 0 << true;
    QTest::newRow("no more than 9999 rows")
        << Lines{"camera list huge=10005", "camera body count var\\x20count=\"\";"}
        << QByteArray() << 9999 << QString("HUGE09999.MP4") << none << 0 << true;
}

void TestCard::listingCopesWithOddReplies()
{
    QFETCH(Lines, commands);
    QFETCH(QByteArray, listEnd);
    QFETCH(int, rows);
    addFile("A.MP4", 5000);
    addFile("B.MP4", 2 << 20);
    for (const QByteArray& command : commands)
        QVERIFY(sim->command(command));
    link();
    browse();

    QCOMPARE(table()->rowCount(), rows);
    QTEST(rows ? table()->item(rows - 1, 0)->text() : QString(), "lastName");
    QTEST(QStringList(column(2).mid(0, 2)), "sizes");
    QTEST(problems(), "status");
    const Lines requests = gets();
    QCOMPARE(requests.value(1), "camera: GET /cgi-bin/hi3510/getfilelist.cgi?&-start=1&-end="
                                    + listEnd + " HTTP/1.1");
    QTEST(requests.size() - 2, "infos");
}

void TestCard::listsACardWhoseServerEndsRepliesByClosing()
{
    // No lengths, bodies in small pieces, a close at the end: the whole card, then a cut list.
    for (int i = 0; i < 300; ++i)
        addFile(QByteArray("REC_") + QByteArray::number(i).rightJustified(4, '0') + ".MP4", 1);
    QVERIFY(sim->command("camera fault close-delimited=64 cgi"));
    link();
    browse();
    QCOMPARE(table()->rowCount(), 300);
    QCOMPARE(table()->item(299, 0)->text(), QString("REC_0299.MP4"));
    QCOMPARE(table()->item(299, 2)->data(Qt::UserRole), QVariant(1LL));
    QCOMPARE(status(), QString("0 of the 300 listed files are already in DCIM/."));
    QVERIFY(sim->command("camera list cut=17"));
    browse();
    QCOMPARE(status(), QString("The camera counts 300 files but listed 17.  "
                               "0 of the 17 listed files are already in DCIM/."));
}

void TestCard::tableIsUsableWhileDetailsCome()
{
    // A camera that takes 100 ms for every request, and sizes that tell the files apart.
    const auto name = [](int i) { return QString("R%1.MP4").arg(i, 2, 10, QChar('0')); };
    for (int i = 0; i < 50; ++i)
        addFile(name(i).toLatin1(), 1000 + i);
    QVERIFY(sim->command("camera latency 100"));
    link();
    click("pushButtonEnterTFcard");
    QCOMPARE(table()->rowCount(), 50);
    QVERIFY(window->isReadingCardDetails() && button("pushButtonDownloadFile")->isEnabled()
            && button("checkBoxSelectAllFiles")->isEnabled());
    // The rows that scroll into view are asked for next.
    table()->scrollToBottom();
    QTRY_VERIFY(sim->lines("camera: served info", mark).size() >= 4);
    for (const QByteArray& line : sim->lines("camera: served info", mark).mid(1, 3))
        QVERIFY2(line.contains(" R4"), line.constData());

    // A download and a delete while the details come; the pass waits for each.
    table()->selectRow(30);
    click("pushButtonDownloadFile");
    QTRY_COMPARE(QFileInfo("DCIM/R30.MP4").size(), 1030);
    table()->selectRow(45);
    click("pushButtonDeleteFile");
    QCOMPARE(table()->rowCount(), 49);
    // A download that fails meanwhile: the end of the pass does not hide it.
    QVERIFY(sim->command("camera fault 404 file once"));
    table()->selectRow(31);
    click("pushButtonDownloadFile");
    const QString failed("0 of 1 files downloaded; not downloaded: R31.MP4 (the camera answered"
                         " 404)");
    QTRY_COMPARE(status(), failed);
    QVERIFY(window->isReadingCardDetails());
    QTRY_VERIFY_WITH_TIMEOUT(!window->isReadingCardDetails(), 20000);
    QCOMPARE(status(), failed);
    // Every row has its own file's details, the rows after the deleted one too.
    for (int row = 0; row < 49; ++row) {
        const int i = row < 45 ? row : row + 1;
        QCOMPARE(table()->item(row, 0)->text(), name(i));
        QCOMPARE(table()->item(row, 2)->data(Qt::UserRole), QVariant(1000LL + i));
    }
    mark = sim->output.size();
    QVERIFY(sim->command("stats"));
    QVERIFY(sim->lines("sim: ok stats", mark).value(0).endsWith(" overlaps=0"));
}

void TestCard::linkDownSendsNothing()
{
    table()->setRowCount(1);
    table()->setItem(0, 0, new QTableWidgetItem("A.MP4"));
    table()->selectRow(0);
    for (const char* name : {"pushButtonEnterTFcard", "pushButtonDeleteFile",
                             "pushButtonDeleteAllFiles", "pushButtonFormatCard"})
        click(name);
    QCOMPARE(gets(), Lines());
    QCOMPARE(boxes, QStringList());
    QCOMPARE(table()->rowCount(), 1);
}

void TestCard::quittingDuringAStalledRequestEndsIt()
{
    link();
    window->setCardDeadlines(60000, 60000);
    button("pushButtonDownloadFile")->setEnabled(false); // as a running download queue does
    QVERIFY(sim->command("camera fault stall count"));
    bool busy = false;
    QTimer::singleShot(0, this, [this] { click("pushButtonEnterTFcard"); });
    QTimer watcher;
    watcher.callOnTimeout(this, [&] {
        if (!sim->output.contains("camera: fault stall"))
            return;
        watcher.stop();
        busy = QApplication::overrideCursor() && !button("pushButtonEnterTFcard")->isEnabled();
        window->close();
    });
    watcher.start(20);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY2(clock.elapsed() < 30000, "the stalled request ran to its deadline");
    QVERIFY(busy);
    QVERIFY(!QApplication::overrideCursor());
    QVERIFY(button("pushButtonEnterTFcard")->isEnabled());
    QVERIFY(!button("pushButtonDownloadFile")->isEnabled());
}

QTEST_MAIN(TestCard)
#include "tst_card.moc"
