#pragma once

// Waiting for a port descriptor while observing the job's cancellation.

enum class PortWaitResult { Ready, TimedOut, Cancelled, Failed };

// Sleeps in poll() until `fd` shows `events` (POLLIN or POLLOUT), the time-out
// passes (negative: no limit) or the job is cancelled. A hang-up or error on
// the descriptor counts as Ready so that the following read or write reports it.
PortWaitResult WaitForPort(int fd, short events, int timeoutMs);
