#pragma once

#include <QByteArray>

#include <functional>

namespace sim {

// Where a part of the device writes its log lines (its name and a colon first).
using Logger = std::function<void(const QByteArray& text)>;

// Writes one line to standard output and flushes it, so that a test reading
// the pipe sees each event as it happens.
void logLine(const QByteArray& line);

// Makes received bytes printable on one line: CR, LF, TAB and backslash as
// \r \n \t \\, other control bytes as \xNN; bytes from 0x80 up stay as they
// are (UTF-8 names remain readable).
QByteArray escaped(const QByteArray& bytes);

} // namespace sim
