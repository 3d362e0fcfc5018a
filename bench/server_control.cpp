#include "server_control.h"

#include <cstdio>
#include <stdexcept>

namespace kvat::bench {
namespace {

constexpr DWORD kReplyTimeoutMs = 10000;

[[noreturn]] void ThrowSocketError(const std::string& what) {
    throw std::runtime_error(what + " failed, Winsock error " + std::to_string(WSAGetLastError()));
}

sockaddr_in Loopback(unsigned short port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A connected socket, or INVALID_SOCKET with the Winsock error set.
SOCKET Connect(unsigned short port) {
    const SOCKET connection = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (connection == INVALID_SOCKET) {
        ThrowSocketError("socket");
    }
    const sockaddr_in address = Loopback(port);
    if (connect(connection, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = WSAGetLastError();
        closesocket(connection);
        WSASetLastError(error);
        return INVALID_SOCKET;
    }
    return connection;
}

}  // namespace

WinsockSession::WinsockSession() {
    WSADATA data;
    if (const int error = WSAStartup(MAKEWORD(2, 2), &data); error != 0) {
        throw std::runtime_error("WSAStartup failed, error " + std::to_string(error));
    }
}

WinsockSession::~WinsockSession() {
    WSACleanup();
}

ServerControl::ServerControl(unsigned short control_port) : socket_(Connect(control_port)) {
    if (socket_ == INVALID_SOCKET) {
        ThrowSocketError("Connecting to the version server's control port " +
                         std::to_string(control_port));
    }
    const DWORD timeout = kReplyTimeoutMs;
    setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
               sizeof timeout);
}

ServerControl::~ServerControl() {
    closesocket(socket_);
}

std::string ServerControl::Exchange(std::string_view command) {
    const std::string line = std::string(command) + "\n";
    if (send(socket_, line.data(), static_cast<int>(line.size()), 0) !=
        static_cast<int>(line.size())) {
        ThrowSocketError("Sending \"" + std::string(command) + "\" to the version server");
    }
    std::string reply;
    char byte = 0;
    while (recv(socket_, &byte, 1, 0) == 1) {
        if (byte == '\n') {
            return reply;
        }
        reply += byte;
    }
    ThrowSocketError("Waiting for the version server's reply to \"" + std::string(command) + "\"");
}

void ServerControl::Listen() {
    if (const std::string reply = Exchange("listen"); reply != "ok") {
        throw std::runtime_error("The version server would not listen: " + reply);
    }
}

ServerControl::Answered ServerControl::Close() {
    const std::string reply = Exchange("close");
    Answered answered;
    if (std::sscanf(reply.c_str(), "answered %d %d", &answered.software, &answered.usb) != 2) {
        throw std::runtime_error("Unexpected reply of the version server: " + reply);
    }
    return answered;
}

bool PortInUse(unsigned short port) {
    const SOCKET connection = Connect(port);
    if (connection == INVALID_SOCKET) {
        return false;
    }
    closesocket(connection);
    return true;
}

}  // namespace kvat::bench
