// Calls per second from a script: members of the real sys object (md5, path, path
// through its global name), a plain script function, and a bare native function of
// the engine, all in one run and one control, so the ratios compare like with like.
// Each rate is the best of several rounds with the cost of the empty loop taken off.
//
// The bare native is Object.isFrozen(o): a native function that the engine's compiler
// calls rather than inlines, doing almost no work. Natives it inlines (Math.max,
// String.fromCharCode) cost next to nothing and would measure the loop, not a call.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "MSScriptControl_TLB.h"
#include "u_SupScript.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kCalls = 2000000;
constexpr int kRounds = 5;

struct TCase {
  const char* label;
  const char* body;  // the statement inside the loop, `i` being the loop counter
  double rate = 0;
};

// Seconds for one loop of kCalls iterations running `body`.
double TimeLoop(TScriptControl& control, const std::string& body) {
  const std::string text = "(function () { var r, o = {x: 1}; for (var i = 0; i < " +
                           std::to_string(kCalls) + "; ++i) { " + body + "; } return r; })();";
  const auto start = Clock::now();
  control.ExecuteStatement(text, "bench");
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double Best(TScriptControl& control, const std::string& body) {
  double best = 1e30;
  for (int round = 0; round < kRounds; ++round) best = std::min(best, TimeLoop(control, body));
  return best;
}

}  // namespace

int main() {
  InitScriptEngine();
  MainFilePath = "/home/user/scripts/main.js";
  std::vector<TCase> cases = {
      {"host sys.md5(\"abc\")", "r = sys.md5(\"abc\")"},
      {"host sys.path()", "r = sys.path()"},
      {"host path() (global member)", "r = path()"},
      {"script function f(i)", "r = f(i)"},
      {"bare native Object.isFrozen(o)", "r = Object.isFrozen(o)"},
  };
  {
    TScriptControl control;
    control.SetLanguage("JScript");
    control.AddObject("sys", IDispatchPtr(new TSupScript), true);
    control.ExecuteStatement("function f(x) { return x + 1; }", "bench");
    const double emptyLoop = Best(control, "r = i");
    for (TCase& c : cases) c.rate = kCalls / std::max(Best(control, c.body) - emptyLoop, 1e-9);
  }
  const double bare = cases.back().rate;
  std::printf("%-32s %14s %10s\n", "call", "calls/second", "vs native");
  for (const TCase& c : cases) std::printf("%-32s %14.0f %9.2fx\n", c.label, c.rate, bare / c.rate);
  // sys.path() is nearly pure call overhead; sys.md5 adds the digest itself.
  const double path = bare / cases[1].rate, md5 = bare / cases[0].rate;
  std::printf("\nthe script function is small enough for the compiler to inline it\n");
  std::printf(
      "target: a host call within 10x of a bare native call: %s (sys.path() %.1fx; "
      "sys.md5 with its digest work %.1fx)\n",
      path <= 10 ? "met" : "not met", path, md5);
  ShutdownScriptEngine();
  return 0;
}
