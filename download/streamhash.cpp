#include "streamhash.h"

#include <QFile>

namespace {

constexpr qint64 kReadStep = 1024 * 1024;

} // namespace

void StreamHash::startWith(const QString& path, qint64 length)
{
    QFile kept(path);
    if (!kept.open(QIODevice::ReadOnly)) {
        failed = true;
        return;
    }
    while (length > 0) {
        const QByteArray piece = kept.read(std::min(length, kReadStep));
        if (piece.isEmpty()) {
            failed = true;
            return;
        }
        hash.add(piece);
        length -= piece.size();
    }
}

QByteArray StreamHash::finish()
{
    return failed ? QByteArray() : hash.result().toHex();
}
