#pragma once

#include "camerarequest.h"
#include "commandwords.h"

#include <QByteArray>
#include <QList>
#include <QVector>

#include <functional>

// How a fault bends one reply of the camera; the default is the normal reply.
struct ReplyShape
{
    // What the camera does instead of answering. The request takes no effect.
    enum class Start { Answer, Stall, Hangup, NotFound, Refuse };

    Start start = Start::Answer;
    bool close = false; // closes after the reply even when the client keeps alive
    bool chunked = false;
    bool noLength = false;
    QByteArray extraHead; // header lines
    bool halfBody = false;
    qint64 bodyLimit = -1; // body bytes sent, whatever the head says; -1: all
    QByteArray trailer;    // bytes after the body
    int pieceBytes = 0;    // paced: this many bytes every pieceMs
    int pieceMs = 0;
    bool segments = false; // head alone, then each piece in a segment of its own
    // A head that never ends: its text from line 0 on, made as the client takes it.
    std::function<QByteArray(qint64 line)> endlessHead;
};

// One fault mode: its command word, its number, what it does (for --help)
// and the shape it gives a reply.
struct FaultMode
{
    static constexpr int kNeeded = -1; // the number must be given
    static constexpr int kHalf = -2;   // without a number: half the body

    QByteArray word;
    const char* number; // what N stands for; null: the mode takes none
    int defaultNumber;
    const char* help;
    ReplyShape (*shape)(int number); // null: no fault
};

// The camera's fault: one mode at a time, for the requests of one target,
// until cleared or, with "once", for one request.
class CameraFaults
{
public:
    static const QVector<FaultMode>& modes();

    // "camera fault MODE[=N] [TARGET] [once]": empty when set, the reason otherwise.
    QByteArray command(const ModeWord& mode, const QList<QByteArray>& options);
    // The mode that bends the reply to a request of this kind, if any, and its
    // shape; a mode set for once is cleared.
    const FaultMode* take(RequestKind kind, ReplyShape* shape);

private:
    const FaultMode* mode = nullptr;
    int parameter = 0;
    RequestTarget target = RequestTarget::All;
    bool once = false;
};
