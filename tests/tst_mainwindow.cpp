// The window shell: form, texts in both languages, file table and selection.
// Nothing here touches the network; the link button is never pressed.

#include "mainwindow.h"
#include "nofocusdelegate.h"
#include "screenshot.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

namespace {

struct Entry
{
    const char* source;
    const char* chinese;
};

const Entry kCatalogue[] = {
    {"language:", "语言："},
    {"HardwareType:", "硬件类型："},
    {"HardwareVersion:", "硬件版本："},
    {"SoftwareVersion:", "软件版本："},
    {"ProtocolVersion:", "协议版本："},
    {"BootloaderVersion:", "Bootloader版本："},
    {"Link Device", "连接设备"},
    {"Browse Files in Card", "浏览相机卡内文件"},
    {"Download File", "下载选中文件"},
    {"Delete File", "删除选中文件"},
    {"Delete All Files", "删除卡内所有文件"},
    {"Format Card", "格式化卡"},
    {"Select All", "全选"},
    {"File Operate", "文件操作"},
    {"Version Information", "版本信息"},
    {"Name", "名称"},
    {"Date", "日期"},
    {"Size", "大小"},
    {"Duration", "时长"},
    {"Link Success!", "连接成功！"},
    {"Link Fail!", "连接失败！"},
    {"Download Progress:", "下载进度："},
};

// Each text that the language switch owns: how to read it from the window.
struct OwnedText
{
    const char* objectName;
    const char* source;
};

const OwnedText kOwnedTexts[] = {
    {"label_language", "language:"},
    {"label_1", "HardwareType:"},
    {"label_2", "HardwareVersion:"},
    {"label_3", "SoftwareVersion:"},
    {"label_4", "ProtocolVersion:"},
    {"label_5", "BootloaderVersion:"},
    {"pushButtonLinkMERRO", "Link Device"},
    {"pushButtonEnterTFcard", "Browse Files in Card"},
    {"pushButtonDownloadFile", "Download File"},
    {"pushButtonDeleteFile", "Delete File"},
    {"pushButtonDeleteAllFiles", "Delete All Files"},
    {"pushButtonFormatCard", "Format Card"},
    {"checkBoxSelectAllFiles", "Select All"},
    {"groupBoxFile", "File Operate"},
    {"groupBoxVersionInfo", "Version Information"},
};

QString chineseFor(const char* source)
{
    for (const Entry& e : kCatalogue) {
        if (qstrcmp(e.source, source) == 0)
            return QString::fromUtf8(e.chinese);
    }
    return {};
}

QString widgetText(QWidget* w)
{
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return b->text();
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    if (auto* g = qobject_cast<QGroupBox*>(w))
        return g->title();
    return {};
}

QStringList headerLabels(QTableWidget* table)
{
    QStringList labels;
    for (int c = 0; c < table->columnCount(); ++c)
        labels << table->horizontalHeaderItem(c)->text();
    return labels;
}

// Lists the connections that leave one object, as Qt prints them.
QStringList outgoingConnections(QObject* object)
{
    static QStringList* sink = nullptr;
    QStringList lines;
    sink = &lines;
    QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& message) {
            sink->append(message.split(QLatin1Char('\n')));
        });
    object->dumpObjectInfo();
    qInstallMessageHandler(previous);
    sink = nullptr;
    return lines.filter(QStringLiteral("-->"));
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void formHasTheNamedWidgets_data();
    void formHasTheNamedWidgets();
    void buttonsAndCheckBoxReachTheirSlotsOnce();
    void startsInEnglishWithDisplaysEmptyAndDisabled();
    void displaysAreBlackAndCannotBeFocused();
    void browseButtonKeepsItsWidthAndCheckBoxSitsRight();

    void cataloguesHoldExactlyTheEntries();
    void switchingToChineseAndBackChangesOwnedTextsOnly();
    void choosingEnglishAtStartLoadsNothing();

    void tableIsConfiguredForWholeRowBrowsing();
    void delegateNeverPaintsFocusFrame();
    void selectAllSelectsAndClearsEveryRow();
    void selectionIsRecordedLargestFirst_data();
    void selectionIsRecordedLargestFirst();
    void selectionIsBoundedByCapacity();

    void unlinkedCardButtonsDoNothing();
    void closingBeforeLinkingExitsWithZeroAndLeavesNoFiles();

private:
    void fillRows(int count);
    void clickRow(int row, Qt::KeyboardModifiers modifiers);
    void chooseLanguage(const QString& language);
    template<typename T>
    T* child(const char* name) { return window->findChild<T*>(QLatin1String(name)); }

    std::unique_ptr<MainWindow> window;
    QTableWidget* table = nullptr;
};

void TestMainWindow::init()
{
    window = std::make_unique<MainWindow>();
    window->setWindowTitle(QStringLiteral("MERRO-DownLoad"));
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    table = child<QTableWidget>("tableWidgetFileInfo");
    QVERIFY(table);
}

void TestMainWindow::cleanup()
{
    window.reset();
    table = nullptr;
}

void TestMainWindow::fillRows(int count)
{
    table->setRowCount(count);
    for (int r = 0; r < count; ++r) {
        table->setItem(r, 0, new QTableWidgetItem(QStringLiteral("REC_%1.MP4").arg(r, 4, 10,
                                                                             QLatin1Char('0'))));
    }
}

void TestMainWindow::clickRow(int row, Qt::KeyboardModifiers modifiers)
{
    const QRect rect = table->visualRect(table->model()->index(row, 1));
    QVERIFY2(rect.isValid(), "row is not visible");
    QTest::mouseClick(table->viewport(), Qt::LeftButton, modifiers, rect.center());
}

void TestMainWindow::chooseLanguage(const QString& language)
{
    auto* combo = child<QComboBox>("comboBox");
    combo->setCurrentIndex(combo->findText(language));
}

void TestMainWindow::formHasTheNamedWidgets_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    const char* const widgets[][2] = {
        {"centralWidget", "QWidget"},
        {"pushButtonLinkMERRO", "QPushButton"},
        {"lineEditLinkMERRO", "QLineEdit"},
        {"label_language", "QLabel"},
        {"comboBox", "QComboBox"},
        {"groupBoxVersionInfo", "QGroupBox"},
        {"label_1", "QLabel"},
        {"lineEditHardType", "QLineEdit"},
        {"label_2", "QLabel"},
        {"lineEditHardVer", "QLineEdit"},
        {"label_3", "QLabel"},
        {"lineEditSoftVer", "QLineEdit"},
        {"label_4", "QLabel"},
        {"lineEditProtocolVer", "QLineEdit"},
        {"label_5", "QLabel"},
        {"lineEditBootVer", "QLineEdit"},
        {"groupBoxFile", "QGroupBox"},
        {"pushButtonEnterTFcard", "QPushButton"},
        {"pushButtonDownloadFile", "QPushButton"},
        {"pushButtonDeleteFile", "QPushButton"},
        {"pushButtonFormatCard", "QPushButton"},
        {"pushButtonDeleteAllFiles", "QPushButton"},
        {"lineEditDownloadLabel", "QLineEdit"},
        {"progressBarDownLoad", "QProgressBar"},
        {"lineEditDownloadProgress", "QLineEdit"},
        {"checkBoxSelectAllFiles", "QCheckBox"},
        {"tableWidgetFileInfo", "QTableWidget"},
        {"menuBar", "QMenuBar"},
        {"mainToolBar", "QToolBar"},
        {"statusBar", "QStatusBar"},
    };
    for (const auto& w : widgets)
        QTest::newRow(w[0]) << QString::fromLatin1(w[0]) << QString::fromLatin1(w[1]);
}

void TestMainWindow::formHasTheNamedWidgets()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    const auto found = window->findChildren<QWidget*>(name);
    QCOMPARE(found.size(), 1);
    QCOMPARE(QString::fromLatin1(found.first()->metaObject()->className()), className);
}

void TestMainWindow::buttonsAndCheckBoxReachTheirSlotsOnce()
{
    const char* const buttons[] = {"pushButtonLinkMERRO", "pushButtonEnterTFcard",
                                   "pushButtonDownloadFile", "pushButtonDeleteFile",
                                   "pushButtonDeleteAllFiles", "pushButtonFormatCard"};
    for (const char* name : buttons) {
        const QStringList connections = outgoingConnections(child<QPushButton>(name));
        const QString slot = QStringLiteral("on_%1_clicked()").arg(QLatin1String(name));
        QCOMPARE(connections.filter(slot).size(), 1);
        QCOMPARE(connections.size(), 1);
    }
    const QStringList boxConnections = outgoingConnections(child<QCheckBox>("checkBoxSelectAllFiles"));
    QCOMPARE(boxConnections.filter(
                 QStringLiteral("on_checkBoxSelectAllFiles_stateChanged(int)")).size(), 1);
}

void TestMainWindow::startsInEnglishWithDisplaysEmptyAndDisabled()
{
    for (const OwnedText& t : kOwnedTexts)
        QCOMPARE(widgetText(child<QWidget>(t.objectName)), QString::fromLatin1(t.source));
    QCOMPARE(headerLabels(table),
             QStringList({QStringLiteral("Name"), QStringLiteral("Date"), QStringLiteral("Size"),
                          QStringLiteral("Duration")}));

    auto* combo = child<QComboBox>("comboBox");
    QCOMPARE(combo->count(), 2);
    QCOMPARE(combo->itemText(0), QStringLiteral("English"));
    QCOMPARE(combo->itemText(1), QStringLiteral("Chinese"));
    QCOMPARE(combo->currentIndex(), 0);

    for (const char* name : {"lineEditLinkMERRO", "lineEditHardType", "lineEditHardVer",
                             "lineEditSoftVer", "lineEditProtocolVer", "lineEditBootVer",
                             "lineEditDownloadLabel", "lineEditDownloadProgress"}) {
        auto* edit = child<QLineEdit>(name);
        QVERIFY2(edit->text().isEmpty(), name);
        QVERIFY2(!edit->isEnabled(), name);
    }
    for (QPushButton* button : window->findChildren<QPushButton*>())
        QVERIFY(button->isEnabled());
    QVERIFY(!child<QCheckBox>("checkBoxSelectAllFiles")->isChecked());
    QVERIFY(child<QProgressBar>("progressBarDownLoad")->isHidden());
    QCOMPARE(table->rowCount(), 0);
    QCOMPARE(window->size(), QSize(697, 712));
    QVERIFY(window->findChildren<QThread*>().isEmpty());

    saveScreenshot(window.get(), QStringLiteral("window-english"));
}

void TestMainWindow::displaysAreBlackAndCannotBeFocused()
{
    auto* edit = child<QLineEdit>("lineEditHardVer");
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        QCOMPARE(edit->palette().color(group, QPalette::Text), QColor(Qt::black));
    QCOMPARE(edit->styleSheet(), QStringLiteral("border:1px;background:transparent"));

    edit->setFocus();
    QVERIFY(!edit->hasFocus());
    QTest::keyClicks(edit, QStringLiteral("abc"));
    QVERIFY(edit->text().isEmpty());
}

void TestMainWindow::browseButtonKeepsItsWidthAndCheckBoxSitsRight()
{
    auto* browse = child<QPushButton>("pushButtonEnterTFcard");
    auto* box = child<QCheckBox>("checkBoxSelectAllFiles");
    auto* progressLabel = child<QLineEdit>("lineEditDownloadLabel");
    auto* counter = child<QLineEdit>("lineEditDownloadProgress");
    const int labelWidth = progressLabel->width();
    for (int width : {697, 1100}) {
        window->resize(width, 712);
        QTRY_COMPARE(window->width(), width);
        QCOMPARE(browse->width(), 359);
        // The row's right end: the check box ends where the table does.
        QVERIFY(qAbs(box->geometry().right() - table->geometry().right()) <= 2);
        QCOMPARE(progressLabel->width(), labelWidth);
        QVERIFY(progressLabel->width() >= 120);
        QVERIFY(counter->width() <= 80);
    }
    auto* download = child<QPushButton>("pushButtonDownloadFile");
    auto* deleteAll = child<QPushButton>("pushButtonDeleteAllFiles");
    auto* group = child<QGroupBox>("groupBoxFile");
    // The four buttons below share the group's width.
    QVERIFY(deleteAll->geometry().right() - download->geometry().left() > group->width() - 40);
}

void TestMainWindow::cataloguesHoldExactlyTheEntries()
{
    // The sources: exactly these messages, all in one context.
    for (const QString& language : {QStringLiteral("chinese"), QStringLiteral("english")}) {
        QFile file(QStringLiteral(MERRO_TRANSLATION_DIR "/merro_%1.ts").arg(language));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        QXmlStreamReader xml(&file);
        QStringList contexts;
        QMap<QString, QString> messages;
        QString source;
        while (!xml.atEnd()) {
            xml.readNext();
            if (!xml.isStartElement())
                continue;
            if (xml.name() == QLatin1String("name"))
                contexts << xml.readElementText();
            else if (xml.name() == QLatin1String("source"))
                source = xml.readElementText();
            else if (xml.name() == QLatin1String("translation"))
                messages.insert(source, xml.readElementText());
        }
        QVERIFY(!xml.hasError());
        QCOMPARE(contexts, QStringList{QStringLiteral("MainWindow")});
        QCOMPARE(messages.size(), int(std::size(kCatalogue)));
        for (const Entry& e : kCatalogue) {
            const QString expected = language == QLatin1String("chinese")
                                         ? QString::fromUtf8(e.chinese)
                                         : QString::fromLatin1(e.source);
            QCOMPARE(messages.value(QString::fromLatin1(e.source)), expected);
        }
    }

    // The compiled catalogues in the resource bundle.
    QTranslator chinese;
    QVERIFY(chinese.load(QStringLiteral(":/translation/merro_chinese.qm")));
    QTranslator english;
    QVERIFY(english.load(QStringLiteral(":/translation/merro_english.qm")));
    for (const Entry& e : kCatalogue) {
        QCOMPARE(chinese.translate("MainWindow", e.source), QString::fromUtf8(e.chinese));
        QCOMPARE(english.translate("MainWindow", e.source), QString::fromLatin1(e.source));
        QVERIFY(chinese.translate("OtherContext", e.source).isEmpty());
    }
    QVERIFY(!QPixmap(QStringLiteral(":/Images/appicon.png")).isNull());
}

void TestMainWindow::switchingToChineseAndBackChangesOwnedTextsOnly()
{
    fillRows(3);
    auto* link = child<QLineEdit>("lineEditLinkMERRO");
    link->setText(QStringLiteral("Link Fail!"));
    auto* combo = child<QComboBox>("comboBox");

    chooseLanguage(QStringLiteral("Chinese"));
    for (const OwnedText& t : kOwnedTexts)
        QCOMPARE(widgetText(child<QWidget>(t.objectName)), chineseFor(t.source));
    QCOMPARE(headerLabels(table),
             QStringList({QStringLiteral("名称"), QStringLiteral("日期"), QStringLiteral("大小"),
                          QStringLiteral("时长")}));
    // Texts that belong to other moments keep the language they were set in.
    QCOMPARE(window->windowTitle(), QStringLiteral("MERRO-DownLoad"));
    QCOMPARE(link->text(), QStringLiteral("Link Fail!"));
    QCOMPARE(combo->itemText(0), QStringLiteral("English"));
    QCOMPARE(combo->itemText(1), QStringLiteral("Chinese"));
    QCOMPARE(table->item(1, 0)->text(), QStringLiteral("REC_0001.MP4"));
    saveScreenshot(window.get(), QStringLiteral("window-chinese"));

    chooseLanguage(QStringLiteral("English"));
    for (const OwnedText& t : kOwnedTexts)
        QCOMPARE(widgetText(child<QWidget>(t.objectName)), QString::fromLatin1(t.source));
    QCOMPARE(headerLabels(table),
             QStringList({QStringLiteral("Name"), QStringLiteral("Date"), QStringLiteral("Size"),
                          QStringLiteral("Duration")}));
    QCOMPARE(window->windowTitle(), QStringLiteral("MERRO-DownLoad"));
}

void TestMainWindow::choosingEnglishAtStartLoadsNothing()
{
    // Re-selecting the current item is no change; the form stays in English.
    chooseLanguage(QStringLiteral("English"));
    QCOMPARE(child<QPushButton>("pushButtonEnterTFcard")->text(),
             QStringLiteral("Browse Files in Card"));
    QVERIFY(QCoreApplication::translate("MainWindow", "Select All") == QLatin1String("Select All"));
}

void TestMainWindow::tableIsConfiguredForWholeRowBrowsing()
{
    QHeaderView* header = table->horizontalHeader();
    QCOMPARE(table->columnCount(), 4);
    QCOMPARE(header->height(), 30);
    QCOMPARE(table->verticalHeader()->defaultSectionSize(), 25);
    QVERIFY(header->font().bold() && !header->highlightSections());
    QVERIFY(table->verticalHeader()->isHidden() && !table->showGrid());
    QVERIFY(dynamic_cast<NoFocusDelegate*>(table->itemDelegate()));

    // The four columns share the width equally and cannot be dragged.
    fillRows(4);
    for (int c = 0; c < 4; ++c) {
        QCOMPARE(header->sectionResizeMode(c), QHeaderView::Stretch);
        QVERIFY(qAbs(header->sectionSize(c) - header->sectionSize(0)) <= 1);
    }

    // A double click selects the whole row and never opens an editor.
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {},
                       table->visualRect(table->model()->index(2, 0)).center());
    QVERIFY(!table->findChild<QLineEdit*>());
    QCOMPARE(table->selectionModel()->selectedRows().size(), 1);
    QCOMPARE(table->selectionModel()->selectedIndexes().size(), 4);
}

void TestMainWindow::delegateNeverPaintsFocusFrame()
{
    QStandardItemModel model(1, 1);
    model.setItem(0, 0, new QStandardItem(QStringLiteral("REC_0001.MP4")));
    const QModelIndex index = model.index(0, 0);

    auto render = [&](QAbstractItemDelegate& delegate, QStyle::State state) {
        QImage image(200, 25, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        QStyleOptionViewItem option;
        option.rect = image.rect();
        option.state = state;
        option.palette = table->palette();
        option.widget = table;
        delegate.paint(&painter, option, index);
        return image;
    };
    NoFocusDelegate noFocus;
    QStyledItemDelegate plain;
    const QStyle::State selected = QStyle::State_Enabled | QStyle::State_Selected;
    QCOMPARE(render(noFocus, selected | QStyle::State_HasFocus), render(plain, selected));
    QVERIFY(render(noFocus, selected) != render(noFocus, QStyle::State_Enabled));
}

void TestMainWindow::selectAllSelectsAndClearsEveryRow()
{
    fillRows(6);
    auto* box = child<QCheckBox>("checkBoxSelectAllFiles");

    box->setChecked(true);
    QCOMPARE(table->selectionModel()->selectedRows().size(), 6);

    // Hand selection in between does not move the box, and unchecking clears it.
    clickRow(3, Qt::NoModifier);
    QCOMPARE(table->selectionModel()->selectedRows().size(), 1);
    QVERIFY(box->isChecked());
    clickRow(1, Qt::ControlModifier);
    box->setChecked(false);
    QVERIFY(table->selectionModel()->selectedRows().isEmpty());

    // The box reads its own state: a check after hand changes selects all again.
    clickRow(0, Qt::NoModifier);
    box->setChecked(true);
    QCOMPARE(table->selectionModel()->selectedRows().size(), 6);
    saveScreenshot(window.get(), QStringLiteral("window-select-all"));
}

void TestMainWindow::selectionIsRecordedLargestFirst_data()
{
    QTest::addColumn<QList<int>>("ctrlClicks");
    QTest::addColumn<int>("shiftTo");
    QTest::addColumn<QList<int>>("expected");

    QTest::newRow("scattered Ctrl-clicks 2, 7, 4") << QList<int>{2, 7, 4} << -1
                                                   << QList<int>{7, 4, 2};
    QTest::newRow("Shift-range 0..5") << QList<int>{0} << 5 << QList<int>{5, 4, 3, 2, 1, 0};
    QTest::newRow("range then Ctrl-click below it") << QList<int>{1} << 3
                                                     << QList<int>{3, 2, 1};
    QTest::newRow("toggled off again") << QList<int>{6, 3, 6} << -1 << QList<int>{3};
    QTest::newRow("nothing selected") << QList<int>{} << -1 << QList<int>{};
}

void TestMainWindow::selectionIsRecordedLargestFirst()
{
    QFETCH(QList<int>, ctrlClicks);
    QFETCH(int, shiftTo);
    QFETCH(QList<int>, expected);

    fillRows(10);
    table->clearSelection();
    for (int row : ctrlClicks)
        clickRow(row, Qt::ControlModifier);
    if (shiftTo >= 0)
        clickRow(shiftTo, Qt::ShiftModifier);

    QVERIFY(QMetaObject::invokeMethod(window.get(), "GetSelectedFiles"));
    QCOMPARE(window->selectionCount(), expected.size());
    QCOMPARE(window->selectionCursor(), 0);
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(window->selectionRow(i), expected.at(i));
    for (int i = expected.size(); i < MainWindow::kMaxFiles; ++i)
        QCOMPARE(window->selectionRow(i), 0);
}

void TestMainWindow::selectionIsBoundedByCapacity()
{
    // More rows than the record holds: it fills up and stops, never overruns.
    const int rows = MainWindow::kMaxFiles + 5;
    table->setRowCount(rows);
    table->selectAll();
    QVERIFY(QMetaObject::invokeMethod(window.get(), "GetSelectedFiles"));
    QCOMPARE(window->selectionCount(), MainWindow::kMaxFiles);
    for (int i = 1; i < MainWindow::kMaxFiles; ++i)
        QVERIFY(window->selectionRow(i - 1) > window->selectionRow(i));
}

void TestMainWindow::unlinkedCardButtonsDoNothing()
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
    QCOMPARE(table->item(3, 0)->text(), QStringLiteral("REC_0003.MP4"));
    QVERIFY(child<QProgressBar>("progressBarDownLoad")->isHidden());
    QVERIFY(child<QLineEdit>("lineEditDownloadProgress")->text().isEmpty());
    QVERIFY(window->findChildren<QThread*>().isEmpty());
    for (QPushButton* button : window->findChildren<QPushButton*>())
        QVERIFY(button->isEnabled());

    // A version report before any link is ignored.
    QVERIFY(QMetaObject::invokeMethod(window.get(), "VersionInfo", Q_ARG(char, 3),
                                      Q_ARG(int, 100), Q_ARG(int, 101), Q_ARG(int, 250),
                                      Q_ARG(int, 65535)));
    QVERIFY(child<QLineEdit>("lineEditHardType")->text().isEmpty());
    QVERIFY(child<QLineEdit>("lineEditBootVer")->text().isEmpty());
}

void TestMainWindow::closingBeforeLinkingExitsWithZeroAndLeavesNoFiles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));

    QTimer::singleShot(0, window.get(), &QWidget::close);
    const int result = QApplication::exec();
    window.reset();
    QDir::setCurrent(previous);

    QCOMPARE(result, 0);
    QVERIFY(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
