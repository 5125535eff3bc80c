#pragma once
// A small HTTP/1.1 server on 127.0.0.1 and a free port, for the tests of the HTTP layer:
// each connection runs on a thread of its own, answers what the handler returns, and
// can keep the connection, close it, reset it, fall silent, or send a body forever,
// slowly or as fast as the client takes it.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct TTestRequest {
  std::string Method, Path, Head;  // Head: the request line and headers as received
};

struct TTestReply {
  enum class TThen { KeepAlive, Close, Reset, Stall, Trickle, Flood };
  std::string Bytes;
  TThen Then = TThen::KeepAlive;
};

// A complete answer; for HEAD the body is left out but its Content-Length stays.
TTestReply Page(const TTestRequest& request, int code, const std::string& reason,
                const std::string& body, const std::vector<std::string>& headers = {});

class TTestServer {
 public:
  using THandler = std::function<TTestReply(const TTestRequest&)>;
  explicit TTestServer(THandler handler);
  ~TTestServer();
  TTestServer(const TTestServer&) = delete;
  TTestServer& operator=(const TTestServer&) = delete;

  int Port() const { return FPort; }
  std::string Url(const std::string& path) const;
  int Connections() const { return FConnections; }
  // Connections the client has closed (the server saw the end of the stream).
  int ClosedByClient() const { return FClosedByClient; }
  std::vector<TTestRequest> Requests() const;

 private:
  void AcceptLoop();
  void Serve(int fd);
  bool WaitStop(int milliseconds);

  THandler FHandler;
  int FListen = -1;
  int FPort = 0;
  std::atomic<bool> FStopping{false};
  std::atomic<int> FConnections{0};
  std::atomic<int> FClosedByClient{0};
  mutable std::mutex FLock;
  std::condition_variable FStopSignal;
  std::vector<TTestRequest> FRequests;
  std::vector<int> FSockets;
  std::vector<std::thread> FThreads;
  std::thread FAcceptor;
};

// A port on 127.0.0.1 where nothing listens (bound, then closed).
int UnusedPort();

// The message of what f throws, or "(no error)".
std::string ErrorOf(const std::function<void()>& f);
