#include "foundation/SocketErrors.h"

#include <locale.h>
#include <string.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "foundation/TextConversion.h"

namespace os {

int toSocketErrorCode(int errnoValue) {
    switch (errnoValue) {
        case 0: return 0;
        case EINTR: return kWsaInterrupted;
        case EBADF: return kWsaBadHandle;
        case EACCES: return 10013;
        case EFAULT: return 10014;
        case EINVAL: return 10022;
        case EMFILE: return 10024;
        case EWOULDBLOCK: return 10035;
        case EINPROGRESS: return 10036;
        case EALREADY: return 10037;
        case ENOTSOCK: return 10038;
        case EDESTADDRREQ: return 10039;
        case EMSGSIZE: return kWsaMessageTooLong;
        case EPROTOTYPE: return 10041;
        case ENOPROTOOPT: return 10042;
        case EPROTONOSUPPORT: return 10043;
        case EOPNOTSUPP: return 10045;
        case EAFNOSUPPORT: return 10047;
        case EADDRINUSE: return kWsaAddressInUse;
        case EADDRNOTAVAIL: return kWsaAddressNotAvailable;
        case ENETDOWN: return 10050;
        case ENETUNREACH: return 10051;
        case ENETRESET: return 10052;
        case ECONNABORTED: return 10053;
        case ECONNRESET:
        case ECONNREFUSED: return kWsaConnectionReset;
        case ENOBUFS: return 10055;
        case EISCONN: return 10056;
        case ENOTCONN: return 10057;
        case ETIMEDOUT: return 10060;
        case EHOSTDOWN: return 10064;
        case EHOSTUNREACH: return 10065;
        default: return 10000 + errnoValue;
    }
}

std::string errorText(int errnoValue) {
    char buffer[256];
    // The GNU strerror_r returns the text, which may not be in the buffer.
    const char* text = strerror_r(errnoValue, buffer, sizeof buffer);
    const std::string local = text ? std::string(text) : std::string();
    if (std::all_of(local.begin(), local.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return local;
    const std::wstring wide = base::fromUtf8(local);
    const std::string narrow =
        wide.find(L'\uFFFD') == std::wstring::npos ? base::narrow(wide) : std::string();
    if (!narrow.empty()) return narrow;
    static const locale_t english = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return english ? std::string(::strerror_l(errnoValue, english)) : std::string();
}

namespace {

class ErrorCategory : public std::error_category {
public:
    const char* name() const noexcept override { return "system"; }
    std::string message(int value) const override { return errorText(value); }
    std::error_condition default_error_condition(int value) const noexcept override {
        return std::error_condition(value, std::generic_category());
    }
};

}  // namespace

const std::error_category& errorCategory() {
    static const ErrorCategory category;
    return category;
}

}  // namespace os
