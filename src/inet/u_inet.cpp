#include "u_inet.h"

#include <chrono>

#include "u_inettools.h"
#include "vantor_utils.h"

namespace {

constexpr std::chrono::milliseconds InetTimeLimit{30000};

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
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
      result = toString(args.at(0).AsString());
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

std::string TInet::toString(const std::string& url) {
  return FetchToText(url, NoByteLimit, InetTimeLimit);
}

std::string TInet::headers(const std::string& url) {
  return QueryHttpInfo(url, HTTP_QUERY_RAW_HEADERS_CRLF);
}

std::string TInet::queryInfo(const std::string& url, uint32_t type_info) {
  return QueryHttpInfo(url, type_info);
}

int32_t TInet::toFile(const std::string& url, const std::string& filename) {
  std::string ignored;
  return FetchToFile(url, filename, NoByteLimit, InetTimeLimit, ignored);
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
  std::string wanted = LowerAscii(param);
  for (const std::string& line : BreakLines(text)) {
    std::string name, value;
    SplitAtSeparator(line, ":", name, value);
    if (LowerAscii(name) == wanted) return value;
  }
  return {};
}

void InitInetUnit() {
  RegisterClassObject(InetClass, []() -> TAutoObject* { return new TInet; });
  InitInetTools();
}

void ShutdownInetTools() {
  EndInetTools();
}
