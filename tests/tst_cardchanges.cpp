// The window's changes to the card against the simulated device: delete,
// delete all and format, their questions, and what is safe on disk. Runs
// inside the private network only.
#include "cardwindow.h"

class TestCardChanges : public CardWindowTest
{
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void changesTheCard_data();
    void changesTheCard();
    void knowsWhatIsSafeOnDisk();
    void aLongCheckShowsItsProgressAndCanBeCancelled();
};

void TestCardChanges::changesTheCard_data()
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
    // The camera answered, but did not delete: the row stays, and it is said.
    QTest::newRow("a delete answered 404 keeps its row")
        << one << Rows{3, 6} << Lines{"camera fault 404 delete once"} << true
        << QStringList{askOne.arg(2)} << Lines{"R6.MP4", "R3.MP4"}
        << Rows{0, 1, 2, 4, 5, 6, 7, 8, 9} << Rows{0, 1, 2, 4, 5, 6, 7, 8, 9} << true;
    QTest::newRow("a delete answered Failed keeps its row")
        << one << Rows{3, 6} << Lines{"camera fault refuse delete once"} << true
        << QStringList{askOne.arg(2)} << Lines{"R6.MP4", "R3.MP4"}
        << Rows{0, 1, 2, 4, 5, 6, 7, 8, 9} << Rows{0, 1, 2, 4, 5, 6, 7, 8, 9} << true;
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

void TestCardChanges::changesTheCard()
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
    // A refusal is named, with what the camera said.
    if (commands.value(0).contains("404") || commands.value(0).contains("refuse"))
        QVERIFY2(status().startsWith("1 of 2 selected files could not be deleted: R6.MP4: the"
                                     " camera "), qPrintable(status()));
}

void TestCardChanges::knowsWhatIsSafeOnDisk()
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
    // holds it then (D.MP4 arrived since the listing, A.MP4 goes), each copy
    // looked at on the card; No sends nothing more.
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
    const QByteArray look = "camera: GET /sd/DCIM/100TQCAM/%1 HTTP/1.1";
    QCOMPARE(gets(), (Lines{QByteArray(look).replace("%1", "A.MP4"),
                            QByteArray(look).replace("%1", "D.MP4"),
                            QByteArray(look).replace("%1", "D.MP4")}));
    // A listing the camera cut short leaves the card's contents unknown.
    QVERIFY(sim->command("camera list cut=2"));
    browse();
    QCOMPARE(status(), QString("The camera counts 4 files but listed 2.  "
                               "0 of the 2 listed files are already in DCIM/."));
    click("pushButtonDeleteAllFiles");
    QVERIFY(boxes.value(2).endsWith("\n\nThe card's contents are not fully known: list the card"
                                    " to see which recordings are not in DCIM/ yet.|No"));
}

void TestCardChanges::aLongCheckShowsItsProgressAndCanBeCancelled()
{
    // Eight recordings, each with its copy in DCIM/, on a slow camera.
    QVERIFY(QDir().mkdir("DCIM"));
    for (int i = 0; i < 8; ++i) {
        const QByteArray name = "P" + QByteArray::number(i) + ".MP4";
        addFile(name, 1000, "2025-01-01T10:00:00");
        QFile copy("DCIM/" + name);
        QVERIFY(copy.open(QIODevice::WriteOnly) && copy.resize(1000)
                && copy.setFileTime(QDateTime::fromString("2025-01-01T10:00:00Z", Qt::ISODate),
                                    QFileDevice::FileModificationTime));
    }
    link();
    browse();
    QCOMPARE(status(), QString("8 of the 8 listed files are already in DCIM/."));
    QVERIFY(sim->command("camera latency 300"));
    // Cancelled once it has shown two of them proven.
    QString label;
    QTimer canceller;
    canceller.callOnTimeout(this, [&label] {
        auto* progress = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
        if (progress && progress->value() >= 2) {
            label = progress->labelText();
            saveScreenshot(progress, "card-proving");
            progress->findChild<QPushButton*>()->click();
        }
    });
    canceller.start(20);
    answer = QMessageBox::No;
    click("pushButtonDeleteAllFiles");
    canceller.stop();
    QCOMPARE(label, QString("Checking the card's recordings against DCIM/..."));
    static const QRegularExpression counted("\\n\\n(\\d) of the 8 recordings on the card are"
                                            " not in DCIM/ yet\\. (\\d) of them were not"
                                            " checked against the card\\.\\|No$");
    const QRegularExpressionMatch match = counted.match(boxes.value(0));
    QVERIFY2(match.hasMatch(), qPrintable(boxes.value(0)));
    // Only what was proven counts as safe; the rest was not checked.
    const int missing = match.captured(1).toInt();
    const int unchecked = match.captured(2).toInt();
    QVERIFY2(unchecked >= 1 && missing == unchecked && missing <= 6,
             qPrintable(boxes.value(0)));
    QCOMPARE(QDir(sim->cardPath()).entryList(QDir::Files).size(), 8);
}

QTEST_MAIN(TestCardChanges)
#include "tst_cardchanges.moc"
