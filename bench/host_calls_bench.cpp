// A host call from a script against a bare native call of the engine: members of the
// real sys object (path, path through its global name, md5) and Object.isFrozen(o), in
// one control, in rounds with the order rotated; each round's loop time of a member
// over that of the native gives its ratio (min / median / max over the rounds).
//
// The bare native is Object.isFrozen(o): a native function that the engine's compiler
// calls rather than inlines, doing almost no work. Natives it inlines (Math.max,
// String.fromCharCode) and small script functions cost next to nothing there and
// would measure the loop, not a call, so they are not compared.
// Run: bench/bench_host_calls [rounds]

#include <cstdio>
#include <string>
#include <vector>

#include "MSScriptControl_TLB.h"
#include "bench_support.h"
#include "u_SupScript.h"

namespace {

constexpr int kCalls = 2000000;

struct TCase {
  const char* label;
  const char* body;  // the statement inside the loop, `i` being the loop counter
};

// Milliseconds for one loop of kCalls iterations running `body`.
double TimeLoop(TScriptControl& control, const std::string& body) {
  const std::string text = "(function () { var r, o = {x: 1}; for (var i = 0; i < " +
                           std::to_string(kCalls) + "; ++i) { " + body + "; } return r; })();";
  const auto start = Clock::now();
  control.ExecuteStatement(text, "bench");
  return Ms(Clock::now() - start);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::stoi(argv[1])) : 15;
  InitScriptEngine();
  MainFilePath = "/home/user/scripts/main.js";
  const std::vector<TCase> cases = {
      {"sys.path()", "r = sys.path()"},
      {"path() (global member)", "r = path()"},
      {"sys.md5(\"abc\")", "r = sys.md5(\"abc\")"},
      {"bare native Object.isFrozen(o)", "r = Object.isFrozen(o)"},
  };
  std::vector<std::vector<double>> times;
  {
    TScriptControl control;
    control.SetLanguage("JScript");
    control.AddObject("sys", IDispatchPtr(new TSupScript), true);
    std::vector<std::function<double()>> run;
    for (const TCase& c : cases)
      run.emplace_back([&control, &c] { return TimeLoop(control, c.body); });
    for (auto& r : run) r();  // warm-up: the compiler's tiers, the members' records
    times = InRounds(rounds, run);
  }
  const std::vector<double>& native = times.back();
  std::printf("%d rounds of %d calls each, order rotated; a loop's time over the native's\n",
              rounds, kCalls);
  std::printf("%-44s %6s / %6s / %6s   %s\n", "call", "min", "median", "max", "loop rate");
  for (size_t k = 0; k < cases.size(); ++k) {
    const TSpread s = RatioSpread(times[k], native);
    std::printf("%-44s %6.2f / %6.2f / %6.2f   %.1f M calls/s\n", cases[k].label, s.Min, s.Median,
                s.Max, kCalls / Median(times[k]) / 1e3);
  }
  ShutdownScriptEngine();
  return 0;
}
