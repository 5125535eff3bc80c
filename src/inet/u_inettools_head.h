#pragma once
// Internal to the HTTP layer: the head of one response as the client received it, and
// the items that the information levels read from it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TResponseHead {
  // Status line first, then the header lines, without their line ends.
  std::vector<std::string> Lines;
  bool Complete = false;  // the empty line after the headers arrived

  // One line as received, line end included; a status line starts the head anew.
  void AddLine(const char* data, size_t size);
  // 0: version, 1: status code, 2: reason phrase.
  std::string StatusToken(int index) const;
  bool IsInterim() const;
  // The item of an information level; empty for a level without one.
  std::string Info(uint32_t level) const;
};

// "http://name:port/path" for the client, the port taken from a trailing ":digits" of
// the host, else 80.
std::string ConnectionUrl(const std::string& host, const std::string& path);
bool ValidRequestUrl(const std::string& url);
