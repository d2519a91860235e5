#include "simlog.h"

#include <cstdio>

namespace sim {

void logLine(const QByteArray& line)
{
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

QByteArray escaped(const QByteArray& bytes)
{
    static const char digits[] = "0123456789abcdef";
    QByteArray out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (u < 0x20 || u == 0x7f) {
            out += "\\x";
            out += digits[u >> 4];
            out += digits[u & 0xf];
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace sim
