#pragma once

// How long the HTTP client waits for the camera before it gives up.
// The client blocks the window, so a dead camera must not freeze it for good.

namespace merro::http {

// The camera sits on the wired LAN next to the tool: it accepts within
// milliseconds or it is not there.
constexpr int kConnectTimeoutMs = 3000;

// One deadline for a whole exchange: connect, request, header and body. A
// camera that trickles its reply cannot stretch it, as a per-receive limit
// would let it. Listing replies come at once; callers that wait for the card
// itself (formatting, deleting everything) set a longer one.
constexpr int kExchangeTimeoutMs = 15000;

// A reply header larger than this, or with more lines, is not a camera's.
constexpr int kHeaderMaxBytes = 256 * 1024;
constexpr int kHeaderMaxLines = 512;

// Every reply read into memory is a camera's text: a full card list is well
// under a megabyte. A reply announcing more is refused before it is read.
constexpr unsigned kBodyMaxBytes = 16 * 1024 * 1024;

} // namespace merro::http
