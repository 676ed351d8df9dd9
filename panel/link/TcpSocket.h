#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Non-blocking TCP helpers. Every wait is bounded; every function returns true
// on success and leaves the cause of a failure in the thread's last socket
// error, in Windows Sockets codes so that error reports read the same on every
// platform.
using TSocket = int;
constexpr TSocket InvalidSocket = -1;

constexpr int SockErrTimeout = 258;        // a wait ran out (WAIT_TIMEOUT)
constexpr int SockErrConnReset = 10054;    // the peer closed the connection
constexpr int SockErrWouldBlock = 10035;   // connect still in progress
constexpr int SockErrInProgress = 10036;   // connect still in progress
constexpr int SockErrConnRefused = 10061;  // nothing listens there
constexpr int SockErrAddrNotAvail = 10049; // no address to connect to (0.0.0.0)

bool SockOpen(TSocket& socket);
bool SockClose(TSocket& socket);
// timeoutMs 0 means no limit for send and receive.
bool SockConnect(TSocket socket, const std::string& ipText, int port, unsigned timeoutMs);
bool SockSendAll(TSocket socket, const void* buffer, std::size_t length, unsigned timeoutMs);
bool SockRecvAll(TSocket socket, void* buffer, std::size_t length, unsigned timeoutMs);
int SockLastError();
void SockSetLastError(int code);

// Maps an errno value to its Windows Sockets equivalent (unknown values pass through).
int SockErrorFromErrno(int err);
// The dotted text as the connect packs it: missing or non-numeric parts count
// as 0; part 1 lands in the lowest byte.
std::uint32_t SockPackAddress(const std::string& ipText);
