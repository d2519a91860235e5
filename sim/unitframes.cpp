#include "unitframes.h"

#include <QList>

namespace {

constexpr quint8 kVersionCommand = 0x00;
constexpr quint8 kHeartbeatCommand = 0x04;
constexpr int kReplySize = 6;

QByteArray bigEndian16(int value)
{
    QByteArray bytes;
    bytes += static_cast<char>((value >> 8) & 0xff);
    bytes += static_cast<char>(value & 0xff);
    return bytes;
}

} // namespace

bool parseVersionValues(const QByteArray& text, VersionValues* values)
{
    const QList<QByteArray> parts = text.split(',');
    if (parts.size() != 5)
        return false;
    int numbers[5];
    for (int i = 0; i < 5; ++i) {
        bool ok = false;
        numbers[i] = parts[i].trimmed().toInt(&ok);
        if (!ok)
            return false;
    }
    if (numbers[0] < -128 || numbers[0] > 255)
        return false;
    for (int i = 1; i < 5; ++i) {
        if (numbers[i] < 0 || numbers[i] > 65535)
            return false;
    }
    *values = {numbers[0], numbers[1], numbers[2], numbers[3], numbers[4]};
    return true;
}

UnitFrames::UnitFrames(quint8 start) : startByte(start)
{
}

const QByteArray& UnitFrames::heartbeatReply()
{
    static const QByteArray reply("\xaa\xaf\x04\x01\x01\x5f", kReplySize);
    return reply;
}

QByteArray UnitFrames::frame(quint8 command, const QByteArray& data)
{
    QByteArray bytes;
    bytes += static_cast<char>(startByte);
    bytes += static_cast<char>(sequence++);
    bytes += static_cast<char>(command);
    bytes += static_cast<char>(data.size());
    bytes += data;
    int sum = 0;
    for (const char c : bytes)
        sum += static_cast<unsigned char>(c);
    bytes += static_cast<char>(sum & 0xff);
    return bytes;
}

QByteArray UnitFrames::heartbeat()
{
    return frame(kHeartbeatCommand, QByteArray(1, '\0'));
}

QByteArray UnitFrames::version(const VersionValues& values)
{
    QByteArray data;
    data += static_cast<char>(values.type);
    data += bigEndian16(values.hardware);
    data += bigEndian16(values.software);
    data += bigEndian16(values.protocol);
    data += bigEndian16(values.boot);
    return frame(kVersionCommand, data);
}

QByteArray UnitFrames::junk()
{
    switch (junkTurn++ % 3) {
    case 0: // well-formed, but a command nobody knows
        return frame(0x07, QByteArray("\x55\xaa", 2));
    case 1: { // the other unit's start byte
        QByteArray bytes = heartbeat();
        bytes[0] = static_cast<char>(startByte == 0xaa ? 0xbb : 0xaa);
        return bytes;
    }
    default: // noise
        return QByteArray("\x13\x37\xfe\xed\x00\xff\x42", 7);
    }
}

QVector<UnitFrames::Write> UnitFrames::heartbeatWrites(HeartbeatStyle style,
                                                       const VersionValues& values)
{
    const QByteArray beat = heartbeat();
    switch (style) {
    case HeartbeatStyle::Normal:
        break;
    case HeartbeatStyle::Split:
        return {{beat.left(3), "heartbeat-part"}, {beat.mid(3), "heartbeat-part"}};
    case HeartbeatStyle::Double:
        return {{beat + version(values), "heartbeat+version"}};
    case HeartbeatStyle::Junk:
        return {{beat, "heartbeat"}, {junk(), "junk"}};
    }
    return {{beat, "heartbeat"}};
}

QByteArray UnitFrames::floodFrames(int count)
{
    // Four bytes a frame: segments and the client's receives are multiples of
    // four, so every receive starts on a frame.
    QByteArray frames;
    for (int i = 0; i < count; ++i) {
        const quint8 number = sequence++;
        frames += static_cast<char>(startByte);
        frames += static_cast<char>(number);
        frames += static_cast<char>(kHeartbeatCommand);
        frames += static_cast<char>((startByte + number + kHeartbeatCommand) & 0xff);
    }
    return frames;
}
