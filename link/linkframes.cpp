#include "linkframes.h"

namespace LinkFrames {

namespace {

unsigned char byteAt(const char* buffer, int index)
{
    return static_cast<unsigned char>(buffer[index]);
}

int bigEndian16(const char* buffer, int index)
{
    return byteAt(buffer, index) * 256 + byteAt(buffer, index + 1);
}

} // namespace

bool isFrame(const char* buffer, unsigned char start, unsigned char command)
{
    return byteAt(buffer, 0) == start && byteAt(buffer, 2) == command;
}

bool readVersionReport(const char* buffer, VersionReport& report)
{
    if (!isFrame(buffer, kControlStart, kVersionReport))
        return false;
    report.hardType = static_cast<signed char>(byteAt(buffer, 4));
    report.hardVer = bigEndian16(buffer, 5);
    report.softVer = bigEndian16(buffer, 7);
    report.protocolVer = bigEndian16(buffer, 9);
    report.bootVer = bigEndian16(buffer, 11);
    return true;
}

void buildFrame(char* frame, unsigned char command, unsigned char data)
{
    const unsigned char bytes[kFrameSize - 1] = {kControlStart, kReplyMarker, command, 0x01, data};
    unsigned int sum = 0;
    for (int i = 0; i < kFrameSize - 1; ++i) {
        frame[i] = static_cast<char>(bytes[i]);
        sum += bytes[i];
    }
    frame[kFrameSize - 1] = static_cast<char>(sum & 0xFF);
}

void buildHeartbeatReply(char* frame)
{
    buildFrame(frame, kHeartbeat, 0x01);
}

} // namespace LinkFrames
