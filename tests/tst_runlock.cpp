// The lock that keeps two runs apart: the system drops it with its holder,
// so a crashed run leaves nothing stale, and a folder that cannot be
// written is told as such, never as taken.
#include "runlock.h"

#include <QtTest>

class TestRunLock : public QObject
{
    Q_OBJECT

private slots:
    void keepsTwoRunsApart();
    void aDeadHolderLeavesNothingBehind();
    void aFolderThatCannotBeMadeIsNoHolder();
};

void TestRunLock::keepsTwoRunsApart()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + "/DCIM/";
    RunLock first(folder, "camera-a");
    RunLock second(folder, "camera-b");
    QString why;
    QCOMPARE(first.tryLock(true, &why), RunLock::Result::Held);
    QCOMPARE(second.tryLock(false, &why), RunLock::Result::Busy);
    QVERIFY2(why.contains(QString("(process %1 on ").arg(QCoreApplication::applicationPid()))
                 && why.endsWith(" holds " + QDir::toNativeSeparators(dir.path() + "/DCIM")),
             qPrintable(why));
    // The camera alone: another folder, the same camera.
    RunLock other(dir.path() + "/other/", "camera-a");
    QCOMPARE(other.tryLock(true, &why), RunLock::Result::Busy);
    QVERIFY2(why.endsWith(" holds the camera"), qPrintable(why));
    first.unlock();
    QCOMPARE(second.tryLock(true, &why), RunLock::Result::Held);
}

void TestRunLock::aDeadHolderLeavesNothingBehind()
{
    QTemporaryDir dir;
    const QString folder = dir.path() + "/";
    // A lock file left by a run that crashed, and one held by a live process.
    QFile left(folder + "download lock");
    QVERIFY(left.open(QIODevice::WriteOnly) && left.write("99999999\nelsewhere\nold\n") > 0);
    left.close();
    QProcess holder;
    holder.start("flock", {"-o", folder + "download lock", "sh", "-c", "echo held; exec sleep 30"});
    QVERIFY(holder.waitForReadyRead(5000));
    RunLock lock(folder, "camera");
    QString why;
    QCOMPARE(lock.tryLock(false, &why), RunLock::Result::Busy);
    holder.kill();
    QVERIFY(holder.waitForFinished());
    // At once: nothing to wait out, nothing to take over.
    QCOMPARE(lock.tryLock(false, &why), RunLock::Result::Held);
}

void TestRunLock::aFolderThatCannotBeMadeIsNoHolder()
{
    QTemporaryDir dir;
    QVERIFY(QFile(dir.filePath("file")).open(QIODevice::WriteOnly));
    RunLock lock(dir.filePath("file/DCIM/"), "camera");
    QString why;
    QCOMPARE(lock.tryLock(false, &why), RunLock::Result::Unwritable);
    QVERIFY2(why.contains("Not a directory") && why.contains("--dcim"), qPrintable(why));
    QCOMPARE(RunLock::problemWith(dir.filePath("file/DCIM/")), why);
    QCOMPARE(RunLock::problemWith(dir.filePath("a/b/")), QString());
    QVERIFY(!QFileInfo::exists(dir.filePath("a")));
}

QTEST_GUILESS_MAIN(TestRunLock)
#include "tst_runlock.moc"
