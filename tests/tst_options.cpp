// How the tool is started: device addresses and the download folder from the
// settings file and the command line, refused when they are wrong. The device
// is the simulated one on loopback addresses.
#include "cardengine.h"
#include "mainwindow.h"
#include "simdevice.h"
#include "startoptions.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

class TestOptions : public QObject
{
    Q_OBJECT

private slots:
    void badValuesAreRefused_data();
    void badValuesAreRefused();
    void settingsAndCommandLineReachTheDevice_data();
    void settingsAndCommandLineReachTheDevice();
    void downloadFolderIsCheckedAtStart();
};

void TestOptions::badValuesAreRefused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("setting"); // device/camera in the settings file
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output"); // standard error, or output when the exit code is 0
    const auto row = [](const char* name, const QStringList& arguments, const char* setting,
                        int exitCode, const char* output) {
        QTest::newRow(name) << arguments << QString(setting) << exitCode << QString(output);
    };
    row("is a camera that is no IPv4 address refused?", {"--camera", "300.1.2.3"}, "", 2,
        "--camera: \"300.1.2.3\" is not HOST[:PORT]");
    row("is a port out of range refused?", {"--control", "127.0.72.10:70000"}, "", 2,
        "--control: \"127.0.72.10:70000\"");
    row("is a host name refused?", {"--ground", "camera.local"}, "", 2, "--ground");
    row("is an octet with a leading zero refused, not read as octal?",
        {"--camera", "192.168.072.010"}, "", 2, "--camera: \"192.168.072.010\" is not HOST");
    row("is 0.0.0.0 refused?", {"--ground", "0.0.0.0"}, "", 2, "--ground: \"0.0.0.0\"");
    row("is the first multicast address refused?", {"--control", "224.0.0.0"}, "", 2,
        "--control: \"224.0.0.0\"");
    row("is a bad setting refused, naming its file, when the command line gives another?",
        {"--control", "127.0.72.10"}, "192.168.72", 2, "The setting device/camera in ");
    row("is an unknown option refused?", {"--cameras", "1.2.3.4"}, "", 2, "cameras");
    row("is an option of the sync alone refused?", {"--free-card"}, "", 2,
        "--free-card goes with --sync.");
    row("is a negative number of days refused?", {"--verify", "--keep-days", "-1"}, "", 2,
        "--keep-days: \"-1\" is not a number of days.");
    row("are 0 days taken, as no limit?",
        {"--verify", "--keep-days", "0", "--dcim", "/nonexistent-merro-folder"}, "", 0,
        "nothing to verify");
    row("is a size of an unknown unit refused?", {"--verify", "--max-size", "5Q"}, "", 2,
        "--max-size: \"5Q\" is not a size");
    row("is an unknown layout refused?", {"--verify", "--layout", "week"}, "", 2,
        "--layout: \"week\" is not flat, day or month.");
    row("does --version print the version?", {"--version"}, "", 0, "merro-download 0.1.0");
    row("does --help name every option?", {"--help"}, "", 0, "--dcim <DIR>");
}

void TestOptions::badValuesAreRefused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, setting);
    QTemporaryDir home;
    if (!setting.isEmpty()) {
        QSettings file(home.filePath("merro/merro-download.ini"), QSettings::IniFormat);
        file.setValue("device/camera", setting);
    }
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", home.path());
    tool.setProcessEnvironment(environment);
    tool.start(qEnvironmentVariable("MERRO_TOOL"), arguments);
    QVERIFY(tool.waitForFinished(10000));
    QTEST(tool.exitCode(), "exitCode");
    const QByteArray said = tool.exitCode() == 0 ? tool.readAllStandardOutput()
                                                 : tool.readAllStandardError();
    QFETCH(QString, output);
    QVERIFY2(said.contains(output.toUtf8()), said.constData());
}

void TestOptions::settingsAndCommandLineReachTheDevice_data()
{
    QTest::addColumn<bool>("onCommandLine");
    QTest::newRow("from the settings file") << false;
    // Over settings that are wrong, or of a camera that is not there.
    QTest::newRow("from the command line, the download folder too") << true;
}

void TestOptions::settingsAndCommandLineReachTheDevice()
{
    QFETCH(bool, onCommandLine);
    SimDevice sim;
    QVERIFY(sim.makeCard(3));
    QVERIFY(sim.start({"--control", "127.0.72.10:0", "--ground", "127.0.72.11:0", "--camera",
                       "127.0.72.20:0", "--interval", "300"}));
    QStringList at; // control, ground, camera as the device serves them
    for (const char* unit : {"control=", "ground=", "camera="}) {
        const QByteArray ready = sim.lines("sim: ready").value(0);
        const int from = ready.indexOf(unit) + int(strlen(unit));
        at << ready.mid(from, ready.indexOf(' ', from) - from);
    }

    QTemporaryDir work;
    QSettings settings(work.filePath("settings.ini"), QSettings::IniFormat);
    QStringList arguments = {"merro-download"};
    const QStringList overridden = {"127.0.72", "0.0.0.0", "127.0.72.99:9"};
    for (int i = 0; i < 3; ++i) {
        const QString name = QStringList{"control", "ground", "camera"}[i];
        if (onCommandLine)
            arguments << "--" + name << at[i];
        settings.setValue("device/" + name, onCommandLine ? overridden[i] : at[i]);
    }
    if (onCommandLine)
        arguments << "--dcim" << work.filePath("chosen/a/b");
    StartOptions options;
    QString message;
    QCOMPARE(readStartOptions(arguments, settings, &options, &message), StartChoice::Run);
    merro::deviceAddresses() = options.addresses;
    QVERIFY(QDir::setCurrent(work.path()));

    auto window = std::make_unique<MainWindow>();
    window->setDownloadFolder(options.downloadFolder);
    window->show();
    QCOMPARE(window->findChild<QLabel*>("labelCameraAddress")->text(), "Camera " + at[2]);
    QTest::mouseClick(window->findChild<QPushButton*>("pushButtonLinkMERRO"), Qt::LeftButton);
    QVERIFY(window->isLinked());
    QTest::mouseClick(window->findChild<QPushButton*>("pushButtonEnterTFcard"), Qt::LeftButton);
    auto* table = window->findChild<QTableWidget*>("tableWidgetFileInfo");
    QCOMPARE(table->rowCount(), 3);
    QTRY_VERIFY(!window->isReadingCardDetails());
    table->selectRow(0);
    QTest::mouseClick(window->findChild<QPushButton*>("pushButtonDownloadFile"), Qt::LeftButton);
    const QString copy = (onCommandLine ? "chosen/a/b/" : "DCIM/") + table->item(0, 0)->text();
    QTRY_VERIFY(QFile::exists(copy));
    window.reset();
    merro::deviceAddresses() = merro::DeviceAddresses();
    QDir::setCurrent(QDir::tempPath());
}

void TestOptions::downloadFolderIsCheckedAtStart()
{
    // Taken the way main() takes it, a folder whose parents are not there yet is no
    // problem: the download makes them.
    QTemporaryDir work;
    QVERIFY(QDir::setCurrent(work.path()));
    QSettings none(work.filePath("none.ini"), QSettings::IniFormat);
    StartOptions options;
    QString message;
    QCOMPARE(readStartOptions({"merro-download", "--dcim", "a/b/c"}, none, &options, &message),
             StartChoice::Run);
    MainWindow later;
    later.setDownloadFolder(options.downloadFolder);
    QCOMPARE(later.statusBar()->currentMessage(), QString());
    // A run makes it, as far down as it goes.
    CardEngine engine;
    engine.setFolder(options.downloadFolder + '/');
    QString why;
    QCOMPARE(engine.holdRun(false, &why), RunLock::Result::Held);
    QVERIFY(QFileInfo(work.filePath("a/b/c")).isDir());
    engine.releaseRun();
    QDir::setCurrent(QDir::tempPath());
    // One that cannot be made is told at once, with the system's reason.
    MainWindow window;
    window.setDownloadFolder("/proc/merro/DCIM");
    const QString told = window.statusBar()->currentMessage();
    QVERIFY2(told.startsWith("Cannot write to the download folder /proc/merro/DCIM: ")
                 && told.size() > 60
                 && told.endsWith(". Choose another with --dcim DIR or the setting"
                                  " download/dcim."),
             qPrintable(told));
}

QTEST_MAIN(TestOptions)
#include "tst_options.moc"
