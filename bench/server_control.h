// The driver's side of the benchmark's version server (version_server.py). The server runs
// natively, outside Wine, so that serving costs the measured launcher nothing; the driver tells
// it over a control connection when to listen.
#pragma once

#include <winsock2.h>

#include <string>
#include <string_view>

namespace kvat::bench {

// Winsock for the life of the benchmark.
class WinsockSession {
  public:
    WinsockSession();  // throws std::runtime_error
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
    ~WinsockSession();
};

class ServerControl {
  public:
    // Connects to the server's control port on 127.0.0.1. Throws std::runtime_error.
    explicit ServerControl(unsigned short control_port);
    ServerControl(const ServerControl&) = delete;
    ServerControl& operator=(const ServerControl&) = delete;
    ~ServerControl();

    struct Answered {
        int software = 0;
        int usb = 0;
    };

    // Returns once the server's port accepts connections.
    void Listen();
    // Returns once the port is free again, with what was answered since Listen.
    Answered Close();

  private:
    std::string Exchange(std::string_view command);

    SOCKET socket_ = INVALID_SOCKET;
};

// Whether something listens on the loopback port.
bool PortInUse(unsigned short port);

}  // namespace kvat::bench
