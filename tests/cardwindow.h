#pragma once

// The window against the simulated device, for the card's tests: a fresh
// device, folder and window for each test, message boxes answered and kept,
// and what the camera was asked. Private network only.
#include "mainwindow.h"
#include "screenshot.h"
#include "simdevice.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>
#include <utility>

using Lines = QList<QByteArray>;
using Rows = QList<int>;

namespace cardwindow {

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
inline const KnownFile kKnownCard[] = {
    {"a.MP4", 1023, "2017-01-02T03:04:05", 61, "2017-01-02  03:04:05", "0KB"},
    {"b.MP4", 1048575, "2025-03-14T09:30:12", 0, "2025-03-14  09:30:12", "1023KB"},
    {"c.JPG", 1048576, "1999-12-31T23:59:59", 7, "1999-12-31  23:59:59", "1MB"},
    {"d.MP4", 1572864, "2024-02-29T12:00:00", 3600, "2024-02-29  12:00:00", "1MB"},
    {"e.MP4", 3LL << 30, "2038-01-19T03:14:08", 12884, "2038-01-19  03:14:08", "3072MB"},
};

} // namespace cardwindow

using namespace cardwindow;

class CardWindowTest : public QObject
{
protected:
    void setUp()
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
            const bool no = box->defaultButton()
                            && box->defaultButton() == box->button(QMessageBox::No);
            boxes << box->windowTitle() + '|' + box->text() + (no ? "|No" : "");
            if (!boxShot.isEmpty())
                saveScreenshot(box, std::exchange(boxShot, QString()));
            QAbstractButton* choice = box->button(answer);
            (choice ? choice : box->button(QMessageBox::Ok))->click();
        });
        boxAnswerer.start(20);
    }

    void addFile(const QByteArray& name, qint64 size, const char* utc = nullptr, int seconds = 0)
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
