#pragma once
// Expansion of #include directives into one list of lines, each tagged with the file
// and line it came from, so that an engine error can be shown against the user's file.

#include <cstdint>
#include <string>
#include <vector>

struct TExpandedLine {
  std::string Text;  // the line as read, without its terminator
  int64_t Origin;    // file index * 65536 + 0-based line index within that file
};

// Lines per file that an origin code can tell apart; a longer file is refused.
constexpr int64_t kMaxLinesPerFile = 65536;

// Appends the expansion of FileName to Lines and every file it opens to Files
// (entry 0: FileName as given). Throws Exception on the first failure; what was
// appended before stays.
void ExpandIncludes(const std::string& FileName, std::vector<TExpandedLine>& Lines,
                    std::vector<std::string>& Files);

// The folder searched for <name> includes, with its trailing "/". Default: "lib/"
// beside the running executable.
void SetLibraryFolder(const std::string& folder);
std::string LibraryFolder();

// The installed program's library folder, searched after LibraryFolder(). Default: the
// data folder of the installation that holds the running executable.
void SetInstalledLibraryFolder(const std::string& folder);
std::string InstalledLibraryFolder();
