#pragma once

#include "camerarequest.h"
#include "httpreply.h"
#include "simlog.h"

#include <QByteArray>
#include <QList>

class Card;

// The camera's file replies: a card file whole, or the byte range a request
// asks for, or (as tests ask) a camera that ignores ranges or serves the
// wrong one.
class CameraFiles
{
public:
    enum class RangeMode { On, Ignore, Wrong };

    CameraFiles(Card* card, sim::Logger log);

    // "camera range on|ignore|wrong" (all the words): empty when set, the
    // reason otherwise.
    QByteArray rangeCommand(const QList<QByteArray>& words);
    // The reply to a download; tag names its connection in the log.
    Reply answer(const CameraRequest& request, const QByteArray& tag) const;

private:
    Card* card;
    sim::Logger log;
    RangeMode rangeMode = RangeMode::On;
};
