#pragma once

#include "sha256.h"

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// The SHA-256 of a file's bytes as they are written: on a thread of its own
// for a large file, so that the checksum costs the transfer nothing.
class StreamHash
{
public:
    // `expected`: how many bytes will come, if known; a large file gets a thread.
    explicit StreamHash(qint64 expected = -1);
    ~StreamHash();
    StreamHash(const StreamHash&) = delete;
    StreamHash& operator=(const StreamHash&) = delete;

    // The first `length` bytes of the file at `path` come first: bytes kept
    // from an earlier transfer, hashed once.
    void startWith(const QString& path, qint64 length);
    void add(const QByteArray& bytes);
    // The digest in lower-case hex, once all is hashed; empty when the kept
    // bytes could not be read.
    QByteArray finish();

private:
    void work();
    void hashFile(const QString& path, qint64 length);

    Sha256 hash;
    bool threaded = false;
    bool failed = false;
    std::thread worker;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<QByteArray> chunks;
    QString keptPath;
    qint64 keptLength = 0;
    bool closed = false;
};
