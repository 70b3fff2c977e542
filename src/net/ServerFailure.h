#pragma once

#include <chrono>
#include <string>

namespace pellux {

// A transfer from the server ends when no byte has arrived for this long.
inline constexpr std::chrono::seconds kStalledTransferTimeout{30};

// The limit in force: kStalledTransferTimeout, unless a test has shortened it.
std::chrono::milliseconds StalledTransferTimeout();
// For tests only: a shorter limit (zero puts kStalledTransferTimeout back).
void SetStalledTransferTimeoutForTesting(std::chrono::milliseconds timeout);

// What the user is to check after a failed exchange with the server.
enum class ServerCheck {
  Reachable,  // nothing came back: the address, the server, the network
  Holds,      // the server answered with an error: does it hold the resource?
};

// The end of a failure line: " (<url>). Check ...".
std::string ServerFailureEnd(const std::string& url, ServerCheck check);

// The line of a transfer that stalled: "The server sent nothing for 30 s
// (<url>). Check ...".
std::string StalledTransferLine(const std::string& url);

}  // namespace pellux
