#pragma once
// The script object `inet`: page bodies as text or into files, response headers.

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "Project1_TLB.h"

// The longest string a script can hold, in characters; a body of at most this many
// bytes always fits, whatever its encoding.
constexpr uint64_t ScriptStringLimit = (uint64_t{1} << 30) - 2;

// Headers of one URL as the HEAD query returned them (status line, header lines, each
// ended by CR LF, then an empty line); may be empty.
struct TUrlInfo {
  std::string FHeaders;
};

class TInet final : public TAutoObject {
 public:
  TInet();

 protected:
  void AfterConstruction() override;
  void BeforeDestruction() override;
  void CallMember(const TMemberInfo& member, const std::vector<Variant>& args,
                  Variant& result) override;

 private:
  std::unique_ptr<TOwnedText> toString(const std::string& url);
  std::string headers(const std::string& url);
  std::string queryInfo(const std::string& url, uint32_t type_info);
  int32_t toFile(const std::string& url, const std::string& filename);
  std::string header(const std::string& url, const std::string& param);

  // Keyed by the URL exactly as the script passed it: sorted, case-sensitive.
  std::unique_ptr<std::map<std::string, std::unique_ptr<TUrlInfo>>> FHeaderCache;
};

// Registers the class object of Inet and starts the HTTP client library. Called once at
// start-up, after InitJObjectUnit and InitSupScriptUnit, before any thread starts.
void InitInetUnit();
// Program end: closes the kept connection and the session, ends the HTTP client library.
void ShutdownInetTools();
