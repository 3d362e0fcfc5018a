#include "http_test_server.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <stdexcept>
#include <utility>

namespace kvat::test {
namespace {

constexpr std::size_t kLongestRequestHead = 64 * 1024;
constexpr std::size_t kPieceSize = 64 * 1024;

std::runtime_error SocketError(const std::string& what) {
    return std::runtime_error("HttpTestServer: " + what + " failed, error " +
                              std::to_string(WSAGetLastError()));
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

const char* Reason(unsigned status) {
    switch (status) {
        case 200:
            return "OK";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 304:
            return "Not Modified";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        default:
            return "Status";
    }
}

HttpRequest ParseHead(std::string_view head) {
    HttpRequest request;
    request.received = std::chrono::steady_clock::now();
    auto line_end = head.find("\r\n");
    const std::string_view request_line = head.substr(0, line_end);
    const auto method_end = request_line.find(' ');
    request.method = std::string(request_line.substr(0, method_end));
    if (method_end != std::string_view::npos) {
        const std::string_view rest = request_line.substr(method_end + 1);
        request.path = std::string(rest.substr(0, rest.find(' ')));
    }
    while (line_end != std::string_view::npos) {
        const auto start = line_end + 2;
        line_end = head.find("\r\n", start);
        const std::string_view line = head.substr(start, line_end - start);
        const auto colon = line.find(':');
        if (colon != std::string_view::npos) {
            request.headers[Lower(std::string(line.substr(0, colon)))] =
                std::string(Trim(line.substr(colon + 1)));
        }
    }
    return request;
}

// True when `event` was signalled or a short while passed (callers retry their call, so a
// missed signal costs a little time, not a hang); false once the server stops.
bool Wait(WSAEVENT stop, WSAEVENT event) {
    const WSAEVENT events[] = {stop, event};
    const DWORD woken = WSAWaitForMultipleEvents(2, events, FALSE, 100, FALSE);
    if (woken == WSA_WAIT_EVENT_0 + 1) {
        WSAResetEvent(event);
    }
    return woken != WSA_WAIT_EVENT_0 && woken != WSA_WAIT_FAILED;
}

// An accepted socket, non-blocking, with an event of its own. Every wait also watches `stop`, so
// the server never waits for a client when it is told to stop. Closed when the answer is done:
// gracefully, or with a reset when `reset` is set.
class Connection {
  public:
    Connection(SOCKET accepted, WSAEVENT server_stop) : socket_(accepted), stop_(server_stop) {
        // Small answers go out at once instead of waiting for the client's delayed ACK.
        const BOOL no_delay = TRUE;
        setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&no_delay),
                   sizeof no_delay);
        WSAEventSelect(socket_, event_, FD_READ | FD_WRITE | FD_CLOSE);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() {
        if (reset) {
            // A zero linger time turns the close into a reset.
            const linger abort{1, 0};
            setsockopt(socket_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort),
                       sizeof abort);
        } else {
            shutdown(socket_, SD_SEND);
        }
        closesocket(socket_);
        WSACloseEvent(event_);
    }

    // The request line and headers, each line ending in CR LF.
    std::optional<std::string> ReceiveHead() {
        std::string data;
        char buffer[4096];
        while (data.find("\r\n\r\n") == std::string::npos) {
            if (data.size() > kLongestRequestHead) {
                return std::nullopt;
            }
            const int received = recv(socket_, buffer, sizeof buffer, 0);
            if (received > 0) {
                data.append(buffer, static_cast<std::size_t>(received));
            } else if (received == 0 || WSAGetLastError() != WSAEWOULDBLOCK ||
                       !Wait(stop_, event_)) {
                return std::nullopt;
            }
        }
        return data.substr(0, data.find("\r\n\r\n") + 2);
    }

    bool SendAll(std::string_view data) {
        while (!data.empty()) {
            const int sent = send(socket_, data.data(),
                                  static_cast<int>(std::min<std::size_t>(data.size(), 1 << 20)), 0);
            if (sent > 0) {
                data.remove_prefix(static_cast<std::size_t>(sent));
            } else if (WSAGetLastError() != WSAEWOULDBLOCK || !Wait(stop_, event_)) {
                return false;
            }
        }
        return true;
    }

    // False when the server stops or the client leaves during the pause.
    bool Pause(std::chrono::milliseconds pause) {
        const auto until = std::chrono::steady_clock::now() + pause;
        for (auto left = pause; left.count() > 0;
             left = std::chrono::ceil<std::chrono::milliseconds>(
                 until - std::chrono::steady_clock::now())) {
            const WSAEVENT events[] = {stop_, event_};
            const DWORD woken =
                WSAWaitForMultipleEvents(2, events, FALSE, static_cast<DWORD>(left.count()), FALSE);
            if (woken == WSA_WAIT_TIMEOUT) {
                break;
            }
            if (woken != WSA_WAIT_EVENT_0 + 1) {
                return false;
            }
            WSAResetEvent(event_);
            char discard[512];
            const int received = recv(socket_, discard, sizeof discard, 0);
            if (received == 0 || (received < 0 && WSAGetLastError() != WSAEWOULDBLOCK)) {
                client_left = std::chrono::steady_clock::now();
                return false;
            }
        }
        return true;
    }

    bool reset = false;
    std::optional<std::chrono::steady_clock::time_point> client_left;

  private:
    const SOCKET socket_;
    const WSAEVENT stop_;
    const WSAEVENT event_ = WSACreateEvent();
};

void SendAnswer(const HttpResponse& response, Connection& connection) {
    using Ending = HttpResponse::Ending;
    if (!connection.Pause(response.delay) || response.ending == Ending::CloseWithoutAnswer) {
        return;
    }

    const bool generated = response.generated_size > 0;
    const std::uint64_t body_size = generated ? response.generated_size : response.body.size();
    const bool cut_short =
        response.ending == Ending::CloseMidBody || response.ending == Ending::ResetMidBody;
    const std::uint64_t to_send = cut_short ? body_size / 2 : body_size;
    connection.reset = response.ending == Ending::ResetMidBody;

    std::string text =
        "HTTP/1.1 " + std::to_string(response.status) + " " + Reason(response.status) +
        "\r\nContent-Length: " + std::to_string(body_size) + "\r\nConnection: close\r\n";
    for (const std::string& header : response.headers) {
        text += header + "\r\n";
    }
    text += "\r\n";

    if (!generated && response.drip.count() <= 0) {
        // Headers and body in one write, as a real server answering a small file would.
        text.append(response.body, 0, static_cast<std::size_t>(to_send));
        connection.SendAll(text);
        return;
    }
    bool sending = connection.SendAll(text);
    const std::string pattern(generated ? kPieceSize : 0, 'x');
    const std::size_t piece_size = response.drip.count() > 0 && !generated ? 1 : kPieceSize;
    for (std::uint64_t sent = 0; sending && sent < to_send;) {
        const auto piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(piece_size, to_send - sent));
        const std::string_view bytes = generated
                                           ? std::string_view(pattern).substr(0, piece)
                                           : std::string_view(response.body).substr(sent, piece);
        sending = connection.SendAll(bytes);
        sent += piece;
        if (sending && sent < to_send) {
            sending = connection.Pause(response.drip);
        }
    }
}

}  // namespace

std::string HttpRequest::Header(std::string_view lower_case_name) const {
    const auto found = headers.find(std::string(lower_case_name));
    return found == headers.end() ? std::string() : found->second;
}

struct HttpTestServer::Sockets {
    Sockets() {
        WSADATA data;
        started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    Sockets(const Sockets&) = delete;
    Sockets& operator=(const Sockets&) = delete;
    ~Sockets() {
        if (listener != INVALID_SOCKET) {
            closesocket(listener);
        }
        for (WSAEVENT event : {stop, listener_event}) {
            if (event != WSA_INVALID_EVENT) {
                WSACloseEvent(event);
            }
        }
        if (started) {
            WSACleanup();
        }
    }

    bool started = false;
    SOCKET listener = INVALID_SOCKET;
    WSAEVENT stop = WSA_INVALID_EVENT;
    WSAEVENT listener_event = WSA_INVALID_EVENT;
};

HttpTestServer::HttpTestServer(unsigned short port) : sockets_(std::make_unique<Sockets>()) {
    Sockets& s = *sockets_;
    if (!s.started) {
        throw SocketError("WSAStartup");
    }
    s.listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s.listener == INVALID_SOCKET) {
        throw SocketError("socket");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (bind(s.listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(s.listener, SOMAXCONN) != 0) {
        throw SocketError("listening on port " + std::to_string(port));
    }
    int length = sizeof address;
    if (getsockname(s.listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw SocketError("getsockname");
    }
    port_ = ntohs(address.sin_port);

    s.stop = WSACreateEvent();
    s.listener_event = WSACreateEvent();
    if (s.stop == WSA_INVALID_EVENT || s.listener_event == WSA_INVALID_EVENT ||
        WSAEventSelect(s.listener, s.listener_event, FD_ACCEPT) != 0) {
        throw SocketError("WSAEventSelect");
    }
    thread_ = std::thread([this] { Run(); });
}

HttpTestServer::~HttpTestServer() {
    WSASetEvent(sockets_->stop);
    thread_.join();
}

std::string HttpTestServer::host() const {
    return "127.0.0.1:" + std::to_string(port_);
}

std::string HttpTestServer::Url(std::string_view path) const {
    return "http://" + host() + std::string(path);
}

void HttpTestServer::Serve(const std::string& path, HttpResponse response) {
    const std::lock_guard lock(mutex_);
    responses_[path] = std::move(response);
}

std::vector<HttpRequest> HttpTestServer::Requests() const {
    const std::lock_guard lock(mutex_);
    return requests_;
}

void HttpTestServer::Run() {
    const Sockets& s = *sockets_;
    // Connections are answered side by side, as a real server would: one left dripping by a
    // client that gave up must not hold up the next.
    std::vector<std::thread> connections;
    while (WaitForSingleObject(s.stop, 0) == WAIT_TIMEOUT) {
        const SOCKET connection = accept(s.listener, nullptr, nullptr);
        if (connection != INVALID_SOCKET) {
            connections.emplace_back([this, connection] { Answer(connection); });
        } else if (!Wait(s.stop, s.listener_event)) {
            break;
        }
    }
    for (std::thread& connection : connections) {
        connection.join();
    }
}

void HttpTestServer::Answer(std::uintptr_t connection_id) {
    Connection connection(static_cast<SOCKET>(connection_id), sockets_->stop);
    const std::optional<std::string> head = connection.ReceiveHead();
    if (!head) {
        return;
    }
    HttpRequest request = ParseHead(*head);
    HttpResponse response;
    std::size_t logged = 0;
    {
        const std::lock_guard lock(mutex_);
        const auto scripted = responses_.find(request.path);
        if (scripted != responses_.end()) {
            response = scripted->second;
        } else {
            response.status = 404;
            response.body = "No such document.";
        }
        logged = requests_.size();
        requests_.push_back(std::move(request));
    }
    SendAnswer(response, connection);
    if (connection.client_left) {
        const std::lock_guard lock(mutex_);
        requests_[logged].client_left = connection.client_left;
    }
}

}  // namespace kvat::test
