// Variants and the automation conversion rules (the VariantChangeType family).

#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "Project1_TLB.h"

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// A number as the automation runtime parses one: blanks around it, an optional sign,
// digits with at most one decimal point ("." whatever the locale), an optional
// exponent, or "&H"/"&O" followed by hex or octal digits. Anything else, including an
// empty text, is a type mismatch; a value beyond a double's range is an overflow.
HRESULT ParseNumber(const std::string& s, double& out) {
  size_t b = 0, e = s.size();
  while (b < e && IsSpace(s[b])) ++b;
  while (e > b && IsSpace(s[e - 1])) --e;
  if (b == e) return DISP_E_TYPEMISMATCH;
  std::string t = s.substr(b, e - b);

  if (t.size() > 2 && t[0] == '&' && (t[1] == 'H' || t[1] == 'h' || t[1] == 'O' || t[1] == 'o')) {
    const int base = (t[1] == 'H' || t[1] == 'h') ? 16 : 8;
    uint64_t v = 0;
    for (size_t i = 2; i < t.size(); ++i) {
      const char c = t[i];
      int d;
      if (c >= '0' && c <= '9')
        d = c - '0';
      else if (c >= 'a' && c <= 'f')
        d = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F')
        d = c - 'A' + 10;
      else
        return DISP_E_TYPEMISMATCH;
      if (d >= base) return DISP_E_TYPEMISMATCH;
      v = v * base + d;
      if (v > 0xFFFFFFFFull) return DISP_E_OVERFLOW;
    }
    // Like the runtime, 32-bit hex and octal literals are two's-complement values.
    out = static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(v)));
    return S_OK;
  }

  size_t i = 0;
  if (t[i] == '+' || t[i] == '-') ++i;
  size_t digits = 0;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return DISP_E_TYPEMISMATCH;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    size_t expDigits = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++expDigits;
    if (expDigits == 0) return DISP_E_TYPEMISMATCH;
  }
  if (i != t.size()) return DISP_E_TYPEMISMATCH;

  // strtod follows the C locale's decimal point; the program never changes LC_NUMERIC
  // from "C", but Qt may, so parse a copy with the point swapped in if needed.
  const char point = *std::localeconv()->decimal_point;
  if (point != '.')
    for (char& c : t)
      if (c == '.') c = point;
  errno = 0;
  const double v = std::strtod(t.c_str(), nullptr);
  if (errno == ERANGE && std::isinf(v)) return DISP_E_OVERFLOW;
  out = v;
  return S_OK;
}

// Rounds half to even, as the runtime does for every double-to-integer conversion.
double RoundHalfEven(double v) {
  const double r = std::round(v);
  if (std::fabs(v - std::trunc(v)) == 0.5) return 2.0 * std::round(v / 2.0);
  return r;
}

HRESULT DoubleToInt32(double v, int32_t& out) {
  if (std::isnan(v)) return DISP_E_OVERFLOW;
  const double r = RoundHalfEven(v);
  if (r < -2147483648.0 || r > 2147483647.0) return DISP_E_OVERFLOW;
  out = static_cast<int32_t>(r);
  return S_OK;
}

HRESULT DoubleToUInt32(double v, uint32_t& out) {
  if (std::isnan(v)) return DISP_E_OVERFLOW;
  const double r = RoundHalfEven(v);
  if (r < 0.0 || r > 4294967295.0) return DISP_E_OVERFLOW;
  out = static_cast<uint32_t>(r);
  return S_OK;
}

// Fifteen significant digits, exponent form for very large or small values, "." as
// the decimal point: the runtime's text of a double.
std::string DoubleToString(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v < 0 ? "-Infinity" : "Infinity";
  if (v == 0) return "0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15G", v);
  std::string s = buf;
  const char point = *std::localeconv()->decimal_point;
  if (point != '.')
    for (char& c : s)
      if (c == point) c = '.';
  return s;
}

}  // namespace

const char* VarTypeName(VarType t) {
  switch (t) {
    case VarType::Empty:
      return "Empty";
    case VarType::Null:
      return "Null";
    case VarType::I4:
      return "I4";
    case VarType::R8:
      return "R8";
    case VarType::BStr:
      return "BSTR";
    case VarType::Dispatch:
      return "Dispatch";
    case VarType::Bool:
      return "Bool";
    case VarType::Variant:
      return "VARIANT";
    case VarType::UI4:
      return "UI4";
    case VarType::Int:
      return "INT";
    case VarType::Void:
      return "void";
  }
  return "?";
}

Variant Variant::Null() {
  Variant v;
  v.type_ = VarType::Null;
  return v;
}

Variant Variant::ScriptObject(std::string text) {
  Variant v(std::move(text));
  v.scriptObject_ = true;
  return v;
}

Variant Variant::FromUI4(uint32_t v) {
  Variant r;
  r.type_ = VarType::UI4;
  r.i_ = static_cast<int32_t>(v);
  return r;
}

Variant Variant::FromInt(int32_t v) {
  Variant r;
  r.type_ = VarType::Int;
  r.i_ = v;
  return r;
}

Variant::Variant(IDispatchPtr v) : type_(VarType::Dispatch), disp_(std::move(v)) {}

Variant::Variant(std::unique_ptr<TOwnedText> text)
    : type_(VarType::BStr), text_(text ? std::move(text) : std::make_unique<TOwnedText>()) {}

void Variant::TextToString() const {
  s_.assign(text_->Data(), text_->Size());
  text_.reset();
}

// ---------------------------------------------------------------------------------
// Owned text.

TOwnedText::~TOwnedText() {
  std::free(FData);
}

void TOwnedText::Reserve(size_t capacity) {
  if (capacity + 1 <= FCapacity) return;
  void* grown = std::realloc(FData, capacity + 1);
  if (!grown) throw std::bad_alloc();
  FData = static_cast<char*>(grown);
  FCapacity = capacity + 1;
  FData[FSize] = 0;
  // Fresh memory for a large text costs a page fault per 4 KiB page, which dominates
  // filling it; huge pages make that cheap where the system offers them.
  constexpr uintptr_t Huge = 2u << 20;
  if (FCapacity < 2 * Huge) return;
  uintptr_t begin = (reinterpret_cast<uintptr_t>(FData) + Huge - 1) & ~(Huge - 1);
  uintptr_t end = (reinterpret_cast<uintptr_t>(FData) + FCapacity) & ~(Huge - 1);
  // NOLINTNEXTLINE(performance-no-int-to-ptr): the range is computed in huge-page units
  if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

void TOwnedText::Append(const char* data, size_t size) {
  if (FCapacity - FSize < size + 1 || !FData) Reserve(std::max(FSize + size, 2 * FSize));
  std::memcpy(FData + FSize, data, size);
  if (FAscii) {
    // Eight bytes at a time: this runs over every byte of a large body.
    uint64_t high = 0;
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
      uint64_t word;
      std::memcpy(&word, data + i, 8);
      high |= word;
    }
    for (; i < size; ++i) high |= static_cast<unsigned char>(data[i]);
    FAscii = (high & 0x8080808080808080ull) == 0;
  }
  FSize += size;
  FData[FSize] = 0;
}

char* TOwnedText::Release() {
  if (!FData) Reserve(0);
  char* data = FData;
  FData = nullptr;
  FSize = FCapacity = 0;
  FAscii = true;
  return data;
}

HRESULT Variant::ChangeType(VarType to, Variant& out) const {
  if (to == VarType::Variant || to == type_) {
    out = *this;
    return S_OK;
  }
  if (to == VarType::Void) return DISP_E_TYPEMISMATCH;
  if (to == VarType::Empty) {
    out = Variant();
    return S_OK;
  }
  if (type_ == VarType::Null) {
    // Null converts to nothing but itself.
    return DISP_E_TYPEMISMATCH;
  }
  if (to == VarType::Null) return DISP_E_TYPEMISMATCH;
  if (type_ == VarType::Dispatch || to == VarType::Dispatch) {
    // Our objects have no default value member, so there is nothing to convert.
    return DISP_E_TYPEMISMATCH;
  }

  // From here: source and target are among Empty, I4, UI4, Int, R8, Bool, BStr.
  if (to == VarType::BStr) {
    switch (type_) {
      case VarType::Empty:
        out = Variant(std::string());
        return S_OK;
      case VarType::I4:
      case VarType::Int:
        out = Variant(std::to_string(i_));
        return S_OK;
      case VarType::UI4:
        out = Variant(std::to_string(AsUI4()));
        return S_OK;
      case VarType::R8:
        out = Variant(DoubleToString(d_));
        return S_OK;
      case VarType::Bool:
        out = Variant(std::string(b_ ? "True" : "False"));
        return S_OK;
      default:
        return DISP_E_TYPEMISMATCH;
    }
  }

  if (to == VarType::Bool) {
    switch (type_) {
      case VarType::Empty:
        out = Variant(false);
        return S_OK;
      case VarType::I4:
      case VarType::Int:
      case VarType::UI4:
        out = Variant(i_ != 0);
        return S_OK;
      case VarType::R8:
        out = Variant(d_ != 0.0);
        return S_OK;
      case VarType::BStr: {
        std::string t = AsString();
        size_t b = 0, e = t.size();
        while (b < e && IsSpace(t[b])) ++b;
        while (e > b && IsSpace(t[e - 1])) --e;
        t = t.substr(b, e - b);
        if (SameText(t, "True") || SameText(t, "#TRUE#")) {
          out = Variant(true);
          return S_OK;
        }
        if (SameText(t, "False") || SameText(t, "#FALSE#")) {
          out = Variant(false);
          return S_OK;
        }
        double d = 0;
        const HRESULT hr = ParseNumber(AsString(), d);
        if (Failed(hr)) return hr;
        out = Variant(d != 0.0);
        return S_OK;
      }
      default:
        return DISP_E_TYPEMISMATCH;
    }
  }

  // Numeric targets: get the source as a double, or as an exact integer.
  double d = 0;
  switch (type_) {
    case VarType::Empty:
      d = 0;
      break;
    case VarType::I4:
    case VarType::Int:
      d = i_;
      break;
    case VarType::UI4:
      d = AsUI4();
      break;
    case VarType::R8:
      d = d_;
      break;
    case VarType::Bool:
      d = b_ ? -1.0 : 0.0;
      break;
    case VarType::BStr: {
      const HRESULT hr = ParseNumber(AsString(), d);
      if (Failed(hr)) return hr;
      break;
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }

  switch (to) {
    case VarType::R8:
      out = Variant(d);
      return S_OK;
    case VarType::I4:
    case VarType::Int: {
      int32_t v = 0;
      const HRESULT hr = DoubleToInt32(d, v);
      if (Failed(hr)) return hr;
      out = to == VarType::I4 ? Variant(v) : Variant::FromInt(v);
      return S_OK;
    }
    case VarType::UI4: {
      // True is all bits set, as the runtime has it: 4294967295.
      if (type_ == VarType::Bool) {
        out = Variant::FromUI4(b_ ? 0xFFFFFFFFu : 0u);
        return S_OK;
      }
      uint32_t v = 0;
      const HRESULT hr = DoubleToUInt32(d, v);
      if (Failed(hr)) return hr;
      out = Variant::FromUI4(v);
      return S_OK;
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

Variant Variant::ConvertTo(VarType to) const {
  Variant out;
  const HRESULT hr = ChangeType(to, out);
  if (Failed(hr)) throw EOleSysError(StatusMessage(hr), hr);
  return out;
}

bool Variant::operator==(const Variant& o) const {
  if (type_ != o.type_) return false;
  switch (type_) {
    case VarType::Empty:
    case VarType::Null:
    case VarType::Void:
      return true;
    case VarType::I4:
    case VarType::UI4:
    case VarType::Int:
      return i_ == o.i_;
    case VarType::R8:
      return d_ == o.d_;
    case VarType::Bool:
      return b_ == o.b_;
    case VarType::BStr:
      return AsString() == o.AsString();
    case VarType::Dispatch:
      return disp_ == o.disp_;
    case VarType::Variant:
      return true;
  }
  return false;
}

std::string StatusMessage(HRESULT hr) {
  switch (static_cast<uint32_t>(hr)) {
    case 0x00000000u:
      return "The operation completed successfully.";
    case 0x80004001u:
      return "Not implemented";
    case 0x80004002u:
      return "No such interface supported";
    case 0x80004003u:
      return "Invalid pointer";
    case 0x80004004u:
      return "Operation aborted";
    case 0x80004005u:
      return "Unspecified error";
    case 0x8000FFFFu:
      return "Catastrophic failure";
    case 0x80070057u:
      return "The parameter is incorrect.";
    case 0x8007000Eu:
      return "Not enough storage is available to complete this operation.";
    case 0x80020001u:
      return "Unknown interface.";
    case 0x80020003u:
      return "Member not found.";
    case 0x80020004u:
      return "Parameter not found.";
    case 0x80020005u:
      return "Type mismatch.";
    case 0x80020006u:
      return "Unknown name.";
    case 0x80020007u:
      return "No named arguments.";
    case 0x80020008u:
      return "Bad variable type.";
    case 0x80020009u:
      return "Exception occurred.";
    case 0x8002000Au:
      return "Out of present range.";
    case 0x8002000Bu:
      return "Invalid index.";
    case 0x8002000Cu:
      return "Unknown language.";
    case 0x8002000Du:
      return "Memory is locked.";
    case 0x8002000Eu:
      return "Invalid number of parameters.";
    case 0x8002000Fu:
      return "Parameter not optional.";
    case 0x80040154u:
      return "Class not registered";
    case 0x800401F3u:
      return "Invalid class string";
  }
  char buf[48];
  std::snprintf(buf, sizeof buf, "Error 0x%08X", static_cast<unsigned>(hr));
  return buf;
}
