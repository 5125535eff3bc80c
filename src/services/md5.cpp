#include "md5.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "Project1_TLB.h"

namespace {

inline uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline void Store32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

inline uint32_t Rotl(uint32_t x, int n) {
  return (x << n) | (x >> (32 - n));
}

// The four rounds, written out so that every shift and constant is an immediate.
#define MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))
#define MD5_STEP(f, a, b, c, d, x, t, s) \
  (a) += (x) + (t) + f((b), (c), (d));   \
  (a) = Rotl((a), (s)) + (b)
// G split in two independent terms: the message word and constant are added while
// the previous step is still finishing.
#define MD5_STEP_G(a, b, c, d, x, t, s) \
  (a) += (x) + (t) + (~(d) & (c));      \
  (a) += (d) & (b);                     \
  (a) = Rotl((a), (s)) + (b)

// Processes `blocks` consecutive 64-byte blocks.
void Transform(uint32_t state[4], const uint8_t* data, size_t blocks) {
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (; blocks > 0; --blocks, data += 64) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = Load32(data + 4 * i);
    const uint32_t aa = a, bb = b, cc = c, dd = d;

    MD5_STEP(MD5_F, a, b, c, d, x[0], 0xd76aa478, 7);
    MD5_STEP(MD5_F, d, a, b, c, x[1], 0xe8c7b756, 12);
    MD5_STEP(MD5_F, c, d, a, b, x[2], 0x242070db, 17);
    MD5_STEP(MD5_F, b, c, d, a, x[3], 0xc1bdceee, 22);
    MD5_STEP(MD5_F, a, b, c, d, x[4], 0xf57c0faf, 7);
    MD5_STEP(MD5_F, d, a, b, c, x[5], 0x4787c62a, 12);
    MD5_STEP(MD5_F, c, d, a, b, x[6], 0xa8304613, 17);
    MD5_STEP(MD5_F, b, c, d, a, x[7], 0xfd469501, 22);
    MD5_STEP(MD5_F, a, b, c, d, x[8], 0x698098d8, 7);
    MD5_STEP(MD5_F, d, a, b, c, x[9], 0x8b44f7af, 12);
    MD5_STEP(MD5_F, c, d, a, b, x[10], 0xffff5bb1, 17);
    MD5_STEP(MD5_F, b, c, d, a, x[11], 0x895cd7be, 22);
    MD5_STEP(MD5_F, a, b, c, d, x[12], 0x6b901122, 7);
    MD5_STEP(MD5_F, d, a, b, c, x[13], 0xfd987193, 12);
    MD5_STEP(MD5_F, c, d, a, b, x[14], 0xa679438e, 17);
    MD5_STEP(MD5_F, b, c, d, a, x[15], 0x49b40821, 22);

    MD5_STEP_G(a, b, c, d, x[1], 0xf61e2562, 5);
    MD5_STEP_G(d, a, b, c, x[6], 0xc040b340, 9);
    MD5_STEP_G(c, d, a, b, x[11], 0x265e5a51, 14);
    MD5_STEP_G(b, c, d, a, x[0], 0xe9b6c7aa, 20);
    MD5_STEP_G(a, b, c, d, x[5], 0xd62f105d, 5);
    MD5_STEP_G(d, a, b, c, x[10], 0x02441453, 9);
    MD5_STEP_G(c, d, a, b, x[15], 0xd8a1e681, 14);
    MD5_STEP_G(b, c, d, a, x[4], 0xe7d3fbc8, 20);
    MD5_STEP_G(a, b, c, d, x[9], 0x21e1cde6, 5);
    MD5_STEP_G(d, a, b, c, x[14], 0xc33707d6, 9);
    MD5_STEP_G(c, d, a, b, x[3], 0xf4d50d87, 14);
    MD5_STEP_G(b, c, d, a, x[8], 0x455a14ed, 20);
    MD5_STEP_G(a, b, c, d, x[13], 0xa9e3e905, 5);
    MD5_STEP_G(d, a, b, c, x[2], 0xfcefa3f8, 9);
    MD5_STEP_G(c, d, a, b, x[7], 0x676f02d9, 14);
    MD5_STEP_G(b, c, d, a, x[12], 0x8d2a4c8a, 20);

    MD5_STEP(MD5_H, a, b, c, d, x[5], 0xfffa3942, 4);
    MD5_STEP(MD5_H, d, a, b, c, x[8], 0x8771f681, 11);
    MD5_STEP(MD5_H, c, d, a, b, x[11], 0x6d9d6122, 16);
    MD5_STEP(MD5_H, b, c, d, a, x[14], 0xfde5380c, 23);
    MD5_STEP(MD5_H, a, b, c, d, x[1], 0xa4beea44, 4);
    MD5_STEP(MD5_H, d, a, b, c, x[4], 0x4bdecfa9, 11);
    MD5_STEP(MD5_H, c, d, a, b, x[7], 0xf6bb4b60, 16);
    MD5_STEP(MD5_H, b, c, d, a, x[10], 0xbebfbc70, 23);
    MD5_STEP(MD5_H, a, b, c, d, x[13], 0x289b7ec6, 4);
    MD5_STEP(MD5_H, d, a, b, c, x[0], 0xeaa127fa, 11);
    MD5_STEP(MD5_H, c, d, a, b, x[3], 0xd4ef3085, 16);
    MD5_STEP(MD5_H, b, c, d, a, x[6], 0x04881d05, 23);
    MD5_STEP(MD5_H, a, b, c, d, x[9], 0xd9d4d039, 4);
    MD5_STEP(MD5_H, d, a, b, c, x[12], 0xe6db99e5, 11);
    MD5_STEP(MD5_H, c, d, a, b, x[15], 0x1fa27cf8, 16);
    MD5_STEP(MD5_H, b, c, d, a, x[2], 0xc4ac5665, 23);

    MD5_STEP(MD5_I, a, b, c, d, x[0], 0xf4292244, 6);
    MD5_STEP(MD5_I, d, a, b, c, x[7], 0x432aff97, 10);
    MD5_STEP(MD5_I, c, d, a, b, x[14], 0xab9423a7, 15);
    MD5_STEP(MD5_I, b, c, d, a, x[5], 0xfc93a039, 21);
    MD5_STEP(MD5_I, a, b, c, d, x[12], 0x655b59c3, 6);
    MD5_STEP(MD5_I, d, a, b, c, x[3], 0x8f0ccc92, 10);
    MD5_STEP(MD5_I, c, d, a, b, x[10], 0xffeff47d, 15);
    MD5_STEP(MD5_I, b, c, d, a, x[1], 0x85845dd1, 21);
    MD5_STEP(MD5_I, a, b, c, d, x[8], 0x6fa87e4f, 6);
    MD5_STEP(MD5_I, d, a, b, c, x[15], 0xfe2ce6e0, 10);
    MD5_STEP(MD5_I, c, d, a, b, x[6], 0xa3014314, 15);
    MD5_STEP(MD5_I, b, c, d, a, x[13], 0x4e0811a1, 21);
    MD5_STEP(MD5_I, a, b, c, d, x[4], 0xf7537e82, 6);
    MD5_STEP(MD5_I, d, a, b, c, x[11], 0xbd3af235, 10);
    MD5_STEP(MD5_I, c, d, a, b, x[2], 0x2ad7d2bb, 15);
    MD5_STEP(MD5_I, b, c, d, a, x[9], 0xeb86d391, 21);

    a += aa;
    b += bb;
    c += cc;
    d += dd;
  }
  state[0] = a;
  state[1] = b;
  state[2] = c;
  state[3] = d;
}

#undef MD5_STEP
#undef MD5_STEP_G
#undef MD5_F
#undef MD5_H
#undef MD5_I

// Wiping through a volatile pointer, so the compiler cannot drop it as a dead store.
void Wipe(void* p, size_t n) {
  volatile uint8_t* v = static_cast<volatile uint8_t*>(p);
  while (n--) *v++ = 0;
}

// Files are read in large blocks: the digest keeps up with the disk only when the
// per-read overhead is small.
constexpr size_t kReadBlock = 1 << 20;

// Another process (or this one) holding the file open for writing could change it
// under the digest. Linux has no share modes; a read lease can be taken only while
// nobody has the file open for writing, so trying one answers the question. Where
// leases are not available (not our file, a file system without them) the open
// goes ahead.
bool OpenForWritingElsewhere(int fd) {
  // A lease break would raise SIGIO, whose default action ends the program; the lease
  // lives only for these two calls, but route the signal to one that is ignored.
  if (::fcntl(fd, F_SETSIG, SIGURG) != 0) return false;
  if (::fcntl(fd, F_SETLEASE, F_RDLCK) != 0) return errno == EAGAIN;
  ::fcntl(fd, F_SETLEASE, F_UNLCK);
  return false;
}

}  // namespace

void DigestInit(DigestContext& context) {
  std::memset(&context, 0, sizeof context);
  context.State[0] = 0x67452301;
  context.State[1] = 0xefcdab89;
  context.State[2] = 0x98badcfe;
  context.State[3] = 0x10325476;
}

void DigestUpdate(DigestContext& context, const void* bytes, size_t count) {
  const uint8_t* input = static_cast<const uint8_t*>(bytes);
  const size_t pending = (context.Count[0] >> 3) & 63;

  // The bit count is kept modulo 2^64 in two words.
  const uint64_t bits = (static_cast<uint64_t>(context.Count[1]) << 32 | context.Count[0]) +
                        (static_cast<uint64_t>(count) << 3);
  context.Count[0] = static_cast<uint32_t>(bits);
  context.Count[1] = static_cast<uint32_t>(bits >> 32);

  size_t used = 0;
  if (pending > 0) {
    const size_t fill = 64 - pending;
    if (count < fill) {
      std::memcpy(context.Buffer + pending, input, count);
      return;
    }
    std::memcpy(context.Buffer + pending, input, fill);
    Transform(context.State, context.Buffer, 1);
    used = fill;
  }
  const size_t blocks = (count - used) / 64;
  if (blocks > 0) {
    Transform(context.State, input + used, blocks);
    used += blocks * 64;
  }
  if (used < count) std::memcpy(context.Buffer, input + used, count - used);
}

Digest DigestFinal(DigestContext& context) {
  uint8_t length[8];
  Store32(length, context.Count[0]);
  Store32(length + 4, context.Count[1]);

  static const uint8_t kPadding[64] = {0x80};
  const size_t pending = (context.Count[0] >> 3) & 63;
  const size_t padLength = pending < 56 ? 56 - pending : 120 - pending;
  DigestUpdate(context, kPadding, padLength);
  DigestUpdate(context, length, 8);

  Digest digest;
  for (int i = 0; i < 4; ++i) Store32(digest.data() + 4 * i, context.State[i]);
  Wipe(&context, sizeof context);
  return digest;
}

Digest DigestBuffer(const void* bytes, size_t count) {
  DigestContext context;
  DigestInit(context);
  DigestUpdate(context, bytes, count);
  return DigestFinal(context);
}

Digest DigestString(const std::string& text) {
  return DigestBuffer(text.data(), text.size());
}

Digest DigestStream(int fd) {
  DigestContext context;
  DigestInit(context);

  struct stat st;
  // Size 0 also stands for files whose size is not known ahead (pipes, /proc): those
  // are read to their end.
  const uint64_t size = ::fstat(fd, &st) == 0 && st.st_size > 0 ? st.st_size : 0;
  const off_t position = ::lseek(fd, 0, SEEK_CUR);
  if (position >= 0) ::lseek(fd, 0, SEEK_SET);

  std::unique_ptr<uint8_t[]> buffer(new uint8_t[kReadBlock]);
  uint64_t total = 0;
  while (size == 0 || total < size) {
    size_t want = kReadBlock;
    if (size > 0 && size - total < want) want = static_cast<size_t>(size - total);
    const ssize_t got = ::read(fd, buffer.get(), want);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;  // a read error ends the data like the end of the file
    DigestUpdate(context, buffer.get(), static_cast<size_t>(got));
    total += static_cast<uint64_t>(got);
  }

  if (position >= 0) ::lseek(fd, position, SEEK_SET);
  return DigestFinal(context);
}

Digest DigestFile(const std::string& FileName) {
  // Only regular files: a pipe or a device could block the open or never end. The
  // open does not wait for a writer of a named pipe.
  const int fd =
      FileName.empty() ? -1 : ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  struct stat st;
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || OpenForWritingElsewhere(fd)) {
    if (fd >= 0) ::close(fd);
    throw Exception("Cannot open file " + FileName);
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  try {
    const Digest digest = DigestStream(fd);
    ::close(fd);
    return digest;
  } catch (...) {
    ::close(fd);
    throw;
  }
}

std::string DigestToHex(const Digest& digest) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text(32, '0');
  for (size_t i = 0; i < digest.size(); ++i) {
    text[2 * i] = kDigits[digest[i] >> 4];
    text[2 * i + 1] = kDigits[digest[i] & 15];
  }
  return text;
}
