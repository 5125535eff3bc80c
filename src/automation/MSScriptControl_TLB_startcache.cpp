#include "MSScriptControl_TLB_startcache.h"

#include <fcntl.h>
#include <js/BuildId.h>
#include <js/Initialization.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// Every context first compiles the engine's self-hosted library code: about 7 ms, a
// fifth of a short run's CPU. Its compiled form is kept in
// $XDG_CACHE_HOME/orvel/engine-code.bin (~/.cache when unset): a header with the
// engine library's build id, the length and a digest, then the engine's own encoding.
// The engine trusts what it decodes, so a file whose header or digest does not match
// is never handed to it.

namespace {

constexpr char Magic[8] = {'O', 'R', 'V', 'E', 'L', 'S', 'H', '1'};
constexpr size_t MaxPayload = 64u << 20;

// The GNU build id of the loaded engine library, as hex; empty when it has none.
std::string EngineLibraryBuildId() {
  std::string id;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* out) -> int {
        if (!info->dlpi_name || !std::strstr(info->dlpi_name, "libmozjs")) return 0;
        for (int i = 0; i < info->dlpi_phnum; ++i) {
          const ElfW(Phdr)& ph = info->dlpi_phdr[i];
          if (ph.p_type != PT_NOTE) continue;
          // NOLINTNEXTLINE(performance-no-int-to-ptr): the loader gives the base as a number
          const char* p = reinterpret_cast<const char*>(info->dlpi_addr + ph.p_vaddr);
          const char* end = p + ph.p_memsz;
          while (p + sizeof(ElfW(Nhdr)) <= end) {
            const auto* note = reinterpret_cast<const ElfW(Nhdr)*>(p);
            const char* name = p + sizeof(ElfW(Nhdr));
            const char* desc = name + ((note->n_namesz + 3) & ~3u);
            if (desc + note->n_descsz > end) break;
            if (note->n_type == NT_GNU_BUILD_ID && note->n_namesz == 4 &&
                std::memcmp(name, "GNU", 4) == 0) {
              auto& text = *static_cast<std::string*>(out);
              static const char Hex[] = "0123456789abcdef";
              for (uint32_t k = 0; k < note->n_descsz; ++k) {
                const auto byte = static_cast<unsigned char>(desc[k]);
                text += Hex[byte >> 4];
                text += Hex[byte & 15];
              }
              return 1;
            }
            p = desc + ((note->n_descsz + 3) & ~3u);
          }
        }
        return 0;
      },
      &id);
  return id;
}

// The key of the cached form; also the build id the engine writes into its encoding.
const std::string& CacheKey() {
  static const std::string key = [] {
    const std::string id = EngineLibraryBuildId();
    return id.empty() ? id : "mozjs " + id + " orvel 1";
  }();
  return key;
}

bool CacheBuildId(JS::BuildIdCharVector* out) {
  return out->append(CacheKey().data(), CacheKey().size());
}

std::string CacheFile() {
  std::string folder;
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  const char* home = std::getenv("HOME");
  if (xdg && xdg[0] == '/')
    folder = xdg;
  else if (home && home[0] == '/')
    folder = std::string(home) + "/.cache";
  else
    return {};
  return folder + "/orvel/engine-code.bin";
}

uint64_t Digest(const uint8_t* data, size_t size) {
  uint64_t h = 0xcbf29ce484222325ull;
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t word;
    std::memcpy(&word, data + i, 8);
    h = (h ^ word) * 0x100000001b3ull;
    h ^= h >> 29;
  }
  for (; i < size; ++i) h = (h ^ data[i]) * 0x100000001b3ull;
  return h;
}

std::vector<uint8_t> Header(size_t payloadSize, uint64_t digest) {
  const std::string& key = CacheKey();
  std::vector<uint8_t> head(Magic, Magic + sizeof Magic);
  const uint64_t fields[] = {key.size(), payloadSize, digest};
  const auto* raw = reinterpret_cast<const uint8_t*>(fields);
  head.insert(head.end(), raw, raw + sizeof fields);
  head.insert(head.end(), key.begin(), key.end());
  return head;
}

// The payload of a sound cache file, or empty.
std::vector<uint8_t> ReadCache(const std::string& path) {
  std::vector<uint8_t> bytes;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return bytes;
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
      static_cast<uint64_t>(st.st_size) <= MaxPayload) {
    bytes.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    bytes.resize(got);
  }
  ::close(fd);
  const size_t fixed = sizeof Magic + 3 * sizeof(uint64_t);
  if (bytes.size() < fixed || std::memcmp(bytes.data(), Magic, sizeof Magic) != 0) return {};
  uint64_t fields[3];
  std::memcpy(fields, bytes.data() + sizeof Magic, sizeof fields);
  const std::string& key = CacheKey();
  if (fields[0] != key.size() || bytes.size() - fixed < key.size() ||
      std::memcmp(bytes.data() + fixed, key.data(), key.size()) != 0)
    return {};
  const size_t start = fixed + key.size();
  if (fields[1] == 0 || fields[1] != bytes.size() - start ||
      Digest(bytes.data() + start, bytes.size() - start) != fields[2])
    return {};
  bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(start));
  return bytes;
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Whole or not at all: written beside the file, then renamed over it. Never fails the
// engine's start.
bool WriteCache(JSContext*, JS::SelfHostedCache code) {
  const std::string path = CacheFile();
  if (path.empty() || code.empty() || code.size() > MaxPayload) return true;
  const std::string folder = path.substr(0, path.rfind('/'));
  ::mkdir(folder.substr(0, folder.rfind('/')).c_str(), 0700);
  ::mkdir(folder.c_str(), 0700);
  const std::string temp = path + "." + std::to_string(::getpid()) + ".part";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return true;
  const std::vector<uint8_t> head = Header(code.size(), Digest(code.data(), code.size()));
  bool ok = WriteAll(fd, head.data(), head.size()) && WriteAll(fd, code.data(), code.size());
  ok = ::close(fd) == 0 && ok;
  if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) ::unlink(temp.c_str());
  return true;
}

}  // namespace

bool InitEngineLibraryCode(JSContext* cx) {
  const std::string path = CacheFile();
  if (CacheKey().empty() || path.empty()) return JS::InitSelfHostedCode(cx);
  JS::SetProcessBuildIdOp(CacheBuildId);
  // The engine reads from this block for as long as it runs: never freed.
  static const std::vector<uint8_t>* const Kept = new std::vector<uint8_t>(ReadCache(path));
  if (Kept->empty()) return JS::InitSelfHostedCode(cx, nullptr, WriteCache);
  return JS::InitSelfHostedCode(cx, JS::SelfHostedCache(Kept->data(), Kept->size()));
}
