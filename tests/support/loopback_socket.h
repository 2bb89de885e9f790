#pragma once
// What the loopback server (loopback_server_common.cpp) needs of the
// system's sockets, one side per system: loopback_server.cpp over POSIX
// sockets, win32/loopback_server.cpp over Winsock. Sockets are kept in
// ints (Windows' handles fit in 32 bits); -1 is none.
#include <cstddef>

namespace korvo::test {

class Gate;

namespace socket_io {

enum class Wait { Ready, Timeout, Stop };
enum class Ready { Read, Write };

// Waits until fd is ready for `ready` (fd < 0: only sleeps), timeoutMs
// passes (negative: no limit) or the server's stop signal arrives on
// stopFd.
Wait waitFor(int fd, Ready ready, int stopFd, int timeoutMs);
// Waits until gate is open (true) or the stop signal arrives (false).
bool waitForGate(const Gate& gate, int stopFd);
// The next connection of a listening socket, non-blocking; -1 when none.
int acceptConnection(int listenFd);
// > 0: bytes received; 0: the peer closed; kWouldBlock; kFailed.
long receive(int fd, char* buffer, std::size_t size);
// >= 0: bytes sent (some of size); kWouldBlock; kFailed.
long sendSome(int fd, const char* data, std::size_t size);
inline constexpr long kWouldBlock = -1;
inline constexpr long kFailed = -2;
// Closing then resets the connection instead of ending it in order.
void resetOnClose(int fd);
// Ends the sending side in order (FIN).
void shutdownSend(int fd);
void closeSocket(int fd);

}  // namespace socket_io
}  // namespace korvo::test
