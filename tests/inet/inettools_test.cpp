#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "Project1_TLB.h"
#include "http_test_server.h"
#include "u_inettools.h"
#include "u_inettools_head.h"

using namespace std::chrono_literals;

namespace {

std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool Exists(const std::string& name) {
  struct stat st;
  return ::stat(name.c_str(), &st) == 0;
}

std::string TempFolder(const char* tag) {
  std::string dir =
      std::string(ORVEL_BINARY_DIR) + "/tests/inet/tmp_" + tag + "_" + std::to_string(::getpid());
  std::error_code ignored;  // a folder of an earlier run with this number may be there
  std::filesystem::remove_all(dir, ignored);
  ::mkdir((std::string(ORVEL_BINARY_DIR) + "/tests").c_str(), 0777);
  ::mkdir((std::string(ORVEL_BINARY_DIR) + "/tests/inet").c_str(), 0777);
  ::mkdir(dir.c_str(), 0777);
  return dir;
}

std::set<std::string> FilesIn(const std::string& dir) {
  std::set<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d))
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.insert(e->d_name);
    ::closedir(d);
  }
  return names;
}

using TThen = TTestReply::TThen;
using Clock = std::chrono::steady_clock;

TTestServer::THandler Serving(const std::string& body) {
  return [body](const TTestRequest& r) { return Page(r, 200, "OK", body); };
}

}  // namespace

// Host and path limits, the exact prefix, and a port that stays in the host.
TEST(SplitUrl, SplitsHostAndPathAsWritten) {
  std::string host, path;
  SplitUrl("http://example.org", host, path);
  EXPECT_EQ(host, "example.org");
  EXPECT_EQ(path, "/");
  SplitUrl("http://h.example/a/b?x=1&y=2", host, path);
  EXPECT_EQ(host, "h.example");
  EXPECT_EQ(path, "/a/b?x=1&y=2");
  SplitUrl("http:///p", host, path);
  EXPECT_EQ(host, "");
  EXPECT_EQ(path, "/p");
  SplitUrl("http://h:8080/x", host, path);
  EXPECT_EQ(host, "h:8080");
  SplitUrl("http://" + std::string(200000, 'h'), host, path);
  EXPECT_EQ(host.size(), 100000u);
  SplitUrl("http://h/" + std::string(20000, 'p'), host, path);
  EXPECT_EQ(path.size(), 10000u);
  EXPECT_EQ(path[0], '/');
}

TEST(SplitUrl, RefusesOtherSchemesAndTheBarePrefix) {
  std::string host, path;
  for (const char* url : {"https://h/", "HTTP://h/", "http://", "http:/", "", "ftp://h/x"})
    EXPECT_EQ(ErrorOf([&] { SplitUrl(url, host, path); }), std::string("url without host: ") + url);
}

// The connection takes a port from the end of the host and uses 80 otherwise.
TEST(SplitUrl, PortOfTheConnection) {
  EXPECT_EQ(ConnectionUrl("example.org", "/a?b"), "http://example.org:80/a?b");
  EXPECT_EQ(ConnectionUrl("127.0.0.1:8080", "/"), "http://127.0.0.1:8080/");
  EXPECT_EQ(ConnectionUrl("[::1]:81", "/x"), "http://[::1]:81/x");
  EXPECT_EQ(ConnectionUrl("[::1]", "/x"), "http://[::1]:80/x");
  EXPECT_EQ(ConnectionUrl("h:99999", "/"), "http://h:99999:80/");
  EXPECT_FALSE(ValidRequestUrl(ConnectionUrl("h:99999", "/")));
}

// A body comes back byte for byte, zero bytes included, from the port in the URL.
TEST(FetchToText, ReturnsTheWholeBodyWithZeroBytes) {
  std::string body("a\0b\0\0c", 6);
  body += std::string(300000, 'x');
  TTestServer server(Serving(body));
  EXPECT_EQ(FetchToText(server.Url("/page?q=1"), NoByteLimit, 5s), body);
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].Method, "GET");
  EXPECT_EQ(requests[0].Path, "/page?q=1");
  EXPECT_NE(requests[0].Head.find("User-Agent: Vexolin 1.9\r\n"), std::string::npos);
}

// A status other than 200 and 302 is an error that still reports the status; 302 is
// success with its own body, not followed.
TEST(FetchToStream, StatusRules) {
  TTestServer server([](const TTestRequest& r) {
    if (r.Path == "/moved") return Page(r, 302, "Found", "moved body", {"Location: /elsewhere"});
    return Page(r, 404, "Not Found", "no such page");
  });
  TMemoryStream stream;
  std::string error;
  EXPECT_EQ(FetchToStream(server.Url("/missing"), stream, NoByteLimit, 5s, error), 404);
  EXPECT_EQ(error, "Error: HttpQueryInfo 404");
  EXPECT_EQ(stream.Data(), "");
  EXPECT_EQ(ErrorOf([&] { FetchToText(server.Url("/missing"), NoByteLimit, 5s); }),
            "Error: HttpQueryInfo 404");

  EXPECT_EQ(FetchToStream(server.Url("/moved"), stream, NoByteLimit, 5s, error), 302);
  EXPECT_EQ(error, "");
  EXPECT_EQ(stream.Data(), "moved body");
  for (const TTestRequest& r : server.Requests()) EXPECT_NE(r.Path, "/elsewhere");
}

// Failures before any status: status -1 and the send error with the client's number.
TEST(FetchToStream, FailuresBeforeTheStatus) {
  TMemoryStream stream;
  std::string error;
  std::string refused = "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/";
  EXPECT_EQ(FetchToStream(refused, stream, NoByteLimit, 5s, error), -1);
  EXPECT_EQ(error, "Error: HttpSendRequest 7");
  EXPECT_EQ(FetchToStream("https://127.0.0.1/", stream, NoByteLimit, 5s, error), -1);
  EXPECT_EQ(error, "url without host: https://127.0.0.1/");
  EXPECT_EQ(FetchToStream("http:///x", stream, NoByteLimit, 5s, error), -1);
  EXPECT_EQ(error, "Error: InternetConnection 3");
  EXPECT_EQ(ErrorOf([&] { FetchToText(refused, NoByteLimit, 5s); }), "Error: HttpSendRequest 7");
}

// A silent server ends the wait at the limit with status -1; a body that stalls ends it
// with the status already seen and what arrived so far.
TEST(FetchToStream, TimeLimit) {
  TTestServer silent([](const TTestRequest&) { return TTestReply{"", TTestReply::TThen::Stall}; });
  TMemoryStream stream;
  std::string error;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(FetchToStream(silent.Url("/"), stream, NoByteLimit, 300ms, error), -1);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
  EXPECT_EQ(error, "Истекло время ожидания");

  TTestServer stalling([](const TTestRequest&) {
    return TTestReply{"HTTP/1.1 200 OK\r\nContent-Length: 9000\r\n\r\npartial",
                      TTestReply::TThen::Stall};
  });
  EXPECT_EQ(FetchToStream(stalling.Url("/"), stream, NoByteLimit, 300ms, error), 200);
  EXPECT_EQ(error, "Истекло время ожидания");
  EXPECT_EQ(stream.Data(), "partial");
  EXPECT_EQ(ErrorOf([&] { FetchToText(stalling.Url("/"), NoByteLimit, 200ms); }),
            "Истекло время ожидания");

  // The next fetch after a time-out works normally.
  TTestServer normal(Serving("fine"));
  EXPECT_EQ(FetchToText(normal.Url("/"), NoByteLimit, 5s), "fine");
}

// After the caller gave up, nothing more reaches its stream although the server keeps
// sending.
TEST(FetchToStream, NoWriteAfterTheCallerGaveUp) {
  TTestServer trickle([](const TTestRequest&) {
    return TTestReply{"HTTP/1.1 200 OK\r\n\r\n", TTestReply::TThen::Trickle};
  });
  TMemoryStream stream;
  std::string error;
  EXPECT_EQ(FetchToStream(trickle.Url("/"), stream, NoByteLimit, 300ms, error), 200);
  EXPECT_EQ(error, "Истекло время ожидания");
  size_t size = stream.Data().size();
  EXPECT_GT(size, 0u);
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(stream.Data().size(), size);
}

// A body that ends before its announced length or its last chunk is an error, whether
// the server closes or resets; a body without a length ends whole at the close.
TEST(FetchToStream, BodyCutShortIsAnError) {
  TTestServer server([](const TTestRequest& r) {
    std::string announced =
        "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(800, 'b');
    if (r.Path == "/closed") return TTestReply{announced, TThen::Close};
    if (r.Path == "/reset") return TTestReply{announced, TThen::Reset};
    if (r.Path == "/chunks")
      return TTestReply{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n",
                        TThen::Close};
    return TTestReply{"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + std::string(3000, 'b'),
                      TThen::Close};
  });
  struct Case {
    const char* path;
    const char* error;
  };
  for (Case c :
       {Case{"/closed", "Error: InternetReadFile 18"}, Case{"/reset", "Error: InternetReadFile 56"},
        Case{"/chunks", "Error: InternetReadFile 18"}}) {
    TMemoryStream stream;
    std::string error;
    EXPECT_EQ(FetchToStream(server.Url(c.path), stream, NoByteLimit, 5s, error), 200) << c.path;
    EXPECT_EQ(error, c.error) << c.path;
    EXPECT_EQ(ErrorOf([&] { FetchToText(server.Url(c.path), NoByteLimit, 5s); }), c.error);
  }
  EXPECT_EQ(FetchToText(server.Url("/whole"), NoByteLimit, 5s), std::string(3000, 'b'));
}

// A status line whose code is no number fails with the conversion message and no status;
// an answer that is no HTTP at all fails in the send.
TEST(FetchToStream, StatusCodeThatIsNoNumber) {
  TTestServer server([](const TTestRequest& r) {
    if (r.Path == "/noise") return TTestReply{"hello there\r\n", TThen::Close};
    return TTestReply{"HTTP/1.1 abc OK\r\nContent-Length: 2\r\n\r\nhi", TThen::KeepAlive};
  });
  TMemoryStream stream;
  std::string error;
  EXPECT_EQ(FetchToStream(server.Url("/"), stream, NoByteLimit, 5s, error), -1);
  EXPECT_EQ(error, "'abc' is not a valid integer value");
  EXPECT_EQ(stream.Data(), "");
  EXPECT_EQ(ErrorOf([&] { FetchToText(server.Url("/"), NoByteLimit, 5s); }),
            "'abc' is not a valid integer value");
  EXPECT_EQ(FetchToStream(server.Url("/noise"), stream, NoByteLimit, 5s, error), -1);
  EXPECT_EQ(error, "Error: HttpSendRequest 1");
}

// A body longer than the size limit fails as soon as it passes the limit (or announces
// more), long before the time limit; a body of exactly the limit arrives.
TEST(FetchToText, SizeLimit) {
  TTestServer server([](const TTestRequest& r) {
    if (r.Path == "/endless") return TTestReply{"HTTP/1.1 200 OK\r\n\r\n", TThen::Flood};
    if (r.Path == "/announced")
      return TTestReply{"HTTP/1.1 200 OK\r\nContent-Length: 5000000000\r\n\r\nstart", TThen::Stall};
    return Page(r, 200, "OK", std::string(1000, 'x'));
  });
  const std::string tooLarge =
      "The body is longer than a string can hold (more than 1048576 bytes)";
  for (const char* path : {"/endless", "/announced"}) {
    auto start = Clock::now();
    EXPECT_EQ(ErrorOf([&] { FetchToText(server.Url(path), NoByteLimit, 20s, 1 << 20); }), tooLarge);
    EXPECT_LT(Clock::now() - start, 5s) << path;
  }
  EXPECT_EQ(FetchToText(server.Url("/"), NoByteLimit, 5s, 1000), std::string(1000, 'x'));
  EXPECT_EQ(ErrorOf([&] { FetchToText(server.Url("/"), NoByteLimit, 5s, 999); }),
            BodyTooLargeMessage(999));
}

// A body that cannot be written is a failure, not a short success.
TEST(FetchToStream, WriteFailureIsReported) {
  TTestServer server(Serving(std::string(100000, 'w')));
  TFileStream full("/dev/full");
  std::string error;
  EXPECT_EQ(FetchToStream(server.Url("/"), full, NoByteLimit, 5s, error), 200);
  EXPECT_EQ(error, "Stream write error");
}

// 0 reads no body; N stops after the 1024-byte chunk that reaches N.
TEST(FetchToStream, ByteLimit) {
  std::string body;
  for (int i = 0; i < 5000; ++i) body += static_cast<char>('a' + i % 26);
  TTestServer server(Serving(body));
  struct Case {
    int32_t limit;
    size_t size;
  };
  for (Case c : {Case{0, 0}, Case{1, 1024}, Case{100, 1024}, Case{1024, 1024}, Case{1025, 2048},
                 Case{4097, 5000}, Case{NoByteLimit, 5000}}) {
    TMemoryStream stream;
    std::string error;
    EXPECT_EQ(FetchToStream(server.Url("/"), stream, c.limit, 5s, error), 200) << c.limit;
    EXPECT_EQ(error, "") << c.limit;
    EXPECT_EQ(stream.Data(), body.substr(0, c.size)) << c.limit;
  }
}

// GETs to one host share one kept connection; a GET elsewhere replaces it, and going
// back connects anew.
TEST(FetchToStream, KeepsOneConnectionToTheLastHost) {
  TTestServer a(Serving("from a"));
  TTestServer b(Serving("from b"));
  EXPECT_EQ(FetchToText(a.Url("/1"), NoByteLimit, 5s), "from a");
  EXPECT_EQ(FetchToText(a.Url("/2"), NoByteLimit, 5s), "from a");
  EXPECT_EQ(a.Connections(), 1);
  EXPECT_EQ(FetchToText(b.Url("/"), NoByteLimit, 5s), "from b");
  for (int i = 0; i < 100 && a.ClosedByClient() == 0; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(a.ClosedByClient(), 1);
  EXPECT_EQ(FetchToText(a.Url("/3"), NoByteLimit, 5s), "from a");
  EXPECT_EQ(a.Connections(), 2);
  EXPECT_EQ(b.Connections(), 1);
}

TEST(FetchToFile, CreatesFoldersAndLeavesAnEmptyFileOnFailure) {
  TTestServer server([](const TTestRequest& r) {
    if (r.Path == "/missing") return Page(r, 404, "Not Found", "no such page");
    return Page(r, 200, "OK", std::string("file\0body", 9));
  });
  std::string dir = TempFolder("file");
  std::string error;
  std::string deep = dir + "/one/two/page.bin";
  EXPECT_EQ(FetchToFile(server.Url("/"), deep, NoByteLimit, 5s, error), 200);
  EXPECT_EQ(error, "");
  EXPECT_EQ(ReadFile(deep), std::string("file\0body", 9));

  // An older file of the name goes first.
  EXPECT_EQ(FetchToFile(server.Url("/missing"), deep, NoByteLimit, 5s, error), 404);
  EXPECT_EQ(error, "Error: HttpQueryInfo 404");
  EXPECT_TRUE(Exists(deep));
  EXPECT_EQ(ReadFile(deep), "");

  std::string refused = "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/";
  EXPECT_EQ(FetchToFile(refused, deep, NoByteLimit, 5s, error), -1);
  EXPECT_TRUE(Exists(deep));

  // A name that is a folder cannot be created as a file; the message names it.
  ::mkdir((dir + "/folder").c_str(), 0777);
  EXPECT_EQ(ErrorOf([&] { FetchToFile(server.Url("/"), dir + "/folder", NoByteLimit, 5s, error); }),
            "Cannot create file \"" + dir + "/folder\". Is a directory");
}

// The named file holds the whole body or nothing: every way a body can fall short leaves
// it empty, with an error, and leaves no temporary file behind.
TEST(FetchToFile, HoldsTheWholeBodyOrNothing) {
  const std::string body(300000, 'w');
  TTestServer server([&](const TTestRequest& r) {
    std::string announced =
        "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + body.substr(0, 800);
    if (r.Path == "/closed") return TTestReply{announced, TThen::Close};
    if (r.Path == "/reset") return TTestReply{announced, TThen::Reset};
    if (r.Path == "/stall") return TTestReply{announced, TThen::Stall};
    if (r.Path == "/drip") return TTestReply{"HTTP/1.1 200 OK\r\n\r\n", TThen::Trickle};
    if (r.Path == "/flood") return TTestReply{"HTTP/1.1 200 OK\r\n\r\n", TThen::Flood};
    return Page(r, 200, "OK", body);
  });
  std::string dir = TempFolder("whole");
  std::string name = dir + "/page.bin";
  for (const char* path : {"/closed", "/reset", "/stall", "/drip", "/flood"}) {
    { std::ofstream(name) << "old contents"; }
    std::string error;
    auto start = Clock::now();
    EXPECT_EQ(FetchToFile(server.Url(path), name, NoByteLimit, 300ms, error), 200) << path;
    EXPECT_LT(Clock::now() - start, 3s) << path;
    EXPECT_NE(error, "") << path;
    EXPECT_EQ(ReadFile(name), "") << path;
    EXPECT_EQ(FilesIn(dir), std::set<std::string>{"page.bin"}) << path;
  }
  std::string error;
  EXPECT_EQ(FetchToFile(server.Url("/"), name, NoByteLimit, 5s, error), 200);
  EXPECT_EQ(error, "");
  EXPECT_EQ(ReadFile(name), body);
  EXPECT_EQ(FilesIn(dir), std::set<std::string>{"page.bin"});
}

// A disk that fills up (a small tmpfs, where this test may mount one) or a file-size
// limit fails the fetch with the write error, leaves the file empty, and does not end
// the process.
TEST(FetchToFile, FullDiskOrFileSizeLimit) {
  const std::string body(4 << 20, 'd');
  TTestServer server(Serving(body));
  for (bool tmpfs : {true, false}) {
    std::string dir = TempFolder(tmpfs ? "tmpfs" : "fsize");
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    if (tmpfs) {
      if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=1m") != 0) continue;
    } else {
      rlimit small{1 << 20, saved.rlim_max};
      ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    std::string error;
    int32_t status = FetchToFile(server.Url("/"), dir + "/big.bin", NoByteLimit, 5s, error);
    std::string left = ReadFile(dir + "/big.bin");
    std::set<std::string> files = FilesIn(dir);
    if (tmpfs)
      ::umount(dir.c_str());
    else
      ::setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(status, 200) << tmpfs;
    EXPECT_EQ(error, "Stream write error") << tmpfs;
    EXPECT_EQ(left, "") << tmpfs;
    EXPECT_EQ(files, std::set<std::string>{"big.bin"}) << tmpfs;
  }
}

// A named pipe is written as it is read. Without a reader the file error comes at once;
// a reader that stops reading cannot hold the fetch beyond its time limit.
TEST(FetchToFile, NamedPipe) {
  const std::string body(1 << 20, 'p');
  TTestServer server(Serving(body));
  std::string pipe = TempFolder("pipe") + "/pipe";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  std::string error;
  auto start = Clock::now();
  EXPECT_EQ(ErrorOf([&] { FetchToFile(server.Url("/"), pipe, NoByteLimit, 5s, error); }),
            "Cannot create file \"" + pipe + "\". No such device or address");
  EXPECT_LT(Clock::now() - start, 1s);

  int idle = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(idle, 0);
  start = Clock::now();
  EXPECT_EQ(FetchToFile(server.Url("/"), pipe, NoByteLimit, 300ms, error), 200);
  EXPECT_EQ(error, "Истекло время ожидания");
  EXPECT_LT(Clock::now() - start, 2s);
  ::close(idle);

  int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  std::string got;
  std::thread drain([&] {
    char buf[65536];
    for (;;) {
      pollfd p{reader, POLLIN, 0};
      if (::poll(&p, 1, 5000) <= 0) break;
      ssize_t n = ::read(reader, buf, sizeof buf);
      if (n > 0)
        got.append(buf, static_cast<size_t>(n));
      else if (n == 0 || errno != EAGAIN)
        break;
    }
  });
  EXPECT_EQ(FetchToFile(server.Url("/"), pipe, NoByteLimit, 5s, error), 200);
  EXPECT_EQ(error, "");
  drain.join();
  ::close(reader);
  EXPECT_TRUE(got == body) << got.size();
  struct stat st;
  ASSERT_EQ(::stat(pipe.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST(FetchToFile, BareNameDeletesTheOldFileThenFails) {
  TTestServer server(Serving("body"));
  std::string dir = TempFolder("bare");
  char old[4096];
  ASSERT_NE(::getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(::chdir(dir.c_str()), 0);
  { std::ofstream("bare.txt") << "old contents"; }
  std::string error;
  EXPECT_EQ(ErrorOf([&] { FetchToFile(server.Url("/"), "bare.txt", NoByteLimit, 5s, error); }),
            "Unable to create directory");
  EXPECT_FALSE(Exists("bare.txt"));
  EXPECT_TRUE(server.Requests().empty());

  // Only files are replaced: a pipe (or a device) of that name stays in place.
  ASSERT_EQ(::mkfifo("pipe", 0600), 0);
  EXPECT_EQ(ErrorOf([&] { FetchToFile(server.Url("/"), "pipe", NoByteLimit, 5s, error); }),
            "Unable to create directory");
  EXPECT_TRUE(Exists("pipe"));
  ASSERT_EQ(::chdir(old), 0);
}

// HEAD on the calling thread: levels 19 and 22 and the named headers, any status.
TEST(QueryHttpInfo, LevelsOfTheResponse) {
  TTestServer server([](const TTestRequest& r) {
    if (r.Path == "/missing") return Page(r, 404, "Not Found", "gone", {"Server: test"});
    return Page(r, 200, "OK", "12345", {"Content-Type: text/plain", "Server: test/1"});
  });
  std::string url = server.Url("/page");
  EXPECT_EQ(QueryHttpInfo(url, HTTP_QUERY_STATUS_CODE), "200");
  EXPECT_EQ(QueryHttpInfo(url, HTTP_QUERY_RAW_HEADERS_CRLF),
            "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nServer: test/1\r\n"
            "Content-Length: 5\r\n\r\n");
  std::string zeroSeparated;
  for (const char* line :
       {"HTTP/1.1 200 OK", "Content-Type: text/plain", "Server: test/1", "Content-Length: 5"})
    zeroSeparated += std::string(line) + '\0';
  EXPECT_EQ(QueryHttpInfo(url, 21), zeroSeparated);
  EXPECT_EQ(QueryHttpInfo(url, 1), "text/plain");
  EXPECT_EQ(QueryHttpInfo(url, 20), "OK");
  EXPECT_EQ(QueryHttpInfo(url, 37), "test/1");
  EXPECT_EQ(QueryHttpInfo(url, 9999), "");  // no such level
  EXPECT_EQ(QueryHttpInfo(server.Url("/missing"), HTTP_QUERY_STATUS_CODE), "404");
  EXPECT_EQ(QueryHttpInfo(server.Url("/missing"), HTTP_QUERY_RAW_HEADERS_CRLF),
            "HTTP/1.1 404 Not Found\r\nServer: test\r\nContent-Length: 4\r\n\r\n");
  for (const TTestRequest& r : server.Requests()) {
    EXPECT_EQ(r.Method, "HEAD");
    EXPECT_NE(r.Head.find("User-Agent: Vexolin 1.9\r\n"), std::string::npos);
  }
}

TEST(QueryHttpInfo, Failures) {
  std::string refused = "http://127.0.0.1:" + std::to_string(UnusedPort()) + "/";
  EXPECT_EQ(ErrorOf([&] { QueryHttpInfo(refused, 22); }), "Error: HttpSendRequest 7");
  EXPECT_EQ(ErrorOf([&] { QueryHttpInfo("http:/", 22); }), "url without host: http:/");
  EXPECT_EQ(ErrorOf([&] { QueryHttpInfo("http:///a", 22); }), "Error: InternetConnection 3");
  TTestServer silent([](const TTestRequest&) { return TTestReply{"", TTestReply::TThen::Stall}; });
  auto saved = HeadTimeLimit;
  HeadTimeLimit = 200ms;
  EXPECT_EQ(ErrorOf([&] { QueryHttpInfo(silent.Url("/"), 22); }), "Error: HttpSendRequest 28");
  HeadTimeLimit = saved;
}
