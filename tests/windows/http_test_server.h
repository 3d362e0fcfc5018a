// A scripted HTTP/1.1 server on 127.0.0.1 for tests: it plays the vendor's web server inside the
// test process. Each connection is answered on a thread of its own, one request per connection,
// with "Connection: close".
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
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
    std::uint64_t generated_size = 0;    // when set, the body is this many 'x', made while sending
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

class HttpTestServer {
  public:
    // Listens at once; port 0 takes any free port. Throws std::runtime_error when it cannot.
    explicit HttpTestServer(unsigned short port = 0);
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;
    // Stops promptly, even in the middle of a delay or a drip.
    ~HttpTestServer();

    unsigned short port() const { return port_; }
    // "127.0.0.1:PORT"
    std::string host() const;
    // "http://127.0.0.1:PORT" followed by the path.
    std::string Url(std::string_view path) const;

    // The answer for requests of this path from now on. Other paths get a 404.
    void Serve(const std::string& path, HttpResponse response);
    // The requests received so far, oldest first.
    std::vector<HttpRequest> Requests() const;

  private:
    struct Sockets;

    void Run();
    void Answer(std::uintptr_t connection);

    std::unique_ptr<Sockets> sockets_;
    unsigned short port_ = 0;
    mutable std::mutex mutex_;
    std::map<std::string, HttpResponse> responses_;
    std::vector<HttpRequest> requests_;
    std::thread thread_;
};

}  // namespace kvat::test
