#pragma once

#include <QByteArray>

#include <cstdint>

// SHA-256, fed as the bytes come. Uses the processor's SHA instructions
// where it has them: a recording's checksum must cost its download nothing
// visible, and a check of the whole archive must keep up with the disk.
class Sha256
{
public:
    Sha256();

    void add(const char* data, qint64 length);
    void add(const QByteArray& data) { add(data.constData(), data.size()); }
    // The digest, 32 bytes; the hash starts afresh afterwards.
    QByteArray result();

    // Whether the processor's instructions are used; tests may turn them off.
    static bool accelerated();
    static void setAccelerated(bool on);

private:
    void blocks(const unsigned char* data, qint64 count);

    std::uint32_t state[8];
    unsigned char pending[64];
    int pendingLength = 0;
    std::uint64_t total = 0;
};
