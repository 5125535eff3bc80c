#pragma once
// The script's service object `sys`: log and status output, pauses, class and object
// listings, named-object lookup, the main file's name, MD5 digests and log files.

#include <functional>
#include <string>
#include <vector>

#include "Project1_TLB.h"

// Where `sys` writes: the workbench window implements it; headless runs use stdout.
struct IWorkbenchOutput {
  virtual ~IWorkbenchOutput() = default;
  virtual void LogLine(const std::string& line) = 0;     // one line into the log memo
  virtual void StatusText(const std::string& text) = 0;  // status bar text
};

// Null: log lines go to stdout, status text is dropped.
void SetWorkbenchOutput(IWorkbenchOutput* out);
IWorkbenchOutput* WorkbenchOutput();

// The main file of the current run exactly as typed; written by the run cycle.
extern std::string MainFilePath;

// `sleep` waits in short slices and calls this between them: the workbench handles its
// events there, and true ends the wait early (the statement is being stopped). Set by
// the run cycle; without it the sleep only waits.
void SetSleepSliceHandler(std::function<bool()> handler);

// Registers the class object of SupScript and the creatable component classes.
void InitSupScriptUnit();

// A log-file name completed with the folder of MainFilePath unless it is absolute.
std::string ResolveLogFileName(const std::string& name);

class TSupScript final : public TAutoObject {
 public:
  TSupScript();

 protected:
  void CallMember(const TMemberInfo& member, const std::vector<Variant>& args,
                  Variant& result) override;

 private:
  ~TSupScript() override = default;

  void out(const std::string& msg);
  void sleep(int32_t millisec);
  std::string listClassName();
  std::string listObj();
  Variant getObj(const std::string& NameObj);
  std::string path();
  uint32_t self();
  std::string md5(const std::string& str);
  std::string md5_file(const std::string& filename);
  void status(const std::string& str);
  void log(const std::string& file, const std::string& msg);

  std::string FFileLog;
  std::string FClassNames;
};
