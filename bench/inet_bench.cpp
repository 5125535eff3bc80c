// Throughput of inet.toString and inet.toFile on a 100 MB body from a server on
// 127.0.0.1 that this program starts, against `curl -o` of the same URL, in one run.
// Prints each rate and the ratio to curl's.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "Project1_TLB.h"
#include "u_inet.h"
#include "u_inettools.h"

namespace {

constexpr size_t BodySize = 100u * 1024 * 1024;

class TBodyServer {
 public:
  TBodyServer() : FBody(BodySize) {
    for (size_t i = 0; i < FBody.size(); ++i) FBody[i] = static_cast<char>('a' + i % 26);
    FListen = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(FListen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(FListen, 8) != 0) {
      std::perror("listen");
      std::exit(2);
    }
    socklen_t len = sizeof addr;
    ::getsockname(FListen, reinterpret_cast<sockaddr*>(&addr), &len);
    FPort = ntohs(addr.sin_port);
    FAcceptor = std::thread([this] {
      for (;;) {
        int fd = ::accept(FListen, nullptr, nullptr);
        if (fd < 0) return;
        std::thread([this, fd] { Serve(fd); }).detach();
      }
    });
  }
  ~TBodyServer() {
    ::shutdown(FListen, SHUT_RDWR);
    FAcceptor.join();
    ::close(FListen);
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(FPort) + "/body"; }

 private:
  void Serve(int fd) {
    std::string pending;
    char buf[4096];
    for (;;) {
      size_t end;
      while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
          ::close(fd);
          return;
        }
        pending.append(buf, static_cast<size_t>(n));
      }
      bool head = pending.compare(0, 5, "HEAD ") == 0;
      pending.erase(0, end + 4);
      std::string reply =
          "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
          "Content-Length: " +
          std::to_string(FBody.size()) + "\r\n\r\n";
      if (!Send(fd, reply.data(), reply.size()) ||
          (!head && !Send(fd, FBody.data(), FBody.size()))) {
        ::close(fd);
        return;
      }
    }
  }
  static bool Send(int fd, const char* p, size_t n) {
    while (n > 0) {
      ssize_t k = ::send(fd, p, n, MSG_NOSIGNAL);
      if (k <= 0) return false;
      p += k;
      n -= static_cast<size_t>(k);
    }
    return true;
  }

  std::vector<char> FBody;
  int FListen = -1;
  int FPort = 0;
  std::thread FAcceptor;
};

template <class F>
double Seconds(F&& f) {
  auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Rate(double seconds) {
  return BodySize / 1048576.0 / seconds;
}

}  // namespace

int main() {
  for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) unsetenv(name);
  InitInetUnit();
  TBodyServer server;
  std::string url = server.Url();
  std::string dir = std::string(ORVEL_BINARY_DIR) + "/bench/inet_bench_tmp";
  std::system(("mkdir -p '" + dir + "'").c_str());
  std::string curlFile = dir + "/curl.bin", inetFile = dir + "/inet.bin";

  // The HTTP layer alone, without the dispatch of the result.
  size_t got = 0;
  double tFetch = Seconds(
      [&] { got = FetchToText(url, NoByteLimit, std::chrono::milliseconds(30000)).size(); });
  IDispatchPtr inet = CoInet::Create();
  double tText = Seconds([&] { got = inet->Call("toString", {url}).AsString().size(); });
  if (got != BodySize) {
    std::fprintf(stderr, "toString returned %zu bytes\n", got);
    return 1;
  }
  int32_t status = 0;
  double tFile = Seconds([&] { status = inet->Call("toFile", {url, inetFile}).ToInt32(); });
  if (status != 200) {
    std::fprintf(stderr, "toFile returned %d\n", status);
    return 1;
  }
  int curlRc = 0;
  double tCurl = Seconds(
      [&] { curlRc = std::system(("curl -s -o '" + curlFile + "' '" + url + "'").c_str()); });
  if (curlRc != 0) {
    std::fprintf(stderr, "curl failed (%d); is the curl program installed?\n", curlRc);
    return 1;
  }

  std::printf("body                 %zu MB\n", BodySize / 1048576);
  std::printf("curl -o              %8.1f MB/s\n", Rate(tCurl));
  std::printf("inet.toString        %8.1f MB/s   ratio %.2f\n", Rate(tText), tCurl / tText);
  std::printf("FetchToText          %8.1f MB/s   ratio %.2f\n", Rate(tFetch), tCurl / tFetch);
  std::printf("inet.toFile          %8.1f MB/s   ratio %.2f\n", Rate(tFile), tCurl / tFile);
  std::system(("rm -rf '" + dir + "'").c_str());
  inet.reset();
  ShutdownInetTools();
  return 0;
}
