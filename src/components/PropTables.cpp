// The published property tables: type records, and for every property name the
// accessors of the class that implements it. A property without behaviour of its own
// keeps the value written to it.

#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "Classes.h"
#include "Controls.h"
#include "Forms.h"
#include "Graphics.h"
#include "Menus.h"
#include "ModelInternals.h"
#include "StdCtrls.h"
#include "TypInfo.h"
#include "ValEdit.h"

namespace {

struct TTypeRow {
  const char* Name;
  TTypeKind Kind;
  const char* Values;  // enumeration: value names; set: element type name
};

struct TPublishedRow {
  const char* Prop;
  const char* Type;
};

#include "PropTablesData.inc"

constexpr int64_t kMinInt = std::numeric_limits<int32_t>::min();
constexpr int64_t kMaxInt = std::numeric_limits<int32_t>::max();

struct TTypeTable {
  std::map<std::string, std::unique_ptr<TTypeInfo>> Types;

  TTypeTable() {
    for (const TTypeRow& row : kTypeRows) {
      auto t = std::make_unique<TTypeInfo>();
      t->Kind = row.Kind;
      t->Name = row.Name;
      if (row.Kind == tkEnumeration) {
        std::string names = row.Values;
        size_t start = 0;
        while (start <= names.size()) {
          size_t comma = names.find(',', start);
          if (comma == std::string::npos) comma = names.size();
          t->NameList.push_back(names.substr(start, comma - start));
          start = comma + 1;
        }
        t->MinValue = 0;
        t->MaxValue = static_cast<int64_t>(t->NameList.size()) - 1;
      } else if (row.Kind == tkInteger || row.Kind == tkChar) {
        SetRange(*t);
      }
      Types[row.Name] = std::move(t);
    }
    for (const TTypeRow& row : kTypeRows)
      if (row.Kind == tkSet) Types[row.Name]->CompType = Types.at(row.Values).get();
    Types["TFont"]->ClassType = TFont::StaticClass();
    Types["TStrings"]->ClassType = TStrings::StaticClass();
    Types["TSizeConstraints"]->ClassType = TSizeConstraints::StaticClass();
    Types["TControlScrollBar"]->ClassType = TControlScrollBar::StaticClass();
    Types["TMenuItem"]->ClassType = TMenuItem::StaticClass();
    Types["TWinControl"]->ClassType = TWinControl::StaticClass();
  }

  static void SetRange(TTypeInfo& t) {
    static const std::map<std::string, std::pair<int64_t, int64_t>> ranges = {
        {"Byte", {0, 255}},           {"Char", {0, 255}},
        {"TFontCharset", {0, 255}},   {"TBorderWidth", {0, kMaxInt}},
        {"TCursor", {-32768, 32767}}, {"TShortCut", {0, 65535}},
        {"TTabOrder", {-1, 32767}},   {"TConstraintSize", {0, kMaxInt}},
    };
    auto it = ranges.find(t.Name);
    t.MinValue = it == ranges.end() ? kMinInt : it->second.first;
    t.MaxValue = it == ranges.end() ? kMaxInt : it->second.second;
  }
};

const TTypeTable& Types() {
  static const TTypeTable table;
  return table;
}

// ---------------------------------------------------------------------------------
// Accessor definitions. Several classes publish a name with different behaviour
// (a font's Color, a menu item's Caption): each name has candidates, most specific
// first, and a class takes the first whose owner class it descends from.

struct TPropDef {
  TClass Owner = nullptr;  // the accessors cast to this class
  int StoreId = 0;
  bool Stored = false;  // keeps the written value, starting at the defaults below
  int64_t DefaultOrd = 0;
  std::string DefaultStr;
  std::function<int64_t(TObject*)> GetOrd;
  std::function<void(TObject*, int64_t)> SetOrd;
  std::function<std::string(TObject*)> GetStr;
  std::function<void(TObject*, const std::string&)> SetStr;
  std::function<TObject*(TObject*)> GetObj;
};

template <class C, class R, class A>
TPropDef Ord(R (C::*get)() const, void (C::*set)(A)) {
  TPropDef d;
  d.Owner = C::StaticClass();
  d.GetOrd = [get](TObject* o) { return static_cast<int64_t>((static_cast<C*>(o)->*get)()); };
  d.SetOrd = [set](TObject* o, int64_t v) { (static_cast<C*>(o)->*set)(static_cast<A>(v)); };
  return d;
}

template <class C, class R>
TPropDef Str(R (C::*get)() const, void (C::*set)(const std::string&)) {
  TPropDef d;
  d.Owner = C::StaticClass();
  d.GetStr = [get](TObject* o) { return std::string((static_cast<C*>(o)->*get)()); };
  d.SetStr = [set](TObject* o, const std::string& v) { (static_cast<C*>(o)->*set)(v); };
  return d;
}

template <class C, class R>
TPropDef Obj(R* (C::*get)() const) {
  TPropDef d;
  d.Owner = C::StaticClass();
  d.GetObj = [get](TObject* o) -> TObject* { return (static_cast<C*>(o)->*get)(); };
  return d;
}

// A reference the model does not support setting: reads as none.
TPropDef NoObject() {
  TPropDef d;
  d.Owner = TPersistent::StaticClass();
  d.GetObj = [](TObject*) -> TObject* { return nullptr; };
  return d;
}

TPropDef Stored(TClass owner, int64_t def) {
  TPropDef d;
  d.Owner = owner;
  d.Stored = true;
  d.DefaultOrd = def;
  return d;
}

TPropDef StoredStr(TClass owner, const std::string& def = {}) {
  TPropDef d;
  d.Owner = owner;
  d.Stored = true;
  d.DefaultStr = def;
  return d;
}

TPropDef Event() {
  TPropDef d;
  d.Owner = TComponent::StaticClass();
  return d;
}

using TDefTable = std::map<std::string, std::vector<TPropDef>>;

TDefTable MakeDefs() {
  const TClass cComponent = TComponent::StaticClass();
  const TClass cControl = TControl::StaticClass();
  const TClass cForm = TCustomForm::StaticClass();
  const TClass cEdit = TCustomEdit::StaticClass();
  const TClass cGrid = TValueListEditor::StaticClass();
  const TClass cListBox = TCustomListBox::StaticClass();
  const TClass cMenu = TMenuItem::StaticClass();
  const TClass cLabel = TCustomLabel::StaticClass();
  const TClass cFont = TFont::StaticClass();
  constexpr int64_t kTrue = 1, kFalse = 0;

  TDefTable t;
  auto add = [&t](const char* name, TPropDef d) { t[name].push_back(std::move(d)); };

  // Component.
  add("Name", Str(&TFont::Name, &TFont::SetName));
  add("Name", Str(&TComponent::Name, &TComponent::SetName));
  add("Tag", Ord(&TComponent::Tag, &TComponent::SetTag));

  // Font.
  add("Charset", Ord(&TFont::Charset, &TFont::SetCharset));
  add("Color", Ord(&TFont::Color, &TFont::SetColor));
  add("Height", Ord(&TFont::Height, &TFont::SetHeight));
  add("Pitch", Ord(&TFont::Pitch, &TFont::SetPitch));
  add("Size", Ord(&TFont::Size, &TFont::SetSize));
  add("Style", Ord(&TFont::Style, &TFont::SetStyle));
  add("Style", Ord(&TCustomListBox::Style, &TCustomListBox::SetStyle));

  // Control.
  add("Left", Ord(&TControl::Left, &TControl::SetLeft));
  add("Top", Ord(&TControl::Top, &TControl::SetTop));
  add("Width", Ord(&TControl::Width, &TControl::SetWidth));
  add("Height", Ord(&TControl::Height, &TControl::SetHeight));
  add("ClientWidth", Ord(&TControl::ClientWidth, &TControl::SetClientWidth));
  add("ClientHeight", Ord(&TControl::ClientHeight, &TControl::SetClientHeight));
  add("Cursor", Ord(&TControl::Cursor, &TControl::SetCursor));
  add("Hint", Str(&TMenuItem::Hint, &TMenuItem::SetHint));
  add("Hint", Str(&TControl::Hint, &TControl::SetHint));
  add("HelpType", Stored(cControl, 1));  // htContext
  add("HelpKeyword", StoredStr(cControl));
  add("HelpContext", Stored(cComponent, 0));
  add("HelpFile", StoredStr(cForm));
  add("Align", Ord(&TControl::Align, &TControl::SetAlign));
  add("Anchors", Ord(&TControl::Anchors, &TControl::SetAnchors));
  add("Caption", Str(&TMenuItem::Caption, &TMenuItem::SetCaption));
  add("Caption", Str(&TControl::Caption, &TControl::SetCaption));
  add("Text", Str(&TCustomEdit::Text, &TCustomEdit::SetText));
  add("Color", Ord(&TControl::Color, &TControl::SetColor));
  add("ParentColor", Ord(&TControl::ParentColor, &TControl::SetParentColor));
  add("Enabled", Ord(&TMenuItem::Enabled, &TMenuItem::SetEnabled));
  add("Enabled", Ord(&TControl::Enabled, &TControl::SetEnabled));
  add("Visible", Ord(&TMenuItem::Visible, &TMenuItem::SetVisible));
  add("Visible", Ord(&TControl::Visible, &TControl::SetVisible));
  add("Font", Obj(&TControl::Font));
  add("ParentFont", Ord(&TControl::ParentFont, &TControl::SetParentFont));
  add("ShowHint", Ord(&TControl::ShowHint, &TControl::SetShowHint));
  add("ParentShowHint", Ord(&TControl::ParentShowHint, &TControl::SetParentShowHint));
  add("Constraints", Obj(&TControl::Constraints));
  add("MaxHeight", Ord(&TSizeConstraints::MaxHeight, &TSizeConstraints::SetMaxHeight));
  add("MaxWidth", Ord(&TSizeConstraints::MaxWidth, &TSizeConstraints::SetMaxWidth));
  add("MinHeight", Ord(&TSizeConstraints::MinHeight, &TSizeConstraints::SetMinHeight));
  add("MinWidth", Ord(&TSizeConstraints::MinWidth, &TSizeConstraints::SetMinWidth));
  add("TabStop", Ord(&TWinControl::TabStop, &TWinControl::SetTabStop));
  add("TabOrder", Ord(&TWinControl::TabOrder, &TWinControl::SetTabOrder));
  add("AutoSize", Ord(&TCustomLabel::AutoSize, &TCustomLabel::SetAutoSize));
  add("AutoSize", Ord(&TCustomEdit::AutoSize, &TCustomEdit::SetAutoSize));
  add("AutoSize", Stored(cControl, kFalse));
  add("Action", NoObject());
  add("PopupMenu", NoObject());
  add("BiDiMode", Ord(&TControl::BiDiMode, &TControl::SetBiDiMode));
  add("ParentBiDiMode", Ord(&TControl::ParentBiDiMode, &TControl::SetParentBiDiMode));
  add("Ctl3D", Stored(cControl, kTrue));
  add("ParentCtl3D", Stored(cControl, kTrue));
  add("DragCursor", Stored(cControl, crDrag));
  add("DragKind", Stored(cControl, 0));
  add("DragMode", Stored(cControl, 0));
  add("ImeMode", Ord(&TCustomEdit::ImeMode, &TCustomEdit::SetImeMode));
  add("ImeMode", Stored(cControl, 3));  // imDontCare
  add("ImeName", StoredStr(cControl));
  add("BevelEdges", Stored(cControl, 15));
  add("BevelInner", Stored(cControl, 2));  // bvRaised
  add("BevelKind", Stored(cControl, 0));
  add("BevelOuter", Stored(cControl, 1));  // bvLowered
  add("BorderStyle", Ord(&TCustomForm::BorderStyle, &TCustomForm::SetBorderStyle));
  add("BorderStyle", Ord(&TCustomEdit::BorderStyle, &TCustomEdit::SetBorderStyle));
  add("BorderStyle", Ord(&TCustomListBox::BorderStyle, &TCustomListBox::SetBorderStyle));
  add("BorderStyle", Ord(&TValueListEditor::BorderStyle, &TValueListEditor::SetBorderStyle));
  add("WordWrap", Ord(&TCustomLabel::WordWrap, &TCustomLabel::SetWordWrap));
  add("WordWrap", Ord(&TCustomMemo::WordWrap, &TCustomMemo::SetWordWrap));
  add("WordWrap", Ord(&TButtonControl::WordWrap, &TButtonControl::SetWordWrap));
  add("Alignment", Ord(&TCustomLabel::Alignment, &TCustomLabel::SetAlignment));
  add("Alignment", Ord(&TCustomMemo::Alignment, &TCustomMemo::SetAlignment));
  add("Alignment", Ord(&TCustomCheckBox::Alignment, &TCustomCheckBox::SetAlignment));

  // Form.
  add("HorzScrollBar", Obj(&TScrollingWinControl::HorzScrollBar));
  add("VertScrollBar", Obj(&TScrollingWinControl::VertScrollBar));
  add("ActiveControl", Obj(&TCustomForm::ActiveControl));
  add("AlphaBlend", Ord(&TCustomForm::AlphaBlend, &TCustomForm::SetAlphaBlend));
  add("AlphaBlendValue", Ord(&TCustomForm::AlphaBlendValue, &TCustomForm::SetAlphaBlendValue));
  add("AutoScroll", Ord(&TCustomForm::AutoScroll, &TCustomForm::SetAutoScroll));
  add("BorderIcons", Ord(&TCustomForm::BorderIcons, &TCustomForm::SetBorderIcons));
  add("BorderWidth", Ord(&TCustomForm::BorderWidth, &TCustomForm::SetBorderWidth));
  add("TransparentColor", Stored(cForm, kFalse));
  add("TransparentColorValue", Stored(cForm, 0));
  add("UseDockManager", Stored(cForm, kFalse));
  add("DefaultMonitor", Stored(cForm, 3));  // dmActiveForm
  add("DockSite", Stored(cForm, kFalse));
  add("FormStyle", Ord(&TCustomForm::FormStyle, &TCustomForm::SetFormStyle));
  add("Icon", NoObject());
  add("KeyPreview", Stored(cForm, kFalse));
  add("Menu", NoObject());
  add("OldCreateOrder", Stored(cForm, kFalse));
  add("ObjectMenuItem", NoObject());
  add("PixelsPerInch", Stored(cForm, 96));
  add("Position", Ord(&TCustomForm::Position, &TCustomForm::SetPosition));
  add("PrintScale", Stored(cForm, 1));  // poProportional
  add("Scaled", Stored(cForm, kTrue));
  add("ScreenSnap", Stored(cForm, kFalse));
  add("SnapBuffer", Stored(cForm, 10));
  add("WindowState", Ord(&TCustomForm::WindowState, &TCustomForm::SetWindowState));
  add("WindowMenu", NoObject());

  // Button and check box.
  add("Cancel", Ord(&TButton::Cancel, &TButton::SetCancel));
  add("Default", Ord(&TMenuItem::Default, &TMenuItem::SetDefault));
  add("Default", Ord(&TButton::Default, &TButton::SetDefault));
  add("ModalResult", Ord(&TButton::ModalResult, &TButton::SetModalResult));
  add("Checked", Ord(&TMenuItem::Checked, &TMenuItem::SetChecked));
  add("Checked", Ord(&TCustomCheckBox::Checked, &TCustomCheckBox::SetChecked));
  add("State", Ord(&TCustomCheckBox::State, &TCustomCheckBox::SetState));
  add("AllowGrayed", Ord(&TCustomCheckBox::AllowGrayed, &TCustomCheckBox::SetAllowGrayed));

  // Label.
  add("FocusControl", Obj(&TCustomLabel::FocusControl));
  add("ShowAccelChar", Ord(&TCustomLabel::ShowAccelChar, &TCustomLabel::SetShowAccelChar));
  add("Transparent", Ord(&TCustomLabel::Transparent, &TCustomLabel::SetTransparent));
  add("Layout", Ord(&TCustomLabel::Layout, &TCustomLabel::SetLayout));
  (void)cLabel;

  // Edit and memo.
  add("AutoSelect", Ord(&TCustomEdit::AutoSelect, &TCustomEdit::SetAutoSelect));
  add("CharCase", Ord(&TCustomEdit::CharCase, &TCustomEdit::SetCharCase));
  add("HideSelection", Ord(&TCustomEdit::HideSelection, &TCustomEdit::SetHideSelection));
  add("MaxLength", Ord(&TCustomEdit::MaxLength, &TCustomEdit::SetMaxLength));
  add("OEMConvert", Stored(cEdit, kFalse));
  add("PasswordChar", Ord(&TCustomEdit::PasswordChar, &TCustomEdit::SetPasswordChar));
  add("ReadOnly", Ord(&TCustomEdit::ReadOnly, &TCustomEdit::SetReadOnly));
  add("Lines", Obj(&TCustomMemo::Lines));
  add("ScrollBars", Ord(&TCustomMemo::ScrollBars, &TCustomMemo::SetScrollBars));
  add("ScrollBars", Ord(&TValueListEditor::ScrollBars, &TValueListEditor::SetScrollBars));
  add("WantReturns", Ord(&TCustomMemo::WantReturns, &TCustomMemo::SetWantReturns));
  add("WantTabs", Ord(&TCustomMemo::WantTabs, &TCustomMemo::SetWantTabs));

  // List box.
  add("AutoComplete", Stored(cListBox, kTrue));
  add("Columns", Ord(&TCustomListBox::Columns, &TCustomListBox::SetColumns));
  add("ExtendedSelect", Ord(&TCustomListBox::ExtendedSelect, &TCustomListBox::SetExtendedSelect));
  add("IntegralHeight", Stored(cListBox, kFalse));
  add("ItemHeight", Ord(&TCustomListBox::ItemHeight, &TCustomListBox::SetItemHeight));
  add("Items", Obj(&TCustomListBox::Items));
  add("MultiSelect", Ord(&TCustomMultiSelectListControl::MultiSelect,
                         &TCustomMultiSelectListControl::SetMultiSelect));
  add("ScrollWidth", Stored(cListBox, 0));
  add("Sorted", Ord(&TCustomListBox::Sorted, &TCustomListBox::SetSorted));
  add("TabWidth", Stored(cListBox, 0));

  // Value list editor.
  add("DefaultColWidth",
      Ord(&TValueListEditor::DefaultColWidth, &TValueListEditor::SetDefaultColWidth));
  add("DefaultDrawing", Stored(cGrid, kTrue));
  add("DefaultRowHeight",
      Ord(&TValueListEditor::DefaultRowHeight, &TValueListEditor::SetDefaultRowHeight));
  add("DisplayOptions",
      Ord(&TValueListEditor::DisplayOptions, &TValueListEditor::SetDisplayOptions));
  add("DropDownRows", Stored(cGrid, 8));
  add("FixedColor", Ord(&TValueListEditor::FixedColor, &TValueListEditor::SetFixedColor));
  add("FixedCols", Stored(cGrid, 0));
  add("GridLineWidth", Ord(&TValueListEditor::GridLineWidth, &TValueListEditor::SetGridLineWidth));
  add("KeyOptions", Ord(&TValueListEditor::KeyOptions, &TValueListEditor::SetKeyOptions));
  add("Options", Ord(&TValueListEditor::Options, &TValueListEditor::SetOptions));
  add("Strings", Obj(&TValueListEditor::Strings));
  add("TitleCaptions", Obj(&TValueListEditor::TitleCaptions));

  // Menu item.
  add("AutoCheck", Ord(&TMenuItem::AutoCheck, &TMenuItem::SetAutoCheck));
  add("AutoHotkeys", Stored(cMenu, 2));        // maParent
  add("AutoLineReduction", Stored(cMenu, 2));  // maParent
  add("Bitmap", NoObject());
  add("Break", Stored(cMenu, 0));
  add("SubMenuImages", NoObject());
  add("GroupIndex", Ord(&TMenuItem::GroupIndex, &TMenuItem::SetGroupIndex));
  add("ImageIndex", Stored(cMenu, -1));
  add("RadioItem", Ord(&TMenuItem::RadioItem, &TMenuItem::SetRadioItem));
  add("ShortCut", Ord(&TMenuItem::ShortCut, &TMenuItem::SetShortCut));
  (void)cFont;

  int id = 1;
  for (auto& entry : t)
    for (auto& d : entry.second) d.StoreId = id++;
  return t;
}

const TDefTable& Defs() {
  static const TDefTable table = MakeDefs();
  return table;
}

const TPublishedRow* ListOf(TClass c, size_t& count) {
  struct Entry {
    TClass Class;
    const TPublishedRow* Rows;
    size_t Count;
  };
#define ROWS(arr) (arr), sizeof(arr) / sizeof((arr)[0])
  static const Entry entries[] = {
      {TComponent::StaticClass(), ROWS(kTComponentProps)},
      {TControl::StaticClass(), ROWS(kTControlProps)},
      {TWinControl::StaticClass(), ROWS(kTControlProps)},
      {TGraphicControl::StaticClass(), ROWS(kTControlProps)},
      {TCustomLabel::StaticClass(), ROWS(kTControlProps)},
      {TButtonControl::StaticClass(), ROWS(kTControlProps)},
      {TCustomControl::StaticClass(), ROWS(kTControlProps)},
      {TCustomListControl::StaticClass(), ROWS(kTControlProps)},
      {TCustomMultiSelectListControl::StaticClass(), ROWS(kTControlProps)},
      {TCustomEdit::StaticClass(), ROWS(kTCustomEditProps)},
      {TCustomGrid::StaticClass(), ROWS(kTCustomEditProps)},
      {TCustomDrawGrid::StaticClass(), ROWS(kTCustomEditProps)},
      {TCustomListBox::StaticClass(), ROWS(kTCustomEditProps)},
      {TCustomMemo::StaticClass(), ROWS(kTCustomEditProps)},
      {TCustomCheckBox::StaticClass(), ROWS(kTCustomEditProps)},
      {TScrollingWinControl::StaticClass(), ROWS(kTScrollingWinControlProps)},
      {TCustomForm::StaticClass(), ROWS(kTScrollingWinControlProps)},
      {TForm::StaticClass(), ROWS(kTFormProps)},
      {TButton::StaticClass(), ROWS(kTButtonProps)},
      {TLabel::StaticClass(), ROWS(kTLabelProps)},
      {TEdit::StaticClass(), ROWS(kTEditProps)},
      {TFont::StaticClass(), ROWS(kTFontProps)},
      {TSizeConstraints::StaticClass(), ROWS(kTSizeConstraintsProps)},
      {TValueListEditor::StaticClass(), ROWS(kTValueListEditorProps)},
      {TListBox::StaticClass(), ROWS(kTListBoxProps)},
      {TMemo::StaticClass(), ROWS(kTMemoProps)},
      {TCheckBox::StaticClass(), ROWS(kTCheckBoxProps)},
      {TMenuItem::StaticClass(), ROWS(kTMenuItemProps)},
  };
#undef ROWS
  for (; c; c = c->ClassParent())
    for (const Entry& e : entries)
      if (e.Class == c) {
        count = e.Count;
        return e.Rows;
      }
  count = 0;
  return nullptr;
}

// The most specific definition of a name that the class can use.
const TPropDef& DefFor(TClass c, const std::string& name, TTypeKind kind) {
  static const TPropDef event = Event();
  if (kind == tkMethod) return event;
  auto it = Defs().find(name);
  if (it != Defs().end())
    for (const TPropDef& d : it->second)
      if (c->InheritsFrom(d.Owner)) return d;
  throw std::logic_error("no accessors for " + c->ClassName() + "." + name);
}

TPropInfo MakeProp(const TPublishedRow& row, TClass c, int index) {
  TPropInfo p;
  p.Name = row.Prop;
  p.PropType = FindTypeInfo(row.Type);
  p.Index = index;
  const TPropDef& d = DefFor(c, p.Name, p.PropType->Kind);
  p.StoreId = d.StoreId;
  if (!d.Stored) {
    p.GetOrd = d.GetOrd;
    p.SetOrd = d.SetOrd;
    p.GetStr = d.GetStr;
    p.SetStr = d.SetStr;
    p.GetObj = d.GetObj;
    return p;
  }
  const int id = d.StoreId;
  if (p.PropType->Kind == tkLString || p.PropType->Kind == tkString) {
    const std::string def = d.DefaultStr;
    p.GetStr = [id, def](TObject* o) {
      auto* v = o->PropStore().Find(id);
      return v ? v->Str : def;
    };
    p.SetStr = [id](TObject* o, const std::string& s) { o->PropStore().Get(id).Str = s; };
  } else {
    const int64_t def = d.DefaultOrd;
    p.GetOrd = [id, def](TObject* o) {
      auto* v = o->PropStore().Find(id);
      return v ? v->Ord : def;
    };
    p.SetOrd = [id](TObject* o, int64_t x) { o->PropStore().Get(id).Ord = x; };
  }
  return p;
}

}  // namespace

const TTypeInfo* FindTypeInfo(const std::string& name) {
  const auto& types = Types().Types;
  auto it = types.find(name);
  if (it != types.end()) return it->second.get();
  for (const auto& entry : types)
    if (SameText(entry.first, name)) return entry.second.get();
  return nullptr;
}

std::vector<const TPropInfo*> BuildPropertyList(TClass c) {
  // Property records live for the whole process, like the class records.
  static std::vector<std::unique_ptr<TPropInfo>> storage;
  size_t count = 0;
  const TPublishedRow* rows = ListOf(c, count);
  std::vector<const TPropInfo*> list;
  list.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    storage.push_back(std::make_unique<TPropInfo>(MakeProp(rows[i], c, static_cast<int>(i))));
    list.push_back(storage.back().get());
  }
  return list;
}
