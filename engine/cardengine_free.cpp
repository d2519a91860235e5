// The card engine's proof before a recording leaves the card, and freeing
// the card of what is proven safe: a fresh look at the card file, its bytes
// against a regular file in the download folder, a delete the camera
// confirms, and a listing afterwards that no longer holds it.
#include "cardengine.h"

#include "cardendpoints.h"
#include "cardreplies.h"
#include "deviceaddresses.h"
#include "journal.h"
#include "localarchive.h"
#include "windowtexts.h"

#include <QPointer>

#include <memory>

using CopyProof::Verdict;

QSet<QString> CardEngine::ruledOutFor(const CardRecording& recording) const
{
    return ruledOut.value(recording.bytes());
}

CardEngine::Proof CardEngine::prove(const CardRecording& recording)
{
    if (recording.timeUnreadable())
        return {Verdict::TimeUnreadable, QString()};
    const LocalArchive archive(downloadFolder);
    QStringList copies = archive.copiesOf(recording);
    const QSet<QString> out = ruledOutFor(recording);
    copies.erase(std::remove_if(copies.begin(), copies.end(),
                                [&out](const QString& copy) { return out.contains(copy); }),
                 copies.end());
    if (copies.isEmpty())
        return {archive.linksFor(recording).isEmpty() ? Verdict::NoCopy : Verdict::NotRegular,
                QString()};
    // The copies have the recording's size: one look serves for each.
    Reply look;
    if (ask(CopyProof::look(recording, recording.size, requestDeadlineMs), &look)
        != Asked::Answered)
        return {Verdict::NoAnswer, QString()};
    qint64 sizeNow = -1;
    if (!CopyProof::tellsSize(look)) {
        // A reply that does not say the file's size: the details do.
        Reply info;
        CardRequest request;
        request.url = CardEndpoints::url(CardEndpoints::kGetFileInfo, recording.bytes());
        request.deadlineMs = requestDeadlineMs;
        if (ask(request, &info) == Asked::Answered && info.status == 200)
            sizeNow = recordingFromInfo(recording.name, info.body.constData()).size;
    }
    for (const QString& copy : copies) {
        const Verdict verdict = CopyProof::judge(look, copy, sizeNow);
        if (verdict == Verdict::Proven)
            return {verdict, copy, look.from,
                    std::min<qint64>(CopyProof::kSampleBytes, recording.size - look.from)};
        if (verdict != Verdict::Differs)
            return {verdict, QString()};
        // Another recording: never again taken for this one's copy.
        ruledOut[recording.bytes()].insert(copy);
        queue->ruleOut(recording.bytes(), copy);
    }
    return {Verdict::Differs, QString()};
}

void CardEngine::stopProving()
{
    provingStopped = true;
    cancelRequest();
}

CardEngine::AtRisk CardEngine::proveAtRisk(const QStringList& names)
{
    AtRisk risk;
    risk.known = rowsCurrent;
    risk.total = names.size();
    provingStopped = false;
    const QPointer<CardEngine> self(this);
    int done = 0;
    emit provingProgress(0, names.size());
    for (const QString& name : names) {
        const int row = rowOf(name);
        risk.known = risk.known && row >= 0 && rows.at(row).detailsKnown;
        bool safe = false;
        if (provingStopped) {
            ++risk.unchecked;
        } else if (row >= 0 && rows.at(row).detailsKnown) {
            const Proof proof = prove(rows.at(row).recording);
            if (!self)
                return risk;
            safe = proof.verdict == Verdict::Proven;
            // One wait for a camera that stopped answering, not one per file.
            if (proof.verdict == Verdict::NoAnswer) {
                provingStopped = true;
                ++risk.unchecked;
            }
        }
        risk.missing += safe ? 0 : 1;
        emit provingProgress(++done, names.size());
    }
    return risk;
}

CardEngine::AtRisk CardEngine::proveCardAtRisk()
{
    AtRisk risk = proveAtRisk(rowNames());
    addLeftOut(&risk);
    return risk;
}

bool CardEngine::listedNow(QSet<QByteArray>* names)
{
    Reply reply;
    QByteArray count;
    if (askListing(&count, &reply) != Asked::Answered || reply.status != 200 || count.isEmpty())
        return false;
    const int most = static_cast<int>(std::min<qint64>(count.toLongLong(), kMaxFiles));
    std::unique_ptr<char[][CardReplies::kValueSize]> listed(
        new char[std::max(most, 1)][CardReplies::kValueSize]);
    const CardReplies::FileList cut =
        CardReplies::cutFileList(reply.body.toStdString(), listed.get(), most);
    if (cut.cut || cut.rows + cut.leftOut < count.toLongLong())
        return false;
    for (int row = 0; row < cut.rows; ++row)
        names->insert(QByteArray(listed[row]));
    return true;
}

CardEngine::Freeing CardEngine::freeSafe(const QVector<CardRecording>& candidates)
{
    Freeing freeing;
    provingStopped = false;
    const QPointer<CardEngine> self(this);
    QVector<CardRecording> confirmed;
    QVector<Proof> proofs; // of the confirmed, in step
    int done = 0;
    emit provingProgress(0, candidates.size());
    for (const CardRecording& recording : candidates) {
        if (provingStopped) {
            freeing.stopped = true;
            freeing.kept << recording.name + QStringLiteral(": ")
                                + WindowTexts::tr("not checked");
            continue;
        }
        const Proof proof = prove(recording);
        if (!self)
            return freeing;
        bool deleted = false;
        bool silent = proof.verdict == Verdict::NoAnswer;
        QString why = CopyProof::reason(proof.verdict);
        if (proof.verdict == Verdict::Proven) {
            if (deleteOnCard(recording.bytes(), &deleted, &silent, &why) == Asked::Aborted
                || !self)
                return freeing;
        }
        if (proof.verdict == Verdict::Differs)
            freeing.differing << recording;
        if (deleted) {
            confirmed << recording;
            proofs << proof;
        } else
            freeing.kept << recording.name + QStringLiteral(": ") + why;
        // One wait for a camera that stopped answering, not one per file.
        provingStopped = provingStopped || silent;
        emit provingProgress(++done, candidates.size());
    }
    if (confirmed.isEmpty())
        return freeing;
    // A confirmed delete is seen through: the card is listed again.
    QSet<QByteArray> listed;
    freeing.checked = listedNow(&listed);
    if (!self)
        return freeing;
    for (int i = 0; i < confirmed.size(); ++i) {
        const CardRecording& recording = confirmed.at(i);
        if (freeing.checked && listed.contains(recording.bytes())) {
            freeing.kept << recording.name + QStringLiteral(": ")
                                + WindowTexts::tr("still on the card after its delete");
            continue;
        }
        journalFreed(recording, proofs.at(i), freeing.checked);
        freeing.freed << recording;
        freeing.bytes += recording.size;
        removeRow(recording.name);
        queue->drop(recording.name);
    }
    return freeing;
}

void CardEngine::journalFreed(const CardRecording& recording, const Proof& proof, bool seenGone)
{
    const merro::Endpoint& camera = merro::deviceAddresses().camera;
    JournalEntry freed;
    freed.kind = JournalEntry::Kind::Freed;
    freed.at = QDateTime::currentDateTimeUtc();
    freed.card = recording.bytes();
    freed.size = recording.size;
    freed.created = recording.createdText;
    freed.camera = QString::fromStdString(camera.text());
    freed.path = proof.copy.mid(downloadFolder.size());
    // How it was checked, in the journal's own words (not the window's language).
    freed.note = QStringLiteral("size %1 on the card, as the copy's; bytes %2-%3 equal the"
                                " copy's; delete confirmed; %4")
                     .arg(recording.size)
                     .arg(proof.sampleFrom)
                     .arg(proof.sampleFrom + proof.sampleLength - 1)
                     .arg(seenGone ? QStringLiteral("not listed afterwards")
                                   : QStringLiteral("no listing afterwards"));
    Journal::append(downloadFolder, freed);
}
