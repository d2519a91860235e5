#pragma once

// How long the HTTP client waits for the camera before it gives up.
// The client blocks the window, so a dead camera must not freeze it for good.

namespace merro::http {

// The camera sits on the wired LAN next to the tool: it accepts within
// milliseconds or it is not there.
constexpr int kConnectTimeoutMs = 3000;

// Longest silence tolerated between two received pieces of a reply. Listing
// replies come at once; formatting the card or deleting all files answers only
// when the card is done, which takes a few seconds on a camera's card.
constexpr int kReceiveTimeoutMs = 15000;

} // namespace merro::http
