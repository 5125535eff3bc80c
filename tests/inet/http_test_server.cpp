#include "http_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace {

bool SendAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

int ListenLocal(int& port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  int yes = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 16) != 0)
    throw std::runtime_error("test server: cannot listen on 127.0.0.1");
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  port = ntohs(addr.sin_port);
  return fd;
}

}  // namespace

TTestReply Page(const TTestRequest& request, int code, const std::string& reason,
                const std::string& body, const std::vector<std::string>& headers) {
  std::string s = "HTTP/1.1 " + std::to_string(code) + " " + reason + "\r\n";
  for (const std::string& h : headers) s += h + "\r\n";
  s += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  if (request.Method != "HEAD") s += body;
  return {s, TTestReply::TThen::KeepAlive};
}

TTestServer::TTestServer(THandler handler) : FHandler(std::move(handler)) {
  FListen = ListenLocal(FPort);
  FAcceptor = std::thread([this] { AcceptLoop(); });
}

TTestServer::~TTestServer() {
  FStopping = true;
  ::shutdown(FListen, SHUT_RDWR);
  FAcceptor.join();
  ::close(FListen);
  {
    std::lock_guard<std::mutex> lock(FLock);
    for (int fd : FSockets)
      if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
  }
  FStopSignal.notify_all();
  for (std::thread& t : FThreads) t.join();
  for (int fd : FSockets)
    if (fd >= 0) ::close(fd);
}

std::string TTestServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(FPort) + path;
}

std::vector<TTestRequest> TTestServer::Requests() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FRequests;
}

bool TTestServer::WaitStop(int milliseconds) {
  std::unique_lock<std::mutex> lock(FLock);
  return FStopSignal.wait_for(lock, std::chrono::milliseconds(milliseconds),
                              [this] { return FStopping.load(); });
}

void TTestServer::AcceptLoop() {
  while (!FStopping) {
    int fd = ::accept(FListen, nullptr, nullptr);
    if (fd < 0) break;
    ++FConnections;
    std::lock_guard<std::mutex> lock(FLock);
    FSockets.push_back(fd);
    FThreads.emplace_back([this, fd] { Serve(fd); });
  }
}

void TTestServer::Serve(int fd) {
  std::string pending;
  char buf[4096];
  while (!FStopping) {
    size_t end;
    while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
      ssize_t n = ::recv(fd, buf, sizeof buf, 0);
      if (n <= 0) {
        if (n == 0 && !FStopping) ++FClosedByClient;
        return;
      }
      pending.append(buf, static_cast<size_t>(n));
    }
    TTestRequest request;
    request.Head = pending.substr(0, end + 4);
    pending.erase(0, end + 4);
    size_t sp1 = request.Head.find(' ');
    size_t sp2 = request.Head.find(' ', sp1 + 1);
    request.Method = request.Head.substr(0, sp1);
    request.Path = request.Head.substr(sp1 + 1, sp2 - sp1 - 1);
    {
      std::lock_guard<std::mutex> lock(FLock);
      FRequests.push_back(request);
    }
    TTestReply reply = FHandler(request);
    if (!SendAll(fd, reply.Bytes)) return;
    switch (reply.Then) {
      case TTestReply::TThen::KeepAlive:
        break;
      case TTestReply::TThen::Close:
        ::shutdown(fd, SHUT_WR);
        return;
      case TTestReply::TThen::Reset: {
        // A zero linger time turns the close into a reset.
        linger hard{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        std::lock_guard<std::mutex> lock(FLock);
        for (int& kept : FSockets)
          if (kept == fd) kept = -1;
        ::close(fd);
        return;
      }
      case TTestReply::TThen::Stall:
        WaitStop(60000);
        return;
      case TTestReply::TThen::Trickle:
        while (!WaitStop(20))
          if (!SendAll(fd, std::string(1024, 't'))) return;
        return;
      case TTestReply::TThen::Flood: {
        const std::string block(64 * 1024, 'f');
        while (!FStopping && SendAll(fd, block)) {
        }
        return;
      }
    }
  }
}

int UnusedPort() {
  int port = 0;
  int fd = ListenLocal(port);
  ::close(fd);
  return port;
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no error)";
}
