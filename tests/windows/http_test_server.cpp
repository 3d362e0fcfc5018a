#include "http_test_server.h"

#include <winsock2.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace kvat::test {
namespace {

constexpr DWORD kReplyTimeoutMs = 30000;
constexpr std::uint64_t kGeneratedPieceSize = 64 * 1024;

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error("HttpTestServer: " + what);
}

std::string Hex(std::string_view bytes) {
    constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char byte : bytes) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 15];
    }
    return hex;
}

std::string Unhex(std::string_view hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    }
    return bytes;
}

std::string Seconds(std::chrono::milliseconds duration) {
    return std::to_string(static_cast<double>(duration.count()) / 1000.0);
}

SOCKET ConnectToControl(unsigned short port) {
    static const bool winsock_started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    const SOCKET control =
        winsock_started ? socket(AF_INET, SOCK_STREAM, IPPROTO_TCP) : INVALID_SOCKET;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (control == INVALID_SOCKET ||
        connect(control, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = WSAGetLastError();
        closesocket(control);
        Fail("connecting to the scripted server's control port " + std::to_string(port) +
             " failed, error " + std::to_string(error));
    }
    const DWORD timeout = kReplyTimeoutMs;
    setsockopt(control, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
               sizeof timeout);
    return control;
}

}  // namespace

std::string HttpRequest::Header(std::string_view lower_case_name) const {
    const auto found = headers.find(std::string(lower_case_name));
    return found == headers.end() ? std::string() : found->second;
}

unsigned short ControlPortFromEnvironment() {
    const char* file = std::getenv("KVAT_SCRIPTED_SERVER");
    unsigned short port = 0;
    if (!file || !(std::ifstream(file) >> port)) {
        Fail(
            "no control port: KVAT_SCRIPTED_SERVER names no file that holds one (run the "
            "tests through ctest, whose fixture scripted_server starts the server)");
    }
    return port;
}

HttpTestServer::HttpTestServer(unsigned short port, unsigned short control_port)
    : control_(ConnectToControl(control_port)) {
    try {
        port_ = static_cast<unsigned short>(std::stoul(Command("serve " + std::to_string(port))));
    } catch (...) {
        closesocket(static_cast<SOCKET>(control_));
        throw;
    }
}

HttpTestServer::~HttpTestServer() {
    try {
        Command("close");
    } catch (const std::exception&) {
        // The server goes with the control connection anyway.
    }
    closesocket(static_cast<SOCKET>(control_));
}

std::string HttpTestServer::host() const {
    return "127.0.0.1:" + std::to_string(port_);
}

std::string HttpTestServer::Url(std::string_view path) const {
    return "http://" + host() + std::string(path);
}

void HttpTestServer::Serve(const std::string& path, const HttpResponse& response) {
    using Ending = HttpResponse::Ending;
    std::string command = "answer " + path + " status=" + std::to_string(response.status);
    if (response.generated_size > 0) {
        command += " size=" + std::to_string(response.generated_size) +
                   " piece=" + std::to_string(kGeneratedPieceSize);
    } else {
        command += " body=" + Hex(response.body);
    }
    for (const std::string& header : response.headers) {
        command += " header=" + Hex(header);
    }
    command += " delay=" + Seconds(response.delay) + " drip=" + Seconds(response.drip);
    const std::string half = std::to_string(response.body.size() / 2);
    switch (response.ending) {
        case Ending::Complete:
            break;
        case Ending::CloseWithoutAnswer:
            command += " raw=";
            break;
        case Ending::CloseMidBody:
            command += " cut_after=" + half + " reset=0";
            break;
        case Ending::ResetMidBody:
            command += " cut_after=" + half + " reset=1";
            break;
    }
    Command(command);
}

std::vector<HttpRequest> HttpTestServer::Requests() const {
    const std::size_t count = std::stoul(Command("log"));
    // Times come as ages, so that the two processes need no common clock.
    const auto now = std::chrono::steady_clock::now();
    std::vector<HttpRequest> requests(count);
    for (HttpRequest& request : requests) {
        std::istringstream line(ReadLine());
        long long received_us = 0;
        long long left_us = 0;
        line >> received_us >> left_us >> request.method >> request.path;
        request.received = now - std::chrono::microseconds(received_us);
        if (left_us >= 0) {
            request.client_left = now - std::chrono::microseconds(left_us);
        }
        for (std::string header; line >> header;) {
            const std::size_t colon = header.find(':');
            request.headers[header.substr(0, colon)] = Unhex(header.substr(colon + 1));
        }
    }
    return requests;
}

std::string HttpTestServer::Command(const std::string& command) const {
    const std::string line = command + "\n";
    if (send(static_cast<SOCKET>(control_), line.data(), static_cast<int>(line.size()), 0) !=
        static_cast<int>(line.size())) {
        Fail("sending \"" + command + "\" failed, error " + std::to_string(WSAGetLastError()));
    }
    const std::string reply = ReadLine();
    if (reply.rfind("ok", 0) != 0) {
        Fail(reply + " (the reply to " + command.substr(0, 80) + ")");
    }
    return reply.substr(reply.size() > 2 ? 3 : 2);
}

std::string HttpTestServer::ReadLine() const {
    std::size_t end = received_.find('\n');
    while (end == std::string::npos) {
        char buffer[4096];
        const int got = recv(static_cast<SOCKET>(control_), buffer, sizeof buffer, 0);
        if (got <= 0) {
            Fail("no reply from the scripted server, error " + std::to_string(WSAGetLastError()));
        }
        received_.append(buffer, static_cast<std::size_t>(got));
        end = received_.find('\n');
    }
    std::string line = received_.substr(0, end);
    received_.erase(0, end + 1);
    return line;
}

}  // namespace kvat::test
