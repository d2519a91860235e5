#pragma once

// Where terminals and standard input differ between platforms, as
// platformsocket.h does for sockets. For the simulated device's commands.

#include <QByteArray>
#include <QCoreApplication>
#include <QObject>

#include <functional>

#ifdef _WIN32
#  include <cstdio>
#  include <thread>
#else
#  include <QSocketNotifier>
#  include <unistd.h>
#endif

namespace merro::term {

// Whether standard input is a terminal that another process group owns: a
// background job that read it would be stopped by the shell. Windows has no
// such jobs.
inline bool inputIsAnotherJobsTerminal()
{
#ifdef _WIN32
    return false;
#else
    return ::isatty(STDIN_FILENO) && ::tcgetpgrp(STDIN_FILENO) != ::getpgrp();
#endif
}

// Calls onLine with each line of standard input (without its line end) and
// onEnd once it ends, on the thread of `context`, for as long as it lives.
inline void readInputLines(QObject* context, std::function<void(const QByteArray&)> onLine,
                           std::function<void()> onEnd)
{
#ifdef _WIN32
    // A notifier cannot watch a console there: a blocking read on a thread of
    // its own, left to the process's end, since nothing can wake it.
    std::thread([context, onLine, onEnd] {
        char buffer[4096];
        while (std::fgets(buffer, sizeof buffer, stdin)) {
            const QByteArray line = QByteArray(buffer).trimmed();
            QMetaObject::invokeMethod(context, [onLine, line] { onLine(line); });
        }
        QMetaObject::invokeMethod(context, onEnd);
    }).detach();
#else
    auto* notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, context);
    auto pending = std::make_shared<QByteArray>();
    QObject::connect(notifier, &QSocketNotifier::activated, context,
                     [notifier, pending, onLine, onEnd] {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof(buffer));
        if (n <= 0) {
            notifier->setEnabled(false);
            onEnd();
            return;
        }
        pending->append(buffer, static_cast<int>(n));
        int newline;
        while ((newline = pending->indexOf('\n')) >= 0) {
            const QByteArray line = pending->left(newline);
            pending->remove(0, newline + 1);
            onLine(line);
        }
    });
#endif
}

} // namespace merro::term
