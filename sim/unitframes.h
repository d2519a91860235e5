#pragma once

#include <QByteArray>
#include <QVector>

struct VersionValues
{
    int type = 2; // signed 8-bit on the wire
    int hardware = 260;
    int software = 1027;
    int protocol = 3;
    int boot = 101;
};

// "T,HW,SW,PROTO,BOOT": type -128..255, versions 0..65535.
bool parseVersionValues(const QByteArray& text, VersionValues* values);

// How each heartbeat goes out: alone; split into two writes; in one write
// with a version report; or followed by a junk frame.
enum class HeartbeatStyle { Normal, Split, Double, Junk };

// The frames a unit sends on one connection, numbered in turn. A frame is
// start, sequence, command, data length, data, checksum (the low byte of the
// sum of the bytes before it).
class UnitFrames
{
public:
    // One write: its bytes, and its kind for the log.
    struct Write
    {
        QByteArray bytes;
        QByteArray kind;
    };

    explicit UnitFrames(quint8 startByte);

    QByteArray heartbeat();
    QByteArray version(const VersionValues& values);
    // The writes that carry the next heartbeat in this style.
    QVector<Write> heartbeatWrites(HeartbeatStyle style, const VersionValues& values);
    // `count` four-byte heartbeats without length and data, back to back, as a
    // flood sends them.
    QByteArray floodFrames(int count);

    // What a client answers to every heartbeat.
    static const QByteArray& heartbeatReply();

private:
    QByteArray frame(quint8 command, const QByteArray& data);
    // In turn: an unknown command, the other unit's start byte, noise.
    QByteArray junk();

    quint8 startByte;
    quint8 sequence = 0;
    int junkTurn = 0;
};
