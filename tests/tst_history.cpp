// The window's history of its download folder: the journal newest first in
// the window's language, its filter, a recording's folder opened, and a
// verify on a thread of its own that marks what changed or went and stops
// when asked, when the dialog closes and when the window goes.

#include "journal.h"
#include "mainwindow.h"
#include "screenshot.h"
#include "sha256.h"

#include <QtTest>
#include <QtWidgets>

#include <ctime>
#include <memory>

namespace {

enum Column { When, What, Name, File, Size, State };

const QDateTime kStart(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC);

QByteArray sha256Of(const QByteArray& bytes)
{
    Sha256 hash;
    hash.add(bytes);
    return hash.result().toHex();
}

JournalEntry line(JournalEntry::Kind kind, int minute, const QByteArray& card,
                  const QString& path)
{
    JournalEntry entry;
    entry.kind = kind;
    entry.at = kStart.addSecs(60 * minute);
    entry.card = card;
    entry.size = 4;
    entry.created = "20260102110405";
    entry.path = path;
    return entry;
}

} // namespace

class TestHistory : public QObject
{
    Q_OBJECT

public slots:
    void opened(const QUrl& url) { urls << url; }

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void showsTheJournalNewestFirst();
    void verifyMarksWhatChangedOrWent();
    void aLongVerifyCancelsAndStops();
    void theChineseWindowShowsItInChinese();

private:
    QDialog* openHistory();
    QStringList column(int column) const;
    QTableWidget* table() const { return dialog->findChild<QTableWidget*>("tableHistory"); }
    QPushButton* button(const char* name) const { return dialog->findChild<QPushButton*>(name); }
    QString summary() const { return dialog->findChild<QLabel*>("labelHistorySummary")->text(); }
    void verify();

    // Three arrivals (the name of the second in GB18030), one kept beside,
    // one freed, one removed; the second changed since, the third gone.
    void writeSmallArchive();
    void save(int minute, const QByteArray& card, const QString& path, const QByteArray& bytes);

    std::unique_ptr<QTemporaryDir> dir;
    QString folder;
    std::unique_ptr<MainWindow> window;
    QDialog* dialog = nullptr;
    QList<QUrl> urls;
};

void TestHistory::initTestCase()
{
    // Eight hours east of UTC, without daylight saving: local times differ from UTC.
    qputenv("TZ", "CST-8");
    tzset();
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "opened");
}

void TestHistory::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    folder = dir->path() + QLatin1Char('/');
    window = std::make_unique<MainWindow>();
    window->setDownloadFolder(folder);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    urls.clear();
}

void TestHistory::cleanup()
{
    window.reset();
    dir.reset();
}

QDialog* TestHistory::openHistory()
{
    // The shortcut works where the window is the active one.
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window.get()))
        return nullptr;
    QTest::keyClick(window.get(), Qt::Key_H, Qt::ControlModifier | Qt::ShiftModifier);
    dialog = window->findChild<QDialog*>(QStringLiteral("dialogHistory"));
    if (dialog && !QTest::qWaitForWindowExposed(dialog))
        return nullptr;
    return dialog;
}

QStringList TestHistory::column(int column) const
{
    QStringList texts;
    for (int row = 0; row < table()->rowCount(); ++row) {
        if (!table()->isRowHidden(row))
            texts << table()->item(row, column)->text();
    }
    return texts;
}

void TestHistory::verify()
{
    QTest::mouseClick(button("pushButtonHistoryVerify"), Qt::LeftButton);
    QTRY_VERIFY(!dialog->findChild<QThread*>());
}

void TestHistory::save(int minute, const QByteArray& card, const QString& path,
                       const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(folder + path).absolutePath());
    QFile file(folder + path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    JournalEntry saved = line(JournalEntry::Kind::Saved, minute, card, path);
    saved.size = bytes.size();
    saved.sha256 = sha256Of(bytes);
    QVERIFY(Journal::append(folder, saved));
}

void TestHistory::writeSmallArchive()
{
    save(0, "A0001.MP4", "A0001.MP4", "aaaa");
    save(1, "\xc2\xbc\xcf\xf1.MP4", QString::fromUtf8("day2/录像.MP4"), "bbbb");
    save(2, "C0003.MP4", "C0003.MP4", "cccc");
    JournalEntry beside = line(JournalEntry::Kind::Beside, 3, "H0001.MP4",
                               "H0001_20260102-030405.MP4");
    beside.beside = "H0001.MP4";
    JournalEntry freed = line(JournalEntry::Kind::Freed, 4, "A0001.MP4", "A0001.MP4");
    freed.note = "last 64 KiB";
    JournalEntry removed = line(JournalEntry::Kind::Removed, 6, "OLD.MP4", "OLD.MP4");
    removed.note = "older than 30 days";
    for (const JournalEntry& entry : {beside, freed, removed})
        QVERIFY(Journal::append(folder, entry));
    QFile changed(folder + QString::fromUtf8("day2/录像.MP4"));
    QVERIFY(changed.open(QIODevice::WriteOnly) && changed.write("bbbB") == 4);
    QVERIFY(QFile::remove(folder + "C0003.MP4"));
}

void TestHistory::showsTheJournalNewestFirst()
{
    writeSmallArchive();
    QVERIFY(openHistory() && dialog->isVisible());
    QCOMPARE(column(What), QStringList({"Removed by retention", "Freed from the card",
                                        "Kept beside an older recording", "Arrived", "Arrived",
                                        "Arrived"}));
    const QStringList names = {"OLD.MP4",   "A0001.MP4", "H0001.MP4",
                               "C0003.MP4", "录像.MP4",  "A0001.MP4"};
    QCOMPARE(column(Name), names);
    QCOMPARE(column(When).first(), QStringLiteral("2026-01-02 11:10:05"));
    QCOMPARE(column(Size).first(), QStringLiteral("4 bytes"));
    QCOMPARE(column(State), QStringList({"", "", "", "", "", ""}));

    // By name, file or local date, in any case.
    auto* filter = dialog->findChild<QLineEdit*>("lineEditHistoryFilter");
    const QPair<QString, QStringList> filters[] = {
        {"a0001", {"A0001.MP4", "A0001.MP4"}}, {"录像", {"录像.MP4"}},
        {"11:10", {"OLD.MP4"}},                {"20260102-0304", {"H0001.MP4"}},
        {"", names},
    };
    for (const auto& f : filters) {
        filter->setText(f.first);
        QCOMPARE(column(Name), f.second);
    }

    // The folder of the selected row's file, by the button or a double click.
    QPushButton* open = button("pushButtonHistoryOpen");
    QVERIFY(!open->isEnabled());
    const auto cell = [this](int row) {
        return table()->visualRect(table()->model()->index(row, Name)).center();
    };
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, cell(4));
    QVERIFY(open->isEnabled());
    QTest::mouseClick(open, Qt::LeftButton);
    QCOMPARE(urls, QList<QUrl>{QUrl::fromLocalFile(folder + "day2")});
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, cell(5));
    QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, cell(5));
    QCOMPARE(urls.value(1), QUrl::fromLocalFile(dir->path()));
    saveScreenshot(dialog, QStringLiteral("history-english"));
}

void TestHistory::verifyMarksWhatChangedOrWent()
{
    writeSmallArchive();
    QVERIFY(openHistory());
    verify();
    QCOMPARE(column(State), QStringList({"", "", "", "Missing", "Changed since it arrived",
                                         "Holds its checksum"}));
    QCOMPARE(summary(), QStringLiteral("Checksums held: 1; changed: 1; missing: 1."));
    QVERIFY(dialog->findChild<QProgressBar*>("progressBarHistory")->isHidden());
    saveScreenshot(dialog, QStringLiteral("history-verified"));
}

void TestHistory::aLongVerifyCancelsAndStops()
{
    // Big files of zeros (sparse on disk), hashed without the processor's help.
    constexpr int kFiles = 32;
    constexpr qint64 kSize = 32 * 1024 * 1024;
    Sha256::setAccelerated(false);
    Sha256 zeros;
    const QByteArray block(1024 * 1024, '\0');
    for (qint64 i = 0; i < kSize / block.size(); ++i)
        zeros.add(block);
    const QByteArray sha = zeros.result().toHex();
    for (int i = 0; i < kFiles; ++i) {
        const QString name = QStringLiteral("BIG%1.MP4").arg(i);
        QFile file(folder + name);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(kSize));
        JournalEntry saved = line(JournalEntry::Kind::Saved, i, name.toLatin1(), name);
        saved.size = kSize;
        saved.sha256 = sha;
        QVERIFY(Journal::append(folder, saved));
    }
    QVERIFY(openHistory());
    auto* bar = dialog->findChild<QProgressBar*>("progressBarHistory");
    QPushButton* verifyButton = button("pushButtonHistoryVerify");

    // The window goes on while the thread hashes: its progress arrives.
    QTest::mouseClick(verifyButton, Qt::LeftButton);
    // A file or two at a time, however slow a build (the sanitizers') hashes.
    QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0, 30000);
    const QThread* running = dialog->findChild<QThread*>();
    QVERIFY(running && running->isRunning() && bar->isVisible());
    QCOMPARE(verifyButton->text(), QStringLiteral("Cancel"));
    saveScreenshot(dialog, QStringLiteral("history-verifying"));
    QTest::mouseClick(verifyButton, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->findChild<QThread*>(), 2000);
    const int marked = kFiles - column(State).count(QString());
    QVERIFY2(marked > 0 && marked < kFiles, qPrintable(QString::number(marked)));
    QVERIFY2(summary().startsWith("Cancelled: "), qPrintable(summary()));
    QCOMPARE(verifyButton->text(), QStringLiteral("Verify"));

    // Closing the dialog stops and joins it.
    QTest::mouseClick(verifyButton, Qt::LeftButton);
    QPointer<QThread> thread = dialog->findChild<QThread*>();
    QVERIFY(thread);
    dialog->close();
    QVERIFY(thread.isNull() && !dialog->isVisible());

    // So does the window's end.
    QVERIFY(openHistory());
    QTest::mouseClick(verifyButton, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0, 30000);
    QElapsedTimer clock;
    clock.start();
    window.reset();
    QVERIFY2(clock.elapsed() < 1000 * MERRO_TIME_SCALE,
             qPrintable(QString::number(clock.elapsed())));
    Sha256::setAccelerated(true);
}

void TestHistory::theChineseWindowShowsItInChinese()
{
    writeSmallArchive();
    QVERIFY(openHistory());
    verify();
    window->findChild<QComboBox*>("comboBox")->setCurrentText(QStringLiteral("Chinese"));
    QCOMPARE(window->findChild<QAction*>("actionHistory")->text(), QStringLiteral("历史记录..."));
    QStringList headers;
    for (int c = When; c <= State; ++c)
        headers << table()->horizontalHeaderItem(c)->text();
    QCOMPARE(headers, QStringList({"时间", "事件", "名称", "文件", "大小", "校验和"}));
    QCOMPARE(column(What), QStringList({"已按保留期限删除", "已从卡中删除", "另存于同名旧录像旁",
                                        "已下载", "已下载", "已下载"}));
    QCOMPARE(column(State), QStringList({"", "", "", "缺失", "下载后已被改动", "校验和一致"}));
    QCOMPARE(column(Size).first(), QStringLiteral("4 字节"));
    QCOMPARE(summary(), QStringLiteral("校验和一致：1 个；已改动：1 个；缺失：1 个。"));
    QCOMPARE(button("pushButtonHistoryVerify")->text(), QStringLiteral("校验"));
    QCOMPARE(button("pushButtonHistoryOpen")->text(), QStringLiteral("打开文件夹"));
    saveScreenshot(dialog, QStringLiteral("history-chinese"));
}

QTEST_MAIN(TestHistory)
#include "tst_history.moc"
