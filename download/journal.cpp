#include "journal.h"

#include "platformfile.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <map>
#include <mutex>

namespace {

const char* const kKinds[] = {"saved", "kept beside", "freed", "removed"};

// Appends go one at a time, from any thread of the process.
std::mutex appending;

void putString(QByteArray& out, const char* key, const QByteArray& utf8)
{
    out += out.size() > 1 ? ",\"" : "\"";
    out += key;
    out += "\":\"";
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            out += "\\u00";
            out += QByteArray::number(byte, 16).rightJustified(2, '0');
        } else {
            out += c;
        }
    }
    out += '"';
}

void putNumber(QByteArray& out, const char* key, qint64 value)
{
    out += ",\"";
    out += key;
    out += "\":";
    out += QByteArray::number(value);
}

// A flat JSON object of strings and whole numbers, as the journal writes it.
bool parseObject(const QByteArray& text, QHash<QByteArray, QByteArray>* fields)
{
    int at = 0;
    const int end = text.size();
    const auto skip = [&] {
        while (at < end && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r'))
            ++at;
    };
    const auto string = [&](QByteArray* out) {
        if (at >= end || text[at] != '"')
            return false;
        for (++at; at < end; ++at) {
            char c = text[at];
            if (c == '"') {
                ++at;
                return true;
            }
            if (c == '\\') {
                if (++at >= end)
                    return false;
                c = text[at];
                if (c == 'u') {
                    if (at + 4 >= end)
                        return false;
                    bool ok = false;
                    const uint code = text.mid(at + 1, 4).toUInt(&ok, 16);
                    if (!ok)
                        return false;
                    *out += QString(QChar(code)).toUtf8();
                    at += 4;
                    continue;
                }
                c = c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
            }
            *out += c;
        }
        return false;
    };
    skip();
    if (at >= end || text[at++] != '{')
        return false;
    for (;;) {
        skip();
        QByteArray key;
        if (!string(&key))
            return false;
        skip();
        if (at >= end || text[at++] != ':')
            return false;
        skip();
        QByteArray value;
        if (at < end && text[at] == '"') {
            if (!string(&value))
                return false;
        } else {
            const int from = at;
            while (at < end && ((text[at] >= '0' && text[at] <= '9') || text[at] == '-'))
                ++at;
            if (at == from)
                return false;
            value = text.mid(from, at - from);
        }
        fields->insert(key, value);
        skip();
        if (at < end && text[at] == ',') {
            ++at;
            continue;
        }
        if (at < end && text[at] == '}') {
            ++at;
            skip();
            return at == end;
        }
        return false;
    }
}

} // namespace

namespace Journal {

QString pathIn(const QString& folder)
{
    return folder + QLatin1String(kFileName);
}

QString escapedName(const QByteArray& bytes)
{
    QString text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f && c != '\\')
            text += QLatin1Char(c);
        else
            text += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
    }
    return text;
}

QByteArray unescapedName(const QString& text)
{
    QByteArray bytes;
    for (int i = 0; i < text.size(); ++i) {
        const bool escape = text[i] == QLatin1Char('\\') && i + 3 < text.size()
                            && text[i + 1] == QLatin1Char('x');
        if (escape) {
            bool ok = false;
            const int byte = text.mid(i + 2, 2).toInt(&ok, 16);
            if (ok) {
                bytes += static_cast<char>(byte);
                i += 3;
                continue;
            }
        }
        bytes += text[i].toLatin1();
    }
    return bytes;
}

QByteArray line(const JournalEntry& entry)
{
    QByteArray out = "{";
    putString(out, "event", kKinds[static_cast<int>(entry.kind)]);
    putString(out, "at", entry.at.toUTC().toString(Qt::ISODate).toUtf8());
    putString(out, "card", escapedName(entry.card).toUtf8());
    putNumber(out, "size", entry.size);
    putString(out, "created", escapedName(entry.created).toUtf8());
    if (!entry.camera.isEmpty())
        putString(out, "camera", entry.camera.toUtf8());
    putString(out, "path", entry.path.toUtf8());
    if (!entry.sha256.isEmpty())
        putString(out, "sha256", entry.sha256);
    if (entry.kind == JournalEntry::Kind::Beside)
        putString(out, "beside", entry.beside.toUtf8());
    if (entry.kind == JournalEntry::Kind::Freed)
        putString(out, "check", entry.note.toUtf8());
    if (entry.kind == JournalEntry::Kind::Removed)
        putString(out, "reason", entry.note.toUtf8());
    return out + "}\n";
}

bool parse(const QByteArray& text, JournalEntry* entry)
{
    QHash<QByteArray, QByteArray> fields;
    if (!parseObject(text, &fields))
        return false;
    const QByteArray kind = fields.value("event");
    const auto* found = std::find(std::begin(kKinds), std::end(kKinds), kind);
    if (found == std::end(kKinds) || !fields.contains("card") || !fields.contains("path"))
        return false;
    entry->kind = static_cast<JournalEntry::Kind>(found - std::begin(kKinds));
    entry->at = QDateTime::fromString(QString::fromUtf8(fields.value("at")), Qt::ISODate);
    entry->card = unescapedName(QString::fromUtf8(fields.value("card")));
    entry->size = fields.value("size", "-1").toLongLong();
    entry->created = unescapedName(QString::fromUtf8(fields.value("created")));
    entry->camera = QString::fromUtf8(fields.value("camera"));
    entry->path = QString::fromUtf8(fields.value("path"));
    entry->sha256 = fields.value("sha256");
    entry->beside = QString::fromUtf8(fields.value("beside"));
    entry->note = QString::fromUtf8(fields.value(entry->kind == JournalEntry::Kind::Freed
                                                     ? "check"
                                                     : "reason"));
    return true;
}

bool append(const QString& folder, const JournalEntry& entry)
{
    const QString path = pathIn(folder);
    QFile file;
    {
        const std::lock_guard<std::mutex> lock(appending);
        const int fd = merro::fs::openRegularFile(path, true, false);
        if (fd < 0 || !file.open(fd, QIODevice::ReadWrite | QIODevice::Unbuffered,
                                 QFileDevice::AutoCloseHandle))
            return false;
        QByteArray text = line(entry);
        // A line a power cut tore stays as it is: the new one starts on its
        // own. A journal as this process left it ends whole.
        static std::map<QString, qint64> endedWhole;
        const qint64 size = file.size();
        if (size > 0 && endedWhole[path] != size && file.seek(size - 1)
            && file.read(1) != "\n")
            text.prepend('\n');
        const bool written = file.seek(size) && file.write(text) == text.size();
        endedWhole[path] = written ? size + text.size() : -1;
        if (!written)
            return false;
    }
    // Lines written out at once by other threads share this sync.
    return merro::fs::syncToDisk(file.handle());
}

QVector<JournalEntry> read(const QString& folder)
{
    QVector<JournalEntry> entries;
    QFile file(pathIn(folder));
    if (QFileInfo(pathIn(folder)).isSymLink() || !file.open(QIODevice::ReadOnly))
        return entries;
    while (!file.atEnd()) {
        const QByteArray text = file.readLine();
        JournalEntry entry;
        // Only a line that ends is whole: the last one may be torn.
        if (text.endsWith('\n') && parse(text.chopped(1), &entry))
            entries << entry;
    }
    return entries;
}

} // namespace Journal

namespace JournalIndex {

namespace {

constexpr qint64 kReadStep = 1024 * 1024;

struct Index
{
    QHash<QByteArray, Held> held;
    qint64 readUpTo = 0; // the journal's bytes taken in, up to a whole line
    int lines = 0;
};

QByteArray key(const QByteArray& card, qint64 size, const QByteArray& created)
{
    return card + '\0' + QByteArray::number(size) + '\0' + created;
}

void take(Index& index, const JournalEntry& entry)
{
    ++index.lines;
    if (entry.kind == JournalEntry::Kind::Saved || entry.kind == JournalEntry::Kind::Removed)
        index.held.insert(key(entry.card, entry.size, entry.created),
                          Held{entry.path, entry.size,
                               entry.kind == JournalEntry::Kind::Removed});
}

std::mutex guard;

// The folder's index with what was added to its journal since; under `guard`.
Index& refreshed(const QString& folder)
{
    static std::map<QString, Index> indexes;
    Index& index = indexes[folder];
    const QString path = Journal::pathIn(folder);
    const QFileInfo info(path);
    const qint64 size = info.isSymLink() || !info.isFile() ? 0 : info.size();
    if (size == index.readUpTo)
        return index;
    // Another file now (or none): read from the start.
    if (size < index.readUpTo)
        index = Index();
    QFile file(path);
    if (size == 0 || !file.open(QIODevice::ReadOnly) || !file.seek(index.readUpTo))
        return index;
    // A piece at a time: a long journal is never in memory whole.
    QByteArray rest;
    while (index.readUpTo + rest.size() < size) {
        const QByteArray piece = file.read(std::min<qint64>(kReadStep, size - file.pos()));
        if (piece.isEmpty())
            break;
        rest += piece;
        const int last = rest.lastIndexOf('\n');
        for (int from = 0; from <= last;) {
            const int next = rest.indexOf('\n', from);
            JournalEntry entry;
            if (Journal::parse(rest.mid(from, next - from), &entry))
                take(index, entry);
            from = next + 1;
        }
        index.readUpTo += last + 1;
        rest.remove(0, last + 1);
    }
    return index;
}

} // namespace

bool find(const QString& folder, const CardRecording& recording, Held* held)
{
    const std::lock_guard<std::mutex> lock(guard);
    const Index& index = refreshed(folder);
    const auto found =
        index.held.constFind(key(recording.bytes(), recording.size, recording.createdText));
    if (found == index.held.constEnd())
        return false;
    *held = found.value();
    return true;
}

QStringList names(const QString& folder)
{
    const std::lock_guard<std::mutex> lock(guard);
    const Index& index = refreshed(folder);
    QStringList all;
    all.reserve(index.held.size());
    for (auto it = index.held.constBegin(); it != index.held.constEnd(); ++it)
        all << cardNameText(it.key().left(it.key().indexOf('\0')));
    return all;
}

int lines(const QString& folder)
{
    const std::lock_guard<std::mutex> lock(guard);
    return refreshed(folder).lines;
}

} // namespace JournalIndex
