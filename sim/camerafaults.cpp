#include "camerafaults.h"

#include <algorithm>

namespace {

constexpr int kDripTickMs = 20;
constexpr int kClosePieceMs = 3;
constexpr int kFillerLine = 8000;
constexpr int kMinEndlessLine = 32;

ReplyShape starting(ReplyShape::Start start)
{
    ReplyShape shape;
    shape.start = start;
    return shape;
}

// Many long lines rather than one: the whole head outgrows any small fixed
// buffer while each line stays a plausible length.
QByteArray fillerLines(int bytes)
{
    QByteArray lines;
    int added = 0;
    for (int line = 1; added < bytes; ++line) {
        const int fill = std::min(kFillerLine, bytes - added);
        lines += "X-Filler-" + QByteArray::number(line) + ": " + QByteArray(fill, 'x') + "\r\n";
        added += fill;
    }
    return lines;
}

// Line 0 is the status line; line n a header line of `size` bytes with CRLF.
QByteArray endlessLine(qint64 index, int size)
{
    if (index == 0)
        return "HTTP/1.1 200 OK\r\nServer: devicesim\r\n";
    QByteArray line = "X-Endless-" + QByteArray::number(index) + ": ";
    line += QByteArray(std::max(1, size - line.size() - 2), 'e');
    return line + "\r\n";
}

// A new mode: a row here, a row in tst_sim's fault table, a line in sim/README.md.
const QVector<FaultMode> kModes = {
    {"none", nullptr, 0, "no fault (the default)", nullptr},
    {"close-early", nullptr, 0, "announces the full Content-Length, sends half the body, closes",
     [](int) {
         ReplyShape shape;
         shape.close = true;
         shape.halfBody = true;
         return shape;
     }},
    {"stall", nullptr, 0, "reads the request and never answers (the request has no effect)",
     [](int) { return starting(ReplyShape::Start::Stall); }},
    {"hangup", nullptr, 0, "closes right after the request, sending nothing (no effect)",
     [](int) { return starting(ReplyShape::Start::Hangup); }},
    {"404", nullptr, 0, "404 Not Found with an HTML body and Content-Length (no effect)",
     [](int) { return starting(ReplyShape::Start::NotFound); }},
    {"refuse", nullptr, 0,
     "200 OK with the body Failed\\r\\n and its Content-Length, as a camera that turns the"
     " request down (no effect)",
     [](int) { return starting(ReplyShape::Start::Refuse); }},
    {"no-length", nullptr, 0, "no Content-Length; the body, then a close",
     [](int) {
         ReplyShape shape;
         shape.noLength = true;
         shape.close = true;
         return shape;
     }},
    {"chunked", nullptr, 0,
     "Transfer-Encoding: chunked, chunks of 1, 7, 64 (with an extension), 1000 and 4096"
     " bytes in turn",
     [](int) {
         ReplyShape shape;
         shape.chunked = true;
         return shape;
     }},
    {"drip", "N", 256, "the whole reply, N bytes every 20 ms",
     [](int n) {
         ReplyShape shape;
         shape.pieceBytes = std::max(1, n);
         shape.pieceMs = kDripTickMs;
         return shape;
     }},
    {"big-header", "N", 16384, "N bytes of extra header lines, at most 8000 bytes each",
     [](int n) {
         ReplyShape shape;
         shape.extraHead = fillerLines(n);
         return shape;
     }},
    {"trickle", "MS", 700, "the whole reply, one byte every MS ms",
     [](int ms) {
         ReplyShape shape;
         shape.pieceBytes = 1;
         shape.pieceMs = std::max(1, ms);
         return shape;
     }},
    {"endless-header", "N", 64,
     "a status line, then header lines of N bytes each (at least 32) without end, made as"
     " fast as the client takes them",
     [](int n) {
         ReplyShape shape;
         const int size = std::max(kMinEndlessLine, n);
         shape.endlessHead = [size](qint64 line) { return endlessLine(line, size); };
         return shape;
     }},
    {"extra-bytes", "N", 4096, "the reply as usual, then N bytes of X beyond its Content-Length",
     [](int n) {
         ReplyShape shape;
         shape.trailer = QByteArray(std::max(1, n), 'X');
         return shape;
     }},
    {"close-delimited", "N", 100,
     "no Content-Length, Connection: close; the head, then the body N bytes at a time, 3 ms"
     " apart, each in a segment of its own, then a close",
     [](int n) {
         ReplyShape shape;
         shape.noLength = true;
         shape.close = true;
         shape.segments = true;
         shape.pieceBytes = std::max(1, n);
         shape.pieceMs = kClosePieceMs;
         return shape;
     }},
    {"cut", "N", FaultMode::kNeeded,
     "the head as usual, exactly N bytes of the body, then a close",
     [](int n) {
         ReplyShape shape;
         shape.close = true;
         shape.bodyLimit = n;
         return shape;
     }},
    {"short-close", "N", FaultMode::kHalf,
     "no Content-Length and no Transfer-Encoding, Connection: close; N bytes of the body"
     " (default: half of it), then a close, as an HTTP/1.0 reply that broke off",
     [](int n) {
         ReplyShape shape;
         shape.noLength = true;
         shape.close = true;
         if (n == FaultMode::kHalf)
             shape.halfBody = true;
         else
             shape.bodyLimit = n;
         return shape;
     }},
};

} // namespace

const QVector<FaultMode>& CameraFaults::modes()
{
    return kModes;
}

QByteArray CameraFaults::command(const ModeWord& word, const QList<QByteArray>& options)
{
    const auto found = std::find_if(kModes.begin(), kModes.end(),
                                    [&](const FaultMode& m) { return m.word == word.mode; });
    if (found == kModes.end())
        return "unknown fault";
    if (found->defaultNumber == FaultMode::kNeeded && !word.hasNumber)
        return "expected " + found->word + "=N";
    if (!found->number && word.hasNumber)
        return "this fault takes no number";
    RequestTarget chosen = RequestTarget::All;
    bool forOnce = false;
    for (const QByteArray& option : options) {
        if (option == "once")
            forOnce = true;
        else if (!parseTarget(option, false, &chosen))
            return "unknown target " + option;
    }
    mode = found->shape ? &*found : nullptr;
    parameter = !found->number ? 0 : word.hasNumber ? word.number : found->defaultNumber;
    target = chosen;
    once = forOnce;
    return {};
}

const FaultMode* CameraFaults::take(RequestKind kind, ReplyShape* shape)
{
    if (!mode || !targets(target, kind))
        return nullptr;
    const FaultMode* applied = mode;
    *shape = applied->shape(parameter);
    if (once)
        mode = nullptr;
    return applied;
}
