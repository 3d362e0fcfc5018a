// Adds one certificate (PEM or DER file) to the trusted root store of the current user, so that
// a test's throwaway certificate authority is trusted inside that test's own Wine prefix only:
//   kvat_trust_root CERTIFICATE_FILE
// Exit code 0 once the certificate is in the store; otherwise a message on stderr and 1 (2 for
// wrong arguments).
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::optional<std::vector<BYTE>> ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    return std::vector<BYTE>(std::istreambuf_iterator<char>(file),
                             std::istreambuf_iterator<char>());
}

// A PEM file is Base64 between "-----BEGIN ...-----" lines; anything else is taken as DER.
std::optional<std::vector<BYTE>> ToDer(const std::vector<BYTE>& contents) {
    const std::string_view text(reinterpret_cast<const char*>(contents.data()), contents.size());
    if (text.find("-----BEGIN") == std::string_view::npos) {
        return contents;
    }
    const auto length = static_cast<DWORD>(contents.size());
    const auto* pem = reinterpret_cast<const char*>(contents.data());
    DWORD der_size = 0;
    if (!CryptStringToBinaryA(pem, length, CRYPT_STRING_BASE64HEADER, nullptr, &der_size, nullptr,
                              nullptr)) {
        return std::nullopt;
    }
    std::vector<BYTE> der(der_size);
    if (!CryptStringToBinaryA(pem, length, CRYPT_STRING_BASE64HEADER, der.data(), &der_size,
                              nullptr, nullptr)) {
        return std::nullopt;
    }
    der.resize(der_size);
    return der;
}

int Fail(const char* what, const std::wstring& file) {
    std::fprintf(stderr, "kvat_trust_root: %s: %ls (error 0x%08lx)\n", what, file.c_str(),
                 GetLastError());
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kvat_trust_root CERTIFICATE_FILE (PEM or DER)\n");
        return 2;
    }
    const std::wstring file = argv[1];
    SetLastError(ERROR_SUCCESS);
    const auto contents = ReadWholeFile(std::filesystem::path(file));
    if (!contents || contents->empty()) {
        return Fail("cannot read the certificate file", file);
    }
    const auto der = ToDer(*contents);
    if (!der) {
        return Fail("not a PEM certificate", file);
    }
    if (!CertAddEncodedCertificateToSystemStoreW(L"Root", der->data(),
                                                 static_cast<DWORD>(der->size()))) {
        return Fail("the trusted root store refused the certificate", file);
    }
    std::fprintf(stdout, "kvat_trust_root: trusted %ls\n", file.c_str());
    return 0;
}
