#pragma once
// MD5 digests (RFC 1321) of buffers, strings and files, and their text form.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

using Digest = std::array<uint8_t, 16>;

struct DigestContext {
  uint32_t State[4];
  uint32_t Count[2];  // message length in bits, low word first
  uint8_t Buffer[64];
};

void DigestInit(DigestContext& context);
void DigestUpdate(DigestContext& context, const void* bytes, size_t count);
// Pads, encodes the digest and wipes the context.
Digest DigestFinal(DigestContext& context);

Digest DigestBuffer(const void* bytes, size_t count);
Digest DigestString(const std::string& text);
// Digest of the contents of an open file descriptor from its start; the file offset
// is restored afterwards. A read error ends the data early, as end of file would.
Digest DigestStream(int fd);
// Throws Exception "Cannot open file <name>" when the file cannot be opened for
// reading (missing, a folder, no rights, or held open for writing by another process).
Digest DigestFile(const std::string& FileName);
// 32 upper-case hexadecimal digits.
std::string DigestToHex(const Digest& digest);
