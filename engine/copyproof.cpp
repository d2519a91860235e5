#include "copyproof.h"

#include "cardendpoints.h"
#include "windowtexts.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace CopyProof {

CardRequest look(const CardRecording& recording, qint64 copySize, int deadlineMs)
{
    CardRequest request;
    request.url = CardEndpoints::url(CardEndpoints::kCardFolder, recording.bytes());
    request.deadlineMs = deadlineMs;
    // An empty file has no byte to ask a range of.
    if (copySize > 0)
        request.rangeFrom = std::max<qint64>(0, copySize - kSampleBytes);
    request.bodyLimit = kSampleBytes;
    return request;
}

bool tellsSize(const CardAnswer& answer)
{
    return answer.fileSize >= 0 || !answer.ok || (answer.status != 200 && answer.status != 206);
}

Verdict judge(const CardAnswer& answer, const QString& copy, qint64 sizeNow)
{
    if (answer.ok && answer.status == 404)
        return Verdict::Gone;
    // Nothing where the copy's last bytes would be: the card file is shorter.
    if (answer.ok && answer.status == 416)
        return Verdict::Differs;
    if (!answer.ok || (answer.status != 200 && answer.status != 206))
        return Verdict::NoAnswer;
    const qint64 size = answer.fileSize >= 0 ? answer.fileSize : sizeNow;
    const qint64 copySize = QFileInfo(copy).size();
    if (size < 0 || answer.from < 0)
        return Verdict::NoAnswer;
    if (size > copySize)
        return Verdict::Grew;
    if (size < copySize)
        return Verdict::Differs;
    // The bytes the camera sent must be as many as there are from there on,
    // up to the sample's length: fewer tell nothing.
    const qint64 expected = std::min<qint64>(kSampleBytes, size - answer.from);
    if (answer.from > size || answer.body.size() < expected)
        return Verdict::NoAnswer;
    QFile local(copy);
    if (!local.open(QIODevice::ReadOnly) || !local.seek(answer.from))
        return Verdict::NoAnswer;
    return local.read(expected) == answer.body.left(expected) ? Verdict::Proven
                                                                : Verdict::Differs;
}

QString reason(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Proven: break;
    case Verdict::NoCopy: return WindowTexts::tr("not in DCIM/");
    case Verdict::NotRegular: return WindowTexts::tr("its copy is not a regular file");
    case Verdict::TimeUnreadable: return WindowTexts::tr("its time cannot be read");
    case Verdict::Grew: return WindowTexts::tr("it grew since it was copied");
    case Verdict::Differs: return WindowTexts::tr("it differs from the file in DCIM/");
    case Verdict::Gone: return WindowTexts::tr("no longer on the card");
    case Verdict::NoAnswer: return WindowTexts::tr("the camera did not answer the check");
    }
    return QString();
}

} // namespace CopyProof
