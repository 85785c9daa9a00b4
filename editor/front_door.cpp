#include "editor/front_door.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <malloc.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "editor/api.h"
#include "editor/security.h"

namespace {

constexpr double HEAD_DEADLINE_S = 1.5;
constexpr double BODY_DEADLINE_S = 5.0;
constexpr double WRITE_TIMEOUT_S = 5.0;
constexpr double LINGER_S = 1.0;
// A browser's connection (its request says "Connection: keep-alive") waits this long for its next
// request after a good answer, for at most KEEP_REQUESTS requests; then it is closed unanswered.
constexpr int KEEP_IDLE_S = 2;
constexpr int KEEP_REQUESTS = 100;
constexpr size_t MAX_WAITING = 512;
// Event streams (at most four), a page's few requests at once and requests that wait up to
// seconds for the frame loop or the music's decoding.
constexpr size_t WORKERS = 24;
constexpr size_t READ_CHUNK = 4096;
constexpr size_t MAX_WIRE_BYTES = 3 * MAX_BODY_BYTES;
constexpr int MAX_EVENTS = 64;

double now_s()
{
    using Clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

// Waits up to `seconds` for `events` on `fd`; true when they (or a hang-up or error) came.
bool wait_for(int fd, short events, double seconds)
{
    pollfd entry{fd, events, 0};
    const int ms = seconds <= 0.0 ? 0 : static_cast<int>(std::ceil(seconds * 1000.0));
    int ready = 0;
    do
        ready = poll(&entry, 1, ms);
    while (ready < 0 && errno == EINTR);
    return ready > 0;
}

void address_of(const sockaddr_storage& address, std::string& ip, int& port)
{
    char text[INET6_ADDRSTRLEN] = "";
    if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
        port = ntohs(v6.sin6_port);
    } else {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
        port = ntohs(v4.sin_port);
    }
    ip = text;
}

// One connection's request as the library reads it: first the bytes the door already read, then
// the socket, within the body's deadline and wire limit.
class ConnectionStream : public httplib::Stream {
public:
    ConnectionStream(int sock, std::string bytes)
        : sock_(sock), buffer_(std::move(bytes)), deadline_s_(now_s() + BODY_DEADLINE_S)
    {
    }

    bool is_readable() const override
    {
        return position_ < buffer_.size() || wait_for(sock_, POLLIN, deadline_s_ - now_s());
    }
    bool is_writable() const override { return wait_for(sock_, POLLOUT, WRITE_TIMEOUT_S); }

    ssize_t read(char* ptr, size_t size) override
    {
        if (position_ == buffer_.size()) {
            const ssize_t got = refill();
            if (got <= 0)
                return got;
        }
        const size_t n = std::min(size, buffer_.size() - position_);
        std::copy_n(buffer_.data() + position_, n, ptr);
        position_ += n;
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char* ptr, size_t size) override
    {
        for (;;) {
            const ssize_t sent = send(sock_, ptr, size, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent >= 0)
                return sent;
            if (errno != EAGAIN && errno != EINTR)
                return -1;
            if (errno == EAGAIN && !is_writable())
                return -1;
        }
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override
    {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        getpeername(sock_, reinterpret_cast<sockaddr*>(&address), &length);
        address_of(address, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override
    {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        getsockname(sock_, reinterpret_cast<sockaddr*>(&address), &length);
        address_of(address, ip, port);
    }
    socket_t socket() const override { return sock_; }
    bool read_all() const { return position_ == buffer_.size(); }

private:
    // -1 past the deadline or the wire limit, 0 at the end of the stream.
    ssize_t refill()
    {
        char chunk[READ_CHUNK];
        for (;;) {
            if (wire_bytes_ >= MAX_WIRE_BYTES || !wait_for(sock_, POLLIN, deadline_s_ - now_s()))
                return -1;
            const ssize_t got = recv(sock_, chunk, sizeof chunk, MSG_DONTWAIT);
            if (got >= 0) {
                buffer_.assign(chunk, static_cast<size_t>(got));
                position_ = 0;
                wire_bytes_ += static_cast<size_t>(got);
                return got;
            }
            if (errno != EAGAIN && errno != EINTR)
                return -1;
        }
    }

    int sock_;
    std::string buffer_;
    size_t position_ = 0;
    size_t wire_bytes_ = 0;
    double deadline_s_;
};

// A connection the door's thread holds: waiting for its head, or closing after its answer.
struct Held {
    double deadline_s = 0.0;
    bool closing = false;
    std::string bytes;
    bool idle = false;  // kept after an answer, no byte of the next request yet
    int served = 0;     // requests answered on this connection
};

struct Door {
    DoorServer* http = nullptr;
    int poller = -1;
    int wake = -1;  // an eventfd: a finished connection to close, or the stop
    std::thread thread;
    std::unique_ptr<httplib::ThreadPool> workers;
    std::mutex mutex;
    bool stopping = false;
    std::vector<int> finished;              // sockets whose answer is written, for the door to close
    std::vector<std::pair<int, int>> kept;  // sockets kept for their next request, and their count
    std::unordered_map<int, Held> held;     // the door's thread only
};

Door door;
thread_local int serving = -1;
thread_local int answered_status = 0;  // the status of the answer the calling worker wrote
std::atomic<int> requests_served_now{0};

void signal_door()
{
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(door.wake, &one, sizeof one);
}

void drop(int fd)
{
    epoll_ctl(door.poller, EPOLL_CTL_DEL, fd, nullptr);
    close(fd);
    door.held.erase(fd);
}

// Watches fd for its client's bytes and its hang-up; false if the poller cannot take it.
bool watch(int fd)
{
    epoll_event event{};
    event.events = EPOLLIN | EPOLLRDHUP;
    event.data.fd = fd;
    return epoll_ctl(door.poller, EPOLL_CTL_ADD, fd, &event) == 0;
}

// Shuts the writing side and keeps reading until the client closes or the linger ends.
void start_closing(int fd, bool watched)
{
    shutdown(fd, SHUT_WR);
    door.held[fd] = Held{now_s() + LINGER_S, true, std::string()};
    if (!watched && !watch(fd))
        drop(fd);
}

// Waits for a kept connection's next request; its head has the usual deadline from its first byte.
void keep_for_next(int fd, int served)
{
    if (!watch(fd)) {
        close(fd);
        return;
    }
    door.held[fd] = Held{now_s() + KEEP_IDLE_S, false, std::string(), true, served};
}

// The door's own refusals, written at once: the answer is small and the socket buffer empty.
void refuse(int fd, int status, const std::string& reason)
{
    const char* phrase = status == 408   ? "Request Timeout"
                         : status == 431 ? "Request Header Fields Too Large"
                                         : "Bad Request";
    const std::string body = error_json(reason);
    const std::string answer =
        "HTTP/1.1 " + std::to_string(status) + " " + phrase +
        "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
        "\r\nConnection: close\r\nX-Content-Type-Options: nosniff\r\n"
        "Cache-Control: no-store\r\n\r\n" +
        body;
    [[maybe_unused]] const ssize_t sent = send(fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

void serve(int fd, std::string bytes, HeadFacts facts, int served)
{
    serving = fd;
    requests_served_now.fetch_add(1);
    answered_status = 0;
    ConnectionStream stream(fd, std::move(bytes));
    const bool keep_asked = facts.keep_alive && served + 1 < KEEP_REQUESTS;
    // The checks see Host and Origin as sent, empty values included. Answers go out uncompressed:
    // on the loopback, compressing a model of a few hundred KB (the library does it for every
    // answer a browser asks it for) took 100 to 800 ms, where sending it whole takes under one.
    const bool written = door.http->serve(stream, !keep_asked, [&facts](httplib::Request& req) {
        req.headers.erase("Accept-Encoding");
        req.headers.erase("Host");
        req.headers.erase("Origin");
        for (const std::string& host : facts.hosts)
            req.headers.emplace("Host", host);
        for (const std::string& origin : facts.origins)
            req.headers.emplace("Origin", origin);
    });
    serving = -1;
    // The answers were built and copied on the workers' threads, each with its own heap; once the
    // last request ends (a page's event stream, when the page closes), what they freed is handed
    // back to the system instead of staying with the program (+13 MB after a page on 10,000 keys).
    if (requests_served_now.fetch_sub(1) == 1)
        malloc_trim(0);
    // Kept only after a good answer to a whole request: a refusal, or bytes of a request that
    // nobody asked for, close the connection as before.
    const bool keep =
        keep_asked && written && answered_status > 0 && answered_status < 400 && stream.read_all();
    const std::lock_guard<std::mutex> lock(door.mutex);
    if (door.stopping) {
        close(fd);
        return;
    }
    if (keep)
        door.kept.emplace_back(fd, served + 1);
    else
        door.finished.push_back(fd);
    signal_door();
}

// The connection nearest its deadline: the slowest to send its head, or one already answered.
void drop_oldest()
{
    const auto oldest =
        std::min_element(door.held.begin(), door.held.end(), [](const auto& a, const auto& b) {
            return a.second.deadline_s < b.second.deadline_s;
        });
    drop(oldest->first);
}

void accept_all(int listening)
{
    for (;;) {
        const int fd = accept4(listening, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            // Out of descriptors: the oldest waiting connection makes room, else wait a moment.
            if ((errno == EMFILE || errno == ENFILE) && !door.held.empty()) {
                drop_oldest();
                continue;
            }
            if (errno == EMFILE || errno == ENFILE)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            return;
        }
        if (door.held.size() >= MAX_WAITING)
            drop_oldest();
        const int yes = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        if (!watch(fd)) {
            close(fd);
            continue;
        }
        door.held[fd] = Held{now_s() + HEAD_DEADLINE_S, false, std::string()};
    }
}

void on_readable(int fd)
{
    Held& held = door.held[fd];
    char chunk[READ_CHUNK];
    for (;;) {
        const ssize_t got = recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR))
            return drop(fd);
        if (got < 0 && errno == EAGAIN)
            break;
        if (got > 0 && !held.closing)
            held.bytes.append(chunk, static_cast<size_t>(got));
        if (held.bytes.size() > MAX_HEAD_BYTES)
            break;
    }
    if (held.closing)
        return;
    if (held.idle && !held.bytes.empty()) {
        held.idle = false;
        held.deadline_s = now_s() + HEAD_DEADLINE_S;
    }
    size_t head_bytes = 0;
    HeadFacts facts;
    const Refusal refusal = read_head(held.bytes, head_bytes, facts);
    if (refusal.status != 0) {
        refuse(fd, refusal.status, refusal.reason);
        return start_closing(fd, true);
    }
    if (head_bytes == 0)
        return;
    epoll_ctl(door.poller, EPOLL_CTL_DEL, fd, nullptr);
    std::string bytes = std::move(held.bytes);
    const int served = held.served;
    door.held.erase(fd);
    door.workers->enqueue([fd, bytes = std::move(bytes), facts = std::move(facts), served]() mutable {
        serve(fd, std::move(bytes), std::move(facts), served);
    });
}

// Closes what is past its deadline; the time left until the next deadline, in ms.
int expire()
{
    const double now = now_s();
    double next = now + 1.0;
    std::vector<int> late;
    for (const auto& [fd, held] : door.held) {
        if (held.deadline_s <= now)
            late.push_back(fd);
        else
            next = std::min(next, held.deadline_s);
    }
    for (int fd : late) {
        if (!door.held[fd].closing && !door.held[fd].idle)
            refuse(fd, 408, "the request's head did not arrive within 1.5 s");
        drop(fd);
    }
    return static_cast<int>(std::ceil((next - now) * 1000.0));
}

void run_door(int listening)
{
    epoll_event events[MAX_EVENTS];
    for (;;) {
        std::vector<int> finished;
        std::vector<std::pair<int, int>> kept;
        {
            const std::lock_guard<std::mutex> lock(door.mutex);
            if (door.stopping)
                break;
            finished.swap(door.finished);
            kept.swap(door.kept);
        }
        for (int fd : finished)
            start_closing(fd, false);
        for (const auto& [fd, served] : kept)
            keep_for_next(fd, served);
        const int count = epoll_wait(door.poller, events, MAX_EVENTS, expire());
        for (int i = 0; i < count; ++i) {
            const int fd = events[i].data.fd;
            if (fd == listening) {
                accept_all(listening);
            } else if (fd == door.wake) {
                uint64_t ignored = 0;
                [[maybe_unused]] const ssize_t got = ::read(door.wake, &ignored, sizeof ignored);
            } else if (door.held.count(fd) != 0) {
                on_readable(fd);
            }
        }
    }
    for (const auto& entry : door.held)
        close(entry.first);
    door.held.clear();
    const std::lock_guard<std::mutex> lock(door.mutex);
    for (int fd : door.finished)
        close(fd);
    door.finished.clear();
}

}  // namespace

bool DoorServer::serve(httplib::Stream& stream, bool close,
                       const std::function<void(httplib::Request&)>& setup)
{
    bool closed = false;
    return process_request(stream, close, closed, setup) && !closed;
}

void DoorServer::close_listening()
{
    const socket_t sock = svr_sock_.exchange(INVALID_SOCKET);
    if (sock != INVALID_SOCKET)
        close(sock);
}

void front_door_open(DoorServer& http)
{
    door.http = &http;
    door.stopping = false;
    door.poller = epoll_create1(EPOLL_CLOEXEC);
    door.wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    const int listening = http.listening_socket();
    fcntl(listening, F_SETFL, fcntl(listening, F_GETFL) | O_NONBLOCK);
    for (const int fd : {listening, door.wake}) {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = fd;
        epoll_ctl(door.poller, EPOLL_CTL_ADD, fd, &event);
    }
    http.set_keep_alive_timeout(KEEP_IDLE_S);
    http.set_keep_alive_max_count(KEEP_REQUESTS);
    http.set_logger(
        [](const httplib::Request&, const httplib::Response& res) { answered_status = res.status; });
    door.workers = std::make_unique<httplib::ThreadPool>(WORKERS);
    door.thread = std::thread(run_door, listening);
}

void front_door_close()
{
    if (door.http == nullptr)
        return;
    {
        const std::lock_guard<std::mutex> lock(door.mutex);
        door.stopping = true;
    }
    signal_door();
    door.thread.join();
    door.http->close_listening();
    door.workers->shutdown();
    door.workers.reset();
    close(door.poller);
    close(door.wake);
    door.http = nullptr;
}

int front_door_socket()
{
    return serving;
}
