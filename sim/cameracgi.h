#pragma once

#include "camerarequest.h"
#include "commandwords.h"
#include "httpreply.h"
#include "simlog.h"

#include <QByteArray>
#include <QVector>

#include <map>

class Card;

// The camera's CGI replies: the card's file count, list and file details,
// deletes and the format, with the list modes and the replaced bodies that
// tests ask for.
class CameraCgi
{
public:
    enum class ListMode { Normal, Hostile, Huge, Cut };

    CameraCgi(Card* card, sim::Logger log);

    // "camera list normal|hostile|huge[=N]|cut=N": empty when set, the reason
    // otherwise.
    QByteArray listCommand(const ModeWord& mode);
    // "camera body TARGET TEXT|off" (all the words): likewise.
    QByteArray bodyCommand(const QList<QByteArray>& words);

    // The reply to a CGI request (count, list, info, delete, deleteall,
    // format); tag names its connection in the log.
    Reply answer(const CameraRequest& request, const QByteArray& tag);
    // Gives the reply the body set for its kind of request, if any.
    void replaceBody(RequestKind kind, Reply* reply, const QByteArray& tag) const;

private:
    QVector<QByteArray> listEntries() const;
    Reply list(const QByteArray& query, const QByteArray& tag) const;
    Reply infoOrDelete(const CameraRequest& request, const QByteArray& tag);

    Card* card;
    sim::Logger log;
    ListMode listMode = ListMode::Normal;
    int listCount = 0; // entries for Huge, whole entries before the cut for Cut
    std::map<RequestTarget, QByteArray> bodies;
};
