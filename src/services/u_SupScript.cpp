#include "u_SupScript.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <thread>

#include "Classes.h"
#include "md5.h"
#include "vantor_utils.h"

std::string MainFilePath;

namespace {

IWorkbenchOutput* gOutput = nullptr;

}  // namespace

void SetWorkbenchOutput(IWorkbenchOutput* out) {
  gOutput = out;
}

IWorkbenchOutput* WorkbenchOutput() {
  return gOutput;
}

void InitSupScriptUnit() {
  RegisterClassObject(SupScriptClass, []() -> TAutoObject* { return new TSupScript; });
  RegisterCreatableClasses();
}

std::string ResolveLogFileName(const std::string& name) {
  if (!name.empty() && name[0] == '/') return name;
  return ExtractFilePath(MainFilePath) + name;
}

TSupScript::TSupScript() : TAutoObject(SupScriptClass) {}

void TSupScript::CallMember(const TMemberInfo& member, const std::vector<Variant>& args,
                            Variant& result) {
  // Dispatch identifiers of ISupScript; the get and put of fileLog share theirs.
  switch (member.DispId) {
    case SupScriptDispId::out:
      out(args.at(0).AsString());
      break;
    case SupScriptDispId::listObj:
      result = listObj();
      break;
    case SupScriptDispId::sleep:
      sleep(args.at(0).AsI4());
      break;
    case SupScriptDispId::listClassName:
      result = listClassName();
      break;
    case SupScriptDispId::path:
      result = path();
      break;
    case SupScriptDispId::self:
      result = Variant::FromUI4(self());
      break;
    case SupScriptDispId::md5:
      result = md5(args.at(0).AsString());
      break;
    case SupScriptDispId::md5_file:
      result = md5_file(args.at(0).AsString());
      break;
    case SupScriptDispId::status:
      status(args.at(0).AsString());
      break;
    case SupScriptDispId::fileLog:
      if (member.Kind == MemberKind::PropertyPut)
        FFileLog = args.at(0).AsString();
      else
        result = FFileLog;
      break;
    case SupScriptDispId::log:
      log(args.at(0).AsString(), args.at(1).AsString());
      break;
    case SupScriptDispId::getObj:
      result = getObj(args.at(0).AsString());
      break;
    default:
      throw Exception(std::string("not available: ") + member.Name);
  }
}

void TSupScript::out(const std::string& msg) {
  // The file first: when it cannot be written the line does not reach the log either.
  if (!FFileLog.empty()) AppendLogLine(ResolveLogFileName(FFileLog), msg);
  if (IWorkbenchOutput* output = WorkbenchOutput())
    output->LogLine(msg);
  else
    std::cout << msg << '\n' << std::flush;
}

namespace {

std::function<bool()>& SleepSliceHandler() {
  static std::function<bool()> handler;
  return handler;
}

}  // namespace

void SetSleepSliceHandler(std::function<bool()> handler) {
  SleepSliceHandler() = std::move(handler);
}

void TSupScript::sleep(int32_t millisec) {
  if (millisec < 0)
    throw Exception("sleep: the time must not be negative (" + std::to_string(millisec) + " ms)");
  // Short slices keep the workbench answering and let Stop end a long sleep at once.
  constexpr auto kSlice = std::chrono::milliseconds(10);
  using Clock = std::chrono::steady_clock;
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(millisec);
  for (Clock::time_point now = Clock::now(); now < end; now = Clock::now()) {
    std::this_thread::sleep_for(std::min<Clock::duration>(kSlice, end - now));
    if (SleepSliceHandler() && SleepSliceHandler()()) return;
  }
}

std::string TSupScript::listClassName() {
  FClassNames.clear();
  for (const auto& name : RegisteredClassNames()) {
    if (!FClassNames.empty()) FClassNames += ',';
    FClassNames += name;
  }
  return FClassNames;
}

namespace {

IObjectDirectory& Directory() {
  IObjectDirectory* directory = ObjectDirectory();
  if (!directory) throw Exception("The object registry has not been started");
  return *directory;
}

}  // namespace

std::string TSupScript::listObj() {
  return Directory().ListObjectNames();
}

Variant TSupScript::getObj(const std::string& NameObj) {
  return Variant(Directory().GetRegisteredObject(NameObj));
}

std::string TSupScript::path() {
  return MainFilePath;
}

uint32_t TSupScript::self() {
  return Serial();
}

std::string TSupScript::md5(const std::string& str) {
  return DigestToHex(DigestString(str));
}

std::string TSupScript::md5_file(const std::string& filename) {
  return DigestToHex(DigestFile(filename));
}

void TSupScript::status(const std::string& str) {
  if (IWorkbenchOutput* output = WorkbenchOutput()) output->StatusText(str);
}

void TSupScript::log(const std::string& file, const std::string& msg) {
  if (file.empty()) throw Exception("log: the log file name is empty");
  AppendLogLine(ResolveLogFileName(file), msg);
}
