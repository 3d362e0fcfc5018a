// Why a fetch brought back no whole answer, in the same terms for the launcher's WinINet fetch
// and the vendor's check, whichever library did the fetching, and one wording for each reason.
#pragma once

#include <string>
#include <string_view>

namespace kvat {

enum class FetchFailure {
    None,  // a whole answer arrived, whatever its status
    // The redirect rule refused to go on (platform/redirect_policy.h), each for its own reason.
    RedirectLimit,        // a loop, or more redirects than the bound
    RedirectBadLocation,  // a Location that does not make an address
    RedirectHttpsToHttp,  // a step from https back to plain http
    RedirectOtherScheme,  // a Location that is neither http nor https
    NameNotFound,
    CouldNotConnect,      // refused, unreachable or blocked: the detail is "HOST:PORT"
    TimedOut,             // no whole answer within the fetch's bound
    ConnectionCut,        // the connection ended in the middle of the answer
    ClosedWithoutAnswer,  // the server closed the connection before any answer
    SecureChannelFailed,  // no TLS connection could be set up, before any certificate was judged
    // Each certificate error WinINet tells apart, and no more than its code means.
    CertificateUntrusted,    // 12045: from an authority this computer does not trust
    CertificateOtherName,    // 12038
    CertificateDate,         // 12037: expired or not yet valid
    CertificateNotVerified,  // 12057: revocation unknown; Wine also means root or chain
    CertificateRevoked,      // 12170
    CertificateInvalid,      // 12169
    CertificateWrongUse,     // 12179: not made for this use
    ClientCertificateAsked,  // 12044: the server asks for one, and the launcher has none
    TooLarge,                // the final answer passed the size cap
    Skipped,                 // the user stopped waiting for it (or had before it began)
    Other,                   // anything else: the fetcher's own detail says what
};

// The reason in plain words, for the vendor. `detail` (an error number or the library's own
// message) is shown for FetchFailure::Other; for CouldNotConnect it is the "HOST:PORT" asked.
std::string DescribeFetchFailure(FetchFailure failure, std::string_view detail = {});

}  // namespace kvat
