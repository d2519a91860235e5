// The window's card operations against the simulated device: listing,
// delete, delete all and format. Runs inside the private network only.
#include "mainwindow.h"
#include "screenshot.h"
#include "simdevice.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>
#include <utility>

using Lines = QList<QByteArray>;
using Rows = QList<int>;

namespace {

struct KnownFile
{
    const char* name;
    qint64 size;
    const char* utc;
    int seconds;
    const char* date;
    const char* sizeText;
};

// The size boundaries of the KB and MB forms, and one beyond 32 bits.
const KnownFile kKnownCard[] = {
    {"a.MP4", 1023, "2017-01-02T03:04:05", 61, "2017-01-02  03:04:05", "0KB"},
    {"b.MP4", 1048575, "2025-03-14T09:30:12", 0, "2025-03-14  09:30:12", "1023KB"},
    {"c.JPG", 1048576, "1999-12-31T23:59:59", 7, "1999-12-31  23:59:59", "1MB"},
    {"d.MP4", 1572864, "2024-02-29T12:00:00", 3600, "2024-02-29  12:00:00", "1MB"},
    {"e.MP4", 3LL << 30, "2038-01-19T03:14:08", 12884, "2038-01-19  03:14:08", "3072MB"},
};

} // namespace

class TestCard : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void listsAKnownCard();
    void listingCopesWithOddReplies_data();
    void listingCopesWithOddReplies();
    void changesTheCard_data();
    void changesTheCard();
    void knowsWhatIsSafeOnDisk();
    void listsACardWhoseServerEndsRepliesByClosing();
    void tableIsUsableWhileDetailsCome();
    void linkDownSendsNothing();
    void quittingDuringAStalledRequestEndsIt();

private:
    void addFile(const QByteArray& name, qint64 size, const char* utc = nullptr, int seconds = 0);
    void link()
    {
        click("pushButtonLinkMERRO");
        QVERIFY(window->isLinked());
        mark = sim->output.size();
    }
    void click(const char* name) { QTest::mouseClick(button(name), Qt::LeftButton); }
    // Lists the card and waits until every file's details came.
    void browse()
    {
        click("pushButtonEnterTFcard");
        QTRY_VERIFY_WITH_TIMEOUT(!window->isReadingCardDetails(), 20000);
    }
    QAbstractButton* button(const char* name) { return window->findChild<QAbstractButton*>(name); }
    QTableWidget* table() { return window->findChild<QTableWidget*>("tableWidgetFileInfo"); }
    QString status() { return window->statusBar()->currentMessage(); }
    // Whether the status bar says more than how many files are in DCIM/ already.
    bool problems()
    {
        static const QRegularExpression summary("\\d+ of the \\d+ listed files are already in"
                                                " DCIM/\\.$");
        return !status().remove(summary).isEmpty();
    }
    QStringList column(int c)
    {
        QStringList texts;
        for (int row = 0; row < table()->rowCount(); ++row)
            texts << (table()->item(row, c) ? table()->item(row, c)->text() : QString());
        return texts;
    }
    // The request lines the camera has received since `mark`.
    Lines gets()
    {
        [&] { QVERIFY(sim->command("stats")); }();
        return sim->lines("camera: GET ", mark);
    }

    std::unique_ptr<QTemporaryDir> work;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<SimDevice> sim;
    QTimer boxAnswerer;
    QMessageBox::StandardButton answer = QMessageBox::Yes;
    QStringList boxes; // "title|text", and "|No" when No is the default
    QString boxShot;   // a picture of the next box, under this name
    int mark = 0;
};

void TestCard::init()
{
    window.reset();
    work = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir::setCurrent(work->path()));
    sim = std::make_unique<SimDevice>();
    QVERIFY(sim->start({"--interval", "300"}));
    window = std::make_unique<MainWindow>();
    window->setCardDeadlines(3000, 10000);
    window->show();
    boxes.clear();
    answer = QMessageBox::Yes;
    boxAnswerer.disconnect();
    boxAnswerer.callOnTimeout(this, [this] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        const bool no = box->defaultButton() && box->defaultButton() == box->button(QMessageBox::No);
        boxes << box->windowTitle() + '|' + box->text() + (no ? "|No" : "");
        if (!boxShot.isEmpty())
            saveScreenshot(box, std::exchange(boxShot, QString()));
        QAbstractButton* choice = box->button(answer);
        (choice ? choice : box->button(QMessageBox::Ok))->click();
    });
    boxAnswerer.start(20);
}

void TestCard::addFile(const QByteArray& name, qint64 size, const char* utc, int seconds)
{
    QFile file(sim->cardPath() + '/' + name);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(size));
    if (utc) {
        QDateTime when = QDateTime::fromString(utc, Qt::ISODate);
        when.setTimeSpec(Qt::UTC);
        QVERIFY(file.setFileTime(when, QFileDevice::FileModificationTime));
    }
    QFile index(sim->cardPath() + "/.cardinfo");
    QVERIFY(index.open(QIODevice::Append));
    index.write(name + '\t' + QByteArray::number(seconds) + '\n');
}

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

void TestCard::changesTheCard_data()
{
    QTest::addColumn<QByteArray>("buttonName");
    QTest::addColumn<Rows>("selected");
    QTest::addColumn<Lines>("commands");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QStringList>("expectedBoxes");
    QTest::addColumn<Lines>("targets");
    QTest::addColumn<Rows>("rows");
    QTest::addColumn<Rows>("onCard");
    QTest::addColumn<bool>("status");
    const QByteArray one = "pushButtonDeleteFile";
    const QByteArray all = "pushButtonDeleteAllFiles";
    const QByteArray format = "pushButtonFormatCard";
    const Rows ten = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    const Rows rest = {0, 1, 3, 4, 6, 7, 8};
    const QString askOne = "Delete File|Delete the %1 selected files from the card?\n\n"
                           "%1 of the %1 selected recordings are not in DCIM/ yet.|No";
    const QString risk = "\n\n10 of the 10 recordings on the card are not in DCIM/ yet.|No";
    const QString askAll = "Delete All Files|Delete every file on the card?" + risk;
    const QString askFormat = "Format Card|Format the card? Every file on it will be lost." + risk;
    const Lines allTarget = {"/cgi-bin/hi3510/deleteallfiles.cgi?"};
    const Lines formatTarget = {"/cgi-bin/hi3510/sdcommand.cgi?-format&-partition=1"};
    QTest::newRow("rows 9, 5 and 2 go, in that order")
        << one << Rows{2, 9, 5} << Lines() << true << QStringList{askOne.arg(3)}
        << Lines{"R9.MP4", "R5.MP4", "R2.MP4"} << rest << rest << false;
    // The camera deleted the file but its reply broke off: the row stays.
    QTest::newRow("a broken reply keeps its row")
        << one << Rows{3, 6} << Lines{"camera fault close-early delete once"} << true
        << QStringList{askOne.arg(2)} << Lines{"R6.MP4", "R3.MP4"}
        << Rows{0, 1, 2, 4, 5, 6, 7, 8, 9} << Rows{0, 1, 2, 4, 5, 7, 8, 9} << true;
    QTest::newRow("a camera that stops answering costs one wait")
        << one << Rows{3, 6} << Lines{"camera fault stall delete"} << true
        << QStringList{askOne.arg(2)} << Lines{"R6.MP4"} << ten << ten << true;
    QTest::newRow("No deletes nothing") << one << Rows{1} << Lines() << false
                                        << QStringList{askOne.arg(1)} << Lines() << ten << ten
                                        << false;
    QTest::newRow("delete all confirmed")
        << all << Rows() << Lines() << true
        << QStringList{askAll, "单击消息|已删除卡内所有文件"} << allTarget << Rows()
        << Rows() << false;
    QTest::newRow("format confirmed")
        << format << Rows() << Lines() << true
        << QStringList{askFormat, "单击消息|格式化卡成功"} << formatTarget << Rows()
        << Rows() << false;
    QTest::newRow("delete all, Success alone")
        << all << Rows() << Lines{"camera body deleteall Success"} << true
        << QStringList{askAll} << allTarget << Rows() << Rows() << true;
    QTest::newRow("delete all declined") << all << Rows() << Lines() << false
                                         << QStringList{askAll} << Lines() << ten << ten << false;
}

void TestCard::changesTheCard()
{
    QFETCH(QByteArray, buttonName);
    QFETCH(Rows, selected);
    QFETCH(Lines, commands);
    QFETCH(bool, yes);
    QFETCH(Lines, targets);
    const auto names = [](const Rows& rows) {
        QStringList texts;
        for (int i : rows)
            texts << QStringLiteral("R%1.MP4").arg(i);
        return texts;
    };
    for (const QString& name : names({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}))
        addFile(name.toLatin1(), 1000);
    link();
    browse();
    for (const QByteArray& command : commands)
        QVERIFY(sim->command(command));
    for (int row : selected)
        table()->selectionModel()->select(table()->model()->index(row, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    answer = yes ? QMessageBox::Yes : QMessageBox::No;
    mark = sim->output.size();
    click(buttonName);

    QTEST(boxes, "expectedBoxes");
    for (QByteArray& target : targets) {
        if (buttonName == "pushButtonDeleteFile")
            target = "/cgi-bin/hi3510/deletefile.cgi?&-name=sd/DCIM/100TQCAM/" + target;
        target = "camera: GET " + target + " HTTP/1.1";
    }
    QCOMPARE(gets(), targets);
    QFETCH(Rows, rows);
    QFETCH(Rows, onCard);
    QCOMPARE(column(0), names(rows));
    QCOMPARE(QDir(sim->cardPath()).entryList(QDir::Files), names(onCard));
    QVERIFY(button("pushButtonDeleteFile")->isEnabled());
    QTEST(problems(), "status");
}

void TestCard::knowsWhatIsSafeOnDisk()
{
    // In DCIM/: A whole, B one byte short, C one byte longer; D only on the card.
    QVERIFY(QDir().mkdir("DCIM"));
    for (const auto& [name, size] : {std::pair("A.MP4", 1000), {"B.MP4", 2000}, {"C.MP4", 3000},
                                     {"D.MP4", 4000}}) {
        addFile(name, size);
        QFile copy(QString("DCIM/") + name);
        const int local = name[0] == 'A' ? size : name[0] == 'B' ? size - 1 : size + 1;
        QVERIFY(name[0] == 'D' || (copy.open(QIODevice::WriteOnly) && copy.resize(local)));
    }
    link();
    browse();
    const auto marked = [this] {
        QStringList texts;
        for (int row = 0; row < table()->rowCount(); ++row)
            texts << QString::number(!table()->item(row, 0)->icon().isNull())
                         + table()->item(row, 0)->toolTip();
        return texts;
    };
    QCOMPARE(marked(), (QStringList{"1A.MP4\nAlready in DCIM/",
                                    "0B.MP4\nDCIM/ holds a copy of another size (1999 bytes)",
                                    "0C.MP4\nDCIM/ holds a copy of another size (3001 bytes)",
                                    "0D.MP4"}));
    QCOMPARE(status(), QString("1 of the 4 listed files are already in DCIM/."));
    saveScreenshot(window.get(), "card-marked");

    table()->selectRow(3);
    click("pushButtonDownloadFile");
    QTRY_VERIFY(!table()->item(3, 0)->icon().isNull());
    QAction* notInDcim = table()->actions().value(0);
    QVERIFY(notInDcim && table()->contextMenuPolicy() == Qt::ActionsContextMenu);
    QTest::keyClick(window.get(), Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(table()->selectionModel()->selectedRows().size(), 2);
    QVERIFY(table()->item(1, 0)->isSelected() && table()->item(2, 0)->isSelected());

    // The question before a format counts what would be lost, as the disk
    // holds it then (D.MP4 arrived since the listing, A.MP4 goes); No sends nothing.
    answer = QMessageBox::No;
    mark = sim->output.size();
    const QString format("Format Card|Format the card? Every file on it will be lost.\n\n%1 of"
                         " the 4 recordings on the card are not in DCIM/ yet.|No");
    click("pushButtonFormatCard");
    QCOMPARE(boxes.value(0), format.arg(2));
    QVERIFY(QFile::remove("DCIM/A.MP4"));
    boxShot = "card-format-question";
    click("pushButtonFormatCard");
    QCOMPARE(boxes.value(1), format.arg(3));
    QCOMPARE(gets(), Lines());
    // A listing the camera cut short leaves the card's contents unknown.
    QVERIFY(sim->command("camera list cut=2"));
    browse();
    QCOMPARE(status(), QString("The camera counts 4 files but listed 2.  "
                               "0 of the 2 listed files are already in DCIM/."));
    click("pushButtonDeleteAllFiles");
    QVERIFY(boxes.value(2).endsWith("\n\nThe card's contents are not fully known: list the card"
                                    " to see which recordings are not in DCIM/ yet.|No"));
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
