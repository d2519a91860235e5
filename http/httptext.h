#pragma once

// Small text helpers that the request and the reply sides of the HTTP client
// share. Internal to http/.

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>

namespace httptext {

constexpr char kCrLf[] = "\r\n";

inline bool startsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

// Decimal number the way atoi reads it; out-of-range values saturate, so the
// result never depends on undefined overflow.
inline int decimalValue(const std::string& text)
{
    const long value = std::strtol(text.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}

} // namespace httptext
