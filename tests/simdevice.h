#pragma once

// The simulated device as a test drives it: started with a card made for the
// test, commanded over its standard input, its output lines kept for checks.
// Only for tests registered with NETNS (they reach the device addresses).

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class SimDevice
{
public:
    SimDevice()
    {
        QObject::connect(&process, &QProcess::readyReadStandardOutput,
                         [this] { output += process.readAllStandardOutput(); });
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }
    ~SimDevice() { stop(); }

    static QString program() { return qEnvironmentVariable("MERRO_SIM"); }
    QString cardPath() const { return cardDir.path(); }

    // Fills the card with `files` sample recordings (0: an empty card).
    bool makeCard(int files)
    {
        if (files == 0)
            return true;
        return QProcess::execute(program(), {"--make-card", cardPath(), QString::number(files)})
               == 0;
    }

    // Starts the device on the card; extra flags as for merro-devicesim.
    bool start(const QStringList& flags = {})
    {
        // --exit-on-eof: a test that crashes takes the device with it.
        process.start(program(), QStringList{"--card", cardPath(), "--exit-on-eof"} + flags);
        return process.waitForStarted() && waitFor("sim: ready");
    }

    void stop()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.write("quit\n");
        if (!process.waitForFinished(3000))
            process.kill();
    }

    // Sends one command; false unless the device takes it in time.
    bool command(const QByteArray& line)
    {
        const int from = output.size();
        process.write(line + '\n');
        return waitFor("sim: ok " + line, from);
    }

    // Waits for an output line holding `text`, at or after byte `from`.
    bool waitFor(const QByteArray& text, int from = 0, int timeoutMs = 5000)
    {
        return QTest::qWaitFor([&] { return output.indexOf(text, from) >= 0; }, timeoutMs);
    }

    // The output lines, from byte `from` on, that start with `prefix`.
    QList<QByteArray> lines(const QByteArray& prefix, int from = 0) const
    {
        QList<QByteArray> found;
        for (const QByteArray& line : output.mid(from).split('\n'))
            if (line.startsWith(prefix))
                found << line;
        return found;
    }

    QByteArray output;
    QProcess process;

private:
    QTemporaryDir cardDir;
};
