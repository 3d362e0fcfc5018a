// Asks Windows whether it trusts a file's Authenticode signature, as Explorer and SmartScreen
// would, without any user interface and without revocation checks (a test's throwaway
// authority publishes no revocation list):
//   kvat_verify_signature FILE
// Prints two lines: WinVerifyTrust's result ("trust 0x%08x") and the error bits of the
// signer's certificate chain ("chain 0x%08x", CERT_TRUST_IS_* flags; 0x00000020 is an
// untrusted root). Wine's WinVerifyTrust checks the digest but accepts a chain that ends in an
// untrusted root, which Windows refuses, so the chain is reported on its own. Exits 0 when both
// are zero, 1 otherwise, 2 for wrong arguments.
#include <windows.h>
#include <softpub.h>
#include <wintrust.h>

#include <cstdio>

namespace {

// The error bits of the first signer's chain, read from the state the verification kept.
DWORD SignerChainErrors(HANDLE state) {
    CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(state);
    CRYPT_PROVIDER_SGNR* signer =
        provider ? WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    if (!signer || !signer->pChainContext) {
        return CERT_TRUST_IS_PARTIAL_CHAIN;
    }
    return signer->pChainContext->TrustStatus.dwErrorStatus;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kvat_verify_signature FILE\n");
        return 2;
    }
    WINTRUST_FILE_INFO file{};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = argv[1];

    WINTRUST_DATA data{};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;

    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const auto no_window = static_cast<HWND>(INVALID_HANDLE_VALUE);
    const LONG result = WinVerifyTrust(no_window, &action, &data);
    const DWORD chain_errors = SignerChainErrors(data.hWVTStateData);

    // The verification keeps its state until it is closed.
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(no_window, &action, &data);

    std::printf("trust 0x%08lx\nchain 0x%08lx\n", static_cast<unsigned long>(result),
                static_cast<unsigned long>(chain_errors));
    return result == ERROR_SUCCESS && chain_errors == 0 ? 0 : 1;
}
