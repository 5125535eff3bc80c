#include "u_preprocess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <unordered_set>

#include "SysUtils.h"

namespace {

std::string& LibraryFolderSetting() {
  static std::string folder;
  return folder;
}

std::string& InstalledLibraryFolderSetting() {
  static std::string folder;
  return folder;
}

std::string ExecutableFolder() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "./";
  std::string exe(path, static_cast<size_t>(n));
  return exe.substr(0, exe.rfind('/') + 1);
}

bool IsFile(const std::string& name) {
  struct stat st;
  return !name.empty() && ::stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string CurrentFolder() {
  char buffer[PATH_MAX];
  return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string(".");
}

// Absolute form of a path with "." and ".." resolved and repeated slashes merged,
// keeping a trailing slash; symbolic links are left alone.
std::string FullPath(const std::string& path) {
  const std::string absolute =
      !path.empty() && path[0] == '/' ? path : CurrentFolder() + "/" + path;
  std::vector<std::string> parts;
  size_t begin = 0;
  while (begin <= absolute.size()) {
    size_t end = absolute.find('/', begin);
    if (end == std::string::npos) end = absolute.size();
    const std::string part = absolute.substr(begin, end - begin);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    begin = end + 1;
  }
  std::string result;
  for (const std::string& part : parts) result += "/" + part;
  if (result.empty()) return "/";
  const char last = absolute.back();
  const bool endsInFolder =
      last == '/' ||
      (absolute.size() >= 2 && absolute.compare(absolute.size() - 2, 2, "/.") == 0) ||
      (absolute.size() >= 3 && absolute.compare(absolute.size() - 3, 3, "/..") == 0);
  if (endsInFolder) result += '/';
  return result;
}

std::string ResolveIncludePath(const std::string& name, const std::string& IncludingFile) {
  if (!name.empty() && name[0] == '/') return name;
  const size_t slash = IncludingFile.rfind('/');
  const std::string folder =
      slash == std::string::npos ? std::string() : IncludingFile.substr(0, slash + 1);
  return FullPath(folder + name);
}

std::string ReadWholeFile(const std::string& name) {
  // Not waiting for the writer of a named pipe: a script run must not hang on one.
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    const int error = errno;
    throw Exception("Cannot open file \"" + FullPath(name) + "\". " + std::strerror(error));
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw Exception("Cannot open file \"" + FullPath(name) + "\". Not a regular file");
  }
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int error = errno;
      ::close(fd);
      throw Exception("Cannot read file \"" + FullPath(name) + "\". " + std::strerror(error));
    }
    if (got == 0) break;
    text.append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
  return text;
}

// Lines end at CR LF, a lone CR or a lone LF; a NUL byte ends the text.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  const size_t end = std::min(text.find('\0'), text.size());
  size_t begin = 0;
  while (begin < end) {
    size_t stop = begin;
    while (stop < end && text[stop] != '\r' && text[stop] != '\n') ++stop;
    lines.push_back(text.substr(begin, stop - begin));
    if (stop < end && text[stop] == '\r' && stop + 1 < end && text[stop + 1] == '\n') ++stop;
    begin = stop + 1;
  }
  return lines;
}

// One file being expanded: its lines and the next one to look at.
struct TOpenFile {
  std::string Name;
  int64_t Index;
  std::vector<std::string> Lines;
  size_t Next = 0;
};

// Enters FileName in Files and reads its lines.
TOpenFile OpenFile(const std::string& FileName, std::vector<std::string>& Files) {
  if (!IsFile(FileName)) throw Exception("File not found: " + FileName);
  TOpenFile file{FileName, static_cast<int64_t>(Files.size()), {}};
  Files.push_back(FileName);
  file.Lines = SplitLines(ReadWholeFile(FileName));
  // The line index has 16 bits in an origin code; a longer file would be reported
  // against the wrong file and line.
  if (static_cast<int64_t>(file.Lines.size()) > kMaxLinesPerFile)
    throw Exception("File has more than " + std::to_string(kMaxLinesPerFile) +
                    " lines: " + FileName);
  // "#!" makes the file a command; the engine must not see it, later lines keep
  // their numbers.
  if (!file.Lines.empty() && file.Lines[0].compare(0, 2, "#!") == 0) file.Lines[0].clear();
  return file;
}

// A <name> include: the folder beside the executable first, so a user can override
// a library file of the installed program; then the installed library folder.
std::string LibraryPath(const std::string& name) {
  const std::string beside = LibraryFolder() + name;
  if (IsFile(beside)) return beside;
  const std::string installed = InstalledLibraryFolder() + name;
  return IsFile(installed) ? installed : beside;
}

}  // namespace

void SetLibraryFolder(const std::string& folder) {
  std::string value = folder;
  if (!value.empty() && value.back() != '/') value += '/';
  LibraryFolderSetting() = value;
}

std::string LibraryFolder() {
  std::string& folder = LibraryFolderSetting();
  if (folder.empty()) folder = ExecutableFolder() + "lib/";
  return folder;
}

void SetInstalledLibraryFolder(const std::string& folder) {
  InstalledLibraryFolderSetting() = folder.empty() || folder.back() == '/' ? folder : folder + '/';
}

std::string InstalledLibraryFolder() {
  std::string& folder = InstalledLibraryFolderSetting();
  if (folder.empty()) folder = FullPath(ExecutableFolder() + ORVEL_DATA_FROM_BIN "/lib/");
  return folder;
}

// Depth-first, with the chain of open files on a stack of its own: nesting as deep as
// the files go must not grow the call stack.
void ExpandIncludes(const std::string& FileName, std::vector<TExpandedLine>& Lines,
                    std::vector<std::string>& Files) {
  // Names compare as the file system compares them.
  std::unordered_set<std::string> entered(Files.begin(), Files.end());
  std::vector<TOpenFile> chain;
  chain.push_back(OpenFile(FileName, Files));
  entered.insert(FileName);

  static const std::string kDirective = "#include ";
  while (!chain.empty()) {
    TOpenFile& file = chain.back();
    if (file.Next == file.Lines.size()) {
      chain.pop_back();
      continue;
    }
    const size_t i = file.Next++;
    const std::string& line = file.Lines[i];
    if (line.compare(0, kDirective.size(), kDirective) != 0) {
      Lines.push_back({std::move(file.Lines[i]), file.Index * 65536 + static_cast<int64_t>(i)});
      continue;
    }

    std::string path;
    const char form = line.size() > kDirective.size() ? line[kDirective.size()] : '\0';
    const size_t nameStart = kDirective.size() + 1;
    if (form == '"' || form == '\'' || form == '<') {
      const size_t close = line.find(form == '<' ? '>' : form, nameStart);
      if (close == std::string::npos) throw Exception("Failure directive: " + line);
      const std::string name = line.substr(nameStart, close - nameStart);
      path = form == '<' ? LibraryPath(name) : ResolveIncludePath(name, file.Name);
    } else {
      path = line;  // not a form we know: no file carries such a name
    }

    if (entered.count(path)) continue;
    TOpenFile next = OpenFile(path, Files);  // may throw: `file` is still valid here
    entered.insert(path);
    chain.push_back(std::move(next));
  }
}
