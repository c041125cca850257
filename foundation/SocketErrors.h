#pragma once
// The device link reports socket failures by the error codes of the Windows socket
// library (10054 and the others), which its log lines and decisions name. This maps
// the system's errno values onto them.

#include <string>
#include <system_error>

namespace os {

constexpr int kWsaInterrupted = 10004;          // WSAEINTR
constexpr int kWsaBadHandle = 10009;            // WSAEBADF
constexpr int kWsaMessageTooLong = 10040;       // WSAEMSGSIZE
constexpr int kWsaAddressInUse = 10048;         // WSAEADDRINUSE
constexpr int kWsaAddressNotAvailable = 10049;  // WSAEADDRNOTAVAIL
constexpr int kWsaConnectionReset = 10054;      // WSAECONNRESET: the network refused an earlier datagram

// 0 for 0; an errno without an equivalent gives 10000 + errno.
int toSocketErrorCode(int errnoValue);
// The system's text of an errno value in the program's narrow text: once the program runs in the
// Russian locale the system gives it in UTF-8. A text the code page cannot hold comes in English.
std::string errorText(int errnoValue);
// The category of std::system_error whose messages are errorText's, so that what() goes to the log
// as it is.
const std::error_category& errorCategory();

}  // namespace os
