#include "u_inet.h"

#include <chrono>
#include <clocale>
#include <cwctype>

#include "u_inettools.h"
#include "vantor_utils.h"

namespace {

constexpr std::chrono::milliseconds InetTimeLimit{30000};

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Unicode lower case of UTF-8 text, whatever locale the process runs in; bytes that
// are not UTF-8 stay as they are.
std::string LowerText(const std::string& s) {
  static const locale_t Utf8 = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    return l ? l : newlocale(LC_CTYPE_MASK, "", nullptr);
  }();
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t len = c < 0x80             ? 1
                 : (c & 0xE0) == 0xC0 ? 2
                 : (c & 0xF0) == 0xE0 ? 3
                 : (c & 0xF8) == 0xF0 ? 4
                                      : 0;
    uint32_t cp = len == 1 ? c : len == 2 ? c & 0x1F : len == 3 ? c & 0x0F : c & 0x07;
    bool ok = len > 0 && i + len <= s.size();
    for (size_t k = 1; ok && k < len; ++k) {
      unsigned char cc = static_cast<unsigned char>(s[i + k]);
      ok = (cc & 0xC0) == 0x80;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (!ok) {
      out += s[i++];
      continue;
    }
    if (c < 0x80)
      cp = cp >= 'A' && cp <= 'Z' ? cp + 32 : cp;
    else if (Utf8)
      cp = static_cast<uint32_t>(towlower_l(static_cast<wint_t>(cp), Utf8));
    AppendUtf8(out, cp);
    i += len;
  }
  return out;
}

// Lines end at CR, LF or CR LF; the text ends at its first zero character.
std::vector<std::string> BreakLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t end = text.find('\0');
  if (end == std::string::npos) end = text.size();
  size_t i = 0;
  while (i < end) {
    size_t start = i;
    while (i < end && text[i] != '\r' && text[i] != '\n') ++i;
    lines.push_back(text.substr(start, i - start));
    if (i < end && text[i] == '\r') ++i;
    if (i < end && text[i] == '\n') ++i;
  }
  return lines;
}

}  // namespace

TInet::TInet() : TAutoObject(InetClass) {}

void TInet::AfterConstruction() {
  FHeaderCache = std::make_unique<std::map<std::string, std::unique_ptr<TUrlInfo>>>();
}

void TInet::BeforeDestruction() {
  FHeaderCache.reset();
}

void TInet::CallMember(const TMemberInfo& member, const std::vector<Variant>& args,
                       Variant& result) {
  switch (member.DispId) {
    case InetDispId::toString:
      result = Variant(toString(args.at(0).AsString()));
      break;
    case InetDispId::headers:
      result = headers(args.at(0).AsString());
      break;
    case InetDispId::queryInfo:
      result = queryInfo(args.at(0).AsString(), args.at(1).AsUI4());
      break;
    case InetDispId::toFile:
      result = Variant::FromInt(toFile(args.at(0).AsString(), args.at(1).AsString()));
      break;
    case InetDispId::header:
      result = header(args.at(0).AsString(), args.at(1).AsString());
      break;
    default:
      throw Exception(std::string("not available: ") + member.Name);
  }
}

std::unique_ptr<TOwnedText> TInet::toString(const std::string& url) {
  // As text that the script's string takes over without a copy.
  return FetchToOwnedText(url, NoByteLimit, InetTimeLimit, ScriptStringLimit);
}

std::string TInet::headers(const std::string& url) {
  return QueryHttpInfo(url, HTTP_QUERY_RAW_HEADERS_CRLF);
}

std::string TInet::queryInfo(const std::string& url, uint32_t type_info) {
  return QueryHttpInfo(url, type_info);
}

int32_t TInet::toFile(const std::string& url, const std::string& filename) {
  // A stopped run neither touches the file nor goes on as if the fetch had failed.
  if (InetStopRequested()) throw Exception(InetStoppedMessage);
  std::string error;
  int32_t status = FetchToFile(url, filename, NoByteLimit, InetTimeLimit, error);
  if (error == InetStoppedMessage) throw Exception(error);
  // A success status with an error means the file did not get the whole body.
  if (!error.empty() && (status == 200 || status == 302)) return -1;
  return status;
}

std::string TInet::header(const std::string& url, const std::string& param) {
  auto found = FHeaderCache->find(url);
  if (found == FHeaderCache->end()) {
    auto info = std::make_unique<TUrlInfo>();
    info->FHeaders = QueryHttpInfo(url, HTTP_QUERY_RAW_HEADERS_CRLF);
    found = FHeaderCache->emplace(url, std::move(info)).first;
  }
  const std::string& text = found->second->FHeaders;
  if (text.empty()) return {};
  std::string wanted = LowerText(param);
  for (const std::string& line : BreakLines(text)) {
    std::string name, value;
    SplitAtSeparator(line, ":", name, value);
    if (LowerText(name) == wanted) return value;
  }
  return {};
}

void InitInetUnit() {
  RegisterClassObject(InetClass, []() -> TAutoObject* { return new TInet; });
}

void ShutdownInetTools() {
  EndInetTools();
}
