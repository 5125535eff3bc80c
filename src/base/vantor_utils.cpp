#include "vantor_utils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace {

bool IsFolder(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string WithoutTrailingSlashes(std::string path) {
  while (!path.empty() && path.back() == '/') path.pop_back();
  return path;
}

// The folder a log file lives in: "" for a bare name, "/" for a file in the root.
std::string LogFolder(const std::string& fileName) {
  const size_t slash = fileName.rfind('/');
  if (slash == std::string::npos) return {};
  if (slash == 0) return "/";
  return fileName.substr(0, slash);
}

std::string Trim(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
  return text.substr(begin, end - begin);
}

std::string DatedLine(const std::string& msg) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  const size_t n = std::strftime(stamp, sizeof stamp, "%d.%m.%Y %H:%M:%S ", &local);
  std::string line(stamp, n);
  line += msg;
  line += "\r\n";
  return line;
}

[[noreturn]] void ThrowInOut(int error) {
  throw EInOutError(InOutErrorMessage(error), error);
}

void EnsureFolder(const std::string& folder) {
  const std::string dir = WithoutTrailingSlashes(folder);
  if (dir.empty() || IsFolder(dir)) return;  // empty: the root or nothing at all
  const std::string parent = ExtractFilePath(dir);
  if (!parent.empty()) EnsureFolder(parent);
  ::mkdir(dir.c_str(), 0777);  // a failure shows when the file itself is created
}

}  // namespace

std::string ExtractFilePath(const std::string& FileName) {
  const size_t slash = FileName.rfind('/');
  return slash == std::string::npos ? std::string() : FileName.substr(0, slash + 1);
}

std::string InOutErrorMessage(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      // The file is created when missing, so a missing name part is a missing folder.
      return "Invalid filename";
    case EMFILE:
    case ENFILE:
      return "Too many open files";
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      return "File access denied";
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return "Disk full";
    default:
      return "I/O error " + std::to_string(error);
  }
}

void AppendLogLine(const std::string& FileName, const std::string& Msg) {
  if (FileName.empty()) ThrowInOut(ENOENT);
  const std::string folder = LogFolder(FileName);
  if (!folder.empty() && !IsFolder(folder)) ::mkdir(folder.c_str(), 0777);  // one level only

  // O_NONBLOCK: a named pipe without a reader fails instead of blocking the run.
  const int fd =
      ::open(FileName.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) ThrowInOut(errno);

  const std::string line = DatedLine(Msg);
  struct stat before;
  const bool sized = ::fstat(fd, &before) == 0;
  ssize_t written;
  do {
    written = ::write(fd, line.data(), line.size());
  } while (written < 0 && errno == EINTR);
  int error = written < 0 ? errno : 0;
  if (written >= 0 && static_cast<size_t>(written) < line.size()) {
    // A short write means the disk is full; take the partial line back unless someone
    // else has appended since, so that no half line stays in the file.
    struct stat after;
    const bool onlyOurs = sized && written > 0 && ::fstat(fd, &after) == 0 &&
                          after.st_size == before.st_size + written;
    if (onlyOurs && ::ftruncate(fd, before.st_size) != 0) {
      // The half line stays; the disk-full error below is what the caller can act on.
    }
    error = ENOSPC;
  }
  if (::close(fd) != 0 && error == 0 && errno != EINTR) error = errno;
  if (error != 0) ThrowInOut(error);
}

void SplitAtSeparator(const std::string& Text, const std::string& Separator, std::string& Head,
                      std::string& Rest) {
  const size_t at = Separator.empty() ? std::string::npos : Text.find(Separator);
  if (at == std::string::npos) {
    Head = Trim(Text);
    Rest.clear();
    return;
  }
  // Computed before assigning: Head or Rest may be the same string as Text.
  std::string head = Trim(Text.substr(0, at));
  std::string rest = Trim(Text.substr(at + Separator.size()));
  Head = std::move(head);
  Rest = std::move(rest);
}

void ForceFileFolder(const std::string& FileName) {
  const std::string folder = ExtractFilePath(FileName);
  if (folder.empty()) throw EInOutError("Unable to create directory", ENOENT);
  EnsureFolder(folder);
}
