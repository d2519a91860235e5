#pragma once

// The frames of the device link. A unit's frame is read from the start of a
// zero-padded receive buffer; the tool's own frames are always six bytes.
namespace LinkFrames {

constexpr int kReceiveSize = 100;
constexpr int kFrameSize = 6;

constexpr unsigned char kControlStart = 0xAA;
constexpr unsigned char kGroundStart = 0xBB;
constexpr unsigned char kReplyMarker = 0xAF;

constexpr unsigned char kVersionReport = 0x00;
constexpr unsigned char kHeartbeat = 0x04;

struct VersionReport
{
    signed char hardType = 0;
    int hardVer = 0;
    int softVer = 0;
    int protocolVer = 0;
    int bootVer = 0;
};

// Whether the buffer starts with a frame of the unit with this start byte
// carrying this command. Only bytes 0 and 2 count.
bool isFrame(const char* buffer, unsigned char start, unsigned char command);

// Reads a control unit's version report from the first 13 bytes of the
// buffer; false (and the report untouched) if the buffer holds another frame.
bool readVersionReport(const char* buffer, VersionReport& report);

// Writes the 6-byte frame AA AF <command> 01 <data> <checksum> into frame.
void buildFrame(char* frame, unsigned char command, unsigned char data);

// The answer to every heartbeat, from either unit: AA AF 04 01 01 5F.
void buildHeartbeatReply(char* frame);

} // namespace LinkFrames
