#include "card.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cmath>

namespace {

// Roughly the byte rate of the camera's recordings (2 Mbit/s).
constexpr qint64 kBytesPerSecond = 250000;

bool isPhoto(const QByteArray& name)
{
    const QByteArray lower = name.toLower();
    return lower.endsWith(".jpg") || lower.endsWith(".jpeg");
}

// xorshift64*: cheap, and the same card on every machine.
class Random
{
public:
    explicit Random(quint64 seed) : state(seed ? seed : 0x9e3779b97f4a7c15ULL) {}
    quint64 next()
    {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return state * 0x2545f4914f6cdd1dULL;
    }
    double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }

private:
    quint64 state;
};

bool writeSample(const QString& path, qint64 size, bool photo, quint64 seed, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = file.errorString();
        return false;
    }
    // A plausible container signature, then noise that does not compress.
    QByteArray block = photo ? QByteArray("\xff\xd8\xff\xe0\x00\x10JFIF\x00", 11)
                             : QByteArray("\x00\x00\x00\x18" "ftypmp42\x00\x00\x00\x00", 16);
    Random random(seed);
    qint64 left = size;
    while (left > 0) {
        const int want = static_cast<int>(std::min<qint64>(left, 1 << 20));
        while (block.size() < want) {
            const quint64 v = random.next();
            block.append(reinterpret_cast<const char*>(&v), sizeof(v));
        }
        block.truncate(want);
        if (file.write(block) != want) {
            *error = file.errorString();
            return false;
        }
        left -= want;
        block.clear();
    }
    return true;
}

} // namespace

Card::Card(const QString& dir) : folder(QDir(dir).absolutePath()) {}

bool Card::exists() const
{
    return QFileInfo(folder).isDir();
}

bool Card::isSafeName(const QByteArray& name)
{
    if (name.isEmpty() || name.size() > 255 || name.startsWith('.'))
        return false;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || u < 0x20 || u == 0x7f)
            return false;
    }
    return true;
}

QString Card::pathOf(const QByteArray& name) const
{
    return folder + QLatin1Char('/') + QFile::decodeName(name);
}

QHash<QByteArray, int> Card::readIndex() const
{
    QHash<QByteArray, int> index;
    QFile file(folder + QLatin1Char('/') + QLatin1String(kIndexName));
    if (!file.open(QIODevice::ReadOnly))
        return index;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        const int tab = line.lastIndexOf('\t');
        if (tab > 0)
            index.insert(line.left(tab), line.mid(tab + 1).toInt());
    }
    return index;
}

void Card::writeIndex(const QHash<QByteArray, int>& index) const
{
    const QString path = folder + QLatin1Char('/') + QLatin1String(kIndexName);
    if (index.isEmpty()) {
        QFile::remove(path);
        return;
    }
    QList<QByteArray> names = index.keys();
    std::sort(names.begin(), names.end());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    for (const QByteArray& name : names)
        file.write(name + '\t' + QByteArray::number(index.value(name)) + '\n');
    file.commit();
}

CardFile Card::describe(const QString& path, const QHash<QByteArray, int>& index) const
{
    const QFileInfo info(path);
    CardFile file;
    file.name = QFile::encodeName(info.fileName());
    file.size = info.size();
    file.created = info.lastModified().toUTC();
    if (index.contains(file.name))
        file.duration = index.value(file.name);
    else
        file.duration = isPhoto(file.name) ? 0 : static_cast<int>(file.size / kBytesPerSecond);
    return file;
}

QVector<CardFile> Card::files() const
{
    const QHash<QByteArray, int> index = readIndex();
    QVector<CardFile> result;
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::Files | QDir::NoSymLinks, QDir::Unsorted);
    for (const QFileInfo& info : entries) {
        if (isSafeName(QFile::encodeName(info.fileName())))
            result.append(describe(info.filePath(), index));
    }
    std::sort(result.begin(), result.end(),
              [](const CardFile& a, const CardFile& b) { return a.name < b.name; });
    return result;
}

Card::Lookup Card::find(const QByteArray& name, CardFile* file) const
{
    if (!isSafeName(name))
        return Lookup::Refused;
    const QString path = pathOf(name);
    const QFileInfo info(path);
    if (info.isSymLink() || !info.isFile())
        return Lookup::Missing;
    if (file)
        *file = describe(path, readIndex());
    return Lookup::Found;
}

Card::Lookup Card::remove(const QByteArray& name)
{
    const Lookup found = find(name, nullptr);
    if (found != Lookup::Found)
        return found;
    if (!QFile::remove(pathOf(name)))
        return Lookup::Missing;
    QHash<QByteArray, int> index = readIndex();
    if (index.remove(name) > 0)
        writeIndex(index);
    return Lookup::Found;
}

int Card::removeAll()
{
    int removed = 0;
    for (const CardFile& file : files()) {
        if (QFile::remove(pathOf(file.name)))
            ++removed;
    }
    writeIndex({});
    return removed;
}

bool Card::make(const QString& dir, int count, qint64 maxSize, QString* error)
{
    if (!QDir().mkpath(dir)) {
        *error = QStringLiteral("cannot create %1").arg(dir);
        return false;
    }
    const Card card(dir);
    const qint64 minSize = std::min<qint64>(4096, maxSize);
    Random random(0x5eedcafeULL + static_cast<quint64>(count));

    // Sizes spread evenly on a log scale, then shuffled, so the card holds
    // everything from a snapshot to a long clip in no particular order.
    QVector<qint64> sizes;
    for (int i = 0; i < count; ++i) {
        const double t = count > 1 ? double(i) / (count - 1) : 1.0;
        const double jitter = 0.9 + 0.1 * random.unit();
        const double size = double(minSize) * std::pow(double(maxSize) / minSize, t) * jitter;
        sizes.append(std::clamp<qint64>(static_cast<qint64>(size), 1, maxSize));
    }
    for (int i = count - 1; i > 0; --i)
        std::swap(sizes[i], sizes[static_cast<int>(random.next() % quint64(i + 1))]);

    QHash<QByteArray, int> index = card.readIndex();
    QDateTime when(QDate(2025, 3, 14), QTime(9, 30, 12), Qt::UTC);
    for (int i = 0; i < count; ++i) {
        const bool photo = i % 5 == 3;
        const qint64 size = photo ? std::min<qint64>(sizes[i], 3500000) : sizes[i];
        const int duration =
            photo ? 0 : std::max<int>(1, static_cast<int>(size / kBytesPerSecond));
        const QString name = (photo ? QStringLiteral("IMG_") : QStringLiteral("VID_"))
                             + when.toString(QStringLiteral("yyyyMMdd_HHmmss"))
                             + (photo ? QStringLiteral(".JPG") : QStringLiteral(".MP4"));
        const QString path = card.folder + QLatin1Char('/') + name;
        if (!writeSample(path, size, photo, random.next(), error))
            return false;
        QFile file(path);
        if (!file.open(QIODevice::ReadWrite)
            || !file.setFileTime(when, QFileDevice::FileModificationTime)) {
            *error = QStringLiteral("cannot set the time of %1").arg(path);
            return false;
        }
        index.insert(QFile::encodeName(name), duration);
        when = when.addSecs(duration + 20 + static_cast<qint64>(random.next() % 900));
    }
    card.writeIndex(index);
    return true;
}
