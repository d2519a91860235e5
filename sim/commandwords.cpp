#include "commandwords.h"

#include "listener.h"

bool parseModeWord(const QByteArray& word, ModeWord* mode)
{
    const int equals = word.indexOf('=');
    mode->mode = equals < 0 ? word : word.left(equals);
    mode->hasNumber = equals >= 0;
    bool ok = true;
    mode->number = equals < 0 ? 0 : word.mid(equals + 1).toInt(&ok);
    return ok && mode->number >= 0;
}

bool parseOnOff(const QByteArray& word, bool* on)
{
    if (word == "on" || word == "off") {
        *on = word == "on";
        return true;
    }
    return false;
}

bool parseMilliseconds(const QByteArray& word, int* ms)
{
    bool ok = false;
    const int value = word.toInt(&ok);
    if (!ok || value < 1 || value > 3600000)
        return false;
    *ms = value;
    return true;
}

QByteArray unescapedWord(const QByteArray& word)
{
    QByteArray bytes("");
    for (int i = 0; i < word.size(); ++i) {
        if (word[i] != '\\' || i + 1 == word.size()) {
            bytes += word[i];
            continue;
        }
        const char next = word[++i];
        if (next == 'r') {
            bytes += '\r';
        } else if (next == 'n') {
            bytes += '\n';
        } else if (next == 'x' && i + 2 < word.size()) {
            bytes += QByteArray::fromHex(word.mid(i + 1, 2));
            i += 2;
        } else {
            bytes += next;
        }
    }
    return bytes;
}

bool listenCommand(Listener* listener, const QByteArray& arg, const QByteArray& startedOff,
                   QByteArray* result)
{
    QString error;
    bool on = false;
    if (arg == "deaf") {
        *result = listener->deafen(&error) ? QByteArray() : error.toLocal8Bit();
        return true;
    }
    if (!parseOnOff(arg, &on))
        return false;
    result->clear();
    if (!on) {
        listener->stopListening();
        return true;
    }
    if (listener->port() == 0)
        *result = startedOff;
    else if (!listener->relisten(&error))
        *result = error.toLocal8Bit();
    return true;
}

QByteArray helpLines(const HelpEntry& entry)
{
    constexpr int kIndent = 2;
    constexpr int kColumn = 30;
    constexpr int kWidth = 79;
    QByteArray out = QByteArray(kIndent, ' ') + entry.term;
    // A long term gets a line of its own, its meaning below.
    out += out.size() < kColumn - 1 ? QByteArray(kColumn - out.size(), ' ')
                                    : '\n' + QByteArray(kColumn, ' ');
    int column = kColumn;
    bool first = true;
    for (const QByteArray& word : entry.meaning.split(' ')) {
        if (!first && column + 1 + word.size() > kWidth) {
            out += '\n' + QByteArray(kColumn, ' ');
            column = kColumn;
        } else if (!first) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        first = false;
    }
    return out + '\n';
}
