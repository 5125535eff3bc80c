// The script engine host on SpiderMonkey: one process-wide context, one global (realm)
// per control, host objects with members resolved by name in any letter case, and the
// error record of the last failure.

#include "MSScriptControl_TLB.h"

#include <js/AllocPolicy.h>
#include <js/CallAndConstruct.h>
#include <js/CompilationAndEvaluation.h>
#include <js/Conversions.h>
#include <js/ErrorReport.h>
#include <js/Exception.h>
#include <js/GCAPI.h>
#include <js/GCVector.h>
#include <js/GlobalObject.h>
#include <js/Initialization.h>
#include <js/Interrupt.h>
#include <js/Object.h>
#include <js/Promise.h>
#include <js/PropertyAndElement.h>
#include <js/PropertyDescriptor.h>
#include <js/SavedFrameAPI.h>
#include <js/SourceText.h>
#include <js/Stack.h>
#include <js/String.h>
#include <jsapi.h>
#include <jsfriendapi.h>
#include <malloc.h>
#include <mozilla/FloatingPoint.h>
#include <mozilla/Utf8.h>
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <memory_resource>
#include <mutex>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "MSScriptControl_TLB_jobs.h"
#include "MSScriptControl_TLB_startcache.h"

TScriptControl* ScriptCtrl = nullptr;

void EndScriptControl(std::unique_ptr<TScriptControl>& control) {
  if (ScriptCtrl == control.get()) ScriptCtrl = nullptr;
  control.reset();
}

namespace {

// ---------------------------------------------------------------------------------
// Text at the engine boundary: UTF-8 inside the program, UTF-16 in the engine.

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | (cp >> 18));
    out += char(0x80 | ((cp >> 12) & 0x3F));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

// Malformed sequences become U+FFFD rather than failing: a script's text or a host
// string must always reach the other side. `out` has room for s.size() units (never
// more are needed); returns how many were written.
size_t Utf8ToUtf16(std::string_view s, char16_t* out) {
  size_t k = 0;
  size_t i = 0;
  const size_t n = s.size();
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      out[k++] = char16_t(c);
      ++i;
      continue;
    }
    int len = 0;
    uint32_t cp = 0, min = 0;
    if ((c & 0xE0) == 0xC0) {
      len = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4, cp = c & 0x07, min = 0x10000;
    }
    bool ok = len > 0 && i + len <= n;
    for (int k = 1; ok && k < len; ++k) {
      const unsigned char cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (!ok) {
      out[k++] = char16_t(0xFFFD);
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out[k++] = char16_t(0xD800 + (cp >> 10));
      out[k++] = char16_t(0xDC00 + (cp & 0x3FF));
    } else {
      out[k++] = char16_t(cp);
    }
    i += len;
  }
  return k;
}

std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out(s.size(), u'\0');
  out.resize(Utf8ToUtf16(s, out.data()));
  return out;
}

void AppendUtf16(std::string& out, const char16_t* s, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    uint32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      // A lone surrogate has no byte form: it becomes the default character, so a
      // digest or a file name sees one "?" byte, not the three of U+FFFD.
      c = '?';
    }
    AppendUtf8(out, c);
  }
}

[[nodiscard]] bool ToUtf8(JSContext* cx, JSString* str, std::string& out) {
  JSLinearString* linear = JS_EnsureLinearString(cx, str);
  if (!linear) return false;
  const size_t n = JS::GetLinearStringLength(linear);
  out.clear();
  JS::AutoCheckCannotGC nogc;
  if (JS::LinearStringHasLatin1Chars(linear)) {
    const JS::Latin1Char* chars = JS::GetLatin1LinearStringChars(nogc, linear);
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
      if (chars[i] < 0x80)
        out += char(chars[i]);
      else
        AppendUtf8(out, chars[i]);
    }
  } else {
    out.reserve(n + n / 2);
    AppendUtf16(out, JS::GetTwoByteLinearStringChars(nogc, linear), n);
  }
  return true;
}

// Host results up to this length are interned: members called in loops mostly return
// the same short texts (paths, digests, names), and an interned string costs no heap
// block that a collector thread must free later.
constexpr size_t kInternedLength = 128;

// The bytes of a string whose characters are all below 256; empty otherwise.
std::string NarrowToBytes(JSContext* cx, JSString* str) {
  JSLinearString* linear = JS_EnsureLinearString(cx, str);
  if (!linear) {
    JS_ClearPendingException(cx);
    return std::string();
  }
  const size_t n = JS::GetLinearStringLength(linear);
  std::string out(n, '\0');
  for (size_t i = 0; i < n; ++i) {
    const char16_t c = JS::GetLinearStringCharAt(linear, i);
    if (c > 0xFF) return std::string();
    out[i] = char(c);
  }
  return out;
}

[[nodiscard]] JSString* NewString(JSContext* cx, std::string_view s) {
  bool ascii = true;
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) {
      ascii = false;
      break;
    }
  if (ascii)
    return s.size() <= kInternedLength ? JS_AtomizeStringN(cx, s.data(), s.size())
                                       : JS_NewStringCopyN(cx, s.data(), s.size());
  const std::u16string wide = Utf8ToUtf16(s);
  return wide.size() <= kInternedLength ? JS_AtomizeUCStringN(cx, wide.data(), wide.size())
                                        : JS_NewUCStringCopyN(cx, wide.data(), wide.size());
}

// A long host text becomes the string's own characters without a copy when it is ASCII
// (kept as Latin-1), and is converted once into a block the string takes otherwise.
// The text's block comes from malloc, which is what the engine frees strings with.
[[nodiscard]] JSString* NewStringTakingText(JSContext* cx, TOwnedText& text) {
  const size_t n = text.Size();
  if (n <= kInternedLength) return NewString(cx, std::string_view(text.Data(), n));
  if (text.IsAscii()) {
    js::UniquePtr<JS::Latin1Char[], JS::FreePolicy> chars(
        reinterpret_cast<JS::Latin1Char*>(text.Release()));
    return JS_NewLatin1String(cx, std::move(chars), n);
  }
  JS::UniqueTwoByteChars wide(js_pod_malloc<char16_t>(n + 1));
  if (!wide) {
    JS_ReportOutOfMemory(cx);
    return nullptr;
  }
  const size_t length = Utf8ToUtf16(std::string_view(text.Data(), n), wide.get());
  wide[length] = 0;
  if (length < n) {  // multi-byte characters: give back the room they did not need
    if (void* smaller = js_realloc(wide.get(), (length + 1) * sizeof(char16_t))) {
      (void)wide.release();
      wide.reset(static_cast<char16_t*>(smaller));
    }
  }
  return JS_NewUCString(cx, std::move(wide), length);
}

// Line `line` (1-based) of `text`, split where the engine counts lines.
std::string LineOfText(const std::string& text, int line) {
  if (line < 1) return std::string();
  int current = 1;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    size_t termLen = 0;
    if (i == text.size() || text[i] == '\n') {
      termLen = 1;
    } else if (text[i] == '\r') {
      termLen = (i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
    } else if (static_cast<unsigned char>(text[i]) == 0xE2 && i + 2 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) == 0x80 &&
               (static_cast<unsigned char>(text[i + 2]) == 0xA8 ||
                static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
      termLen = 3;  // U+2028, U+2029
    }
    if (!termLen) continue;
    if (current == line) return text.substr(start, i - start);
    ++current;
    i += termLen - 1;
    start = i + 1;
  }
  return std::string();
}

bool IsIdentifierChar(char16_t c) {
  return c == '_' || c == '$' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
         (c >= 'A' && c <= 'Z') || c >= 0x80;
}

// An Error object carries the place where it was made, not where it was thrown. For
// `throw new Error(...)` and `throw Error(...)` both are one statement: report the
// throw, as an uncaught non-Error value is reported.
int ThrowKeywordColumn(const std::string& line, int column) {
  const std::u16string text = Utf8ToUtf16(line);
  if (column < 0 || size_t(column) > text.size()) return column;
  size_t i = size_t(column);
  while (i > 0 && (text[i - 1] == ' ' || text[i - 1] == '\t')) --i;
  static const std::u16string kThrow = u"throw";
  if (i == size_t(column) || i < kThrow.size()) return column;
  const size_t start = i - kThrow.size();
  if (text.compare(start, kThrow.size(), kThrow) != 0) return column;
  if (start > 0 && IsIdentifierChar(text[start - 1])) return column;
  return int(start);
}

bool IsLineTerminator(char16_t c) {
  return c == '\n' || c == '\r' || c == 0x2028 || c == 0x2029;
}

// Offsets at which the engine's lines of `text` begin.
std::vector<size_t> LineStarts(const std::u16string& text) {
  std::vector<size_t> starts{0};
  for (size_t i = 0; i < text.size(); ++i) {
    if (!IsLineTerminator(text[i])) continue;
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    starts.push_back(i + 1);
  }
  return starts;
}

// Where a compile error lies for the user. The engine places an error at the end of
// the text (an unclosed function, bracket, literal or comment) on the empty line
// after the last terminator, which no file has: it belongs at the end of the last
// line. A private name where none may stand ("#include" alone, "#foo") is reported at
// the token after it, often on the next line: it belongs at the name.
void PlaceCompileError(const std::string& utf8, const std::string& message, int& line,
                       int& column) {
  const std::u16string text = Utf8ToUtf16(utf8);
  const std::vector<size_t> starts = LineStarts(text);
  if (line < 1 || size_t(line) > starts.size() || column < 0) return;
  size_t at = std::min(starts[line - 1] + size_t(column), text.size());
  if (at == text.size() && at > 0 && starts.back() == at && starts.size() > 1) {
    at = starts[starts.size() - 2];
    while (at < text.size() && !IsLineTerminator(text[at])) ++at;
  }
  if (message.find("private") != std::string::npos) {
    size_t end = at;
    while (end > 0 &&
           (text[end - 1] == ' ' || text[end - 1] == '\t' || IsLineTerminator(text[end - 1])))
      --end;
    size_t begin = end;
    while (begin > 0 && IsIdentifierChar(text[begin - 1])) --begin;
    if (begin < end && begin > 0 && text[begin - 1] == '#') at = begin - 1;
  }
  const auto next = std::upper_bound(starts.begin(), starts.end(), at);
  line = int(next - starts.begin());
  column = int(at - *(next - 1));
}

// ---------------------------------------------------------------------------------
// The process-wide engine.

using TClock = std::chrono::steady_clock;

struct TEngine {
  bool started = false;  // JS_Init done
  bool ended = false;    // context destroyed; no new one is made
  JSContext* cx = nullptr;
  std::vector<TScriptControl::Impl*> controls;
  int depth = 0;  // ExecuteStatement calls running, over all controls
  bool draining = false;
  // References held by host wrappers that the collector finalized, released at a
  // safe point: a release may destroy components, and those may run code.
  std::vector<TAutoObject*> pending;
  // A global that scripts never see, for the engine's own parser (Reflect.parse).
  std::unique_ptr<JS::PersistentRootedObject> tools;

  // Stopping. `stop` is written from other threads and signal handlers.
  std::atomic<int> stop{int(TStopReason::None)};
  std::atomic<bool> interruptDue{false};  // the watchdog asked since the last one
  bool inInterrupt = false;
  bool stopPlaceTaken = false;  // where the script was when the stop took effect
  TScriptError stopPlace;
  bool stopReported = false;  // one report per stop, however many statements it ends
  std::function<void()> interruptHandler;
  std::function<void()> stopListener;

  // The watchdog: runs while an outermost statement runs.
  std::thread watchdog;
  std::mutex watchMutex;
  std::condition_variable watchSignal;
  bool watchQuit = false;                                   // under watchMutex
  bool watchOn = true;                                      // under watchMutex
  bool statementRunning = false;                            // under watchMutex
  TClock::time_point deadline = TClock::time_point::max();  // under watchMutex
  int32_t limitMs = 0;  // the outermost statement's time limit, for the report
};

TEngine& Engine() {
  static TEngine engine;
  return engine;
}

void StopWatchdog();

void EndEngineAtExit() {
  // Runs after the application's own statics are gone (it was registered before they
  // existed): ending the engine also ends its Unicode support. A program that did not
  // shut the engine down gets it done here, so its helper threads stop cleanly.
  TEngine& e = Engine();
  if (!e.started) return;
  StopWatchdog();
  if (e.cx) ShutdownScriptEngine();
  if (!e.cx) JS_ShutDown();
}

// Releases run from destructors and safe points where no caller could take a failure;
// an object whose teardown fails must not end the program.
void ReleaseQuietly(TAutoObject* obj) {
  try {
    obj->Release();
  } catch (...) {
    ReportDroppedException("releasing a script object failed");
  }
}

void StopWatchdog() {
  TEngine& e = Engine();
  if (!e.watchdog.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(e.watchMutex);
    e.watchQuit = true;
  }
  e.watchSignal.notify_all();
  e.watchdog.join();
}

// Asks for an interrupt every ScriptInterruptInterval while a statement runs; ends a
// statement past its deadline; tells the stop listener once about a stop.
void WatchdogLoop() {
  TEngine& e = Engine();
  bool listenerTold = false;
  std::unique_lock<std::mutex> lock(e.watchMutex);
  while (!e.watchQuit) {
    if (!e.statementRunning || !e.watchOn) {
      listenerTold = false;
      e.watchSignal.wait(lock, [&] { return e.watchQuit || (e.statementRunning && e.watchOn); });
      continue;
    }
    e.watchSignal.wait_for(lock, std::chrono::milliseconds(ScriptInterruptIntervalMs));
    if (e.watchQuit || !e.statementRunning || !e.watchOn) continue;
    if (TClock::now() >= e.deadline) {
      int none = int(TStopReason::None);
      e.stop.compare_exchange_strong(none, int(TStopReason::Timeout));
    }
    if (e.stop.load() != int(TStopReason::None) && !listenerTold) {
      listenerTold = true;
      if (e.stopListener) e.stopListener();
    }
    e.interruptDue.store(true);
    JS_RequestInterruptCallback(e.cx);
  }
}

void DrainPending() {
  TEngine& e = Engine();
  if (e.depth > 0 || e.draining) return;
  e.draining = true;
  while (!e.pending.empty()) {
    std::vector<TAutoObject*> batch;
    batch.swap(e.pending);
    for (TAutoObject* obj : batch) ReleaseQuietly(obj);
  }
  e.draining = false;
}

size_t NativeStackQuota() {
  constexpr size_t kDefault = 8u << 20;
  size_t size = kDefault;
  rlimit limit{};
  if (getrlimit(RLIMIT_STACK, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
    size = std::min<size_t>(limit.rlim_cur, kDefault);
  // Room for the host's own frames between engine entries (members, widgets).
  const size_t margin = std::max<size_t>(size / 8, 256u << 10);
  return size > 2 * margin ? size - margin : size / 2;
}

void SweepWrappers(JSTracer* trc, void* data);
[[nodiscard]] bool OnEngineInterrupt(JSContext* cx);
void TrackRejection(JSContext* cx, bool mutedErrors, JS::HandleObject promise,
                    JS::PromiseRejectionHandlingState state, void* data);

JSContext* EnsureContext() {
  TEngine& e = Engine();
  if (e.cx) return e.cx;
  InitScriptEngine();
  if (e.ended) throw Exception("The script engine has already been shut down");
  JSContext* cx = JS_NewContext(JS::DefaultHeapMaxBytes);
  if (!cx) throw Exception("The script engine could not create its context");
  // The default heap limit is far below what a long run with many windows needs.
  JS_SetGCParameter(cx, JSGC_MAX_BYTES, 0xffffffffu);
  JS_SetNativeStackQuota(cx, NativeStackQuota());
  if (!js::UseInternalJobQueues(cx) || !InitEngineLibraryCode(cx)) {
    JS_DestroyContext(cx);
    throw Exception("The script engine could not initialise its context");
  }
  InstallJobEnvironment(cx);
  JS_AddWeakPointerZonesCallback(cx, SweepWrappers, nullptr);
  JS::SetPromiseRejectionTrackerCallback(cx, TrackRejection, nullptr);
  if (!JS_AddInterruptCallback(cx, OnEngineInterrupt)) {
    JS_DestroyContext(cx);
    throw Exception("The script engine could not install its interrupt");
  }
  e.cx = cx;
  e.watchQuit = false;
  e.watchdog = std::thread(WatchdogLoop);
  return cx;
}

// The message of the exception now pending, which is cleared.
std::string TakePendingMessage(JSContext* cx) {
  JS::ExceptionStack stack(cx);
  if (!JS::StealPendingExceptionStack(cx, &stack)) return "The script engine stopped";
  JS::ErrorReportBuilder builder(cx);
  if (!builder.init(cx, stack, JS::ErrorReportBuilder::NoSideEffects)) {
    JS_ClearPendingException(cx);
    return "Unknown script engine error";
  }
  const char* msg = builder.report()->message().c_str();
  return msg ? msg : "";
}

// The innermost throw statement of `text` around a 1-based line and 0-based column,
// found by the engine's own parser in a global of its own.
constexpr char kFindThrowSource[] = R"(
(function (text, line, column) {
  function before(a, l, c) { return a.line < l || (a.line === l && a.column <= c); }
  function after(a, l, c) { return a.line > l || (a.line === l && a.column > c); }
  var found = null, pending = [Reflect.parse(text, {loc: true})];
  while (pending.length) {
    var node = pending.pop();
    if (!node || typeof node !== "object") continue;
    if (node.loc && !(before(node.loc.start, line, column) && after(node.loc.end, line, column)))
      continue;
    if (node.type === "ThrowStatement" && node.loc &&
        (!found || before(found.loc.start, node.loc.start.line, node.loc.start.column)))
      found = node;
    for (var key in node)
      if (key !== "loc") pending.push(node[key]);
  }
  return found ? [found.loc.start.line, found.loc.start.column] : null;
}))";

[[nodiscard]] bool ThrowStatementStart(JSContext* cx, const std::string& text, int& line,
                                       int& column) {
  TEngine& e = Engine();
  if (!e.tools) {
    JS::RealmOptions options;
    static const JSClass kToolsClass = {
        "tools", JSCLASS_GLOBAL_FLAGS, &JS::DefaultGlobalClassOps, nullptr, nullptr, nullptr};
    JS::RootedObject global(
        cx, JS_NewGlobalObject(cx, &kToolsClass, nullptr, JS::FireOnNewGlobalHook, options));
    if (!global) return false;
    JSAutoRealm realm(cx, global);
    if (!JS::InitRealmStandardClasses(cx) || !JS_InitReflectParse(cx, global)) return false;
    e.tools = std::make_unique<JS::PersistentRootedObject>(cx, global);
  }
  JSAutoRealm realm(cx, *e.tools);
  JS::CompileOptions options(cx);
  options.setFileAndLine("find-throw", 1);
  JS::SourceText<mozilla::Utf8Unit> source;
  JS::RootedValue finder(cx);
  if (!source.init(cx, kFindThrowSource, sizeof kFindThrowSource - 1,
                   JS::SourceOwnership::Borrowed) ||
      !JS::Evaluate(cx, options, source, &finder))
    return false;
  const std::u16string wide = Utf8ToUtf16(text);
  JS::RootedValueArray<3> args(cx);
  JSString* str = JS_NewUCStringCopyN(cx, wide.data(), wide.size());
  if (!str) return false;
  args[0].setString(str);
  args[1].setInt32(line);
  args[2].setInt32(column);
  JS::RootedValue result(cx);
  if (!JS::Call(cx, JS::UndefinedHandleValue, finder, args, &result)) return false;
  if (!result.isObject()) return true;
  JS::RootedObject pair(cx, &result.toObject());
  JS::RootedValue l(cx), c(cx);
  if (!JS_GetElement(cx, pair, 0, &l) || !JS_GetElement(cx, pair, 1, &c)) return false;
  if (l.isInt32() && c.isInt32()) {
    line = l.toInt32();
    column = c.toInt32();
  }
  return true;
}

// ---------------------------------------------------------------------------------
// Host objects. A wrapper holds one counted reference in reserved slot 0. Its members
// live on a prototype shared by every object of its interface, defined there on first
// use under the spelling the script used; a method's function is the object's own,
// made on its first read, so a method read off an object still calls that object.

constexpr size_t kHostSlot = 0;
constexpr size_t kInterfaceSlot = 0;   // a members prototype: its TInterfaceInfo
constexpr size_t kGlobalImplSlot = 0;  // an application slot of the global
// Member functions: the wrapper they call (undefined for a shared accessor, which
// serves the object it is used on) and the member's record: its dispatch identifier,
// the string it returned last, and for a method the symbol under which each object
// keeps its own function of it and the parameter count.
constexpr size_t kFnWrapperSlot = 0;
constexpr size_t kFnRecordSlot = 1;
constexpr size_t kRecordDispIdSlot = 0;
constexpr size_t kRecordLastSlot = 1;
constexpr size_t kRecordKeySlot = 2;
constexpr size_t kRecordParamsSlot = 3;

// Members called in loops mostly return the same text again (a path, a name, a
// state): the record keeps the last one, so an equal result costs no new string.
const JSClass kMemberRecordClass = {
    "HostMember", JSCLASS_HAS_RESERVED_SLOTS(4), nullptr, nullptr, nullptr, nullptr};
constexpr size_t kKeptResultLength = 4096;

void HostFinalize(JS::GCContext* gcx, JSObject* obj);

// No resolve hook: members come from the prototype, so the compiler's caches serve
// every object of an interface alike.
const JSClassOps kHostOps = {nullptr, nullptr,      nullptr, nullptr, nullptr,
                             nullptr, HostFinalize, nullptr, nullptr, nullptr};
// Finalized on the main thread: the finalizer touches the release queue.
const JSClass kHostClass = {
    "HostObject", JSCLASS_HAS_RESERVED_SLOTS(1) | JSCLASS_FOREGROUND_FINALIZE,
    &kHostOps,    nullptr,
    nullptr,      nullptr};

[[nodiscard]] bool InterfaceResolve(JSContext* cx, JS::HandleObject obj, JS::HandleId id,
                                    bool* resolvedp);

const JSClassOps kInterfaceOps = {nullptr, nullptr, nullptr, nullptr, InterfaceResolve,
                                  nullptr, nullptr, nullptr, nullptr, nullptr};
const JSClass kInterfaceClass = {
    "HostInterface", JSCLASS_HAS_RESERVED_SLOTS(1), &kInterfaceOps, nullptr, nullptr, nullptr};

bool IsHost(JSObject* obj) {
  return JS::GetClass(obj) == &kHostClass;
}

TAutoObject* HostOf(JSObject* obj) {
  return JS::GetMaybePtrFromReservedSlot<TAutoObject>(obj, kHostSlot);
}

void HostFinalize(JS::GCContext*, JSObject* obj) {
  if (TAutoObject* host = HostOf(obj)) Engine().pending.push_back(host);
}

TScriptControl::Impl* ImplOfCurrentGlobal(JSContext* cx);

// Raises a script Error whose message is `message` and whose `number` is the status.
[[nodiscard]] bool ThrowHostError(JSContext* cx, const std::string& message, HRESULT number) {
  JS::RootedObject ctor(cx);
  if (!JS_GetClassObject(cx, JSProto_Error, &ctor)) return false;
  JS::RootedValueArray<1> args(cx);
  JSString* text = NewString(cx, message);
  if (!text) return false;
  args[0].setString(text);
  JS::RootedValue ctorValue(cx, JS::ObjectValue(*ctor));
  JS::RootedObject error(cx);
  if (!JS::Construct(cx, ctorValue, args, &error)) return false;
  if (!JS_DefineProperty(cx, error, "number", number, 0)) return false;
  JS::RootedValue value(cx, JS::ObjectValue(*error));
  JS_SetPendingException(cx, value);
  return false;
}

[[nodiscard]] bool ToVariant(JSContext* cx, JS::HandleValue v, Variant& out) {
  if (v.isInt32()) {
    out = Variant(v.toInt32());
  } else if (v.isString()) {
    std::string s;
    if (!ToUtf8(cx, v.toString(), s)) return false;
    out = Variant(std::move(s));
  } else if (v.isDouble()) {
    // Whole numbers travel as I4, as a script engine of the platform passes them.
    int32_t i;
    if (mozilla::NumberIsInt32(v.toDouble(), &i))
      out = Variant(i);
    else
      out = Variant(v.toDouble());
  } else if (v.isBoolean()) {
    out = Variant(v.toBoolean());
  } else if (v.isUndefined()) {
    out = Variant();
  } else if (v.isNull()) {
    out = Variant::Null();
  } else if (v.isObject() && IsHost(&v.toObject())) {
    TAutoObject* host = HostOf(&v.toObject());
    out = host ? Variant(IDispatchPtr(host)) : Variant::Null();
  } else {
    // Script objects have no dispatch form: they pass as their string value, marked
    // as an object so that a member wanting a handle can tell them from a string.
    JSString* s = JS::ToString(cx, v);
    if (!s) return false;
    std::string text;
    if (!ToUtf8(cx, s, text)) return false;
    out = v.isObject() ? Variant::ScriptObject(std::move(text)) : Variant(std::move(text));
  }
  return true;
}

[[nodiscard]] bool ToJs(JSContext* cx, const Variant& v, JS::MutableHandleValue out);

bool StopPending() {
  return Engine().stop.load() != int(TStopReason::None);
}

void NoteStopPlace(JSContext* cx);

// A stop ends the statement at the member call as well: false with nothing pending is
// the engine's uncatchable termination.
[[nodiscard]] bool EndAtMemberCall(JSContext* cx) {
  NoteStopPlace(cx);
  return false;
}

bool IsAscii(std::string_view s) {
  // Word at a time and without an early exit: this runs on every changed result.
  uint64_t bits = 0;
  size_t i = 0;
  for (; i + 8 <= s.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, s.data() + i, 8);
    bits |= word;
  }
  for (; i < s.size(); ++i) bits |= static_cast<unsigned char>(s[i]);
  return (bits & 0x8080808080808080ull) == 0;
}

// The script string for a result `s` of the member behind `record`: the one it
// returned last when the text is the same, a new one otherwise. Only ASCII results
// are kept, so an equal one is ASCII too and bytes compare as characters.
[[nodiscard]] bool ResultString(JSContext* cx, JSObject* record, const std::string& s,
                                JS::MutableHandleValue out) {
  const JS::Value& last = JS::GetReservedSlot(record, kRecordLastSlot);
  if (last.isString() && JS::GetStringLength(last.toString()) == s.size()) {
    // Only strings made here are kept, and those are flat.
    JSLinearString* linear = JS_ASSERT_STRING_IS_LINEAR(last.toString());
    JS::AutoCheckCannotGC nogc;
    if (JS::LinearStringHasLatin1Chars(linear) &&
        std::memcmp(JS::GetLatin1LinearStringChars(nogc, linear), s.data(), s.size()) == 0) {
      out.set(last);
      return true;
    }
  }
  JSString* str = NewString(cx, s);
  if (!str) return false;
  out.setString(str);
  const bool keep = s.size() <= kKeptResultLength && IsAscii(s);
  JS::SetReservedSlot(record, kRecordLastSlot, keep ? out.get() : JS::UndefinedValue());
  return true;
}

[[nodiscard]] bool InvokeHost(JSContext* cx, TAutoObject* host, DISPID id, uint16_t flags,
                              const std::vector<Variant>& args, JS::MutableHandleValue rval,
                              JSObject* record) {
  if (StopPending()) return EndAtMemberCall(cx);
  try {
    const TInvokeResult r = host->Invoke(id, flags, args);
    // A wait (sleep, a fetch) that a stop cut short.
    if (StopPending()) return EndAtMemberCall(cx);
    if (r.Status == DISP_E_EXCEPTION)
      return ThrowHostError(cx, r.Excep.Description, r.Excep.SCode ? r.Excep.SCode : r.Status);
    if (Failed(r.Status)) return ThrowHostError(cx, StatusMessage(r.Status), r.Status);
    // Owned text (a page body) is taken over whole instead.
    if (record && r.Value.type() == VarType::BStr && !r.Value.OwnedText())
      return ResultString(cx, record, r.Value.AsString(), rval);
    return ToJs(cx, r.Value, rval);
  } catch (const std::exception& e) {
    if (StopPending()) return EndAtMemberCall(cx);
    return ThrowHostError(cx, e.what(), E_UNEXPECTED);
  } catch (...) {
    if (StopPending()) return EndAtMemberCall(cx);
    return ThrowHostError(cx, StatusMessage(E_UNEXPECTED), E_UNEXPECTED);
  }
}

[[nodiscard]] bool ThrowReleased(JSContext* cx) {
  return ThrowHostError(cx, "The object has been released by the script engine", E_UNEXPECTED);
}

std::string MemberName(JSContext* cx, const JS::CallArgs& args);

// The wrapper a shared member is used on: `this`, or the nearest wrapper it inherits
// from (an object made with a handle as its prototype). Fails with the script's error
// when there is none.
[[nodiscard]] bool ThisWrapper(JSContext* cx, const JS::CallArgs& args,
                               JS::MutableHandleObject wrapper) {
  if (args.thisv().isObject()) {
    JS::RootedObject at(cx, &args.thisv().toObject()), proto(cx);
    while (at && !IsHost(at)) {
      if (!JS_GetPrototype(cx, at, &proto)) return false;
      at = proto;
    }
    wrapper.set(at);
  }
  if (wrapper) return true;
  return ThrowHostError(cx,
                        "Object doesn't support this property or method: " + MemberName(cx, args),
                        DISP_E_UNKNOWNNAME);
}

// The host behind a shared accessor: the object it is used on.
[[nodiscard]] bool ThisHost(JSContext* cx, const JS::CallArgs& args, TAutoObject*& host) {
  JS::RootedObject wrapper(cx);
  if (!ThisWrapper(cx, args, &wrapper)) return false;
  host = HostOf(wrapper);
  return true;
}

// The host and member behind a member function: the wrapper the function was made
// for, or for a shared accessor the object it is used on. Fails with the script's
// error once the control released the object, or when `this` is no host object.
[[nodiscard]] inline bool MemberTarget(JSContext* cx, const JS::CallArgs& args, TAutoObject*& host,
                                       DISPID& id, JSObject*& record) {
  JSObject* callee = &args.callee();
  record = &js::GetFunctionNativeReserved(callee, kFnRecordSlot).toObject();
  id = JS::GetReservedSlot(record, kRecordDispIdSlot).toInt32();
  const JS::Value& own = js::GetFunctionNativeReserved(callee, kFnWrapperSlot);
  if (own.isObject())
    host = HostOf(&own.toObject());
  else if (!ThisHost(cx, args, host))
    return false;
  return host ? true : ThrowReleased(cx);
}

// Argument vectors are reused, one per nesting level of host calls, so a call costs
// no allocation for its argument list.
class TArgumentList {
 public:
  explicit TArgumentList(unsigned count) {
    auto& pool = Pool();
    if (pool.empty()) {
      list_ = std::make_unique<std::vector<Variant>>();
    } else {
      list_ = std::move(pool.back());
      pool.pop_back();
    }
    list_->resize(count);
  }
  ~TArgumentList() {
    list_->clear();
    Pool().push_back(std::move(list_));
  }
  TArgumentList(const TArgumentList&) = delete;
  TArgumentList& operator=(const TArgumentList&) = delete;
  std::vector<Variant>& operator*() { return *list_; }

 private:
  static std::vector<std::unique_ptr<std::vector<Variant>>>& Pool() {
    static std::vector<std::unique_ptr<std::vector<Variant>>> pool;
    return pool;
  }
  std::unique_ptr<std::vector<Variant>> list_;
};

[[nodiscard]] bool HostMethod(JSContext* cx, unsigned argc, JS::Value* vp) {
  JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
  TAutoObject* host;
  DISPID id;
  JSObject* record;
  if (!MemberTarget(cx, args, host, id, record)) return false;
  static const std::vector<Variant> kNoArguments;
  if (argc == 0)
    return InvokeHost(cx, host, id, DISPATCH_METHOD, kNoArguments, args.rval(), record);
  TArgumentList list(argc);
  std::vector<Variant>& in = *list;
  for (unsigned i = 0; i < argc; ++i)
    if (!ToVariant(cx, args[i], in[i])) return false;
  return InvokeHost(cx, host, id, DISPATCH_METHOD, in, args.rval(), record);
}

[[nodiscard]] bool HostGetter(JSContext* cx, unsigned argc, JS::Value* vp) {
  JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
  TAutoObject* host;
  DISPID id;
  JSObject* record;
  if (!MemberTarget(cx, args, host, id, record)) return false;
  static const std::vector<Variant> kNoArguments;
  return InvokeHost(cx, host, id, DISPATCH_PROPERTYGET, kNoArguments, args.rval(), record);
}

[[nodiscard]] bool HostSetter(JSContext* cx, unsigned argc, JS::Value* vp) {
  JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
  TAutoObject* host;
  DISPID id;
  JSObject* record;
  if (!MemberTarget(cx, args, host, id, record)) return false;
  std::vector<Variant> in(1);
  if (!ToVariant(cx, args.get(0), in[0])) return false;
  JS::RootedValue ignored(cx);
  if (!InvokeHost(cx, host, id, DISPATCH_PROPERTYPUT, in, &ignored, nullptr)) return false;
  args.rval().setUndefined();
  return true;
}

// A method's getter, reading the object's own function under `key`: made by the
// current global's factory (see the control's set-up).
[[nodiscard]] JSObject* MethodReader(JSContext* cx, JS::HandleValue key);

std::string MemberName(JSContext* cx, const JS::CallArgs& args) {
  std::string name;
  JSString* id = JS_GetFunctionId(JS_GetObjectFunction(&args.callee()));
  if (!id || !ToUtf8(cx, id, name)) JS_ClearPendingException(cx);
  return name;
}

[[nodiscard]] bool MethodSetter(JSContext* cx, unsigned argc, JS::Value* vp) {
  JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
  return ThrowHostError(cx, MemberName(cx, args) + " is a method and cannot be assigned",
                        DISP_E_MEMBERNOTFOUND);
}

[[nodiscard]] bool ReadOnlySetter(JSContext* cx, unsigned argc, JS::Value* vp) {
  JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
  return ThrowHostError(cx, MemberName(cx, args) + " is read-only", DISP_E_MEMBERNOTFOUND);
}

[[nodiscard]] bool WriteOnlyGetter(JSContext* cx, unsigned argc, JS::Value* vp) {
  JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
  return ThrowHostError(cx, MemberName(cx, args) + " can only be written", DISP_E_MEMBERNOTFOUND);
}

// Member names are plain ASCII words of at most this length; any other spelling is no
// member.
constexpr size_t kMaxMemberName = 64;
// Member names are plain ASCII words; any other spelling is no member.
bool AsciiName(JSContext* cx, JS::HandleId id, std::string& name) {
  if (!id.isString()) return false;
  JSLinearString* s = id.toLinearString();
  const size_t n = JS::GetLinearStringLength(s);
  if (n == 0 || n > kMaxMemberName) return false;
  (void)cx;
  name.resize(n);
  for (size_t i = 0; i < n; ++i) {
    const char16_t c = JS::GetLinearStringCharAt(s, i);
    if (c >= 0x80) return false;
    name[i] = char(c);
  }
  return true;
}

// A member's record: its dispatch identifier, for a method also the symbol under which
// each object keeps its own function of it and the parameter count.
[[nodiscard]] JSObject* NewMemberRecord(JSContext* cx, DISPID dispId) {
  JSObject* record = JS_NewObjectWithGivenProto(cx, &kMemberRecordClass, nullptr);
  if (record) JS::SetReservedSlot(record, kRecordDispIdSlot, JS::Int32Value(dispId));
  return record;
}

// A member function named `id`; `wrapper` null makes a shared accessor serving `this`.
[[nodiscard]] JSObject* NewMemberFunction(JSContext* cx, JSNative native, unsigned nargs,
                                          JS::HandleId id, JS::HandleObject wrapper,
                                          JS::HandleObject record) {
  JSFunction* fn = js::NewFunctionByIdWithReserved(cx, native, nargs, 0, id);
  if (!fn) return nullptr;
  JSObject* obj = JS_GetFunctionObject(fn);
  js::SetFunctionNativeReserved(obj, kFnWrapperSlot,
                                wrapper ? JS::ObjectValue(*wrapper) : JS::UndefinedValue());
  js::SetFunctionNativeReserved(obj, kFnRecordSlot, JS::ObjectValue(*record));
  return obj;
}

// What an interface has under a name spelt in any letter case.
struct TMemberKinds {
  DISPID DispId = -1;
  const TMemberInfo* Method = nullptr;
  bool Get = false;
  bool Put = false;
};

[[nodiscard]] TMemberKinds FindMember(JSContext* cx, const TInterfaceInfo& intf, JS::HandleId id) {
  TMemberKinds kinds;
  std::string name;
  if (!AsciiName(cx, id, name)) return kinds;
  kinds.DispId = intf.IdOfName(name);
  if (kinds.DispId == -1) return kinds;
  for (const TMemberInfo& m : intf.Members) {
    if (m.DispId != kinds.DispId) continue;
    if (m.Kind == MemberKind::Method && !kinds.Method) kinds.Method = &m;
    if (m.Kind == MemberKind::PropertyGet) kinds.Get = true;
    if (m.Kind == MemberKind::PropertyPut) kinds.Put = true;
  }
  return kinds;
}

// The first read of a method on an object: makes the object's own function of it and
// keeps it on the object under the member's symbol, where the reader finds it next
// time. It is the getter of that symbol on the prototype, so the reader reaches it
// only while the object has no function of its own yet.
[[nodiscard]] bool MakeMethod(JSContext* cx, unsigned argc, JS::Value* vp) {
  JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
  JS::RootedObject record(cx,
                          &js::GetFunctionNativeReserved(&args.callee(), kFnRecordSlot).toObject());
  JS::RootedObject wrapper(cx);
  if (!ThisWrapper(cx, args, &wrapper)) return false;
  JS::RootedId name(cx), key(cx);
  JS::RootedString nameText(cx, JS_GetFunctionId(JS_GetObjectFunction(&args.callee())));
  JS::RootedValue keyValue(cx, JS::GetReservedSlot(record, kRecordKeySlot));
  if (!nameText || !JS_StringToId(cx, nameText, &name) || !JS_ValueToId(cx, keyValue, &key))
    return false;
  const unsigned nargs = unsigned(JS::GetReservedSlot(record, kRecordParamsSlot).toInt32());
  JS::RootedObject fn(cx, NewMemberFunction(cx, HostMethod, nargs, name, wrapper, record));
  if (!fn) return false;
  JS::RootedValue value(cx, JS::ObjectValue(*fn));
  // An object that takes no new properties (frozen by the script) gets a new function
  // on each read instead.
  JS::ObjectOpResult kept;
  JS::Rooted<JS::PropertyDescriptor> desc(cx, JS::PropertyDescriptor::Data(value, {}));
  if (!JS_DefinePropertyById(cx, wrapper, key, desc, kept)) return false;
  args.rval().set(value);
  return true;
}

// Defines the member of the interface spelled `id` on its prototype `proto`, shared by
// all its objects: a method as an accessor whose getter is a script closure (the
// compiler inlines it; a native getter would cost each call about a third more) that
// returns the object's own function, and whose setter refuses assignment (a data
// property that cannot be written fails silently outside strict mode); a property as
// an accessor pair of which a missing half fails with a message. Members are fixed:
// they cannot be overwritten or deleted.
[[nodiscard]] bool InterfaceResolve(JSContext* cx, JS::HandleObject proto, JS::HandleId id,
                                    bool* resolvedp) {
  *resolvedp = false;
  const auto* intf = JS::GetMaybePtrFromReservedSlot<const TInterfaceInfo>(proto, kInterfaceSlot);
  if (!intf) return true;
  const TMemberKinds kinds = FindMember(cx, *intf, id);
  if (!kinds.Method && !kinds.Get && !kinds.Put) return true;
  JS::RootedObject record(cx, NewMemberRecord(cx, kinds.DispId));
  if (!record) return false;
  JS::RootedObject getter(cx), setter(cx);
  if (kinds.Method) {
    JS::RootedString description(cx, id.toString());
    JS::Symbol* symbol = JS::NewSymbol(cx, description);
    if (!symbol) return false;
    JS::RootedValue key(cx, JS::SymbolValue(symbol));
    JS::SetReservedSlot(record, kRecordKeySlot, key);
    JS::SetReservedSlot(record, kRecordParamsSlot,
                        JS::Int32Value(int32_t(kinds.Method->Params.size())));
    JS::RootedObject make(cx, NewMemberFunction(cx, MakeMethod, 0, id, nullptr, record));
    JS::RootedId keyId(cx);
    if (!make || !JS_ValueToId(cx, key, &keyId) ||
        !JS_DefinePropertyById(cx, proto, keyId, make, nullptr, JSPROP_PERMANENT) ||
        !(getter = MethodReader(cx, key)) ||
        !(setter = NewMemberFunction(cx, MethodSetter, 1, id, nullptr, record)))
      return false;
  } else {
    if (!(getter = NewMemberFunction(cx, kinds.Get ? HostGetter : WriteOnlyGetter, 0, id, nullptr,
                                     record)) ||
        !(setter = NewMemberFunction(cx, kinds.Put ? HostSetter : ReadOnlySetter, 1, id, nullptr,
                                     record)))
      return false;
  }
  if (!JS_DefinePropertyById(cx, proto, id, getter, setter, JSPROP_ENUMERATE | JSPROP_PERMANENT))
    return false;
  *resolvedp = true;
  return true;
}

// Defines the member of `host` spelled `id` (any letter case) as a global name: a
// method as a function, a property as an accessor. Such names stay replaceable, so
// scripts may declare the same names. Nothing is defined if there is no member.
[[nodiscard]] bool DefineGlobalMember(JSContext* cx, JS::HandleObject global,
                                      JS::HandleObject wrapper, TAutoObject* host, JS::HandleId id,
                                      bool* resolvedp) {
  const TMemberKinds kinds = FindMember(cx, host->Interface(), id);
  if (!kinds.Method && !kinds.Get && !kinds.Put) return true;
  JS::RootedObject record(cx, NewMemberRecord(cx, kinds.DispId));
  if (!record) return false;
  if (kinds.Method) {
    JS::RootedObject fn(cx, NewMemberFunction(cx, HostMethod, unsigned(kinds.Method->Params.size()),
                                              id, wrapper, record));
    if (!fn) return false;
    JS::RootedValue value(cx, JS::ObjectValue(*fn));
    if (!JS_DefinePropertyById(cx, global, id, value, JSPROP_ENUMERATE)) return false;
  } else {
    JS::RootedObject getter(cx), setter(cx);
    if (kinds.Get && !(getter = NewMemberFunction(cx, HostGetter, 0, id, wrapper, record)))
      return false;
    if (kinds.Put && !(setter = NewMemberFunction(cx, HostSetter, 1, id, wrapper, record)))
      return false;
    if (!JS_DefinePropertyById(cx, global, id, getter, setter, JSPROP_ENUMERATE)) return false;
  }
  *resolvedp = true;
  return true;
}

// Next in every host object's prototype chain after its interface's members: a name
// that no member resolved fails here, so a misspelt member is an error at once, for
// reads and writes alike. Names the engine itself asks of any object pass on to
// Object.prototype: symbols (conversions, iteration), Object.prototype's own names
// (toString, valueOf, hasOwnProperty...), "then" (a handle awaited or returned from an
// async function) and "toJSON" (JSON.stringify).
[[nodiscard]] bool GuardResolve(JSContext* cx, JS::HandleObject obj, JS::HandleId id,
                                bool* resolvedp) {
  *resolvedp = false;
  if (id.isSymbol()) return true;
  if (id.isString()) {
    JSLinearString* name = id.toLinearString();
    if (JS_LinearStringEqualsLiteral(name, "then") || JS_LinearStringEqualsLiteral(name, "toJSON"))
      return true;
    JS::RootedObject proto(cx);
    bool found = false;
    if (!JS_GetPrototype(cx, obj, &proto)) return false;
    if (proto && !JS_HasPropertyById(cx, proto, id, &found)) return false;
    if (found) return true;
  }
  JS::RootedValue idValue(cx);
  std::string text;
  if (!JS_IdToValue(cx, id, &idValue)) return false;
  JSString* str = JS::ToString(cx, idValue);
  if (!str || !ToUtf8(cx, str, text)) return false;
  return ThrowHostError(cx, "Object doesn't support this property or method: " + text,
                        DISP_E_UNKNOWNNAME);
}

const JSClassOps kGuardOps = {nullptr, nullptr, nullptr, nullptr, GuardResolve,
                              nullptr, nullptr, nullptr, nullptr, nullptr};
const JSClass kGuardClass = {"HostMembers", 0, &kGuardOps, nullptr, nullptr, nullptr};

// The `description` of script errors, as the platform's script engines name the message.
[[nodiscard]] bool ErrorDescriptionGet(JSContext* cx, unsigned argc, JS::Value* vp) {
  JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
  if (!args.thisv().isObject()) {
    args.rval().setUndefined();
    return true;
  }
  JS::RootedObject self(cx, &args.thisv().toObject());
  return JS_GetProperty(cx, self, "message", args.rval());
}

[[nodiscard]] bool ErrorDescriptionSet(JSContext* cx, unsigned argc, JS::Value* vp) {
  JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
  if (args.thisv().isObject()) {
    JS::RootedObject self(cx, &args.thisv().toObject());
    if (!JS_SetProperty(cx, self, "message", args.get(0))) return false;
  }
  args.rval().setUndefined();
  return true;
}

[[nodiscard]] bool GlobalResolve(JSContext* cx, JS::HandleObject obj, JS::HandleId id,
                                 bool* resolvedp);

bool GlobalMayResolve(const JSAtomState& names, jsid id, JSObject* maybeObj);

const JSClassOps kGlobalOps = {
    nullptr,          nullptr, nullptr, nullptr, GlobalResolve,
    GlobalMayResolve, nullptr, nullptr, nullptr, JS_GlobalObjectTraceHook};
const JSClass kGlobalClass = {"global", JSCLASS_GLOBAL_FLAGS, &kGlobalOps, nullptr, nullptr,
                              nullptr};

// Restores a depth counter on every way out of ExecuteStatement and releases queued
// references when the outermost call of all controls returns.
class TDepthGuard {
 public:
  explicit TDepthGuard(int& own) : own_(own) {
    ++own_;
    ++Engine().depth;
  }
  ~TDepthGuard() {
    --own_;
    if (--Engine().depth == 0) DrainPending();
  }
  TDepthGuard(const TDepthGuard&) = delete;
  TDepthGuard& operator=(const TDepthGuard&) = delete;

 private:
  int& own_;
};

}  // namespace

// ---------------------------------------------------------------------------------

struct TScriptControl::Impl {
  struct TItem {
    std::string Name;
    IDispatchPtr Object;
    bool AddMembers;
  };

  JSContext* cx = nullptr;
  JS::PersistentRootedObject global;
  // The prototype of this global's members prototypes (see GuardResolve).
  JS::PersistentRootedObject guard;
  // The factory of method getters (see the control's set-up), compiled in this global.
  JS::PersistentRootedObject methodReader;
  // The members prototype of each interface whose objects this global has seen.
  std::vector<std::pair<const TInterfaceInfo*, std::unique_ptr<JS::PersistentRootedObject>>>
      interfaces;
  std::vector<TItem> items;
  // Member names that are global names, lower case and sorted, each with the item
  // added first that has it.
  std::vector<std::pair<std::string, size_t>> globalNames;
  // For each lower-case first letter, bit n - 1 is set when some global name of length
  // n starts with it: most names a script declares are turned away by this alone.
  std::array<uint64_t, 128> globalNameShapes{};
  // One wrapper per host object, so the same object is the same script value. Weak:
  // the collector may take a wrapper the script no longer reaches. Its entries are
  // pooled (declared first, so the pool outlives the map), apart from the objects.
  std::pmr::unsynchronized_pool_resource wrapperPool;
  std::pmr::unordered_map<TAutoObject*, JS::Heap<JSObject*>> wrappers{&wrapperPool};
  // The text last executed under each source name, for the source line of an error.
  std::map<std::string, std::string> texts;
  // Promises of this global rejected with no handler during the outermost statement
  // now running, in the order of rejection; one that gets a handler leaves again.
  JS::PersistentRooted<JS::GCVector<JSObject*, 0, js::SystemAllocPolicy>> rejections;
  bool destroying = false;
  // Statements (text, source name) asked for while the engine was in its interrupt.
  std::vector<std::pair<std::string, std::string>> heldBack;

  JSObject* Wrap(JSContext* cx, TAutoObject* obj);
  bool ResolveGlobalMember(JSContext* cx, JS::HandleObject global, JS::HandleId id,
                           bool* resolvedp);
  bool FrameLocation(JSContext* cx, JS::HandleObject stack, TScriptError& err);
  TScriptError ErrorFromPending(JSContext* cx, bool compiled, const std::string& sourceName);
  TScriptError ErrorFromStop(const std::string& sourceName);
  TScriptError ErrorFromException(JSContext* cx, const JS::ExceptionStack& stack, bool compiled,
                                  const std::string& sourceName, bool rejected);
  TScriptError ErrorFromRejection(JSContext* cx, JS::HandleObject promise,
                                  const std::string& sourceName);
  void TrackRejection(JS::HandleObject promise, JS::PromiseRejectionHandlingState state);
};

JSObject* TScriptControl::Impl::Wrap(JSContext* cx, TAutoObject* obj) {
  auto it = wrappers.find(obj);
  if (it != wrappers.end() && it->second) return it->second;
  const TInterfaceInfo* intf = &obj->Interface();
  JS::RootedObject proto(cx);
  for (const auto& [known, members] : interfaces)
    if (known == intf) proto = *members;
  if (!proto) {
    if (!(proto = JS_NewObjectWithGivenProto(cx, &kInterfaceClass, guard))) return nullptr;
    JS::SetReservedSlot(proto, kInterfaceSlot, JS::PrivateValue(const_cast<TInterfaceInfo*>(intf)));
    interfaces.emplace_back(intf, std::make_unique<JS::PersistentRootedObject>(cx, proto));
  }
  JS::RootedObject wrapper(cx, JS_NewObjectWithGivenProto(cx, &kHostClass, proto));
  if (!wrapper) return nullptr;
  obj->AddRef();
  JS::SetReservedSlot(wrapper, kHostSlot, JS::PrivateValue(obj));
  wrappers[obj] = wrapper;
  return wrapper;
}

// Every top-level name a script declares passes here, three times (50,000 `var` lines,
// 150,000 calls): most are no member, and that answer must cost next to nothing.
bool TScriptControl::Impl::ResolveGlobalMember(JSContext* cx, JS::HandleObject global,
                                               JS::HandleId id, bool* resolvedp) {
  if (!id.isString()) return true;
  char lower[kMaxMemberName];
  size_t n = 0;
  {
    JSLinearString* s = id.toLinearString();
    n = JS::GetLinearStringLength(s);
    if (n == 0 || n > kMaxMemberName) return true;
    char16_t first = JS::GetLinearStringCharAt(s, 0);
    if (first >= 0x80) return true;
    if (first >= 'A' && first <= 'Z') first = char16_t(first + 32);
    if (!(globalNameShapes[first] >> (n - 1) & 1)) return true;
    JS::AutoCheckCannotGC nogc;
    if (JS::LinearStringHasLatin1Chars(s)) {
      const JS::Latin1Char* chars = JS::GetLatin1LinearStringChars(nogc, s);
      for (size_t i = 0; i < n; ++i) {
        if (chars[i] >= 0x80) return true;
        lower[i] = char(chars[i] >= 'A' && chars[i] <= 'Z' ? chars[i] + 32 : chars[i]);
      }
    } else {
      const char16_t* chars = JS::GetTwoByteLinearStringChars(nogc, s);
      for (size_t i = 0; i < n; ++i) {
        if (chars[i] >= 0x80) return true;
        lower[i] = char(chars[i] >= 'A' && chars[i] <= 'Z' ? chars[i] + 32 : chars[i]);
      }
    }
  }
  const std::string_view key(lower, n);
  const auto found = std::lower_bound(
      globalNames.begin(), globalNames.end(), key,
      [](const std::pair<std::string, size_t>& a, std::string_view b) { return a.first < b; });
  if (found == globalNames.end() || found->first != key) return true;
  const TItem& item = items[found->second];
  JS::RootedObject wrapper(cx, Wrap(cx, item.Object.get()));
  if (!wrapper) return false;
  return DefineGlobalMember(cx, global, wrapper, item.Object.get(), id, resolvedp);
}

namespace {

TScriptControl::Impl* ImplOfGlobal(JSObject* global) {
  return JS::GetMaybePtrFromReservedSlot<TScriptControl::Impl>(global, kGlobalImplSlot);
}

TScriptControl::Impl* ImplOfCurrentGlobal(JSContext* cx) {
  JSObject* global = JS::CurrentGlobalOrNull(cx);
  return global ? ImplOfGlobal(global) : nullptr;
}

// Remembers where the script is as the stop takes effect: the first frame in one of
// the control's texts (code from eval has lines of its own).
void NoteStopPlace(JSContext* cx) {
  TEngine& e = Engine();
  if (e.stopPlaceTaken) return;
  e.stopPlaceTaken = true;
  TScriptControl::Impl* impl = ImplOfCurrentGlobal(cx);
  JS::RootedObject stack(cx);
  if (!impl || !JS::CaptureCurrentStack(cx, &stack) || !stack) {
    JS_ClearPendingException(cx);
    return;
  }
  TScriptError place;
  if (impl->FrameLocation(cx, stack, place)) e.stopPlace = place;
  JS_ClearPendingException(cx);
}

void RunInterruptHandler(JSContext* cx) {
  TEngine& e = Engine();
  if (!e.interruptHandler || e.inInterrupt) return;
  // Interrupts stay off while the handler runs; the flag goes back as it was, since
  // storing `true` here would switch them off for good.
  const bool wasDisabled = JS_DisableInterruptCallback(cx);
  e.inInterrupt = true;
  try {
    e.interruptHandler();
  } catch (const std::exception& ex) {
    std::cerr << "orvel: the interrupt handler failed: " << ex.what() << std::endl;
  }
  e.inInterrupt = false;
  JS_ResetInterruptCallback(cx, wasDisabled);
}

// Also called for the engine's own reasons: it only acts on the watchdog's requests
// and on a stop, and otherwise lets the script go on.
[[nodiscard]] bool OnEngineInterrupt(JSContext* cx) {
  TEngine& e = Engine();
  if (e.depth == 0 || e.inInterrupt) return true;
  if (e.stop.load() == int(TStopReason::None) && e.interruptDue.exchange(false))
    RunInterruptHandler(cx);
  if (e.stop.load() == int(TStopReason::None)) return true;
  NoteStopPlace(cx);
  return false;
}

[[nodiscard]] JSObject* MethodReader(JSContext* cx, JS::HandleValue key) {
  TScriptControl::Impl* impl = ImplOfCurrentGlobal(cx);
  if (!impl || !impl->methodReader) {
    // The error is pending now; null is how this function reports it.
    static_cast<void>(ThrowHostError(cx, "No script control for this object", E_UNEXPECTED));
    return nullptr;
  }
  JS::RootedValueArray<1> args(cx);
  args[0].set(key);
  JS::RootedValue factory(cx, JS::ObjectValue(*impl->methodReader));
  JS::RootedValue reader(cx);
  if (!JS::Call(cx, JS::UndefinedHandleValue, factory, args, &reader)) return nullptr;
  return &reader.toObject();
}

// Lower-case names of every member of every object ever added with its members as
// global names. Only grows: it answers "may resolve", so too many is harmless.
std::vector<std::string>& AnyGlobalMemberName() {
  static std::vector<std::string> names;
  return names;
}

// Lets the engine's compiler cache lookups of globals that can be no member.
bool GlobalMayResolve(const JSAtomState&, jsid id, JSObject*) {
  if (!id.isString()) return false;
  JSLinearString* s = id.toLinearString();
  const size_t n = JS::GetLinearStringLength(s);
  if (n == 0 || n > kMaxMemberName) return false;
  char lower[kMaxMemberName];
  for (size_t i = 0; i < n; ++i) {
    const char16_t c = JS::GetLinearStringCharAt(s, i);
    if (c >= 0x80) return false;
    lower[i] = char(c >= 'A' && c <= 'Z' ? c + 32 : c);
  }
  const std::vector<std::string>& all = AnyGlobalMemberName();
  return std::binary_search(all.begin(), all.end(), std::string_view(lower, n),
                            [](std::string_view a, std::string_view b) { return a < b; });
}

[[nodiscard]] bool GlobalResolve(JSContext* cx, JS::HandleObject obj, JS::HandleId id,
                                 bool* resolvedp) {
  *resolvedp = false;
  if (!id.isString()) return true;
  TScriptControl::Impl* impl = ImplOfGlobal(obj);
  return impl ? impl->ResolveGlobalMember(cx, obj, id, resolvedp) : true;
}

bool ToJs(JSContext* cx, const Variant& v, JS::MutableHandleValue out) {
  switch (v.type()) {
    case VarType::Null:
      out.setNull();
      return true;
    case VarType::I4:
    case VarType::Int:
      out.setInt32(v.AsI4());
      return true;
    case VarType::UI4:
      out.set(JS::NumberValue(v.AsUI4()));
      return true;
    case VarType::R8:
      out.set(JS::NumberValue(v.AsR8()));
      return true;
    case VarType::Bool:
      out.setBoolean(v.AsBool());
      return true;
    case VarType::BStr: {
      TOwnedText* text = v.OwnedText();
      JSString* s = text ? NewStringTakingText(cx, *text) : NewString(cx, v.AsString());
      if (!s) return false;
      out.setString(s);
      return true;
    }
    case VarType::Dispatch: {
      if (!v.AsDispatch()) {
        out.setNull();
        return true;
      }
      TScriptControl::Impl* impl = ImplOfCurrentGlobal(cx);
      if (!impl) return ThrowHostError(cx, "No script control for this object", E_UNEXPECTED);
      JSObject* wrapper = impl->Wrap(cx, v.AsDispatch().get());
      if (!wrapper) return false;
      out.setObject(*wrapper);
      return true;
    }
    default:
      out.setUndefined();
      return true;
  }
}

void TrackRejection(JSContext*, bool, JS::HandleObject promise,
                    JS::PromiseRejectionHandlingState state, void*) {
  JSObject* global = JS::GetNonCCWObjectGlobal(promise);
  if (!global || JS::GetClass(global) != &kGlobalClass) return;
  if (TScriptControl::Impl* impl = ImplOfGlobal(global)) impl->TrackRejection(promise, state);
}

void SweepWrappers(JSTracer* trc, void*) {
  for (TScriptControl::Impl* impl : Engine().controls) {
    for (auto it = impl->wrappers.begin(); it != impl->wrappers.end();) {
      if (JS_UpdateWeakPointerAfterGC(trc, &it->second))
        ++it;
      else
        it = impl->wrappers.erase(it);
    }
  }
}

}  // namespace

bool TScriptControl::Impl::FrameLocation(JSContext* cx, JS::HandleObject stack, TScriptError& err) {
  // The first frame in one of our texts: code that eval or Function compiled has
  // lines of its own, which mean nothing in the executed text.
  JS::RootedObject frame(cx, stack);
  while (frame) {
    JS::RootedString source(cx);
    if (JS::GetSavedFrameSource(cx, nullptr, frame, &source) != JS::SavedFrameResult::Ok || !source)
      return false;
    std::string name;
    if (!ToUtf8(cx, source, name)) {
      JS_ClearPendingException(cx);
      return false;
    }
    // The engine widens a file name byte by byte: take the bytes back.
    if (!texts.count(name)) name = NarrowToBytes(cx, source);
    if (texts.count(name)) {
      uint32_t line = 0, column = 0;
      JS::GetSavedFrameLine(cx, nullptr, frame, &line);
      JS::GetSavedFrameColumn(cx, nullptr, frame, &column);
      err.Line = int(line);
      err.Column = column > 0 ? int(column) - 1 : 0;  // frames count from 1
      err.SourceName = name;
      return true;
    }
    JS::RootedObject parent(cx);
    if (JS::GetSavedFrameParent(cx, nullptr, frame, &parent) != JS::SavedFrameResult::Ok)
      return false;
    frame = parent;
  }
  return false;
}

void TScriptControl::Impl::TrackRejection(JS::HandleObject promise,
                                          JS::PromiseRejectionHandlingState state) {
  if (destroying || !rejections.initialized()) return;
  JSObject** found = std::find(rejections.begin(), rejections.end(), promise.get());
  if (state == JS::PromiseRejectionHandlingState::Handled) {
    if (found != rejections.end()) rejections.erase(found);
  } else if (found == rejections.end() && !rejections.append(promise)) {
    // Out of memory: this rejection goes unreported rather than failing the script.
  }
}

namespace {

std::string StopDescription(int32_t timeoutMs) {
  if (Engine().stop.load() == int(TStopReason::Timeout))
    return "The script was stopped: it ran longer than its time limit of " +
           std::to_string(timeoutMs) + " ms";
  return "The script was stopped";
}

}  // namespace

// Uncatchable: nothing was thrown. A stop tells where the script was.
TScriptError TScriptControl::Impl::ErrorFromStop(const std::string& sourceName) {
  TEngine& e = Engine();
  TScriptError err;
  err.SourceName = sourceName;
  if (e.stopPlaceTaken && !e.stopPlace.SourceName.empty()) {
    err = e.stopPlace;
    auto text = texts.find(err.SourceName);
    if (text != texts.end()) err.Text = LineOfText(text->second, err.Line);
  }
  err.Description = "The script was stopped";
  return err;
}

TScriptError TScriptControl::Impl::ErrorFromPending(JSContext* cx, bool compiled,
                                                    const std::string& sourceName) {
  JS::ExceptionStack stack(cx);
  if (!JS::StealPendingExceptionStack(cx, &stack)) return ErrorFromStop(sourceName);
  return ErrorFromException(cx, stack, compiled, sourceName, false);
}

// A rejection nobody handled is reported as a throw of its reason would be. An Error
// carries the place it was made; any other reason is placed where the promise was
// rejected, or where it was made.
TScriptError TScriptControl::Impl::ErrorFromRejection(JSContext* cx, JS::HandleObject promise,
                                                      const std::string& sourceName) {
  JS::RootedValue reason(cx, JS::GetPromiseResult(promise));
  JS::RootedObject site(cx);
  if (reason.isObject()) {
    JS::RootedObject obj(cx, &reason.toObject());
    if (JS_ErrorFromException(cx, obj)) site = JS::ExceptionStackOrNull(obj);
  }
  if (!site) site = JS::GetPromiseResolutionSite(promise);
  if (!site) site = JS::GetPromiseAllocationSite(promise);
  JS::ExceptionStack stack(cx, reason, site);
  return ErrorFromException(cx, stack, true, sourceName, true);
}

TScriptError TScriptControl::Impl::ErrorFromException(JSContext* cx,
                                                      const JS::ExceptionStack& stack,
                                                      bool compiled, const std::string& sourceName,
                                                      bool rejected) {
  TScriptError err;
  err.SourceName = sourceName;
  JS::ErrorReportBuilder builder(cx);
  if (!builder.init(cx, stack, JS::ErrorReportBuilder::NoSideEffects)) {
    JS_ClearPendingException(cx);
    err.Description = "Unknown script error";
    return err;
  }
  const JSErrorReport* report = builder.report();
  if (const char* msg = report->message().c_str()) err.Description = msg;

  // Compile errors count columns from 0, run-time locations from 1: normalise here.
  if (!compiled) {
    err.Line = int(report->lineno);
    err.Column = int(report->column);
  } else {
    JS::RootedObject frames(cx, stack.stack());
    if (!FrameLocation(cx, frames, err)) {
      err.Line = int(report->lineno);
      const int col = int(report->column);
      err.Column = report->linebuf() ? col : std::max(col - 1, 0);
      if (report->filename) err.SourceName = report->filename;
    }
  }

  bool isError = false;
  if (stack.exception().isObject()) {
    JS::RootedObject obj(cx, &stack.exception().toObject());
    JS::Rooted<mozilla::Maybe<JS::PropertyDescriptor>> desc(cx);
    isError = JS_ErrorFromException(cx, obj) != nullptr;
    if (isError && JS_GetOwnPropertyDescriptor(cx, obj, "number", &desc) && desc.isSome() &&
        desc->isDataDescriptor() && desc->value().isNumber())
      err.Number = int(JS::ToInt32(desc->value().toNumber()));
    JS_ClearPendingException(cx);
  }
  if (rejected) {
    // The reason's own text under a prefix of its own: the engine's prefix for thrown
    // values would claim a throw, and an Error without a message still has its name.
    static const std::string kThrownPrefix = "uncaught exception: ";
    std::string reasonText = err.Description;
    if (!isError && reasonText.compare(0, kThrownPrefix.size(), kThrownPrefix) == 0)
      reasonText.erase(0, kThrownPrefix.size());
    if (isError && reasonText.empty() && builder.toStringResult()) {
      reasonText = builder.toStringResult().c_str();  // "TypeError: "
      while (!reasonText.empty() && (reasonText.back() == ' ' || reasonText.back() == ':'))
        reasonText.pop_back();
    }
    err.Description = "Unhandled promise rejection: " + reasonText;
  }

  auto text = texts.find(err.SourceName);
  if (text != texts.end()) {
    if (!compiled) {
      PlaceCompileError(text->second, err.Description, err.Line, err.Column);
    } else if (!isError && !rejected && stack.exception().isObject()) {
      // The engine places a thrown object or array at the last part of its literal.
      if (!ThrowStatementStart(cx, text->second, err.Line, err.Column))
        JS_ClearPendingException(cx);
    }
    err.Text = LineOfText(text->second, err.Line);
  }
  if (isError && compiled) err.Column = ThrowKeywordColumn(err.Text, err.Column);
  return err;
}

// ---------------------------------------------------------------------------------

void InitScriptEngine() {
  TEngine& e = Engine();
  if (e.started) return;
  // The engine allocates and frees blocks of megabytes while it compiles and runs a
  // long script. By default such a block is mapped anew and unmapped when freed, so
  // its pages fault in again at the next one (2,000 faults, 4 ms of a 50,000-line
  // run). These are the most glibc raises the limits to by itself as large blocks are
  // freed; set now, the engine's blocks are reused from the start.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  if (!JS_Init()) throw Exception("The script engine could not start");
  e.started = true;
  std::atexit(EndEngineAtExit);
}

void ShutdownScriptEngine() {
  TEngine& e = Engine();
  // A control still alive owns engine objects; leaving the context is the lesser harm.
  if (!e.cx || !e.controls.empty()) return;
  e.tools.reset();
  StopWatchdog();
  JS_GC(e.cx);
  DrainPending();
  JS_RemoveWeakPointerZonesCallback(e.cx, SweepWrappers);
  JS_DestroyContext(e.cx);
  e.cx = nullptr;
  e.ended = true;
  DrainPending();
}

namespace {

// gc(): a full collection on demand, for stress runs only (ORVEL_TEST_GC set). The
// releases it queues still wait for the next safe point.
[[nodiscard]] bool TestCollectGarbage(JSContext* cx, unsigned argc, JS::Value* vp) {
  JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
  JS_GC(cx);
  args.rval().setUndefined();
  return true;
}

bool TestHooksWanted() {
  const char* v = std::getenv("ORVEL_TEST_GC");
  return v && *v && std::string(v) != "0";
}

}  // namespace

TScriptControl::TScriptControl() : impl_(std::make_unique<Impl>()) {
  JSContext* cx = EnsureContext();
  impl_->cx = cx;
  JS::RealmOptions options;
  JS::RootedObject global(
      cx, JS_NewGlobalObject(cx, &kGlobalClass, nullptr, JS::FireOnNewGlobalHook, options));
  if (!global) {
    JS_ClearPendingException(cx);
    throw Exception("The script engine could not create a global scope");
  }
  JS::SetReservedSlot(global, kGlobalImplSlot, JS::PrivateValue(impl_.get()));
  {
    JSAutoRealm realm(cx, global);
    JS::RootedObject errorProto(cx), objectProto(cx), guard(cx);
    // The standard classes are defined up front, as a resolve hook would define them
    // anyway: every top-level declaration would otherwise pass through that hook.
    if (!JS::InitRealmStandardClasses(cx) ||
        !JS_GetClassPrototype(cx, JSProto_Object, &objectProto) ||
        !(guard = JS_NewObjectWithGivenProto(cx, &kGuardClass, objectProto)) ||
        !JS_GetClassPrototype(cx, JSProto_Error, &errorProto) ||
        !JS_DefineProperty(cx, errorProto, "description", ErrorDescriptionGet, ErrorDescriptionSet,
                           0) ||
        (TestHooksWanted() && !JS_DefineFunction(cx, global, "gc", TestCollectGarbage, 0, 0))) {
      const std::string msg = TakePendingMessage(cx);
      JS::SetReservedSlot(global, kGlobalImplSlot, JS::PrivateValue(nullptr));
      throw Exception("The script engine could not set up its global scope: " + msg);
    }
    impl_->guard.init(cx, guard);
    // A method's getter: the function the object keeps under the member's symbol (made
    // on the first read by the prototype's getter of that symbol).
    static constexpr char kReader[] =
        "(function (key) { return function () { return this[key]; }; })";
    JS::CompileOptions compile(cx);
    compile.setFileAndLine("host-members", 1);
    JS::SourceText<mozilla::Utf8Unit> readerSource;
    JS::RootedValue reader(cx);
    if (!readerSource.init(cx, kReader, sizeof kReader - 1, JS::SourceOwnership::Borrowed) ||
        !JS::Evaluate(cx, compile, readerSource, &reader)) {
      const std::string msg = TakePendingMessage(cx);
      JS::SetReservedSlot(global, kGlobalImplSlot, JS::PrivateValue(nullptr));
      throw Exception("The script engine could not set up its global scope: " + msg);
    }
    impl_->methodReader.init(cx, &reader.toObject());
  }
  impl_->global.init(cx, global);
  impl_->rejections.init(cx);
  Engine().controls.push_back(impl_.get());
}

TScriptControl::~TScriptControl() {
  Impl& im = *impl_;
  im.destroying = true;
  JSContext* cx = im.cx;
  // Sweeping must be over before the wrappers are read: the map then holds only live ones.
  if (JS::IsIncrementalGCInProgress(cx)) JS::FinishIncrementalGC(cx, JS::GCReason::API);

  // Detach every wrapper: its reference is released here, not by a later finalizer.
  std::vector<TAutoObject*> held;
  for (auto& entry : im.wrappers) {
    if (JSObject* wrapper = entry.second) {
      JS::SetReservedSlot(wrapper, kHostSlot, JS::PrivateValue(nullptr));
      held.push_back(entry.first);
    }
  }
  im.wrappers.clear();
  std::vector<Impl::TItem> items = std::move(im.items);
  im.items.clear();
  JS::SetReservedSlot(im.global, kGlobalImplSlot, JS::PrivateValue(nullptr));
  im.global.reset();
  im.guard.reset();
  im.methodReader.reset();
  im.interfaces.clear();
  im.rejections.reset();
  im.texts.clear();
  auto& controls = Engine().controls;
  controls.erase(std::remove(controls.begin(), controls.end(), &im), controls.end());
  // The realm is unreachable now; free it while no script runs.
  if (Engine().depth == 0) JS_GC(cx);

  // Releases last: they may destroy components, which may fire events into scripts.
  // In the order the objects were made, which is the order they lie in memory: the
  // map's order would touch them at random.
  std::sort(held.begin(), held.end(),
            [](const TAutoObject* a, const TAutoObject* b) { return a->Serial() < b->Serial(); });
  for (TAutoObject* obj : held) ReleaseQuietly(obj);
  for (Impl::TItem& item : items) {
    try {
      item.Object.reset();
    } catch (...) {
      ReportDroppedException("releasing an added object failed");
    }
  }
  DrainPending();
}

void TScriptControl::SetLanguage(const std::string& name) {
  if (!SameText(name, "JScript") && !SameText(name, "JavaScript") && !SameText(name, "ECMAScript"))
    throw Exception("Script language not supported: " + name);
  language_ = name;
}

void TScriptControl::AddObject(const std::string& name, const IDispatchPtr& object,
                               bool addMembers) {
  Impl& im = *impl_;
  if (im.destroying) throw Exception("The script control is being destroyed");
  if (name.empty()) throw Exception("An object added to the script engine needs a name");
  if (!object) throw Exception("No object given for the name " + name);
  for (const Impl::TItem& item : im.items)
    if (item.Name == name) throw Exception("An object named " + name + " is already added");

  JSContext* cx = im.cx;
  JSAutoRealm realm(cx, im.global);
  JS::RootedObject wrapper(cx, im.Wrap(cx, object.get()));
  if (!wrapper) throw Exception(TakePendingMessage(cx));
  const std::u16string wide = Utf8ToUtf16(name);
  JS::RootedValue value(cx, JS::ObjectValue(*wrapper));
  if (!JS_DefineUCProperty(cx, im.global, wide.data(), wide.size(), value,
                           JSPROP_ENUMERATE | JSPROP_READONLY | JSPROP_PERMANENT))
    throw Exception("Cannot add the object " + name + ": " + TakePendingMessage(cx));
  im.items.push_back({name, object, addMembers});
  if (addMembers) {
    for (const TMemberInfo& m : object->Interface().Members) {
      std::string lower = m.Name;
      for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
      const auto at = std::lower_bound(im.globalNames.begin(), im.globalNames.end(),
                                       std::make_pair(lower, size_t(0)));
      std::vector<std::string>& any = AnyGlobalMemberName();
      const auto anyAt = std::lower_bound(any.begin(), any.end(), lower);
      if (anyAt == any.end() || *anyAt != lower) any.insert(anyAt, lower);
      // First added wins on a clash.
      if (at == im.globalNames.end() || at->first != lower)
        im.globalNames.insert(at, {lower, im.items.size() - 1});
      if (!lower.empty() && lower.size() <= kMaxMemberName &&
          static_cast<unsigned char>(lower[0]) < 0x80)
        im.globalNameShapes[static_cast<unsigned char>(lower[0])] |= uint64_t(1)
                                                                     << (lower.size() - 1);
    }
  }
}

namespace {

// Tells the watchdog that an outermost statement runs, with its deadline, for as long
// as the guard lives.
class TWatchGuard {
 public:
  TWatchGuard(bool outermost, int32_t timeoutMs) : active_(outermost) {
    if (!active_) return;
    TEngine& e = Engine();
    {
      std::lock_guard<std::mutex> lock(e.watchMutex);
      e.statementRunning = true;
      e.limitMs = timeoutMs;
      e.deadline = timeoutMs > 0 ? TClock::now() + std::chrono::milliseconds(timeoutMs)
                                 : TClock::time_point::max();
    }
    e.watchSignal.notify_one();
  }
  ~TWatchGuard() {
    if (!active_) return;
    TEngine& e = Engine();
    std::lock_guard<std::mutex> lock(e.watchMutex);
    e.statementRunning = false;
    e.deadline = TClock::time_point::max();
  }
  TWatchGuard(const TWatchGuard&) = delete;
  TWatchGuard& operator=(const TWatchGuard&) = delete;

 private:
  bool active_;
};

}  // namespace

void TScriptControl::ExecuteStatement(std::string text, const std::string& sourceName) {
  Impl& im = *impl_;
  if (im.destroying) throw Exception("The script control is being destroyed");
  if (language_.empty()) throw Exception("The script language is not set");
  TEngine& e = Engine();
  // Events that the workbench's interrupt let through must not run script text in
  // the middle of the statement that was interrupted: they run once it is over.
  if (e.inInterrupt) {
    im.heldBack.emplace_back(std::move(text), sourceName);
    return;
  }
  JSContext* cx = im.cx;
  if (StopPending()) {
    // Nothing starts once a stop was asked for.
    error_.Clear();
    error_.SourceName = sourceName;
    error_.Description = StopDescription(e.limitMs);
    if (!e.stopReported) {
      e.stopReported = true;
      if (OnError) OnError(this);
    }
    throw EScriptError(error_.Description);
  }
  TDepthGuard depth(depth_);
  const bool outermost = e.depth == 1;
  TWatchGuard watch(outermost, timeout_);
  JSAutoRealm realm(cx, im.global);
  std::string& kept = im.texts[sourceName];
  kept = std::move(text);
  if (outermost) im.rejections.clear();

  // The engine keeps a copy of the source it compiles. ASCII text is compiled as it
  // stands (a character is a byte in either form, so lines and columns are the same);
  // other text is converted once into a block the engine takes over.
  const bool ascii = IsAscii(kept);
  JS::SourceText<mozilla::Utf8Unit> narrow;
  JS::SourceText<char16_t> wide;
  bool sourceReady = false;
  if (ascii) {
    sourceReady = narrow.init(cx, kept.data(), kept.size(), JS::SourceOwnership::Borrowed);
  } else if (char16_t* units = js_pod_malloc<char16_t>(kept.size())) {
    sourceReady =
        wide.init(cx, units, Utf8ToUtf16(kept, units), JS::SourceOwnership::TakeOwnership);
  } else {
    JS_ReportOutOfMemory(cx);
  }
  JS::CompileOptions options(cx);
  options.setFileAndLine(sourceName.c_str(), 1).setNoScriptRval(true);
  bool compiled = false;
  bool ok = false;
  if (sourceReady) {
    JS::RootedScript script(
        cx, ascii ? JS::Compile(cx, options, narrow) : JS::Compile(cx, options, wide));
    compiled = script != nullptr;
    ok = compiled && JS_ExecuteScript(cx, script);
  }
  // Promise reactions run once the outermost statement is done, as a job queue would.
  // A rejection still unhandled then fails the statement as an uncaught throw would.
  JS::RootedObject rejected(cx);
  if (ok && outermost) {
    js::RunJobs(cx);
    if (JS_IsExceptionPending(cx)) JS_ClearPendingException(cx);
    if (!im.rejections.empty()) rejected = im.rejections[0];
  }
  if (outermost) im.rejections.clear();
  // A stop that ended a reaction, or a statement that caught what the stop ended
  // below it, still ends here.
  const bool stopped = StopPending() && !JS_IsExceptionPending(cx);
  if (stopped) {
    ok = false;
    rejected = nullptr;
  }
  if (ok && !rejected) return;

  if (stopped) {
    error_ = im.ErrorFromStop(sourceName);
    error_.Description = StopDescription(e.limitMs);
    // One report for a stop, at the innermost statement it ended.
    if (!e.stopReported) {
      e.stopReported = true;
      if (OnError) OnError(this);
    }
    throw EScriptError(error_.Description);
  }
  error_ = rejected ? im.ErrorFromRejection(cx, rejected, sourceName)
                    : im.ErrorFromPending(cx, compiled, sourceName);
  if (OnError) OnError(this);
  // The reactions that a failed statement queued still run, as after any script that
  // threw; left queued they would run inside whatever statement came next. The error
  // reported stays the statement's own.
  if (!ok && outermost && !im.destroying) {
    const auto own = error_;
    js::RunJobs(cx);
    if (JS_IsExceptionPending(cx)) JS_ClearPendingException(cx);
    im.rejections.clear();
    error_ = own;
  }
  throw EScriptError(error_.Description);
}

bool TScriptControl::HasHeldBack() const {
  return !impl_->heldBack.empty();
}

void TScriptControl::RunHeldBack() {
  Impl& im = *impl_;
  TEngine& e = Engine();
  if (e.depth > 0 || e.inInterrupt || im.destroying) return;
  std::vector<std::pair<std::string, std::string>> queue;
  queue.swap(im.heldBack);
  for (const auto& [text, name] : queue) {
    // A stop drops what is left: the run is ending.
    if (StopPending() || im.destroying) break;
    try {
      ExecuteStatement(text, name);
    } catch (const EScriptError&) {
      // Reported through OnError like any event statement's failure.
    } catch (...) {
      ReportDroppedException("a held-back statement failed");
    }
  }
}

void TScriptControl::ReleasePending() {
  DrainPending();
}

void TScriptControl::CollectGarbage() {
  JS_GC(impl_->cx);
}

// ---------------------------------------------------------------------------------
// Stopping.

void RequestScriptStop(TStopReason reason) {
  // Only a lock-free store: this may run in a signal handler.
  int none = int(TStopReason::None);
  Engine().stop.compare_exchange_strong(none, int(reason));
}

TStopReason ScriptStopRequested() {
  return TStopReason(Engine().stop.load());
}

void ClearScriptStop() {
  TEngine& e = Engine();
  e.stop.store(int(TStopReason::None));
  e.stopPlaceTaken = false;
  e.stopPlace.Clear();
  e.stopReported = false;
}

void SetScriptInterruptHandler(std::function<void()> handler) {
  Engine().interruptHandler = std::move(handler);
}

void SetScriptStopListener(std::function<void()> listener) {
  TEngine& e = Engine();
  std::lock_guard<std::mutex> lock(e.watchMutex);
  e.stopListener = std::move(listener);
}

void SetScriptWatchdog(bool on) {
  TEngine& e = Engine();
  {
    std::lock_guard<std::mutex> lock(e.watchMutex);
    e.watchOn = on;
  }
  e.watchSignal.notify_all();
}

bool InsideScriptInterrupt() {
  return Engine().inInterrupt;
}

bool ScriptWaitPoint() {
  TEngine& e = Engine();
  if (e.depth > 0 && e.cx && !StopPending() && e.interruptDue.exchange(false))
    RunInterruptHandler(e.cx);
  return StopPending();
}
