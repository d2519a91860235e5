#pragma once

#include <QByteArray>
#include <QDateTime>

// One card file fetched by its own HTTP GET into a local folder. Plain code
// with no widgets and no event loop: the download thread wraps it.

// The parsed head of a file reply.
struct resp_header
{
    int status_code = 0;
    char content_type[128] = {};
    long long content_length = -1; // -1: the reply announced no length
    bool coded = false;            // a Transfer-Encoding (chunked...) was announced
};

namespace download {

// Why a download ended; Done is the only success.
enum class Outcome : int {
    Done,
    Stopped,
    BadName,
    NoSocket,
    ConnectFailed,
    NoReply,
    HeaderTooLarge,
    BadStatus,
    Unsupported,
    Incomplete,
    TimedOut,
    OpenFailed,
    WriteFailed,
};

constexpr int kConnectTimeoutMs = 3000;
// The camera streams a file without pauses; this much silence means it is gone.
constexpr int kSilenceTimeoutMs = 10000;
// How often a wait looks up to see whether it should stop.
constexpr int kSliceMs = 100;
constexpr int kRequestSize = 2048;
constexpr int kBlockSize = 4096;

// What the transfer needs from the one who runs it.
class TransferObserver
{
public:
    virtual ~TransferObserver() = default;
    virtual bool stopRequested() = 0;
    virtual void headerReceived(const resp_header& header) = 0;
    // After every block written; total is -1 when the length is unknown.
    virtual void blockWritten(long long written, long long total) = 0;
};

struct CardFileJob
{
    QByteArray name;       // card file name, as the camera spells it
    QByteArray host;       // camera's dotted IPv4 address
    unsigned short port = 80;
    QByteArray folder;     // local folder, ending in '/'
    QDateTime created;     // recording time for the local file, if valid
};

// Parses a NUL-terminated reply head: status, Content-Type, Content-Length.
resp_header parseResponseHeader(const char* response);

// Formats the GET for `name` into `buffer` (kRequestSize bytes); false when
// the name is not a plain card file name or the request would not fit.
bool composeRequest(const QByteArray& name, const QByteArray& host, char* buffer);

// The whole transfer. The local file only ever holds a complete body: it
// goes to a temporary file that replaces folder + name once complete.
Outcome fetchCardFile(const CardFileJob& job, TransferObserver& observer, int* status);

} // namespace download
