// A scripted HTTP/1.1 server on 127.0.0.1 for tests and the benchmark: one server of the scripted
// server program (tests/scripted_server.py), which runs natively beside Wine, asked for and
// scripted over that program's control port. One request per connection, "Connection: close".
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvat::test {

struct HttpResponse {
    enum class Ending {
        Complete,            // the whole answer, then a clean close
        CloseWithoutAnswer,  // the request is read, then the connection closed: no byte sent
        CloseMidBody,        // headers announce the whole body; half is sent, then a clean close
        ResetMidBody,        // the same, but the connection is reset
    };

    unsigned status = 200;
    // The {} let designated initializers leave these out without a warning.
    std::string body{};
    std::vector<std::string> headers{};  // extra header lines, "Name: value"
    std::chrono::milliseconds delay{0};  // before the first byte of the answer
    // When set, the body goes one byte at a time, this apart (a generated body: 64 KiB at a time).
    std::chrono::milliseconds drip{0};
    std::uint64_t generated_size = 0;  // when set, the body is this many 'x', made while sending
    Ending ending = Ending::Complete;
};

struct HttpRequest {
    std::string method;
    std::string path;                            // the request target, as sent
    std::map<std::string, std::string> headers;  // names in lower case
    std::chrono::steady_clock::time_point received;
    // When the client closed the connection during the answer's delay or drip.
    std::optional<std::chrono::steady_clock::time_point> client_left;

    // The value of a header, or empty text when it was not sent.
    std::string Header(std::string_view lower_case_name) const;
};

// The scripted server program's control port, from the file that the environment variable
// KVAT_SCRIPTED_SERVER names (the CTest fixture "scripted_server" writes it). Throws
// std::runtime_error when there is none.
unsigned short ControlPortFromEnvironment();

class HttpTestServer {
  public:
    // Listens at once; port 0 takes any free port. Throws std::runtime_error when it cannot.
    explicit HttpTestServer(unsigned short port = 0,
                            unsigned short control_port = ControlPortFromEnvironment());
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;
    // Returns once the port is free again; ends any delay or drip at once.
    ~HttpTestServer();

    unsigned short port() const { return port_; }
    // "127.0.0.1:PORT"
    std::string host() const;
    // "http://127.0.0.1:PORT" followed by the path.
    std::string Url(std::string_view path) const;

    // The answer for requests of this path from now on. Other paths get a 404.
    void Serve(const std::string& path, const HttpResponse& response);
    // The requests received so far, oldest first.
    std::vector<HttpRequest> Requests() const;

  private:
    // Sends one command and returns its reply, without the leading "ok".
    std::string Command(const std::string& command) const;
    std::string ReadLine() const;

    std::uintptr_t control_;        // the control connection's socket
    mutable std::string received_;  // what came over it and is not read yet
    unsigned short port_ = 0;
};

}  // namespace kvat::test
