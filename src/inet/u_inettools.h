#pragma once
// The HTTP layer under `inet`: URL splitting, GET in a worker thread with a time limit
// into a stream, and one HEAD query on the calling thread. All strings are UTF-8.
//
// Stopping the waits. Every wait of this layer (the GET's wait behind toString and
// toFile, the HEAD behind headers, header and queryInfo) looks in steps of 50 ms at a
// process-wide stop request:
//   RequestInetStop()  every wait in progress ends within about 50 ms, and every later
//                      one at once, failing with InetStoppedMessage; the GET's worker
//                      is told through its abort flag and lets go of the stream.
//   ClearInetStop()    fetches work again (call it when the next run starts).
//   InetStopRequested()
// The three only read or write one lock-free flag: safe from any thread and from a
// signal handler. SetInetWaitHook(hook) has the waiting thread call hook at every step
// of a wait, for example to let the window handle its events (where Stop is pressed);
// a fetch that the hook starts fails ("A fetch is already in progress").
//
// The HTTP client library is loaded by the first call that needs it. When it cannot be,
// that call fails with "Cannot load the HTTP client library: <file and reason>": the
// GET's error text, raised by FetchToFile (before the file is touched) and by the HEAD.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "Project1_TLB.h"

constexpr const char* InetAgent = "Vexolin 1.9";

// Where a GET body goes. Write throws Exception("Stream write error") on failure.
class TStream {
 public:
  virtual ~TStream() = default;
  virtual void Write(const char* data, size_t size) = 0;
  // The body's announced length, before the first Write; a stream may prepare for it,
  // or refuse it by throwing as Write would.
  virtual void ExpectSize(uint64_t) {}
  // From another thread: a Write that waits for room must give up ("Stream write error").
  virtual void Cancel() {}
  // On the waiting thread while Writes go on: one step of work that makes later Writes
  // cheaper; false when there is none (left).
  virtual bool PrepareAhead() { return false; }
};

// The body in memory, as text that a script string can take over without a copy.
class TMemoryStream final : public TStream {
 public:
  // A body that grows beyond sizeLimit bytes fails with BodyTooLargeMessage.
  explicit TMemoryStream(uint64_t sizeLimit = UINT64_MAX)
      : FText(std::make_unique<TOwnedText>()), FSizeLimit(sizeLimit) {}
  void Write(const char* data, size_t size) override;
  void ExpectSize(uint64_t size) override;
  // Faults in the announced block ahead of the writer, so that the kernel's zeroing of
  // fresh pages runs beside the transfer instead of inside it.
  bool PrepareAhead() override;
  std::string_view Data() const { return {FText->Data(), FText->Size()}; }
  std::unique_ptr<TOwnedText> TakeText() {
    return std::exchange(FText, std::make_unique<TOwnedText>());
  }

 private:
  std::unique_ptr<TOwnedText> FText;
  uint64_t FSizeLimit;
  // The announced block, empty once it moved; and how much the writer has filled.
  std::atomic<uintptr_t> FAheadBegin{0};
  std::atomic<uintptr_t> FAheadEnd{0};
  std::atomic<size_t> FWritten{0};
  uintptr_t FAheadCursor = 0;  // waiting thread only
};

std::string BodyTooLargeMessage(uint64_t sizeLimit);

// A file opened for writing, created empty if it is a file; closed by Close or the
// destructor. A pipe or device is opened without waiting for a reader, and a Write that
// finds no room waits only until Cancel.
class TFileStream final : public TStream {
 public:
  // Throws "Cannot create file \"<name>\". <system reason>".
  explicit TFileStream(const std::string& fileName);
  // Takes over an open handle.
  explicit TFileStream(int handle) : FHandle(handle) {}
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;
  void Write(const char* data, size_t size) override;
  void Cancel() override { FCancelled = true; }
  bool IsRegularFile() const;
  // The bytes on the disk, then the handle closed; false if either failed.
  bool Commit();
  void Close();

 private:
  int FHandle = -1;
  std::atomic<bool> FCancelled{false};
};

// Host and path of an "http://" URL; throws "url without host: " + url. A port written
// in the host part stays there ("h:8080"); the connection takes it from there.
void SplitUrl(const std::string& url, std::string& host, std::string& path);

// Byte limit: -1 reads the whole body, 0 none, N stops after the 1024-byte chunk that
// brings the total to N or more.
constexpr int32_t NoByteLimit = -1;

// How long a timed-out worker may take to wind down after it was told to stop before
// the caller gives up on it ("не завершается процесс").
extern std::chrono::milliseconds WorkerStopGrace;

// GET into `stream` on a worker thread, waiting at most `timeLimit`. Returns the status
// code (-1 if none arrived); `error` is empty exactly when the fetch succeeded. Raises
// only "не завершается процесс". Once it returns, nothing of the fetch touches `stream`.
int32_t FetchToStream(const std::string& url, TStream& stream, int32_t limit,
                      std::chrono::milliseconds timeLimit, std::string& error);
// GET into a file created anew (its folders too); the fetch's error comes back in
// `error`. The body goes to a temporary file beside it that takes the name only when it
// holds the whole body, so the named file holds the whole body exactly when `error` is
// empty, and is empty otherwise. A pipe or device of that name is written directly.
// Raises the library's load failure, "Unable to create directory", the file-creation
// error, and what FetchToStream raises.
int32_t FetchToFile(const std::string& url, const std::string& fileName, int32_t limit,
                    std::chrono::milliseconds timeLimit, std::string& error);
// GET of the whole body as bytes; the fetch's error text is raised. A body of more than
// sizeLimit bytes fails as soon as that size is passed (or announced).
std::string FetchToText(const std::string& url, int32_t limit, std::chrono::milliseconds timeLimit,
                        uint64_t sizeLimit = UINT64_MAX);
// The same, as text for a script string to take over.
std::unique_ptr<TOwnedText> FetchToOwnedText(const std::string& url, int32_t limit,
                                             std::chrono::milliseconds timeLimit,
                                             uint64_t sizeLimit = UINT64_MAX);

// Information levels of QueryHttpInfo (the numbering scripts already use).
constexpr uint32_t HTTP_QUERY_STATUS_CODE = 19;
constexpr uint32_t HTTP_QUERY_RAW_HEADERS_CRLF = 22;

// HEAD request on the calling thread with a session of its own, then one item of the
// response by information level; empty when the response has no such item. The status
// is not examined. Raises "url without host: ", "Error: InternetOpen %d",
// "Error: InternetConnection %d", "Error: HttpOpenRequest %d", "Error: HttpSendRequest %d".
std::string QueryHttpInfo(const std::string& url, uint32_t level);

// The HTTP client's own limit on one HEAD request.
extern std::chrono::milliseconds HeadTimeLimit;

void RequestInetStop() noexcept;
void ClearInetStop() noexcept;
bool InetStopRequested() noexcept;
void SetInetWaitHook(void (*hook)()) noexcept;
extern const char* const InetStoppedMessage;

// Program end: the kept connection, then the session, then the library's global state.
void EndInetTools();
