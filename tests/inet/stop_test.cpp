// A stop request ends every wait of the HTTP layer early, on a server that never answers.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "Project1_TLB.h"
#include "http_test_server.h"
#include "u_inettools.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

TTestReply Silent(const TTestRequest&) {
  return {"", TTestReply::TThen::Stall};
}

// Asks for the stop a few steps into the wait, as the Stop button would when the window
// handles its events from inside the wait.
std::atomic<int> HookCalls{0};
void StopAfterSomeSteps() {
  if (++HookCalls == 4) RequestInetStop();
}

std::string NestedError;
std::string NestedUrl;
void FetchFromInsideTheWait() {
  NestedError = ErrorOf([] { FetchToText(NestedUrl, NoByteLimit, 5s); });
  RequestInetStop();
}

// Leaves no hook and no stop request to the next test.
struct TStopReset {
  ~TStopReset() {
    SetInetWaitHook(nullptr);
    ClearInetStop();
  }
};

}  // namespace

// Each of the five members ends within a fraction of a second of the stop, with the
// stop message; while the request stands nothing is sent, and once it is cleared (the
// next run) fetches work again.
TEST(InetStop, EveryMemberEndsEarly) {
  TTestServer silent(Silent);
  TTestServer normal([](const TTestRequest& r) { return Page(r, 200, "OK", "fine"); });
  IDispatchPtr inet = CoInet::Create();
  std::string url = silent.Url("/");
  std::string file = std::string(ORVEL_BINARY_DIR) + "/tests/inet/tmp_stop_" +
                     std::to_string(::getpid()) + "/page.html";
  struct Case {
    const char* member;
    std::vector<Variant> args;
  };
  for (const Case& c :
       {Case{"toString", {url}}, Case{"toFile", {url, file}}, Case{"headers", {url}},
        Case{"header", {url, "date"}}, Case{"queryInfo", {url, Variant::FromUI4(19)}}}) {
    TStopReset reset;
    HookCalls = 0;
    SetInetWaitHook(&StopAfterSomeSteps);
    auto start = Clock::now();
    EXPECT_EQ(ErrorOf([&] { inet->Call(c.member, c.args); }), "The fetch was stopped") << c.member;
    EXPECT_LT(Clock::now() - start, 1s) << c.member;
    EXPECT_GE(HookCalls, 4) << c.member;
  }

  TStopReset reset;
  RequestInetStop();
  for (const char* member : {"toString", "toFile", "headers"}) {
    std::vector<Variant> args{normal.Url("/")};
    if (std::string(member) == "toFile") args.push_back(file);
    EXPECT_EQ(ErrorOf([&] { inet->Call(member, args); }), "The fetch was stopped") << member;
  }
  EXPECT_TRUE(normal.Requests().empty());
  ClearInetStop();
  EXPECT_EQ(inet->Call("toString", {normal.Url("/")}).ToString(), "fine");
  EXPECT_EQ(inet->Call("toFile", {normal.Url("/"), file}).ToInt32(), 200);
}

// A request from another thread (a watchdog, or a signal handler) ends the waits without
// any hook.
TEST(InetStop, FromAnotherThread) {
  TTestServer silent(Silent);
  for (bool head : {false, true}) {
    TStopReset reset;
    std::thread stopper([] {
      std::this_thread::sleep_for(200ms);
      RequestInetStop();
    });
    auto start = Clock::now();
    std::string error = ErrorOf([&] {
      if (head)
        QueryHttpInfo(silent.Url("/"), HTTP_QUERY_RAW_HEADERS_CRLF);
      else
        FetchToText(silent.Url("/"), NoByteLimit, 30s);
    });
    auto took = Clock::now() - start;
    stopper.join();
    EXPECT_EQ(error, InetStoppedMessage) << head;
    EXPECT_LT(took, 1s) << head;
  }
}

// A fetch that the wait hook starts fails at once instead of deadlocking the wait.
TEST(InetStop, NoFetchFromInsideAWait) {
  TTestServer silent(Silent);
  TTestServer normal([](const TTestRequest& r) { return Page(r, 200, "OK", "fine"); });
  TStopReset reset;
  NestedUrl = normal.Url("/");
  SetInetWaitHook(&FetchFromInsideTheWait);
  EXPECT_EQ(ErrorOf([&] { FetchToText(silent.Url("/"), NoByteLimit, 30s); }), InetStoppedMessage);
  EXPECT_EQ(NestedError, "A fetch is already in progress");
  EXPECT_TRUE(normal.Requests().empty());
}
