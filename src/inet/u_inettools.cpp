#include "u_inettools.h"

#include <curl/curl.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

#include "Project1_TLB.h"
#include "u_inettools_head.h"
#include "vantor_utils.h"

std::chrono::milliseconds WorkerStopGrace{2000};

const char* const InetStoppedMessage = "The fetch was stopped";

namespace {

// Lock-free, so that a signal handler may set it.
std::atomic<bool> StopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);
std::atomic<void (*)()> WaitHook{nullptr};
// A wait on this thread is in progress: its hook runs, and no other fetch may start.
thread_local bool Waiting = false;

constexpr std::chrono::milliseconds WaitSlice{50};

// One step of a wait has passed.
void WaitSlicePassed() {
  if (void (*hook)() = WaitHook.load()) hook();
}

// Marks this thread as waiting; a fetch started from inside the wait hook fails.
class TWaitScope {
 public:
  TWaitScope() {
    if (Waiting) throw Exception("A fetch is already in progress");
    Waiting = true;
  }
  ~TWaitScope() { Waiting = false; }
  TWaitScope(const TWaitScope&) = delete;
  TWaitScope& operator=(const TWaitScope&) = delete;
};

constexpr size_t ReadChunk = 1024;
// Large transfer buffers: the read-chunk rule only matters for the byte limit, which
// the write callback applies itself.
constexpr long TransferBuffer = 512 * 1024;

std::string WithNumber(const char* text, long number) {
  std::string s(text);
  s += std::to_string(number);
  return s;
}

// The HTTP client library is loaded by the first HTTP call, not at start-up: with the
// two dozen libraries it brings (TLS, Kerberos, LDAP, SSH...) it was a third of what the
// dynamic loader did for every run, also for runs that never use `inet`.
// clang-format off
#define ORVEL_CURL_CALLS(F)                                                       \
  F(global_init) F(global_cleanup)                                                \
  F(easy_init) F(easy_cleanup) F(easy_reset) F(easy_setopt) F(easy_getinfo)       \
  F(easy_perform) F(easy_send) F(easy_recv)                                       \
  F(multi_init) F(multi_cleanup) F(multi_setopt) F(multi_add_handle)              \
  F(multi_remove_handle) F(multi_perform) F(multi_info_read) F(multi_poll)        \
  F(multi_wakeup)                                                                 \
  F(url) F(url_set) F(url_cleanup)
// clang-format on

struct TCurlCalls {
// NOLINTNEXTLINE(bugprone-macro-parentheses): the argument is the member's name
#define ORVEL_CURL_POINTER(name) decltype(&::curl_##name) name = nullptr;
  ORVEL_CURL_CALLS(ORVEL_CURL_POINTER)
#undef ORVEL_CURL_POINTER
};

constexpr const char* CurlLibrary = "libcurl.so.4";
std::mutex CurlLoadLock;
TCurlCalls CurlCalls;
std::atomic<const TCurlCalls*> LoadedCurl{nullptr};

// The library's calls, loading it first if need be; throws a message that names the
// file and the reason when it cannot be loaded.
const TCurlCalls& Curl() {
  if (const TCurlCalls* calls = LoadedCurl.load(std::memory_order_acquire)) return *calls;
  std::lock_guard<std::mutex> lock(CurlLoadLock);
  if (LoadedCurl.load()) return CurlCalls;
  void* library = ::dlopen(CurlLibrary, RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char* reason = ::dlerror();
    throw Exception(std::string("Cannot load the HTTP client library: ") +
                    (reason ? reason : CurlLibrary));
  }
  TCurlCalls calls;
  std::string missing;
#define ORVEL_CURL_LOOKUP(name)                                                         \
  calls.name = reinterpret_cast<decltype(calls.name)>(::dlsym(library, "curl_" #name)); \
  if (!calls.name && missing.empty()) missing = "curl_" #name;
  ORVEL_CURL_CALLS(ORVEL_CURL_LOOKUP)
#undef ORVEL_CURL_LOOKUP
  if (!missing.empty()) {
    ::dlclose(library);
    throw Exception(std::string("Cannot load the HTTP client library: ") + CurlLibrary +
                    " has no " + missing + " (too old)");
  }
  // Thread-safe in the versions that have every call above; nothing else runs it.
  const CURLcode started = calls.global_init(CURL_GLOBAL_DEFAULT);
  if (started != CURLE_OK) {
    ::dlclose(library);
    throw Exception(WithNumber("Cannot start the HTTP client library: error ", started));
  }
  // Never unloaded: a worker that would not stop may still be inside it at the end.
  CurlCalls = calls;
  LoadedCurl.store(&CurlCalls, std::memory_order_release);
  return CurlCalls;
}

}  // namespace

// ---------------------------------------------------------------------------------
// Streams.

std::string BodyTooLargeMessage(uint64_t sizeLimit) {
  return "The body is longer than a string can hold (more than " + std::to_string(sizeLimit) +
         " bytes)";
}

void TMemoryStream::Write(const char* data, size_t size) {
  if (size > FSizeLimit - FText->Size()) throw Exception(BodyTooLargeMessage(FSizeLimit));
  const char* block = FText->Data();
  FText->Append(data, size);
  if (FText->Data() != block) FAheadEnd = 0;
  FWritten = FText->Size();
}

bool TMemoryStream::PrepareAhead() {
  constexpr uintptr_t Page = 4096, Step = 8u << 20, Lead = 1u << 20;
  const uintptr_t begin = FAheadBegin, end = FAheadEnd;
  if (begin == 0 || end <= begin) return false;
  // Behind the writer (and just ahead of it) the pages are its own to fault in.
  uintptr_t from = std::max({begin, FAheadCursor, begin + FWritten + Lead}) & ~(Page - 1);
  if (from >= end) return false;
  const uintptr_t to = std::min(end, from + Step);
  FAheadCursor = to;
  // A block that moved meanwhile is only unmapped or other memory made present: harmless.
  // NOLINTNEXTLINE(performance-no-int-to-ptr): the range is computed in page units
  if (::madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE) != 0 &&
      errno == EINVAL) {
    FAheadEnd = 0;  // a kernel without it
    return false;
  }
  return true;
}

void TMemoryStream::ExpectSize(uint64_t size) {
  if (size > FSizeLimit) throw Exception(BodyTooLargeMessage(FSizeLimit));
  // An absurd announcement is only a hint and is not trusted.
  if (size > FText->Size() && size <= (uint64_t{1} << 31)) {
    try {
      FText->Reserve(static_cast<size_t>(size));
      FAheadBegin = reinterpret_cast<uintptr_t>(FText->Data());
      FAheadEnd = FAheadBegin + static_cast<uintptr_t>(size);
    } catch (const std::bad_alloc&) {
      // Only a head start: the body still grows as it arrives, within its limit.
    }
  }
}

TFileStream::TFileStream(const std::string& fileName) {
  // Without waiting: opening a pipe that has no reader would block for ever.
  FHandle = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
  if (FHandle < 0)
    throw Exception("Cannot create file \"" + fileName + "\". " + std::strerror(errno));
}

bool TFileStream::IsRegularFile() const {
  struct stat st;
  return FHandle >= 0 && ::fstat(FHandle, &st) == 0 && S_ISREG(st.st_mode);
}

bool TFileStream::Commit() {
  bool ok = FHandle >= 0 && ::fdatasync(FHandle) == 0;
  ok = FHandle >= 0 && ::close(FHandle) == 0 && ok;
  FHandle = -1;
  return ok;
}

TFileStream::~TFileStream() {
  Close();
}

void TFileStream::Close() {
  if (FHandle >= 0) ::close(FHandle);
  FHandle = -1;
}

void TFileStream::Write(const char* data, size_t size) {
  while (size > 0) {
    if (FHandle < 0 || FCancelled) throw Exception("Stream write error");
    ssize_t n = ::write(FHandle, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      // A pipe whose reader is slow: wait for room in short steps, so Cancel is seen.
      pollfd p{FHandle, POLLOUT, 0};
      ::poll(&p, 1, 50);
      continue;
    }
    if (n <= 0) throw Exception("Stream write error");
    data += n;
    size -= static_cast<size_t>(n);
  }
}

// ---------------------------------------------------------------------------------
// URLs.

void SplitUrl(const std::string& url, std::string& host, std::string& path) {
  host.clear();
  path = "/";
  if (url.size() < 8 || url.compare(0, 7, "http://") != 0)
    throw Exception("url without host: " + url);
  size_t p = url.find('/', 7);
  if (p == std::string::npos) {
    host = url.substr(7, 100000);
  } else {
    host = url.substr(7, p - 7);
    path = url.substr(p, 10000);
  }
}

std::string ConnectionUrl(const std::string& host, const std::string& path) {
  // A trailing ":digits" is the port; anything else is the host name as written, on 80.
  std::string name = host;
  long port = 80;
  size_t colon = host.rfind(':');
  bool bracketed = !host.empty() && host[0] == '[';
  size_t close = host.rfind(']');
  if (colon != std::string::npos && colon + 1 < host.size() && colon + 6 >= host.size() &&
      (!bracketed || (close != std::string::npos && close + 1 == colon))) {
    bool digits = true;
    for (size_t i = colon + 1; i < host.size(); ++i)
      if (host[i] < '0' || host[i] > '9') digits = false;
    long value = digits ? std::stol(host.substr(colon + 1)) : 0;
    if (digits && value > 0 && value <= 65535) {
      name = host.substr(0, colon);
      port = value;
    }
  }
  return "http://" + name + ":" + std::to_string(port) + path;
}

bool ValidRequestUrl(const std::string& url) {
  CURLU* u = Curl().url();
  if (!u) return false;
  bool ok = Curl().url_set(u, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK;
  Curl().url_cleanup(u);
  return ok;
}

// ---------------------------------------------------------------------------------
// Response heads.

void TResponseHead::AddLine(const char* data, size_t size) {
  std::string line(data, size);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (line.empty()) {
    Complete = true;
    return;
  }
  // A new status line starts a new response (an interim 1xx answer came first).
  if (line.compare(0, 5, "HTTP/") == 0) {
    Lines.clear();
    Complete = false;
  }
  Lines.push_back(std::move(line));
}

std::string TResponseHead::StatusToken(int index) const {
  if (Lines.empty()) return {};
  const std::string& s = Lines[0];
  size_t begin = 0;
  for (int i = 0; i < index; ++i) {
    begin = s.find(' ', begin);
    if (begin == std::string::npos) return {};
    begin = s.find_first_not_of(' ', begin);
    if (begin == std::string::npos) return {};
  }
  if (index == 2) return s.substr(begin);  // the reason phrase may hold blanks
  size_t end = s.find(' ', begin);
  return s.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

bool TResponseHead::IsInterim() const {
  std::string code = StatusToken(1);
  return code.size() == 3 && code[0] == '1';
}

namespace {

std::string Trimmed(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
  return s.substr(b, e - b);
}

bool SameName(const std::string& a, const char* b) {
  size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// Header names behind the information levels that name one header, by level number.
// Levels that name request headers find nothing in a response and give the empty text.
const char* const HeaderOfLevel[] = {
    "MIME-Version",  // 0
    "Content-Type",  // 1
    "Content-Transfer-Encoding",
    "Content-ID",
    "Content-Description",
    "Content-Length",  // 5
    "Content-Language",
    "Allow",
    "Public",
    "Date",           // 9
    "Expires",        // 10
    "Last-Modified",  // 11
    "Message-ID",
    "URI",
    "Derived-From",
    "Cost",  // 15
    "Link",
    "Pragma",      // 17
    nullptr,       // 18 version
    nullptr,       // 19 status code
    nullptr,       // 20 status text
    nullptr,       // 21 raw headers
    nullptr,       // 22 raw headers, CR LF
    "Connection",  // 23
    "Accept",
    "Accept-Charset",  // 25
    "Accept-Encoding",
    "Accept-Language",
    "Authorization",
    "Content-Encoding",
    "Forwarded",  // 30
    "From",
    "If-Modified-Since",
    "Location",  // 33
    "Orig-URI",
    "Referer",  // 35
    "Retry-After",
    "Server",  // 37
    "Title",
    "User-Agent",
    "WWW-Authenticate",  // 40
    "Proxy-Authenticate",
    "Accept-Ranges",
    "Set-Cookie",  // 43
    "Cookie",
    nullptr,  // 45 request method
    "Refresh",
    "Content-Disposition",
    "Age",
    "Cache-Control",
    "Content-Base",  // 50
    "Content-Location",
    "Content-MD5",
    "Content-Range",
    "ETag",  // 54
    "Host",
    "If-Match",
    "If-None-Match",
    "If-Range",
    "If-Unmodified-Since",
    "Max-Forwards",  // 60
    "Proxy-Authorization",
    "Range",
    "Transfer-Encoding",  // 63
    "Upgrade",
    "Vary",  // 65
    "Via",
    "Warning",
    "Expect",
    "Proxy-Connection",
    "Unless-Modified-Since",  // 70
};
static_assert(sizeof HeaderOfLevel / sizeof HeaderOfLevel[0] == 71);

}  // namespace

std::string TResponseHead::Info(uint32_t level) const {
  switch (level) {
    case 18:
      return StatusToken(0);
    case HTTP_QUERY_STATUS_CODE:
      return StatusToken(1);
    case 20:
      return StatusToken(2);
    case 21: {
      std::string s;
      for (const std::string& line : Lines) {
        s += line;
        s += '\0';
      }
      return s;
    }
    case HTTP_QUERY_RAW_HEADERS_CRLF: {
      if (Lines.empty()) return {};
      std::string s;
      for (const std::string& line : Lines) s += line + "\r\n";
      return s + "\r\n";
    }
    default:
      break;
  }
  if (level >= sizeof HeaderOfLevel / sizeof HeaderOfLevel[0] || !HeaderOfLevel[level]) return {};
  for (size_t i = 1; i < Lines.size(); ++i) {
    size_t colon = Lines[i].find(':');
    if (colon == std::string::npos) continue;
    if (SameName(Trimmed(Lines[i].substr(0, colon)), HeaderOfLevel[level]))
      return Trimmed(Lines[i].substr(colon + 1));
  }
  return {};
}

// ---------------------------------------------------------------------------------
// The GET worker and the process-wide session.

namespace {

// The status code as written in the status line of the answer to a GET of `url`, asked
// anew over a bare connection; empty if the answer has no status line.
std::string StatusCodeText(const std::string& url, const std::atomic<bool>& stop) {
  std::unique_ptr<CURL, void (*)(CURL*)> h(Curl().easy_init(), Curl().easy_cleanup);
  std::string host, path;
  size_t slash = url.find('/', 7);
  host = url.substr(7, slash - 7);
  path = url.substr(slash);
  if (!h) return {};
  Curl().easy_setopt(h.get(), CURLOPT_URL, url.c_str());
  Curl().easy_setopt(h.get(), CURLOPT_CONNECT_ONLY, 1L);
  Curl().easy_setopt(h.get(), CURLOPT_NOSIGNAL, 1L);
  Curl().easy_setopt(h.get(), CURLOPT_CONNECTTIMEOUT_MS, 5000L);
  curl_socket_t socket = CURL_SOCKET_BAD;
  if (Curl().easy_perform(h.get()) != CURLE_OK ||
      Curl().easy_getinfo(h.get(), CURLINFO_ACTIVESOCKET, &socket) != CURLE_OK)
    return {};
  const std::string request = "GET " + path + " HTTP/1.1\r\nHost: " + host +
                              "\r\nUser-Agent: " + InetAgent + "\r\nAccept: */*\r\n\r\n";
  size_t sent = 0;
  std::string line;
  char buf[256];
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!stop && std::chrono::steady_clock::now() < deadline &&
         line.find('\n') == std::string::npos && line.size() < 256) {
    size_t n = 0;
    CURLcode rc = sent < request.size()
                      ? Curl().easy_send(h.get(), request.data() + sent, request.size() - sent, &n)
                      : Curl().easy_recv(h.get(), buf, sizeof buf, &n);
    if (rc == CURLE_AGAIN) {
      pollfd p{socket, static_cast<short>(sent < request.size() ? POLLOUT : POLLIN), 0};
      ::poll(&p, 1, 100);
      continue;
    }
    if (rc != CURLE_OK || (n == 0 && sent == request.size())) break;
    if (sent < request.size())
      sent += n;
    else
      line.append(buf, n);
  }
  line = line.substr(0, line.find_first_of("\r\n"));
  if (line.compare(0, 5, "HTTP/") != 0) return {};
  TResponseHead head;
  head.Lines.push_back(line);
  return head.StatusToken(1);
}

// InetSession holds the connection cache, limited to one connection, so the kept
// connection is the one to the last host and a GET elsewhere drops it.
CURLM* InetSession = nullptr;
CURL* InetConnection = nullptr;  // options of the kept connection; InetRequest reuses it
std::string InetHost;
// Workers that would not stop; while any live, the library must stay initialised.
std::atomic<int> StuckWorkers{0};
// One GET at a time, whoever calls.
std::mutex FetchLock;

class TGetInetFile {
 public:
  TGetInetFile(std::string url, TStream* stream, int32_t limit)
      : FUrl(std::move(url)), FStream(stream), FLimit(limit) {}
  TGetInetFile(const TGetInetFile&) = delete;
  TGetInetFile& operator=(const TGetInetFile&) = delete;

  // Session and connection, on the calling thread so that the process-wide handles are
  // only ever touched there. False with FError set when the fetch cannot start.
  bool Prepare();
  // The worker thread.
  void Execute();

  // Caller side.
  bool WaitEnded(std::chrono::milliseconds limit);
  // Stops every later write to the stream and wakes the worker.
  void Abandon();
  void LeaveHandlesToWorker();

  std::mutex FLock;  // guards everything below shared with the caller, and the stream
  std::string FUrl;
  TStream* FStream;
  int32_t FLimit;
  std::string FError;
  int32_t FStatus = -1;

 private:
  void Fetch();
  void Transfer();
  static size_t OnHeader(char* data, size_t size, size_t count, void* self);
  static size_t OnBody(char* data, size_t size, size_t count, void* self);

  // The caller waits on a lock of its own: FLock may be held by a Write that waits.
  std::mutex FEndLock;
  std::condition_variable FEndedSignal;
  bool FEnded = false;  // written under both locks
  bool FAbandoned = false;
  bool FOwnsHandles = false;  // the caller gave up: the worker frees the handles
  std::atomic<bool> FStop{false};

  CURLM* FSession = nullptr;
  CURL* FRequest = nullptr;
  std::string FRequestUrl;
  // Worker-only.
  TResponseHead FHead;
  bool FHeadDone = false;
  std::string FHeadError;  // a status other than success, or a status that is no number
  std::string FWriteError;
  bool FEndedEarly = false;  // the transfer was ended here, on purpose
  uint64_t FTotal = 0;
};

bool TGetInetFile::Prepare() {
  try {
    FStatus = -1;
    std::string host, path;
    SplitUrl(FUrl, host, path);
    // A GET to another host replaces the kept connection. The session's cache would pick
    // the connection to drop by age, which can be the new one; a new session closes the
    // old connection now, whatever the timing.
    if (InetSession && InetConnection && InetHost != host) {
      Curl().easy_cleanup(InetConnection);
      InetConnection = nullptr;
      Curl().multi_cleanup(InetSession);
      InetSession = nullptr;
    }
    if (!InetSession) {
      InetSession = Curl().multi_init();
      if (!InetSession) throw Exception(WithNumber("Error: InternetOpen ", CURLE_FAILED_INIT));
      Curl().multi_setopt(InetSession, CURLMOPT_MAXCONNECTS, 1L);
    }
    if (!InetConnection || InetHost != host) {
      if (InetConnection) Curl().easy_cleanup(InetConnection);
      InetConnection = host.empty() ? nullptr : Curl().easy_init();
      if (!InetConnection)
        throw Exception(WithNumber("Error: InternetConnection ",
                                   host.empty() ? CURLE_URL_MALFORMAT : CURLE_FAILED_INIT));
    }
    InetHost = host;
    FSession = InetSession;
    FRequest = InetConnection;
    FRequestUrl = ConnectionUrl(host, path);
    return true;
  } catch (const std::exception& e) {
    FError = *e.what() ? e.what() : "Неизвестная ошибка";
    return false;
  }
}

void TGetInetFile::Execute() {
  // A write to a pipe without a reader, or past the file-size limit, must fail as a write
  // error instead of ending the process; these signals are sent to the writing thread.
  sigset_t quiet;
  sigemptyset(&quiet);
  sigaddset(&quiet, SIGPIPE);
  sigaddset(&quiet, SIGXFSZ);
  pthread_sigmask(SIG_BLOCK, &quiet, nullptr);
  std::string error;
  try {
    Fetch();
  } catch (const std::exception& e) {
    error = *e.what() ? e.what() : "Неизвестная ошибка";
  } catch (...) {
    error = "Неизвестная ошибка";
  }
  std::lock_guard<std::mutex> lock(FLock);
  FError = error;
  {
    std::lock_guard<std::mutex> ended(FEndLock);
    FEnded = true;
  }
  if (FOwnsHandles) {
    Curl().easy_cleanup(FRequest);
    Curl().multi_cleanup(FSession);
    --StuckWorkers;
  }
  FEndedSignal.notify_all();
}

void TGetInetFile::Fetch() {
  if (!ValidRequestUrl(FRequestUrl))
    throw Exception(WithNumber("Error: HttpOpenRequest ", CURLE_URL_MALFORMAT));
  Curl().easy_reset(FRequest);
  Curl().easy_setopt(FRequest, CURLOPT_URL, FRequestUrl.c_str());
  Curl().easy_setopt(FRequest, CURLOPT_USERAGENT, InetAgent);
  Curl().easy_setopt(FRequest, CURLOPT_NOSIGNAL, 1L);
  Curl().easy_setopt(FRequest, CURLOPT_HTTPGET, 1L);
  Curl().easy_setopt(FRequest, CURLOPT_BUFFERSIZE, TransferBuffer);
  Curl().easy_setopt(FRequest, CURLOPT_HEADERFUNCTION, &TGetInetFile::OnHeader);
  Curl().easy_setopt(FRequest, CURLOPT_HEADERDATA, this);
  Curl().easy_setopt(FRequest, CURLOPT_WRITEFUNCTION, &TGetInetFile::OnBody);
  Curl().easy_setopt(FRequest, CURLOPT_WRITEDATA, this);
  Transfer();
}

void TGetInetFile::Transfer() {
  if (Curl().multi_add_handle(FSession, FRequest) != CURLM_OK)
    throw Exception(WithNumber("Error: HttpOpenRequest ", CURLE_FAILED_INIT));
  CURLcode result = CURLE_OK;
  bool finished = false;
  while (!FStop && !StopRequested) {
    int running = 0;
    if (Curl().multi_perform(FSession, &running) != CURLM_OK) {
      result = CURLE_FAILED_INIT;
      break;
    }
    int queued = 0;
    while (CURLMsg* msg = Curl().multi_info_read(FSession, &queued)) {
      if (msg->msg == CURLMSG_DONE && msg->easy_handle == FRequest) {
        result = msg->data.result;
        finished = true;
      }
    }
    if (finished || running == 0) break;
    // The caller's curl_multi_wakeup ends the wait at once when it gives up.
    if (Curl().multi_poll(FSession, nullptr, 0, 100, nullptr) != CURLM_OK) {
      result = CURLE_FAILED_INIT;
      break;
    }
  }
  // The request is closed by every path; an unfinished one takes its connection along.
  Curl().multi_remove_handle(FSession, FRequest);
  if (FStop) return;
  if (StopRequested) throw Exception(InetStoppedMessage);
  if (!FHeadError.empty()) throw Exception(FHeadError);
  if (!FHeadDone) {
    if (result == CURLE_UNSUPPORTED_PROTOCOL) {
      // curl refuses a status line that it cannot read without showing it.
      std::string code = StatusCodeText(FRequestUrl, FStop);
      if (!code.empty()) throw Exception("'" + code + "' is not a valid integer value");
    }
    if (result == CURLE_OK) result = CURLE_WEIRD_SERVER_REPLY;
    throw Exception(WithNumber("Error: HttpSendRequest ", result));
  }
  if (!FWriteError.empty()) throw Exception(FWriteError);
  // A body that ends before its announced length or its last chunk is not a whole body.
  if (result != CURLE_OK && !FEndedEarly)
    throw Exception(WithNumber("Error: InternetReadFile ", result));
}

size_t TGetInetFile::OnHeader(char* data, size_t size, size_t count, void* self) {
  auto* w = static_cast<TGetInetFile*>(self);
  size_t n = size * count;
  w->FHead.AddLine(data, n);
  if (!w->FHead.Complete || w->FHead.IsInterim()) return n;
  std::string code = w->FHead.StatusToken(1);
  bool number = !code.empty() && code.size() < 10;
  for (char c : code)
    if (c < '0' || c > '9') number = false;
  if (!number) {
    w->FHeadError = "'" + code + "' is not a valid integer value";
    return 0;
  }
  int32_t status = std::stoi(code);
  {
    std::lock_guard<std::mutex> lock(w->FLock);
    w->FStatus = status;
  }
  w->FHeadDone = true;
  if (status != 200 && status != 302) {
    w->FHeadError = "Error: HttpQueryInfo " + code;
    return 0;  // no body is read
  }
  if (w->FLimit == 0) {  // a successful fetch without its body
    w->FEndedEarly = true;
    return 0;
  }
  curl_off_t length = -1;
  if (Curl().easy_getinfo(w->FRequest, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK &&
      length > 0) {
    std::lock_guard<std::mutex> lock(w->FLock);
    try {
      if (!w->FAbandoned) w->FStream->ExpectSize(static_cast<uint64_t>(length));
    } catch (const std::exception& e) {
      w->FWriteError = e.what();
      return 0;
    }
  }
  return n;
}

size_t TGetInetFile::OnBody(char* data, size_t size, size_t count, void* self) {
  auto* w = static_cast<TGetInetFile*>(self);
  size_t n = size * count;
  size_t take = n;
  uint64_t stopAt = 0;
  if (w->FLimit > 0) {
    // The body is read in chunks; the chunk that reaches the limit is written whole.
    stopAt = (static_cast<uint64_t>(w->FLimit) + ReadChunk - 1) / ReadChunk * ReadChunk;
    take = static_cast<size_t>(std::min<uint64_t>(n, stopAt - w->FTotal));
  }
  std::lock_guard<std::mutex> lock(w->FLock);
  if (w->FAbandoned) return 0;
  try {
    w->FStream->Write(data, take);
  } catch (const std::exception& e) {
    w->FWriteError = e.what();
    return 0;
  }
  w->FTotal += take;
  if (w->FLimit > 0 && w->FTotal >= stopAt) {  // enough: ends the transfer
    w->FEndedEarly = true;
    return 0;
  }
  return n;
}

bool TGetInetFile::WaitEnded(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(FEndLock);
  return FEndedSignal.wait_for(lock, limit, [this] { return FEnded; });
}

void TGetInetFile::Abandon() {
  // A Write waiting for room in a pipe holds the lock until it sees this.
  FStream->Cancel();
  std::lock_guard<std::mutex> lock(FLock);
  FAbandoned = true;
  FStop = true;
  if (!FEnded) Curl().multi_wakeup(FSession);
}

void TGetInetFile::LeaveHandlesToWorker() {
  std::lock_guard<std::mutex> lock(FLock);
  if (FEnded) return;
  // The next GET starts a session of its own; this one goes with the worker.
  FOwnsHandles = true;
  ++StuckWorkers;
  InetSession = nullptr;
  InetConnection = nullptr;
  InetHost.clear();
}

}  // namespace

int32_t FetchToStream(const std::string& url, TStream& stream, int32_t limit,
                      std::chrono::milliseconds timeLimit, std::string& error) {
  TWaitScope waiting;
  std::lock_guard<std::mutex> serial(FetchLock);
  if (StopRequested) {
    error = InetStoppedMessage;
    return -1;
  }
  auto worker = std::make_shared<TGetInetFile>(url, &stream, limit);
  if (!worker->Prepare()) {
    error = worker->FError;
    return worker->FStatus;
  }
  std::thread thread([worker] { worker->Execute(); });
  const auto deadline = std::chrono::steady_clock::now() + timeLimit;
  bool ended = false;
  for (;;) {
    auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left <= std::chrono::milliseconds::zero() || StopRequested) break;
    if (stream.PrepareAhead()) {
      if ((ended = worker->WaitEnded(std::chrono::milliseconds::zero()))) break;
      continue;
    }
    if ((ended = worker->WaitEnded(std::min(left, WaitSlice)))) break;
    WaitSlicePassed();
  }
  if (ended) {
    thread.join();
    std::lock_guard<std::mutex> lock(worker->FLock);
    error = worker->FError;
    return worker->FStatus;
  }
  worker->Abandon();
  int32_t status;
  {
    std::lock_guard<std::mutex> lock(worker->FLock);
    status = worker->FStatus;
  }
  error = StopRequested ? InetStoppedMessage : "Истекло время ожидания";
  if (worker->WaitEnded(WorkerStopGrace)) {
    thread.join();
    return status;
  }
  worker->LeaveHandlesToWorker();
  thread.detach();
  throw Exception("не завершается процесс");
}

namespace {

// A new file ".<name>.<random>.part" in the folder of `fileName`, open for writing; its
// name goes to `tempName`. Throws the file-creation error.
int CreateTempBeside(const std::string& fileName, std::string& tempName) {
  size_t slash = fileName.rfind('/');
  std::string folder = slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1);
  // Short enough that the temporary name stays within the file-name limit.
  std::string base = fileName.substr(folder.size(), 200);
  thread_local std::mt19937_64 random{std::random_device{}()};
  for (int attempt = 0;; ++attempt) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%012llx.part",
                  static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
    tempName = folder;
    tempName += '.';
    tempName += base;
    tempName += suffix;
    int fd = ::open(tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST || attempt == 100)
      throw Exception("Cannot create file \"" + tempName + "\". " + std::strerror(errno));
  }
}

}  // namespace

int32_t FetchToFile(const std::string& url, const std::string& fileName, int32_t limit,
                    std::chrono::milliseconds timeLimit, std::string& error) {
  Curl();  // a library that cannot be loaded fails before the file is touched
  struct stat st;
  // Only a file (or a link to one) is replaced; a device or pipe of that name is not
  // removed from the system.
  if (::lstat(fileName.c_str(), &st) == 0 && (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
    ::unlink(fileName.c_str());
  ForceFileFolder(fileName);
  TFileStream file(fileName);
  if (!file.IsRegularFile()) {
    int32_t status = FetchToStream(url, file, limit, timeLimit, error);
    file.Close();
    return status;
  }
  file.Close();
  // The named file stays empty until a whole body replaces it.
  std::string tempName;
  TFileStream temp(CreateTempBeside(fileName, tempName));
  int32_t status;
  try {
    status = FetchToStream(url, temp, limit, timeLimit, error);
  } catch (...) {
    ::unlink(tempName.c_str());
    throw;
  }
  if (error.empty() && !temp.Commit()) error = "Stream write error";
  if (error.empty() && ::rename(tempName.c_str(), fileName.c_str()) != 0)
    error = "Cannot create file \"" + fileName + "\". " + std::strerror(errno);
  if (!error.empty()) {
    temp.Close();
    ::unlink(tempName.c_str());
  }
  return status;
}

std::unique_ptr<TOwnedText> FetchToOwnedText(const std::string& url, int32_t limit,
                                             std::chrono::milliseconds timeLimit,
                                             uint64_t sizeLimit) {
  TMemoryStream stream(sizeLimit);
  std::string error;
  FetchToStream(url, stream, limit, timeLimit, error);
  if (!error.empty()) throw Exception(error);
  return stream.TakeText();
}

std::string FetchToText(const std::string& url, int32_t limit, std::chrono::milliseconds timeLimit,
                        uint64_t sizeLimit) {
  auto text = FetchToOwnedText(url, limit, timeLimit, sizeLimit);
  return std::string(text->Data(), text->Size());
}

// ---------------------------------------------------------------------------------
// HEAD.

std::chrono::milliseconds HeadTimeLimit{60000};

namespace {

size_t OnHeadHeader(char* data, size_t size, size_t count, void* head) {
  static_cast<TResponseHead*>(head)->AddLine(data, size * count);
  return size * count;
}

// Session, connection and request of one HEAD, closed whatever happens.
struct THeadSession {
  CURL* Handle = Curl().easy_init();
  CURLM* Driver = Curl().multi_init();  // runs the request in slices of the wait
  bool Added = false;
  THeadSession() = default;
  THeadSession(const THeadSession&) = delete;
  THeadSession& operator=(const THeadSession&) = delete;
  ~THeadSession() {
    if (Added) Curl().multi_remove_handle(Driver, Handle);
    if (Handle) Curl().easy_cleanup(Handle);
    if (Driver) Curl().multi_cleanup(Driver);
  }
};

// Runs the HEAD to its end, a stop request or the client's time limit.
CURLcode PerformHead(THeadSession& session) {
  if (Curl().multi_add_handle(session.Driver, session.Handle) != CURLM_OK) return CURLE_FAILED_INIT;
  session.Added = true;
  for (;;) {
    int running = 0;
    if (Curl().multi_perform(session.Driver, &running) != CURLM_OK) return CURLE_FAILED_INIT;
    int queued = 0;
    while (CURLMsg* msg = Curl().multi_info_read(session.Driver, &queued))
      if (msg->msg == CURLMSG_DONE) return msg->data.result;
    if (running == 0) return CURLE_FAILED_INIT;
    if (StopRequested) throw Exception(InetStoppedMessage);
    int ms = static_cast<int>(WaitSlice.count());
    if (Curl().multi_poll(session.Driver, nullptr, 0, ms, nullptr) != CURLM_OK)
      return CURLE_FAILED_INIT;
    WaitSlicePassed();
    if (StopRequested) throw Exception(InetStoppedMessage);
  }
}

}  // namespace

std::string QueryHttpInfo(const std::string& url, uint32_t level) {
  TWaitScope waiting;
  if (StopRequested) throw Exception(InetStoppedMessage);
  THeadSession session;
  if (!session.Handle || !session.Driver)
    throw Exception(WithNumber("Error: InternetOpen ", CURLE_FAILED_INIT));
  std::string host, path;
  SplitUrl(url, host, path);
  if (host.empty()) throw Exception(WithNumber("Error: InternetConnection ", CURLE_URL_MALFORMAT));
  std::string requestUrl = ConnectionUrl(host, path);
  if (!ValidRequestUrl(requestUrl))
    throw Exception(WithNumber("Error: HttpOpenRequest ", CURLE_URL_MALFORMAT));
  TResponseHead head;
  CURL* h = session.Handle;
  Curl().easy_setopt(h, CURLOPT_URL, requestUrl.c_str());
  Curl().easy_setopt(h, CURLOPT_USERAGENT, InetAgent);
  Curl().easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  Curl().easy_setopt(h, CURLOPT_NOBODY, 1L);
  Curl().easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(HeadTimeLimit.count()));
  Curl().easy_setopt(h, CURLOPT_HEADERFUNCTION, &OnHeadHeader);
  Curl().easy_setopt(h, CURLOPT_HEADERDATA, &head);
  CURLcode rc = PerformHead(session);
  if (rc != CURLE_OK) throw Exception(WithNumber("Error: HttpSendRequest ", rc));
  return head.Info(level);
}

// ---------------------------------------------------------------------------------

void RequestInetStop() noexcept {
  StopRequested = true;
}

void ClearInetStop() noexcept {
  StopRequested = false;
}

bool InetStopRequested() noexcept {
  return StopRequested;
}

void SetInetWaitHook(void (*hook)()) noexcept {
  WaitHook = hook;
}

// ---------------------------------------------------------------------------------

void EndInetTools() {
  const TCurlCalls* calls = LoadedCurl.load();
  if (!calls) return;  // no HTTP call was made
  std::lock_guard<std::mutex> serial(FetchLock);
  if (InetConnection) calls->easy_cleanup(InetConnection);
  if (InetSession) calls->multi_cleanup(InetSession);
  InetConnection = nullptr;
  InetSession = nullptr;
  InetHost.clear();
  if (StuckWorkers == 0) calls->global_cleanup();
}
