#include "u_preprocess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string_view>
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
  // One read of the size the file announces; a file that grows meanwhile is read on
  // to its end.
  std::string text;
  text.resize(st.st_size > 0 ? static_cast<size_t>(st.st_size) + 1 : 65536);
  size_t have = 0;
  for (;;) {
    if (have == text.size()) text.resize(text.size() * 2);
    const ssize_t got = ::read(fd, &text[have], text.size() - have);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int error = errno;
      ::close(fd);
      throw Exception("Cannot read file \"" + FullPath(name) + "\". " + std::strerror(error));
    }
    if (got == 0) break;
    have += static_cast<size_t>(got);
  }
  text.resize(have);
  ::close(fd);
  return text;
}

// Lines end at CR LF, a lone CR or a lone LF; a NUL byte ends the text. The number of
// lines in the first n bytes.
size_t CountLines(const char* p, size_t n) {
  size_t lines = 0;
  for (const char* at = p; (at = static_cast<const char*>(std::memchr(at, '\n', p + n - at))); ++at)
    ++lines;
  for (const char* at = p; (at = static_cast<const char*>(std::memchr(at, '\r', p + n - at))); ++at)
    if (at + 1 == p + n || at[1] != '\n') ++lines;  // a lone CR
  if (n > 0 && p[n - 1] != '\n' && p[n - 1] != '\r') ++lines;
  return lines;
}

// One file being expanded: its text and the place of the next line to look at. Lines
// are cut from the text as they are taken, so the file's text is held once.
struct TOpenFile {
  std::string Name;
  int64_t Index;
  std::string Text;
  size_t End = 0;    // where the text ends (at its first NUL byte, if any)
  size_t Pos = 0;    // start of the next line
  int64_t Line = 0;  // 0-based index of the next line

  bool AtEnd() const { return Pos >= End; }
  std::string_view NextLine() {
    const char* p = Text.data();
    size_t stop = Pos;
    while (stop < End && p[stop] != '\r' && p[stop] != '\n') ++stop;
    std::string_view line(p + Pos, stop - Pos);
    if (stop < End && p[stop] == '\r' && stop + 1 < End && p[stop + 1] == '\n') ++stop;
    Pos = stop + 1;
    // "#!" makes the file a command; the engine must not see it, later lines keep
    // their numbers.
    if (Line++ == 0 && line.compare(0, 2, "#!") == 0) return std::string_view();
    return line;
  }
};

// Enters FileName in Files and reads its text; `lines` is set to its number of lines.
TOpenFile OpenFile(const std::string& FileName, std::vector<std::string>& Files, size_t& lines) {
  if (!IsFile(FileName)) throw Exception("File not found: " + FileName);
  TOpenFile file{FileName, static_cast<int64_t>(Files.size()), {}};
  Files.push_back(FileName);
  file.Text = ReadWholeFile(FileName);
  file.End = std::min(file.Text.find('\0'), file.Text.size());
  lines = CountLines(file.Text.data(), file.End);
  // The line index has 16 bits in an origin code; a longer file would be reported
  // against the wrong file and line.
  if (static_cast<int64_t>(lines) > kMaxLinesPerFile)
    throw Exception("File has more than " + std::to_string(kMaxLinesPerFile) +
                    " lines: " + FileName);
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

// Room for `more` lines at once, growing geometrically: a long chain of small files
// must not reallocate the list once per file.
void ReserveFor(std::vector<TExpandedLine>& Lines, size_t more) {
  const size_t needed = Lines.size() + more;
  if (needed > Lines.capacity()) Lines.reserve(std::max(needed, 2 * Lines.capacity()));
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
  size_t lines = 0;
  chain.push_back(OpenFile(FileName, Files, lines));
  entered.insert(FileName);
  ReserveFor(Lines, lines);

  static const std::string_view kDirective = "#include ";
  while (!chain.empty()) {
    TOpenFile& file = chain.back();
    if (file.AtEnd()) {
      chain.pop_back();
      continue;
    }
    const int64_t origin = file.Index * 65536 + file.Line;
    const std::string_view line = file.NextLine();
    if (line.empty() || line[0] != '#' || line.compare(0, kDirective.size(), kDirective) != 0) {
      Lines.push_back({std::string(line), origin});
      continue;
    }

    std::string path;
    const char form = line.size() > kDirective.size() ? line[kDirective.size()] : '\0';
    const size_t nameStart = kDirective.size() + 1;
    if (form == '"' || form == '\'' || form == '<') {
      const size_t close = line.find(form == '<' ? '>' : form, nameStart);
      if (close == std::string_view::npos)
        throw Exception("Failure directive: " + std::string(line));
      const std::string name(line.substr(nameStart, close - nameStart));
      path = form == '<' ? LibraryPath(name) : ResolveIncludePath(name, file.Name);
    } else {
      path = line;  // not a form we know: no file carries such a name
    }

    if (entered.count(path)) continue;
    TOpenFile next = OpenFile(path, Files, lines);  // may throw: `file` is still valid here
    entered.insert(path);
    ReserveFor(Lines, lines);
    chain.push_back(std::move(next));
  }
}
