// merro-demo OUTDIR: a guided walk through the window against the simulated
// device (link, list, download two files, delete one, list again with the kept
// file marked, the Chinese window),
// saving a picture of each state into OUTDIR. Run by scripts/run without a
// display; exits with 1 as soon as a step does not come about.
#include "mainwindow.h"
#include "platformsocket.h"

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
    const QString outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(outDir);

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
    std::printf("demo: every step done\n");
    return 0;
}
