#pragma once
// Small routines several units share: dated log lines, splitting at a separator,
// making a file's folders exist.

#include <string>

#include "SysUtils.h"

// The runtime's input/output error: a message and the system error number behind it.
class EInOutError : public Exception {
 public:
  EInOutError(const std::string& message, int code) : Exception(message), ErrorCode(code) {}
  int ErrorCode;
};

// Appends "dd.mm.yyyy hh:mm:ss " + Msg + CR LF to FileName, creating the file and one
// missing folder level. The line goes out in one write, so a reader or another writer
// never sees part of it. Throws EInOutError with the runtime's input/output message
// ("Invalid filename", "File access denied", ...) when the line cannot be written.
void AppendLogLine(const std::string& FileName, const std::string& Msg);

// Head = Text before the first Separator, Rest = Text after it, both trimmed of
// characters 0..32 at their ends. Not found (or empty Separator): Head = trimmed
// Text, Rest empty.
void SplitAtSeparator(const std::string& Text, const std::string& Separator, std::string& Head,
                      std::string& Rest);

// Creates every missing folder of FileName's folder part. Throws EInOutError
// "Unable to create directory" for a name without a folder; creation failures are
// left to the later file creation to report.
void ForceFileFolder(const std::string& FileName);

// Folder part of a path including its trailing "/" ("" for a bare name).
std::string ExtractFilePath(const std::string& FileName);

// The runtime's input/output message for a system error number (errno).
std::string InOutErrorMessage(int error);
