#pragma once

// The sync's card: three recordings whose names sort the other way round
// from their times, for the sync's tests with and without a window.
#include "simdevice.h"

#include <QtTest>

#include <memory>

namespace synccard {

struct Recording
{
    const char* name;
    int size;
    const char* utc;
};
inline const Recording kCard[] = {
    {"A_NEW.MP4", 300000, "2025-03-01T10:00:00"},
    {"B_MID.MP4", 2000000, "2025-02-01T10:00:00"},
    {"C_OLD.MP4", 400000, "2025-01-01T10:00:00"},
};

inline QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Writes the three recordings onto the device's card, each with its time.
inline bool fill(const SimDevice& sim)
{
    for (const Recording& recording : kCard) {
        QFile file(sim.cardPath() + '/' + recording.name);
        QByteArray body(recording.size, '\0');
        for (int i = 0; i < body.size(); ++i)
            body[i] = static_cast<char>(i * 131 + recording.name[0]);
        QDateTime when = QDateTime::fromString(recording.utc, Qt::ISODate);
        when.setTimeSpec(Qt::UTC);
        if (!file.open(QIODevice::WriteOnly) || file.write(body) != body.size() || !file.flush()
            || !file.setFileTime(when, QFileDevice::FileModificationTime))
            return false;
    }
    return true;
}

// A fresh device with the three recordings and a fresh working folder for
// each test, and the tool as a process.
class SyncTest : public QObject
{
protected:
    void setUp()
    {
        work = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir::setCurrent(work->path()));
        sim = std::make_unique<SimDevice>();
        QVERIFY(fill(*sim));
        QVERIFY(sim->start({"--interval", "300"}));
    }
    void tearDown()
    {
        QDir::setCurrent(QDir::tempPath());
        sim.reset();
        work.reset();
    }
    // Starts `merro-download --sync` with more arguments.
    void startSync(QProcess& tool, const QStringList& arguments = {})
    {
        tool.setWorkingDirectory(work->path());
        tool.start(qEnvironmentVariable("MERRO_TOOL"), QStringList{"--sync"} + arguments);
    }
    int sync(const QStringList& arguments = {}, QByteArray* said = nullptr,
             const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
    {
        QProcess tool;
        tool.setProcessEnvironment(environment);
        startSync(tool, arguments);
        if (!tool.waitForFinished(60000))
            return -1;
        if (said)
            *said = tool.readAllStandardOutput() + tool.readAllStandardError();
        // The device's lines of the run are all in once it has answered this.
        [this] { QVERIFY(sim->command("stats")); }();
        return tool.exitCode();
    }
    QByteArray card(const char* name) { return bytesOf(sim->cardPath() + '/' + name); }
    QByteArray local(const QString& name) { return bytesOf(work->filePath("DCIM/" + name)); }
    QStringList onCard() const { return QDir(sim->cardPath()).entryList(QDir::Files); }
    // The card files served since `from`, in order.
    QList<QByteArray> served(int from)
    {
        QList<QByteArray> names;
        for (const QByteArray& line : sim->lines("camera: served file", from))
            names << line.split(' ').value(4);
        return names;
    }

    std::unique_ptr<QTemporaryDir> work;
    std::unique_ptr<SimDevice> sim;
};

} // namespace synccard
