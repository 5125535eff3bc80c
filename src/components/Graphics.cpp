// Colours and fonts.

#include "Graphics.h"

#include <QApplication>
#include <QFontDatabase>
#include <QPalette>
#include <cmath>
#include <map>

#include "ModelInternals.h"
#include "WidgetSupport.h"

namespace {

// System colour index → palette role.
QPalette::ColorRole SystemRole(int index, QPalette::ColorGroup& group) {
  group = QPalette::Active;
  switch (index) {
    case 0:
      return QPalette::Mid;  // scroll bar
    case 1:
      return QPalette::Shadow;  // desktop
    case 2:
      return QPalette::Highlight;  // active caption
    case 3:
      group = QPalette::Inactive;
      return QPalette::Highlight;
    case 4:
      return QPalette::Button;  // menu
    case 5:
      return QPalette::Base;  // window
    case 6:
      return QPalette::Shadow;  // window frame
    case 7:
      return QPalette::ButtonText;  // menu text
    case 8:
      return QPalette::Text;  // window text
    case 9:
      return QPalette::HighlightedText;  // caption text
    case 13:
      return QPalette::Highlight;
    case 14:
      return QPalette::HighlightedText;
    case 15:
      return QPalette::Button;  // button face
    case 16:
      return QPalette::Dark;  // button shadow
    case 17:
      group = QPalette::Disabled;
      return QPalette::Text;
    case 18:
      return QPalette::ButtonText;
    case 20:
      return QPalette::Light;  // 3D highlight
    case 21:
      return QPalette::Shadow;  // 3D dark shadow
    case 22:
      return QPalette::Midlight;  // 3D light
    case 23:
      return QPalette::ToolTipText;
    case 24:
      return QPalette::ToolTipBase;
    default:
      return QPalette::Window;
  }
}

}  // namespace

uint32_t ColorToRGB(TColor color) {
  if (color >= 0) return static_cast<uint32_t>(color) & 0xFFFFFF;
  QPalette::ColorGroup group;
  const QPalette::ColorRole role = SystemRole(color & 0xFF, group);
  const QColor c = QApplication::palette().color(group, role);
  return static_cast<uint32_t>(c.red()) | (static_cast<uint32_t>(c.green()) << 8) |
         (static_cast<uint32_t>(c.blue()) << 16);
}

QColor ToQColor(TColor c) {
  const uint32_t rgb = ColorToRGB(c);
  return QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
}

QFont DefaultFont() {
  return QApplication::font();
}

namespace {

// The script a character set stands for; Any where it names none.
QFontDatabase::WritingSystem CharsetScript(int charset) {
  switch (charset) {
    case 0:
    case 162:
    case 186:
    case 238:
      return QFontDatabase::Latin;
    case 2:
      return QFontDatabase::Symbol;
    case 128:
      return QFontDatabase::Japanese;
    case 129:
    case 130:
      return QFontDatabase::Korean;
    case 134:
      return QFontDatabase::SimplifiedChinese;
    case 136:
      return QFontDatabase::TraditionalChinese;
    case 161:
      return QFontDatabase::Greek;
    case 163:
      return QFontDatabase::Vietnamese;
    case 177:
      return QFontDatabase::Hebrew;
    case 178:
      return QFontDatabase::Arabic;
    case 204:
      return QFontDatabase::Cyrillic;
    case 222:
      return QFontDatabase::Thai;
    default:
      return QFontDatabase::Any;
  }
}

// First installed family that covers the script, looked up once per script.
QString FamilyFor(QFontDatabase::WritingSystem ws) {
  static std::map<int, QString> cache;
  auto it = cache.find(ws);
  if (it != cache.end()) return it->second;
  const QStringList all = QFontDatabase::families(ws);
  return cache[ws] = all.isEmpty() ? QString() : all.first();
}

}  // namespace

QFont ToQFont(const TFont& f) {
  QFont q = DefaultFont();
  if (!f.Name().empty()) q.setFamily(Q(f.Name()));
  // A character set asks for glyphs of its script (and, for Han characters, its
  // regional forms): a family that lacks the script gets one that has it next.
  if (const auto ws = CharsetScript(f.Charset()); ws != QFontDatabase::Any) {
    const QString family = q.family();
    if (!QFontDatabase::writingSystems(family).contains(ws)) {
      const QString other = FamilyFor(ws);
      if (!other.isEmpty()) q.setFamilies({family, other});
    }
  }
  q.setPointSize(f.Size() > 0 ? f.Size() : 1);
  q.setBold(f.Style() & (1 << fsBold));
  q.setItalic(f.Style() & (1 << fsItalic));
  q.setUnderline(f.Style() & (1 << fsUnderline));
  q.setStrikeOut(f.Style() & (1 << fsStrikeOut));
  if (f.Pitch() == fpFixed) q.setFixedPitch(true);
  if (f.Pitch() == fpFixed) q.setStyleHint(QFont::Monospace);
  return q;
}

// ---------------------------------------------------------------------------------

ORVEL_IMPLEMENT_CLASS(TGraphicsObject, TPersistent,
                      [](TComponent*) -> TObject* { return new TGraphicsObject; })

void TGraphicsObject::Changed() {
  if (OnChange) OnChange(this);
}

ORVEL_IMPLEMENT_CLASS(TFont, TGraphicsObject, [](TComponent*) -> TObject* { return new TFont; })

TFont::TFont() {
  if (qApp) {
    const QFont q = DefaultFont();
    FName = S(q.family());
    if (q.pointSize() > 0) FSize = q.pointSize();
  }
}

void TFont::Assign(const TPersistent& source) {
  const auto* f = dynamic_cast<const TFont*>(&source);
  if (!f) return TPersistent::Assign(source);
  if (f->FCharset == FCharset && f->FColor == FColor && f->FName == FName && f->FPitch == FPitch &&
      f->FSize == FSize && f->FStyle == FStyle)
    return;  // nothing to re-apply to the widget
  FCharset = f->FCharset;
  FColor = f->FColor;
  FName = f->FName;
  FPitch = f->FPitch;
  FSize = f->FSize;
  FStyle = f->FStyle;
  Changed();
}

void TFont::SetCharset(int v) {
  if (v == FCharset) return;
  FCharset = v;
  Changed();
}

void TFont::SetColor(TColor v) {
  if (v == FColor) return;
  FColor = v;
  Changed();
}

// Height = -Size * 96 / 72, as the font's pixel height at the model's resolution.
int TFont::Height() const {
  return -static_cast<int>(std::lround(FSize * 96.0 / 72.0));
}

void TFont::SetHeight(int v) {
  const int size = static_cast<int>(std::lround(std::abs(v) * 72.0 / 96.0));
  SetSize(size);
}

void TFont::SetName(const std::string& v) {
  if (v == FName) return;
  if (v.empty()) throw EComponentError("A font name cannot be empty");
  FName = v;
  Changed();
}

void TFont::SetPitch(TFontPitch v) {
  if (v == FPitch) return;
  FPitch = v;
  Changed();
}

void TFont::SetSize(int v) {
  if (v <= 0) throw EComponentError("Font size must be above 0 (got " + std::to_string(v) + ")");
  if (v == FSize) return;
  FSize = v;
  Changed();
}

void TFont::SetStyle(TFontStyles v) {
  if (v == FStyle) return;
  FStyle = v;
  Changed();
}
