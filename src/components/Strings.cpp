// TStrings and the plain TStringList.

#include <algorithm>

#include "Classes.h"
#include "ModelInternals.h"

ORVEL_IMPLEMENT_CLASS(TStrings, TPersistent, nullptr)

void TStrings::Error(int index) {
  throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
}

void TStrings::Put(int index, const std::string& s) {
  if (index < 0 || index >= Count()) Error(index);
  TObject* obj = GetObject(index);
  BeginUpdate();
  try {
    Delete(index);
    Insert(index, s);
    PutObject(index, obj);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

TObject* TStrings::GetObject(int index) const {
  if (index < 0 || index >= Count()) Error(index);
  return nullptr;
}

void TStrings::PutObject(int index, TObject*) {
  if (index < 0 || index >= Count()) Error(index);
}

int TStrings::Add(const std::string& s) {
  const int index = Count();
  Insert(index, s);
  return index;
}

int TStrings::AddObject(const std::string& s, TObject* obj) {
  const int index = Add(s);
  PutObject(index, obj);
  return index;
}

int TStrings::IndexOf(const std::string& s) const {
  for (int i = 0, n = Count(); i < n; ++i)
    if (CompareText(Get(i), s) == 0) return i;
  return -1;
}

void TStrings::Move(int from, int to) {
  if (from == to) return;
  if (from < 0 || from >= Count()) Error(from);
  if (to < 0 || to >= Count()) Error(to);
  BeginUpdate();
  const std::string s = Get(from);
  TObject* obj = GetObject(from);
  Delete(from);
  Insert(to, s);
  PutObject(to, obj);
  EndUpdate();
}

std::string TStrings::Text() const {
  std::string out;
  for (int i = 0, n = Count(); i < n; ++i) {
    out += Get(i);
    out += '\n';
  }
  return out;
}

void TStrings::SetText(const std::string& text) {
  BeginUpdate();
  try {
    Clear();
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find_first_of("\r\n", start);
      if (end == std::string::npos) {
        Add(text.substr(start));
        break;
      }
      Add(text.substr(start, end - start));
      start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

std::string TStrings::DelimitedText() const {
  const int n = Count();
  if (n == 1 && Get(0).empty()) return std::string(2, QuoteChar);
  std::string out;
  for (int i = 0; i < n; ++i) {
    const std::string s = Get(i);
    const bool quote = std::any_of(s.begin(), s.end(), [&](char ch) {
      return static_cast<unsigned char>(ch) <= ' ' || ch == QuoteChar || ch == Delimiter;
    });
    if (i) out += Delimiter;
    if (!quote) {
      out += s;
      continue;
    }
    out += QuoteChar;
    for (char ch : s) {
      out += ch;
      if (ch == QuoteChar) out += ch;
    }
    out += QuoteChar;
  }
  return out;
}

// Items are separated by the delimiter or by blanks; quoted items keep both.
void TStrings::SetDelimitedText(const std::string& text) {
  BeginUpdate();
  try {
    Clear();
    size_t i = 0;
    const size_t n = text.size();
    auto isBlank = [](char ch) { return ch > 0 && static_cast<unsigned char>(ch) <= ' '; };
    while (i < n && isBlank(text[i])) ++i;
    while (i < n) {
      std::string item;
      if (text[i] == QuoteChar) {
        ++i;
        while (i < n) {
          if (text[i] == QuoteChar) {
            if (i + 1 < n && text[i + 1] == QuoteChar) {
              item += QuoteChar;
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          item += text[i++];
        }
      } else {
        while (i < n && text[i] != Delimiter && !isBlank(text[i])) item += text[i++];
      }
      Add(item);
      while (i < n && isBlank(text[i])) ++i;
      if (i < n && text[i] == Delimiter) {
        ++i;
        while (i < n && isBlank(text[i])) ++i;
        if (i == n) Add("");  // a trailing delimiter stands for one more empty item
      }
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

std::string TStrings::CommaText() const {
  TStrings& self = const_cast<TStrings&>(*this);
  const char d = Delimiter, q = QuoteChar;
  self.Delimiter = ',';
  self.QuoteChar = '"';
  std::string out = DelimitedText();
  self.Delimiter = d;
  self.QuoteChar = q;
  return out;
}

std::string TStrings::Names(int index) const {
  const std::string s = Get(index);
  const size_t eq = s.find('=');
  return eq == std::string::npos ? std::string() : s.substr(0, eq);
}

std::string TStrings::ValueFromIndex(int index) const {
  const std::string s = Get(index);
  const size_t eq = s.find('=');
  return eq == std::string::npos ? std::string() : s.substr(eq + 1);
}

int TStrings::IndexOfName(const std::string& name) const {
  for (int i = 0, n = Count(); i < n; ++i) {
    const std::string s = Get(i);
    const size_t eq = s.find('=');
    if (eq != std::string::npos && CompareText(s.substr(0, eq), name) == 0) return i;
  }
  return -1;
}

std::string TStrings::Values(const std::string& name) const {
  const int i = IndexOfName(name);
  return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStrings::SetValue(const std::string& name, const std::string& value) {
  const int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) Delete(i);
  } else if (i < 0) {
    Add(name + "=" + value);
  } else {
    Put(i, name + "=" + value);
  }
}

void TStrings::Assign(const TPersistent& source) {
  const auto* other = dynamic_cast<const TStrings*>(&source);
  if (!other) return TPersistent::Assign(source);
  if (other == this) return;
  BeginUpdate();
  try {
    Clear();
    AddStrings(*other);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::AddStrings(const TStrings& other) {
  BeginUpdate();
  try {
    for (int i = 0, n = other.Count(); i < n; ++i) AddObject(other.Get(i), other.GetObject(i));
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

// The state hooks run outside the batch, so a list's change events fire once for it.
void TStrings::BeginUpdate() {
  if (FUpdateCount == 0) SetUpdateState(true);
  ++FUpdateCount;
}

void TStrings::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0) SetUpdateState(false);
}

void TStrings::SetUpdateState(bool) {}

// ---------------------------------------------------------------------------------

ORVEL_IMPLEMENT_CLASS(TStringList, TStrings,
                      [](TComponent*) -> TObject* { return new TStringList; })

TStringList::~TStringList() {
  OnChange = nullptr;
  OnChanging = nullptr;
  if (OwnsObjects)
    for (auto& item : FItems)
      if (item.Object) item.Object->Free();
}

std::string TStringList::Get(int index) const {
  if (index < 0 || index >= Count()) Error(index);
  return FItems[index].Text;
}

void TStringList::Put(int index, const std::string& s) {
  if (FSorted) throw EStringListError("Operation not allowed on sorted list");
  if (index < 0 || index >= Count()) Error(index);
  Changing();
  if (index >= Count()) Error(index);  // the OnChanging handler shortened the list
  FItems[index].Text = s;
  Changed();
}

TObject* TStringList::GetObject(int index) const {
  if (index < 0 || index >= Count()) Error(index);
  return FItems[index].Object;
}

void TStringList::PutObject(int index, TObject* obj) {
  if (index < 0 || index >= Count()) Error(index);
  Changing();
  if (index >= Count()) Error(index);
  FItems[index].Object = obj;
  Changed();
}

int TStringList::Add(const std::string& s) {
  int index = Count();
  if (FSorted) {
    if (Find(s, index)) {
      if (Duplicates == dupIgnore) return index;
      if (Duplicates == dupError) throw EStringListError("String list does not allow duplicates");
    }
  }
  InsertItem(index, s, nullptr);
  return index;
}

void TStringList::Insert(int index, const std::string& s) {
  if (FSorted) throw EStringListError("Operation not allowed on sorted list");
  if (index < 0 || index > Count()) Error(index);
  InsertItem(index, s, nullptr);
}

void TStringList::InsertItem(int index, const std::string& s, TObject* obj) {
  Changing();
  if (index > Count()) Error(index);
  FItems.insert(FItems.begin() + index, Item{s, obj});
  Changed();
}

void TStringList::Delete(int index) {
  if (index < 0 || index >= Count()) Error(index);
  Changing();
  if (index >= Count()) Error(index);
  TObject* obj = FItems[index].Object;
  FItems.erase(FItems.begin() + index);
  if (OwnsObjects && obj) obj->Free();
  Changed();
}

void TStringList::Clear() {
  if (FItems.empty()) return;
  Changing();
  std::vector<Item> old;
  old.swap(FItems);
  if (OwnsObjects)
    for (auto& item : old)
      if (item.Object) item.Object->Free();
  Changed();
}

int TStringList::CompareStrings(const std::string& a, const std::string& b) const {
  return FCaseSensitive ? CompareStr(a, b) : CompareText(a, b);
}

int TStringList::IndexOf(const std::string& s) const {
  if (FSorted) {
    int index;
    return Find(s, index) ? index : -1;
  }
  for (int i = 0, n = Count(); i < n; ++i)
    if (CompareStrings(FItems[i].Text, s) == 0) return i;
  return -1;
}

bool TStringList::Find(const std::string& s, int& index) const {
  int lo = 0, hi = Count() - 1;
  bool found = false;
  while (lo <= hi) {
    const int mid = (lo + hi) / 2;
    const int c = CompareStrings(FItems[mid].Text, s);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) {
        found = true;
        if (Duplicates != dupAccept) lo = mid;
      }
    }
  }
  index = lo;
  return found;
}

void TStringList::Sort() {
  Changing();
  std::stable_sort(FItems.begin(), FItems.end(), [this](const Item& a, const Item& b) {
    return CompareStrings(a.Text, b.Text) < 0;
  });
  Changed();
}

void TStringList::SetSorted(bool sorted) {
  if (sorted == FSorted) return;
  if (sorted) Sort();
  FSorted = sorted;
}

void TStringList::Changing() {
  if (UpdateCount() == 0 && OnChanging) OnChanging(this);
}

void TStringList::Changed() {
  if (UpdateCount() == 0 && OnChange) OnChange(this);
}

void TStringList::SetUpdateState(bool updating) {
  if (updating)
    Changing();
  else
    Changed();
}
