#pragma once

#include <string>

// The camera's CGI replies cut into their values: plain text work, no widgets.
namespace CardReplies {

// Longest card file name or file detail the tool keeps, with its NUL.
constexpr int kValueSize = 30;

// Copies the text between the first leftSplit and the next rightSplit into
// strBuf, NUL-terminated, and returns its length. 0 (and strBuf untouched)
// when a split is missing or the text would not fit into bufSize bytes.
int findSubString(const char* string, char* strBuf, int bufSize, const char* leftSplit,
                  const char* rightSplit);

// The count reply `var count="N";`: N into count (size bytes) when it is
// digits only, else "".
void cutFileCount(const char* reply, char* count, int size);

// What the list reply held: names taken, entries refused (not a plain name,
// or past maxNames), and whether it stops inside an entry, as a reply that
// was cut off does. An unfinished entry is no refused name.
struct FileList
{
    int rows = 0;
    int leftOut = 0;
    bool cut = false;
};

// The list reply, entries `sd/DCIM/100TQCAM/NAME;` up to the line end: the
// first maxNames plain names into names.
FileList cutFileList(const std::string& reply, char (*names)[kValueSize], int maxNames);

// The info reply's `create`, `size` and `time` values; "" where one is missing.
struct FileInfoFields
{
    char create[kValueSize] = "";
    char size[kValueSize] = "";
    char time[kValueSize] = "";
};
FileInfoFields cutFileInfo(const char* reply);

} // namespace CardReplies
