// The card engine's changes to the card: a card operation that holds the
// details pass and pauses a download, the delete of one file (confirmed or
// refused), and delete all or format.
#include "cardengine.h"

#include "cardendpoints.h"
#include "cardfilename.h"
#include "detailspass.h"
#include "windowtexts.h"

#include <QPointer>

void CardEngine::beginCardOperation()
{
    const QPointer<CardEngine> self(this);
    details->hold();
    if (self)
        queue->pause();
}

void CardEngine::endCardOperation()
{
    queue->resume();
    details->release();
}

CardEngine::Asked CardEngine::deleteFile(const QString& name, bool* deleted, bool* noReply,
                                         QString* refusal)
{
    *deleted = false;
    *noReply = false;
    QString why;
    const Asked asked = deleteOnCard(cardNameOf(name), deleted, noReply, &why);
    if (*deleted) {
        removeRow(name);
        queue->drop(name);
    }
    if (refusal)
        *refusal = why;
    return asked;
}

CardEngine::Asked CardEngine::deleteOnCard(const QByteArray& bytes, bool* confirmed,
                                           bool* silent, QString* refusal)
{
    *confirmed = false;
    *silent = false;
    if (!merro::isPlainCardFileName(bytes.toStdString()))
        return Asked::Failed;
    CardRequest request;
    request.url = CardEndpoints::url(CardEndpoints::kDeleteFile, bytes);
    request.deadlineMs = requestDeadlineMs;
    Reply reply;
    const Asked asked = ask(request, &reply);
    if (asked == Asked::Failed) {
        // As for the listing: one wait for a camera that does not answer.
        *silent = noAnswer(reply.failure);
        *refusal = WindowTexts::tr("no answer from the camera");
    }
    if (asked != Asked::Answered)
        return asked;
    // An error page, or a camera that says it could not, deleted nothing.
    if (reply.status >= 400)
        *refusal = WindowTexts::tr("the camera answered %1").arg(reply.status);
    else if (reply.body.toLower().contains("fail"))
        *refusal = WindowTexts::tr("the camera said: %1")
                       .arg(QString::fromLatin1(reply.body.trimmed().left(80)));
    else
        *confirmed = true;
    return asked;
}

CardEngine::Asked CardEngine::changeWholeCard(const QString& url, const QString& stopSummary,
                                              bool* confirmed)
{
    *confirmed = false;
    endDetails();
    // The recordings the queue was fetching are about to go; the queue says so.
    const QPointer<CardEngine> self(this);
    queue->stop(stopSummary);
    if (!self)
        return Asked::Aborted;
    Reply reply;
    const Asked asked = ask(url, maintenanceDeadlineMs, &reply);
    if (asked != Asked::Answered)
        return asked;
    // Emptied whatever the answer; only a confirmed one says the card is empty.
    *confirmed = reply.body == "Success\r\n";
    setRows({});
    rowsCurrent = whole = *confirmed;
    leftOutEntries = 0;
    return asked;
}
