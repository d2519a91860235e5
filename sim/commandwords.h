#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

class Listener;

// MODE or MODE=N, as fault and list modes are written.
struct ModeWord
{
    QByteArray mode;
    bool hasNumber = false;
    int number = 0;
};

// False when N is not a number from 0 up.
bool parseModeWord(const QByteArray& word, ModeWord* mode);
bool parseOnOff(const QByteArray& word, bool* on);
// 1 to 3600000.
bool parseMilliseconds(const QByteArray& word, int* ms);
// One word in which \r, \n, \\ and \xNN stand for those bytes; never null.
QByteArray unescapedWord(const QByteArray& word);
// "listen on|off|deaf" for a unit or the camera: empty when done, the reason
// otherwise (startedOff: the reason when it was started off). False when arg
// is none of these.
bool listenCommand(Listener* listener, const QByteArray& arg, const QByteArray& startedOff,
                   QByteArray* result);

// The value a command word names in a table of words and values.
template <typename T>
bool pick(const QList<QPair<QByteArray, T>>& table, const QByteArray& word, T* value)
{
    for (const auto& entry : table) {
        if (entry.first == word) {
            *value = entry.second;
            return true;
        }
    }
    return false;
}

// One line of --help: a command or an option and what it does.
struct HelpEntry
{
    QByteArray term;
    QByteArray meaning;
};

// The entry as two columns, the meaning wrapped to fit 79 columns.
QByteArray helpLines(const HelpEntry& entry);
