#pragma once

// Where terminals, consoles and signals differ between platforms, as
// platformsocket.h does for sockets. For the simulated device's commands and
// for the tool's sync without a window.

#include <QByteArray>
#include <QCoreApplication>
#include <QObject>

#include <functional>
#include <memory>

#ifdef _WIN32
// windows.h, set up as the rest of the tool has it.
#  include "platformsocket.h"
#  include <cstdio>
#  include <io.h>
#  include <thread>
#else
#  include <QSocketNotifier>
#  include <csignal>
#  include <cstdio>
#  include <fcntl.h>
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

// A program built for the windowing system has no console of its own on
// Windows: its output goes to the console it was started from, if any.
inline void useParentConsole()
{
#ifdef _WIN32
    if (::AttachConsole(ATTACH_PARENT_PROCESS)) {
        std::freopen("CONOUT$", "w", stdout);
        std::freopen("CONOUT$", "w", stderr);
    }
#endif
}

// Whether standard output (or, `errors`, standard error) is a terminal,
// where a line can be redrawn.
inline bool outputIsTerminal(bool errors = false)
{
#ifdef _WIN32
    return ::_isatty(::_fileno(errors ? stderr : stdout)) != 0;
#else
    return ::isatty(errors ? STDERR_FILENO : STDOUT_FILENO) != 0;
#endif
}

namespace detail {
#ifdef _WIN32
inline std::function<void()>& interruptHandler()
{
    static std::function<void()> handler;
    return handler;
}
#else
inline int& interruptPipe()
{
    static int writeEnd = -1;
    return writeEnd;
}
#endif
} // namespace detail

// Calls onInterrupt on the thread of `context` when the user presses Ctrl+C
// or the process is asked to end (SIGTERM; the console closing on Windows).
inline void onInterrupt(QObject* context, std::function<void()> onInterrupt)
{
#ifdef _WIN32
    detail::interruptHandler() = [context, onInterrupt] {
        QMetaObject::invokeMethod(context, onInterrupt, Qt::QueuedConnection);
    };
    ::SetConsoleCtrlHandler(
        [](DWORD) -> BOOL {
            detail::interruptHandler()();
            return TRUE;
        },
        TRUE);
#else
    // The handler may only write: the notifier hands the rest to the loop.
    int ends[2];
    if (::pipe(ends) != 0)
        return;
    ::fcntl(ends[1], F_SETFL, O_NONBLOCK);
    detail::interruptPipe() = ends[1];
    auto* notifier = new QSocketNotifier(ends[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [onInterrupt](int fd) {
        char drained[16];
        (void)::read(fd, drained, sizeof drained);
        onInterrupt();
    });
    struct sigaction action {};
    action.sa_handler = [](int) {
        const char one = 1;
        (void)::write(detail::interruptPipe(), &one, 1);
    };
    ::sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
#endif
}

} // namespace merro::term
