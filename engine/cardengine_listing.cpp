// The card engine's listing: the count and the list, the rows, and the
// details pass that fills them in.
#include "cardengine.h"

#include "cardendpoints.h"
#include "cardreplies.h"
#include "detailspass.h"
#include "windowtexts.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

bool CardEngine::isReadingDetails() const
{
    return details->isRunning();
}

bool CardEngine::isStartingSync() const
{
    return details->isWaiting();
}

void CardEngine::preferDetails(int firstRow, int lastRow)
{
    details->prefer(firstRow, lastRow);
}

void CardEngine::endDetails()
{
    details->end();
}

void CardEngine::takeDetails(int row, const QByteArray& reply)
{
    Row& entry = rows[row];
    const CardRecording told = recordingFromInfo(entry.recording.name, reply.constData());
    entry.recording.size = told.size;
    entry.recording.created = told.created;
    entry.recording.createdText = told.createdText;
    entry.detailsKnown = told.size >= 0;
    emit detailsArrived(row, reply);
}

CardEngine::Asked CardEngine::askListing(QByteArray* count, Reply* reply)
{
    Asked asked = ask(CardEndpoints::url(CardEndpoints::kGetFileCount), requestDeadlineMs, reply);
    char countText[16] = "";
    if (asked == Asked::Answered) {
        CardReplies::cutFileCount(reply->body.constData(), countText, sizeof countText);
        asked = ask(CardEndpoints::url(CardEndpoints::kGetFileList) + QLatin1String(countText),
                    requestDeadlineMs, reply);
    }
    *count = countText;
    return asked;
}

CardEngine::Listing CardEngine::list(bool withDetails)
{
    Listing listing;
    // A new listing replaces the one whose details are still coming.
    endDetails();
    Reply reply;
    QByteArray countText;
    listing.asked = askListing(&countText, &reply);
    if (listing.asked != Asked::Answered) {
        if (listing.asked == Asked::Failed)
            rowsCurrent = whole = false;
        return listing;
    }
    // An error page is read like any reply, but what it yields is no list.
    const bool errorPage = reply.status != 200;
    std::unique_ptr<char[][CardReplies::kValueSize]> names(
        new char[kMaxFiles][CardReplies::kValueSize]);
    const CardReplies::FileList cut =
        CardReplies::cutFileList(reply.body.toStdString(), names.get(), kMaxFiles);
    const long long count = countText.toLongLong();
    const int listed = cut.rows + cut.leftOut;
    listing.counted = !countText.isEmpty();
    listing.incomplete = errorPage || (listing.counted && listed < count) || cut.cut;
    if (errorPage) {
        listing.problems << WindowTexts::tr("Could not read the card's file list.");
    } else {
        if (cut.leftOut > 0)
            listing.problems << WindowTexts::tr("%1 entries of the card's list were left out:"
                                                " unsafe names or more than %2 files.")
                                    .arg(cut.leftOut).arg(kMaxFiles);
        // A list that ends early must never pass for the whole card.
        if (listing.counted && listed < count)
            listing.problems << WindowTexts::tr("The camera counts %1 files but listed %2.")
                                    .arg(count).arg(listed);
        else if (cut.cut)
            listing.problems << WindowTexts::tr("The card's file list was cut off after %1"
                                                " files.").arg(listed);
    }
    QVector<QByteArray> listedNames;
    listedNames.reserve(cut.rows);
    for (int row = 0; row < cut.rows; ++row)
        listedNames << QByteArray(names[row]);
    setRows(listedNames);
    rowsCurrent = true;
    whole = listing.problems.isEmpty();
    // Names that no row could take are on the card all the same.
    leftOutEntries = cut.leftOut + cut.rows - rows.size();
    emit rowsListed();

    // Never more requests than rows: the count may promise more.
    const int total = static_cast<int>(std::clamp(count, 0LL, static_cast<long long>(cut.rows)));
    if (withDetails) {
        QStringList pending;
        for (int row = 0; row < total; ++row)
            pending << rows.at(row).recording.name;
        details->start(pending, listing.problems);
    }
    return listing;
}

void CardEngine::setRows(const QVector<QByteArray>& names)
{
    rows.clear();
    index.clear();
    rows.reserve(names.size());
    for (const QByteArray& bytes : names) {
        CardRecording recording;
        recording.cardName = bytes;
        recording.name = cardNameText(bytes);
        // Two spellings that read alike: the second keeps one character a
        // byte, so that each row has a name of its own.
        if (index.contains(recording.name))
            recording.name = QString::fromLatin1(bytes);
        if (index.contains(recording.name))
            continue;
        index.insert(recording.name, rows.size());
        rows.append(Row{recording, false});
    }
}

void CardEngine::removeRow(const QString& name)
{
    const int row = rowOf(name);
    if (row < 0)
        return;
    rows.remove(row);
    index.remove(name);
    for (auto it = index.begin(); it != index.end(); ++it) {
        if (it.value() > row)
            --it.value();
    }
}
