// merro-demo OUTDIR [--control ...] [--ground ...] [--camera ...]: a guided walk
// through the window against the simulated device (link, list, download two
// files, cancel one with Esc and resume it, delete one, list again with the
// kept file marked, download the new recordings, the Chinese window, free the
// card of what is safe),
// saving a picture of each state into OUTDIR. Run by scripts/run without a
// display; exits with 1 as soon as a step does not come about.
#include "mainwindow.h"
#include "platformsocket.h"
#include "startoptions.h"

#include <QSettings>
#include <QTest>
#include <QtWidgets>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

class Demo
{
public:
    Demo(MainWindow* window, const QString& outDir) : window(window), outDir(outDir) {}

    // Waits up to `ms` for `reached`, then saves the window as demo-N-NAME.png.
    bool step(const char* name, const std::function<bool()>& reached, int ms = 10000)
    {
        QDeadlineTimer deadline(ms);
        while (!reached()) {
            if (deadline.hasExpired()) {
                std::printf("demo: step %d (%s) did not come about; status: %s\n", number + 1,
                            name, qPrintable(status()));
                return false;
            }
            QApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(10);
        }
        const QString path = QStringLiteral("%1/demo-%2-%3.png").arg(outDir).arg(++number)
                                 .arg(QLatin1String(name));
        const bool saved = window->grab().save(path);
        std::printf("demo: %d %-16s %s%s\n", number, name, qPrintable(path),
                    saved ? "" : " (could not be saved)");
        std::fflush(stdout);
        return saved;
    }

    template <typename T = QWidget> T* find(const char* name)
    {
        return window->findChild<T*>(QLatin1String(name));
    }
    void click(const char* name) { find<QAbstractButton>(name)->click(); }
    QTableWidget* table() { return find<QTableWidget>("tableWidgetFileInfo"); }
    QString status() { return window->statusBar()->currentMessage(); }
    QString name(int row) { return table()->item(row, 0) ? table()->item(row, 0)->text() : ""; }
    bool listed() // every row has its details
    {
        const int rows = table()->rowCount();
        const QTableWidgetItem* last = rows > 0 ? table()->item(rows - 1, 3) : nullptr;
        return last && !last->text().isEmpty();
    }
    bool shows(const QString& file) { return !table()->findItems(file, Qt::MatchExactly).empty(); }
    void select(int row)
    {
        table()->selectionModel()->select(table()->model()->index(row, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

private:
    MainWindow* window;
    QString outDir;
    int number = 0;
};

} // namespace

int main(int argc, char** argv)
{
    if (merro::net::startup() != 0)
        return 1;
    QApplication app(argc, argv);
    // OUTDIR first, then the tool's own options (the device's addresses).
    QStringList arguments = QApplication::arguments();
    const QString outDir = arguments.size() > 1 ? arguments.takeAt(1) : QStringLiteral(".");
    QDir().mkpath(outDir);
    // Only what the command line says: the operator's settings stay out of it.
    QSettings none(QStringLiteral("/dev/null"), QSettings::IniFormat);
    StartOptions options;
    QString message;
    if (readStartOptions(arguments, none, &options, &message) != StartChoice::Run) {
        std::printf("demo: %s\n", qPrintable(message));
        return 2;
    }
    merro::deviceAddresses() = options.addresses;

    auto window = std::make_unique<MainWindow>();
    window->setWindowTitle(QStringLiteral("MERRO-DownLoad"));
    // Wide enough for whole names and dates in the pictures.
    window->resize(960, 760);
    window->show();
    Demo demo(window.get(), outDir);

    // Answers each question box with Yes, as the operator would.
    QTimer answerer;
    answerer.callOnTimeout([] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            (box->button(QMessageBox::Yes) ? box->button(QMessageBox::Yes)
                                           : box->button(QMessageBox::Ok))->click();
    });
    answerer.start(200);

    demo.click("pushButtonLinkMERRO");
    auto* version = demo.find<QLineEdit>("lineEditSoftVer");
    if (!demo.step("linked", [&] { return window->isLinked() && !version->text().isEmpty(); }))
        return 1;

    demo.click("pushButtonEnterTFcard");
    if (!demo.step("listed", [&] { return demo.listed(); }))
        return 1;

    // The first two files of a megabyte or more: long enough to watch.
    QTableWidget* table = demo.table();
    QStringList picked;
    for (int row = 0; row < table->rowCount() && picked.size() < 2; ++row) {
        if (table->item(row, 2) && table->item(row, 2)->text().endsWith(QLatin1String("MB"))) {
            demo.select(row);
            picked << demo.name(row);
        }
    }
    if (picked.size() < 2) {
        std::printf("demo: the card has fewer than two files of a megabyte\n");
        return 1;
    }
    demo.click("pushButtonDownloadFile");
    // A third into the second file: the speed shown has settled by then.
    auto* bar = demo.find<QProgressBar>("progressBarDownLoad");
    auto* count = demo.find<QLineEdit>("lineEditDownloadProgress");
    if (!demo.step("downloading", [&] {
            return count->text() == "2/2" && bar->isVisible() && bar->value() > bar->maximum() / 3;
        }))
        return 1;
    if (!demo.step("downloaded", [&] {
            return !bar->isVisible() && QFile::exists("DCIM/" + picked[0])
                   && QFile::exists("DCIM/" + picked[1]) && demo.status().startsWith("2 of 2");
        }, 60000))
        return 1;

    // The first again, stopped with Esc a third in: what came is kept, and the
    // next download goes on from there.
    const QString part = "DCIM/partial downloads/" + picked[0];
    QFile::remove("DCIM/" + picked[0]);
    table->clearSelection();
    demo.select(table->findItems(picked[0], Qt::MatchExactly).value(0)->row());
    demo.click("pushButtonDownloadFile");
    QDeadlineTimer third(10000);
    while (!(bar->isVisible() && bar->value() > bar->maximum() / 3) && !third.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    QTest::keyClick(window.get(), Qt::Key_Escape);
    if (!demo.step("cancelled", [&] {
            return !bar->isVisible() && QFileInfo(part).size() > 0
                   && demo.status().startsWith("Cancelled: 0 of 1");
        }))
        return 1;
    const qint64 kept = QFileInfo(part).size();
    int firstShown = -1;
    QObject::connect(bar, &QProgressBar::valueChanged, [&](int value) {
        if (firstShown <= 0)
            firstShown = value;
    });
    demo.click("pushButtonDownloadFile");
    if (!demo.step("resumed", [&] { return bar->isVisible() && firstShown >= kept; }))
        return 1;
    if (!demo.step("downloaded-again", [&] {
            return !bar->isVisible() && !QFile::exists(part) && demo.status() == "1 of 1 files"
                                                                                " downloaded";
        }, 60000))
        return 1;

    // Delete the first of the two; the question is answered by the timer.
    table->clearSelection();
    demo.select(table->findItems(picked[0], Qt::MatchExactly).value(0)->row());
    demo.click("pushButtonDeleteFile");
    if (!demo.step("deleted", [&] { return !demo.shows(picked[0]) && demo.shows(picked[1]); }))
        return 1;

    // Listed again: the file downloaded earlier is marked as safe in DCIM/.
    demo.click("pushButtonEnterTFcard");
    if (!demo.step("relisted-marked", [&] {
            const auto found = table->findItems(picked[1], Qt::MatchExactly);
            return demo.listed() && !found.isEmpty() && !found[0]->icon().isNull()
                   && demo.status().startsWith("1 of the");
        }))
        return 1;

    // The sync: every recording not yet in DCIM/ comes, oldest first.
    window->findChild<QAction*>(QStringLiteral("actionDownloadNew"))->trigger();
    if (!demo.step("synced", [&] {
            static const QRegularExpression all(QStringLiteral("^(\\d+) of \\1 files downloaded"));
            return all.match(demo.status()).hasMatch()
                   && !demo.find<QProgressBar>("progressBarDownLoad")->isVisible();
        }, 120000))
        return 1;

    demo.find<QComboBox>("comboBox")->setCurrentIndex(1);
    demo.click("pushButtonEnterTFcard");
    // The link indicator takes the language with the next heartbeat.
    auto* browse = demo.find<QPushButton>("pushButtonEnterTFcard");
    auto* indicator = demo.find<QLineEdit>("lineEditLinkMERRO");
    if (!demo.step("chinese-listed", [&] {
            return demo.listed() && browse->text() != "Browse Files in Card"
                   && indicator->text() != "Link Success!";
        }))
        return 1;
    // Freed of every recording that is safe in DCIM/: all of them by now.
    window->findChild<QAction*>(QStringLiteral("actionDeleteSafe"))->trigger();
    if (!demo.step("card-freed", [&] { return table->rowCount() == 0; }))
        return 1;
    std::printf("demo: every step done\n");
    return 0;
}
