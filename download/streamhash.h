#pragma once

#include "sha256.h"

#include <QByteArray>
#include <QString>

// The SHA-256 of a file's bytes as they are written, kept bytes first. On
// the thread that writes them: a second thread would fight the transfer for
// the processor and its caches, and cost more than the hash itself.
class StreamHash
{
public:
    // The first `length` bytes of the file at `path` come first: bytes kept
    // from an earlier transfer, hashed once.
    void startWith(const QString& path, qint64 length);
    void add(const QByteArray& bytes) { hash.add(bytes); }
    // The digest in lower-case hex; empty when the kept bytes could not be read.
    QByteArray finish();

private:
    Sha256 hash;
    bool failed = false;
};
