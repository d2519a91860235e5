// The window shell: its texts in both languages and their catalogues, the
// displays, the file table and its selection. Nothing here touches the network.

#include "mainwindow.h"
#include "screenshot.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

namespace {

// The window's own texts in both languages, and the widget that shows each
// from the start (none: shown later).
struct Text
{
    const char* source;
    const char* chinese;
    const char* widget;
};

const char* const kTable = "tableWidgetFileInfo";
const Text kTexts[] = {
    {"language:", "语言：", "label_language"}, {"HardwareType:", "硬件类型：", "label_1"},
    {"HardwareVersion:", "硬件版本：", "label_2"}, {"SoftwareVersion:", "软件版本：", "label_3"},
    {"ProtocolVersion:", "协议版本：", "label_4"},
    {"BootloaderVersion:", "Bootloader版本：", "label_5"},
    {"Link Device", "连接设备", "pushButtonLinkMERRO"},
    {"Browse Files in Card", "浏览相机卡内文件", "pushButtonEnterTFcard"},
    {"Download File", "下载选中文件", "pushButtonDownloadFile"},
    {"Delete File", "删除选中文件", "pushButtonDeleteFile"},
    {"Delete All Files", "删除卡内所有文件", "pushButtonDeleteAllFiles"},
    {"Format Card", "格式化卡", "pushButtonFormatCard"},
    {"Select All", "全选", "checkBoxSelectAllFiles"}, {"File Operate", "文件操作", "groupBoxFile"},
    {"Version Information", "版本信息", "groupBoxVersionInfo"}, {"Name", "名称", kTable},
    {"Date", "日期", kTable}, {"Size", "大小", kTable}, {"Duration", "时长", kTable},
    {"Link Success!", "连接成功！", nullptr}, {"Link Fail!", "连接失败！", nullptr},
    {"Download Progress:", "下载进度：", nullptr},
};

// The texts of the list above that their widgets do not show in that language.
QStringList wrongTexts(QMainWindow* window, bool chinese)
{
    QStringList wrong;
    int column = 0;
    for (const Text& t : kTexts) {
        if (!t.widget)
            continue;
        QWidget* w = window->findChild<QWidget*>(t.widget);
        auto* table = qobject_cast<QTableWidget*>(w);
        const QString shown = table ? table->horizontalHeaderItem(column++)->text()
                              : w   ? w->property(w->inherits("QGroupBox") ? "title" : "text")
                                        .toString()
                                    : QString();
        if (shown != (chinese ? QString::fromUtf8(t.chinese) : QString::fromLatin1(t.source)))
            wrong << t.source + (" shows " + shown);
    }
    return wrong;
}

// The darkest grey level of the text a line edit shows: of the pixels it changes.
int darkestText(QLineEdit* edit, const QString& text)
{
    edit->clear();
    const QImage empty = edit->grab().toImage();
    edit->setText(text);
    const QImage shown = edit->grab().toImage();
    edit->clear();
    int darkest = 255;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            if (shown.pixel(x, y) != empty.pixel(x, y))
                darkest = qMin(darkest, qGray(shown.pixel(x, y)));
    return darkest;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // A palette that greys disabled text, as the desktop's does.
        QApplication::setStyle(QStringLiteral("Fusion"));
        QApplication::setPalette(QApplication::style()->standardPalette());
    }

    void init()
    {
        window = std::make_unique<MainWindow>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        table = window->findChild<QTableWidget*>(kTable);
    }

    void displaysAreBlackAndTakeNoInput()
    {
        for (const char* name : {"lineEditLinkMERRO", "lineEditHardType", "lineEditHardVer",
                                 "lineEditSoftVer", "lineEditProtocolVer", "lineEditBootVer",
                                 "lineEditDownloadLabel", "lineEditDownloadProgress"}) {
            auto* edit = child<QLineEdit>(name);
            edit->setFocus();
            QTest::keyClicks(edit, QStringLiteral("abc"));
            QVERIFY2(!edit->hasFocus() && edit->text().isEmpty(), name);
            // Disabled, yet its text shows black, not in the grey of a disabled control.
            QVERIFY2(darkestText(edit, QStringLiteral("MMMM")) < 40, name);
        }
        saveScreenshot(window.get(), QStringLiteral("window-english"));
    }

    void controlsReachTheirSlots()
    {
        // Connected by name, and to nothing else of the window.
        const auto reaches = [this](const char* name, const char* signal, const QByteArray& slot) {
            QWidget* control = child<QWidget>(name);
            QObject* w = window.get();
            return !QObject::connect(control, signal, w, "1" + slot, Qt::UniqueConnection)
                   && QObject::disconnect(control, signal, w, "1" + slot)
                   && !QObject::disconnect(control, nullptr, w, nullptr);
        };
        for (const QByteArray name : {"LinkMERRO", "EnterTFcard", "DownloadFile", "DeleteFile",
                                      "DeleteAllFiles", "FormatCard"})
            QVERIFY2(reaches("pushButton" + name, "2clicked(bool)",
                             "on_pushButton" + name + "_clicked()"), name);
        QVERIFY(reaches("checkBoxSelectAllFiles", "2stateChanged(int)",
                        "on_checkBoxSelectAllFiles_stateChanged(int)"));
    }

    void cataloguesHoldTheWindowsTexts()
    {
        // Exactly, in the compiled catalogues (tests/catalogues.sh: that every text has one).
        QTranslator zh;
        QTranslator en;
        QVERIFY(zh.load(QStringLiteral(":/translation/merro_chinese.qm")));
        QVERIFY(en.load(QStringLiteral(":/translation/merro_english.qm")));
        for (const Text& t : kTexts) {
            QCOMPARE(zh.translate("MainWindow", t.source), QString::fromUtf8(t.chinese));
            QCOMPARE(en.translate("MainWindow", t.source), QString::fromLatin1(t.source));
        }
        QVERIFY(!QPixmap(QStringLiteral(":/Images/appicon.png")).isNull());
    }

    void languageSwitchChangesTheWindowsOwnTextsOnly()
    {
        QCOMPARE(wrongTexts(window.get(), false), QStringList());
        fillRows(3);
        auto* link = child<QLineEdit>("lineEditLinkMERRO");
        link->setText(QStringLiteral("Link Fail!"));
        // As the tool's start sets it; a switch that re-ran the whole form would reset it.
        window->setWindowTitle(QStringLiteral("MERRO-DownLoad"));
        child<QComboBox>("comboBox")->setCurrentText(QStringLiteral("Chinese"));
        QCOMPARE(wrongTexts(window.get(), true), QStringList());
        saveScreenshot(window.get(), QStringLiteral("window-chinese"));
        // Texts of other moments keep the language they were set in.
        QCOMPARE(link->text(), QStringLiteral("Link Fail!"));
        QCOMPARE(window->windowTitle(), QStringLiteral("MERRO-DownLoad"));
        QCOMPARE(child<QComboBox>("comboBox")->currentText(), QStringLiteral("Chinese"));
        QCOMPARE(table->item(1, 0)->text(), QStringLiteral("REC_1.MP4"));
        child<QComboBox>("comboBox")->setCurrentText(QStringLiteral("English"));
        QCOMPARE(wrongTexts(window.get(), false), QStringList());
    }

    void rowsAreSelectedWholeOrAllAtOnce()
    {
        // A double click selects a whole row and opens no editor.
        fillRows(6);
        clickRow(2, Qt::NoModifier);
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {},
                           table->visualRect(table->model()->index(2, 1)).center());
        QVERIFY(!table->findChild<QLineEdit*>());
        QCOMPARE(table->selectionModel()->selectedIndexes().size(), 4);
        auto* box = child<QCheckBox>("checkBoxSelectAllFiles");
        box->setChecked(true);
        QCOMPARE(selectedRows(), 6);
        // Hand selection in between leaves the box alone; unchecking clears it all.
        clickRow(3, Qt::NoModifier);
        clickRow(1, Qt::ControlModifier);
        QVERIFY(box->isChecked());
        box->setChecked(false);
        QCOMPARE(selectedRows(), 0);
        clickRow(0, Qt::NoModifier);
        box->setChecked(true);
        QCOMPARE(selectedRows(), 6);
    }

    void selectionIsRecordedLargestFirst_data()
    {
        QTest::addColumn<QList<int>>("ctrlClicks");
        QTest::addColumn<int>("shiftTo");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("are Ctrl-clicks 2, 7, 4 kept as 7, 4, 2?")
            << QList<int>{2, 7, 4} << -1 << QList<int>{7, 4, 2};
        QTest::newRow("is a Shift-range 0..5 kept as 5..0?")
            << QList<int>{0} << 5 << QList<int>{5, 4, 3, 2, 1, 0};
        QTest::newRow("does a row clicked off again go?")
            << QList<int>{6, 3, 6} << -1 << QList<int>{3};
        QTest::newRow("is nothing selected an empty record?") << QList<int>{} << -1 << QList<int>{};
    }

    void selectionIsRecordedLargestFirst()
    {
        QFETCH(QList<int>, ctrlClicks);
        QFETCH(int, shiftTo);
        QFETCH(QList<int>, expected);
        fillRows(10);
        for (int row : ctrlClicks)
            clickRow(row, Qt::ControlModifier);
        if (shiftTo >= 0)
            clickRow(shiftTo, Qt::ShiftModifier);
        QVERIFY(QMetaObject::invokeMethod(window.get(), "GetSelectedFiles"));
        QCOMPARE(window->selectionCount(), expected.size());
        QCOMPARE(window->selectionCursor(), 0);
        for (int i = 0; i < MainWindow::kMaxFiles; ++i)
            QCOMPARE(window->selectionRow(i), expected.value(i));
    }

    void selectionIsBoundedByCapacity()
    {
        // More rows than the record holds: it fills up and stops.
        table->setRowCount(MainWindow::kMaxFiles + 5);
        table->selectAll();
        QVERIFY(QMetaObject::invokeMethod(window.get(), "GetSelectedFiles"));
        QCOMPARE(window->selectionCount(), MainWindow::kMaxFiles);
        QCOMPARE(window->selectionRow(0), MainWindow::kMaxFiles - 1);
        QCOMPARE(window->selectionRow(MainWindow::kMaxFiles - 1), 0);
    }

    void unlinkedCardButtonsDoNothing()
    {
        fillRows(4);
        table->selectAll();
        for (const char* name : {"pushButtonEnterTFcard", "pushButtonDownloadFile",
                                 "pushButtonDeleteFile", "pushButtonDeleteAllFiles",
                                 "pushButtonFormatCard"}) {
            QTest::mouseClick(child<QPushButton>(name), Qt::LeftButton);
            QVERIFY2(!QApplication::activeModalWidget(), name);
        }
        QCOMPARE(table->rowCount(), 4);
        QVERIFY(child<QProgressBar>("progressBarDownLoad")->isHidden());
        QVERIFY(window->findChildren<QThread*>().isEmpty());
    }

private:
    template<typename T>
    T* child(const char* name) { return window->findChild<T*>(QLatin1String(name)); }
    void fillRows(int count)
    {
        table->setRowCount(count);
        for (int r = 0; r < count; ++r)
            table->setItem(r, 0, new QTableWidgetItem(QStringLiteral("REC_%1.MP4").arg(r)));
    }

    void clickRow(int row, Qt::KeyboardModifiers modifiers)
    {
        const QRect rect = table->visualRect(table->model()->index(row, 1));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, modifiers, rect.center());
    }

    int selectedRows() const { return table->selectionModel()->selectedRows().size(); }

    std::unique_ptr<MainWindow> window;
    QTableWidget* table = nullptr;
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
