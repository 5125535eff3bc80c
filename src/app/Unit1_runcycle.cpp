#include "Unit1_runcycle.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <iostream>

#include "u_SupScript.h"
#include "u_inettools.h"
#include "u_jobject.h"

TRunCycle::~TRunCycle() {
  Stop();
}

bool TRunCycle::Busy() const {
  return control_ && control_->Depth() > 0;
}

void TRunCycle::SetActive(bool active) {
  if (active_ == active) return;
  active_ = active;
  if (OnActiveChange) OnActiveChange(active);
}

void TRunCycle::LogLine(const std::string& line) {
  if (Log) {
    Log(line);
  } else if (IWorkbenchOutput* out = WorkbenchOutput()) {
    out->LogLine(line);
  } else {
    std::cout << line << '\n' << std::flush;
  }
}

TRunOutcome TRunCycle::Start(const std::string& mainFile, const std::string& language) {
  InstallInterruptPump();
  failure_.clear();
  errors_ = 0;
  try {
    IncludedFiles.clear();
    ExpandedLines.clear();
    ExpandIncludes(mainFile, ExpandedLines, IncludedFiles);

    std::string code;
    size_t size = 0;
    for (const TExpandedLine& line : ExpandedLines) size += line.Text.size() + 2;
    code.resize(size);
    char* at = code.data();
    for (const TExpandedLine& line : ExpandedLines) {
      std::memcpy(at, line.Text.data(), line.Text.size());
      at += line.Text.size();
      *at++ = '\r';
      *at++ = '\n';
    }

    SetActive(true);
    SysIntf = CoSupScript::Create();
    MainIntf = CoJObject::Create();
    InetIntf = CoInet::Create();

    TJObject* root = HandleOf(MainIntf);
    if (!root) throw Exception("The main object is not a script handle");
    SetupMainObject(root);

    MainFilePath = mainFile;

    // A previous control is only left over when a run attempt failed half way.
    ScriptCtrl = nullptr;
    control_ = std::make_unique<TScriptControl>();
    ScriptCtrl = control_.get();
    ScriptCtrl->SetAllowUI(false);
    ScriptCtrl->OnError = [this](TScriptControl* sender) { ScriptControlError(sender); };
    ScriptCtrl->SetLanguage(language);
    ScriptCtrl->SetTimeout(TimeoutMs);
    ScriptCtrl->AddObject("sys", SysIntf, true);
    ScriptCtrl->AddObject("main", MainIntf, true);
    ScriptCtrl->AddObject("inet", InetIntf, true);

    mainSource_ = mainFile;
    ScriptCtrl->ExecuteStatement(std::move(code), mainSource_);
  } catch (const std::exception& e) {
    failure_ = e.what();
    if (!active_) return TRunOutcome::NotStarted;
    return errors_ > 0 ? TRunOutcome::ScriptFailed : TRunOutcome::Failed;
  }
  return TRunOutcome::Ran;
}

void TRunCycle::Stop() {
  if (control_) {
    // Every handle of the run goes here; the components they free go together at
    // the end, each window with all its children at once.
    const TFreeBatch batch(static_cast<size_t>(ObjectCount()));
    EndScriptControl(control_);
    ReleaseHostObjects();
  }
  // The stop has done its work; the next run starts fresh.
  ClearScriptStop();
  ClearInetStop();
  SetActive(false);
}

void TRunCycle::RequestStop() {
  if (Busy()) RequestScriptStop(TStopReason::Stop);
}

namespace {

// Origin codes carry the file index above the line index: file * 65536 + line.
constexpr int64_t kOriginFileUnit = 65536;

}  // namespace

TErrorPlace TRunCycle::ErrorPlace(const TScriptError& error) const {
  TErrorPlace place;
  place.Column = static_cast<int>(std::min<int64_t>(int64_t(error.Column) + 1, INT32_MAX));
  const bool mainText = error.SourceName.empty() || error.SourceName == mainSource_;
  if (mainText) {
    const int n = error.Line;
    if (n >= 1 && static_cast<size_t>(n) <= ExpandedLines.size()) {
      const TExpandedLine& entry = ExpandedLines[n - 1];
      place.Text = entry.Text;
      const int64_t fileIndex = entry.Origin / kOriginFileUnit;
      place.Line = static_cast<int>(entry.Origin % kOriginFileUnit + 1);
      if (fileIndex >= 0 && static_cast<size_t>(fileIndex) < IncludedFiles.size())
        place.File = IncludedFiles[fileIndex];
    }
  } else {
    // An event statement: its own text, line and binding name.
    place.Event = error.SourceName;
    if (error.Line >= 1) place.Line = error.Line;
    place.Text = error.Text;
  }
  return place;
}

std::vector<std::string> TRunCycle::ErrorReport(const TScriptError& error) const {
  const TErrorPlace place = ErrorPlace(error);
  const std::string line = place.Line >= 1 ? std::to_string(place.Line) : "?";
  std::string file = !place.Event.empty() ? place.Event : place.File;
  if (file.empty()) file = "?";
  // An empty line of a file shows as it is; a text that is not known, as "?".
  const bool known = place.Event.empty() ? place.Line >= 1 : !place.Text.empty();
  const std::string source = known ? place.Text : "?";
  return {"err> unit (" + line + ", " + std::to_string(place.Column) + ") " + file,
          "err> " + source, "err> " + error.Description};
}

void TRunCycle::ScriptControlError(TScriptControl* sender) {
  ++errors_;
  TScriptControl* control = sender ? sender : ScriptCtrl;
  if (!control) return;
  const std::vector<std::string> lines = ErrorReport(control->Error());
  if (OnErrorReport) {
    OnErrorReport(lines, ErrorPlace(control->Error()));
    return;
  }
  for (const std::string& line : lines) LogLine(line);
}
