#include "cardrecording.h"

#include "cardreplies.h"

#include <QByteArray>

#include <cstdlib>

CardRecording recordingFromInfo(const QString& name, const char* reply)
{
    const CardReplies::FileInfoFields fields = CardReplies::cutFileInfo(reply);
    CardRecording recording;
    recording.name = name;
    recording.created = QDateTime::fromString(QString::fromLatin1(fields.create),
                                              QStringLiteral("yyyyMMddHHmmss"));
    // 64-bit: recordings of 2 GiB and more are common.
    const long long bytes = std::strtoll(fields.size, nullptr, 10);
    // Only a plain byte count is a size to compare copies with.
    if (QByteArray(fields.size) == QByteArray::number(bytes) && bytes >= 0)
        recording.size = bytes;
    return recording;
}
