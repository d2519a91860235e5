#pragma once

#include <string_view>

namespace merro {

// Whether a name the camera reported can be used as a card file name: put
// into a request or a local path, it must address that one file and nothing
// else. Bytes from 0x80 up are allowed (they go out as they are).
inline bool isPlainCardFileName(std::string_view name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return false;
        switch (c) {
        case '/': case '\\': case ':': case ' ': case '?': case '&': case '#': case '%':
            return false;
        default:
            break;
        }
    }
    return true;
}

} // namespace merro
