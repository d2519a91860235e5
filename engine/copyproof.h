#pragma once

#include "cardrecording.h"
#include "cardrequestthread.h"

#include <QString>

// Whether a recording on the card is the local file taken for its copy, as
// the camera has it this moment. One request looks at the card file: its
// last bytes (Range: bytes=N-), or its first ones from a camera that
// ignores ranges. The reply says the file's size now, and its bytes are
// compared with the copy's.
namespace CopyProof {

enum class Verdict {
    Proven,
    NoCopy,         // no regular file of its size and time in the folder
    NotRegular,     // only a link stands where its copy would be
    TimeUnreadable, // the camera's time is no time: nothing tells it apart
    Grew,           // the card file is larger now: a clip still being written
    Differs,        // other bytes, or a smaller file: another recording
    Gone,           // no longer on the card
    NoAnswer,       // the camera did not answer, or not so that it tells
};

constexpr int kSampleBytes = 64 * 1024;

// The look at the card file, for a copy of `copySize` bytes.
CardRequest look(const CardRecording& recording, qint64 copySize, int deadlineMs);
// Whether the answer's size can be had from it, or needs an info request.
bool tellsSize(const CardAnswer& answer);
// The answer to look() against the copy on disk; `sizeNow` is the card
// file's size where the answer does not tell it.
Verdict judge(const CardAnswer& answer, const QString& copy, qint64 sizeNow = -1);
// Why a recording stays on the card, for the status bar and a sync's lines.
QString reason(Verdict verdict);

} // namespace CopyProof
