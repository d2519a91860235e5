#include "cardreplies.h"

#include "cardfilename.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace CardReplies {

int findSubString(const char* string, char* strBuf, int bufSize, const char* leftSplit,
                  const char* rightSplit)
{
    const char* left = std::strstr(string, leftSplit);
    if (!left)
        return 0;
    const char* start = left + std::strlen(leftSplit);
    const char* right = std::strstr(start, rightSplit);
    if (!right)
        return 0;
    // A value that does not fit is absent, never cut.
    const std::size_t length = static_cast<std::size_t>(right - start);
    if (bufSize <= 0 || length >= static_cast<std::size_t>(bufSize))
        return 0;
    std::memcpy(strBuf, start, length);
    strBuf[length] = '\0';
    return static_cast<int>(length);
}

void cutFileCount(const char* reply, char* count, int size)
{
    if (size <= 0)
        return;
    count[0] = '\0';
    findSubString(reply, count, size, "=\"", "\";");
    // The count goes into the next URL: only digits may.
    if (!std::all_of(count, count + std::strlen(count),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
        count[0] = '\0';
}

FileList cutFileList(const std::string& reply, char (*names)[kValueSize], int maxNames)
{
    FileList list;
    std::size_t p = 0;
    while (p < reply.size() && reply[p] != '\r') {
        // One entry at a time, so an entry without the folder text names nothing.
        const std::size_t semicolon = reply.find(';', p);
        if (semicolon == std::string::npos) {
            list.cut = true;
            return list;
        }
        const std::string entry = reply.substr(p, semicolon + 1 - p);
        p = semicolon + 1;
        char name[kValueSize] = "";
        findSubString(entry.c_str(), name, sizeof name, "TQCAM/", ";");
        if (list.rows == maxNames || !merro::isPlainCardFileName(name)) {
            ++list.leftOut;
            continue;
        }
        std::memcpy(names[list.rows], name, sizeof name);
        ++list.rows;
    }
    return list;
}

FileInfoFields cutFileInfo(const char* reply)
{
    FileInfoFields fields;
    findSubString(reply, fields.create, kValueSize, "create=\"", "\";");
    findSubString(reply, fields.size, kValueSize, "size=\"", "\";");
    findSubString(reply, fields.time, kValueSize, "time=\"", "\";");
    return fields;
}

} // namespace CardReplies
