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
// A prime: the bytes a file grows by never line up with a block size.
constexpr qint64 kGrowthPeriod = 251;

QByteArray reasonOf(Card::Lookup found)
{
    return found == Card::Lookup::Missing ? "no such file" : "not a card name";
}

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

QString Card::pathOf(const QByteArray& diskName) const
{
    return folder + QLatin1Char('/') + QFile::decodeName(diskName);
}

Card::Lookup Card::onDisk(const QByteArray& diskName) const
{
    if (!isSafeName(diskName))
        return Lookup::Refused;
    const QFileInfo info(pathOf(diskName));
    return info.isSymLink() || !info.isFile() ? Lookup::Missing : Lookup::Found;
}

QByteArray Card::diskNameOf(const QByteArray& wireName) const
{
    const QByteArray given = wireNames.key(wireName);
    if (!given.isNull())
        return given;
    return wireNames.contains(wireName) ? QByteArray() : wireName;
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
    const QByteArray diskName = QFile::encodeName(info.fileName());
    CardFile file;
    file.name = wireNames.value(diskName, diskName);
    file.path = path;
    file.size = info.size();
    file.created = info.lastModified().toUTC();
    file.createdText = createdTexts.value(diskName);
    if (index.contains(diskName))
        file.duration = index.value(diskName);
    else
        file.duration = isPhoto(diskName) ? 0 : static_cast<int>(file.size / kBytesPerSecond);
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
    const QByteArray diskName = diskNameOf(name);
    const Lookup found = diskName.isNull() ? Lookup::Missing : onDisk(diskName);
    if (found == Lookup::Found && file)
        *file = describe(pathOf(diskName), readIndex());
    return found;
}

Card::Lookup Card::remove(const QByteArray& name)
{
    CardFile file;
    const Lookup found = find(name, &file);
    if (found != Lookup::Found)
        return found;
    if (!QFile::remove(file.path))
        return Lookup::Missing;
    const QByteArray diskName = diskNameOf(name);
    wireNames.remove(diskName);
    createdTexts.remove(diskName);
    QHash<QByteArray, int> index = readIndex();
    if (index.remove(diskName) > 0)
        writeIndex(index);
    return Lookup::Found;
}

int Card::removeAll()
{
    int removed = 0;
    for (const CardFile& file : files()) {
        if (QFile::remove(file.path))
            ++removed;
    }
    wireNames.clear();
    createdTexts.clear();
    writeIndex({});
    return removed;
}

QByteArray Card::setWireName(const QByteArray& diskName, const QByteArray& wireName)
{
    if (wireName.isNull()) {
        wireNames.remove(diskName);
        return {};
    }
    const Lookup found = onDisk(diskName);
    if (found != Lookup::Found)
        return reasonOf(found);
    if (!isSafeName(wireName))
        return "not a card name";
    // Two files under one name could not be told apart.
    const QByteArray holder = diskNameOf(wireName);
    if (!holder.isNull() && holder != diskName && onDisk(holder) == Lookup::Found)
        return "another file goes by that name";
    wireNames.insert(diskName, wireName);
    return {};
}

QByteArray Card::setCreatedText(const QByteArray& diskName, const QByteArray& text)
{
    if (text.isNull()) {
        createdTexts.remove(diskName);
        return {};
    }
    const Lookup found = onDisk(diskName);
    if (found != Lookup::Found)
        return reasonOf(found);
    createdTexts.insert(diskName, text);
    return {};
}

QByteArray Card::grow(const QByteArray& diskName, qint64 bytes, qint64* size)
{
    const Lookup found = onDisk(diskName);
    if (found != Lookup::Found)
        return reasonOf(found);
    QFile file(pathOf(diskName));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return file.errorString().toLocal8Bit();
    const QDateTime modified = file.fileTime(QFileDevice::FileModificationTime);
    qint64 at = file.size();
    QByteArray block;
    for (qint64 left = bytes; left > 0;) {
        block.resize(static_cast<int>(std::min<qint64>(left, 1 << 20)));
        char* data = block.data();
        for (int i = 0; i < block.size(); ++i)
            data[i] = static_cast<char>((at + i) % kGrowthPeriod);
        if (file.write(block) != block.size())
            return file.errorString().toLocal8Bit();
        at += block.size();
        left -= block.size();
    }
    // The write has to reach the file before its time is set back.
    if (!file.flush() || !file.setFileTime(modified, QFileDevice::FileModificationTime))
        return "cannot keep the time of " + diskName;
    *size = at;
    return {};
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
