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
    ConnectionRefused,
    TimedOut,             // no whole answer within the fetch's bound
    ConnectionCut,        // the connection ended in the middle of the answer
    ClosedWithoutAnswer,  // the server closed the connection before any answer
    SecureChannelFailed,  // no TLS connection could be set up, before any certificate was judged
    CertificateUntrusted,
    CertificateOtherName,
    CertificateDate,  // expired or not yet valid
    TooLarge,         // the final answer passed the size cap
    Skipped,          // the user stopped waiting for it (or had before it began)
    Other,            // anything else: the fetcher's own detail says what
};

// The reason in plain words, for the vendor. `detail` (an error number or the library's own
// message) is shown for FetchFailure::Other only.
std::string DescribeFetchFailure(FetchFailure failure, std::string_view detail = {});

}  // namespace kvat
