#pragma once

// The window against the simulated device, for the download queue's tests:
// one device for the whole run with eight small files and a large one on its
// card, a fresh folder and a linked window for each test. Private network
// only.
#include "mainwindow.h"
#include "simdevice.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStorageInfo>
#include <QTableWidget>
#include <QTimer>

#include <sys/mount.h>

#include <climits>
#include <memory>

namespace downloadwindow {

inline const QString kDateFormat = QStringLiteral("yyyy-MM-dd  hh:mm:ss");
inline const QString kPartial = QStringLiteral("DCIM/partial downloads/");

// Distinct, non-repeating bytes per file, so a shifted or mixed-up body shows.
inline QByteArray bodyFor(const QString& name, int size)
{
    QByteArray body;
    body.reserve(size);
    quint32 x = qHash(name) | 1;
    while (body.size() < size) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        body.append(static_cast<char>(x));
    }
    return body;
}

// The recordings in DCIM/, without the journal of their arrival.
inline QStringList archived()
{
    QStringList files = QDir("DCIM").entryList(QDir::Files);
    files.removeAll("download journal.jsonl");
    return files;
}

inline QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace downloadwindow

using namespace downloadwindow;

class DownloadWindowTest : public QObject
{
protected:
    void startDevice()
    {
        if (SimDevice::program().isEmpty())
            QSKIP("The simulated device is not built");
        for (int i = 0; i < 8; ++i)
            putOnCard(QStringLiteral("F%1.MP4").arg(i), 1000 + i * 37003);
        big = putOnCard(QStringLiteral("BIG.MP4"), 1000000);
        QVERIFY(sim.start());
    }

    void setUp()
    {
        work = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir::setCurrent(work->path()));
        openWindow();
    }

    void openWindow()
    {
        window = std::make_unique<MainWindow>();
        window->show();
        QTest::mouseClick(child<QPushButton>("pushButtonLinkMERRO"), Qt::LeftButton);
        QVERIFY(window->isLinked());
    }

    void tearDown()
    {
        window.reset();
        QDir::setCurrent(QDir::tempPath());
        work.reset();
        for (const char* command : {"camera rate 0", "camera range on", "camera fault none"})
            QVERIFY(sim.command(command));
    }

    QByteArray putOnCard(const QString& name, int size)
    {
        const QByteArray body = bodyFor(name, size);
        QFile file(sim.cardPath() + '/' + name);
        if (!file.open(QIODevice::WriteOnly) || file.write(body) != size)
            qWarning("cannot put %s on the card", qPrintable(name));
        return body;
    }

    // Rows of card files, with their details (the time of the row's own) or
    // without, as before the listing's details pass reached them.
    void fillTable(const QStringList& names, bool details = true)
    {
        auto* table = child<QTableWidget>("tableWidgetFileInfo");
        table->setRowCount(names.size());
        for (int row = 0; row < names.size(); ++row) {
            table->setItem(row, 0, new QTableWidgetItem(names[row]));
            auto* date = new QTableWidgetItem(dateOfRow(row).toString(kDateFormat));
            auto* bytes = new QTableWidgetItem;
            if (details) {
                date->setData(Qt::UserRole, dateOfRow(row));
                bytes->setData(Qt::UserRole, QFileInfo(sim.cardPath() + '/' + names[row]).size());
            }
            table->setItem(row, 1, date);
            table->setItem(row, 2, bytes);
        }
    }

    void select(const QList<int>& rows)
    {
        auto* table = child<QTableWidget>("tableWidgetFileInfo");
        table->clearSelection();
        for (int row : rows)
            table->setRangeSelected(QTableWidgetSelectionRange(row, 0, row, 3), true);
    }

    // Selects the rows, clicks "Download File" and waits until the queue is
    // over; returns the counter texts, each with the bar as it was then.
    QStringList download(const QList<int>& rows, int timeoutMs = 60000)
    {
        auto* counter = child<QLineEdit>("lineEditDownloadProgress");
        auto* bar = child<QProgressBar>("progressBarDownLoad");
        select(rows);
        QStringList seen;
        connect(counter, &QLineEdit::textChanged, this, [&](const QString& text) {
            seen << QStringLiteral("%1 %2 %3").arg(text).arg(bar->maximum()).arg(bar->value());
        });
        QTest::mouseClick(child<QPushButton>("pushButtonDownloadFile"), Qt::LeftButton);
        const bool ended = QTest::qWaitFor([&] { return counter->text().isEmpty(); }, timeoutMs);
        counter->disconnect(this);
        if (!ended)
            seen << QStringLiteral("<still running>");
        return seen;
    }

    template<typename T> T* child(const char* name) { return window->findChild<T*>(name); }
    QString status() { return window->statusBar()->currentMessage(); }
    // File body bytes the camera has sent so far.
    qint64 sentByCamera()
    {
        const int from = sim.output.size();
        [&] { QVERIFY(sim.command("stats")); }();
        const QByteArray stats = sim.output.mid(from);
        return stats.mid(stats.indexOf("filebytes=") + 10).split(' ').value(0).toLongLong();
    }
    QDateTime dateOfRow(int row) const { return QDateTime(QDate(2025, 3, 14), QTime(9, 30, row)); }

    SimDevice sim;
    QByteArray big; // BIG.MP4 on the card
    std::unique_ptr<QTemporaryDir> work;
    std::unique_ptr<MainWindow> window;
};
