#include "platform/fetch_failure.h"

#include "platform/fetch_limits.h"

namespace kvat {

std::string DescribeFetchFailure(FetchFailure failure, std::string_view detail) {
    switch (failure) {
        case FetchFailure::None:
            return {};
        case FetchFailure::RedirectLimit:
            return "more than " + std::to_string(kFetchMaxRedirects) +
                   " redirects (a loop or too long a chain)";
        case FetchFailure::RedirectBadLocation:
            return "a redirect whose Location is not a web address";
        case FetchFailure::RedirectHttpsToHttp:
            return "a redirect from https back to plain http, which the launcher refuses";
        case FetchFailure::RedirectOtherScheme:
            return "a redirect to an address that is neither http nor https";
        case FetchFailure::NameNotFound:
            return "host name not found";
        case FetchFailure::CouldNotConnect:
            // Neither WinINet (12029) nor the Linux check tells these apart the same way.
            return "could not connect to " + std::string(detail) +
                   " (refused, unreachable or blocked)";
        case FetchFailure::TimedOut:
            return "no answer within " + std::to_string(kFetchTimeLimitSeconds) + " s";
        case FetchFailure::ConnectionCut:
            return "the connection ended before the whole answer arrived";
        case FetchFailure::ClosedWithoutAnswer:
            return "the server closed the connection without answering";
        case FetchFailure::SecureChannelFailed:
            return "no secure (TLS) connection could be set up";
        case FetchFailure::CertificateUntrusted:
            return "the server's certificate comes from an authority this computer does not "
                   "trust";
        case FetchFailure::CertificateOtherName:
            return "the server's certificate is for another name";
        case FetchFailure::CertificateDate:
            return "the server's certificate has expired or is not yet valid";
        case FetchFailure::CertificateNotVerified:
            return "the server's certificate could not be verified: its authority is not "
                   "trusted, its chain is incomplete, or whether it was revoked could not be "
                   "checked";
        case FetchFailure::CertificateRevoked:
            return "the server's certificate has been revoked";
        case FetchFailure::CertificateInvalid:
            return "the server's certificate is not valid";
        case FetchFailure::CertificateWrongUse:
            return "the server's certificate is not meant for this use";
        case FetchFailure::ClientCertificateAsked:
            return "the server asks for a client certificate, which the launcher does not have";
        case FetchFailure::TooLarge:
            return "more than " + std::to_string(kFetchMaxBytes) +
                   " bytes: the launcher stops reading there";
        case FetchFailure::Skipped:
            return "skipped: the user stopped waiting for the server";
        case FetchFailure::Other:
            break;
    }
    return detail.empty() ? std::string("network error") : std::string(detail);
}

}  // namespace kvat
