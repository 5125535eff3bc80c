// Label, button, edit box, memo, list box and check box on their Qt widgets.

#include "StdCtrls.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QValidator>
#include <algorithm>

#include "ModelInternals.h"
#include "WidgetSupport.h"

namespace {

Qt::ScrollBarPolicy HorzPolicy(TScrollStyle s) {
  return (s == ssHorizontal || s == ssBoth) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff;
}
Qt::ScrollBarPolicy VertPolicy(TScrollStyle s) {
  return (s == ssVertical || s == ssBoth) ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff;
}

void SetBaseColor(QWidget* w, TColor c) {
  QPalette pal = w->palette();
  pal.setColor(QPalette::Base, ToQColor(c));
  w->setPalette(pal);
}

bool IsEnterKey(int key) {
  return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// Upper- or lower-cases what the user types, as CharCase asks.
class TCaseValidator final : public QValidator {
 public:
  TCaseValidator(TEditCharCase c, QObject* parent) : QValidator(parent), FCase(c) {}
  State validate(QString& input, int&) const override {
    input = FCase == ecUpperCase ? input.toUpper() : input.toLower();
    return Acceptable;
  }

 private:
  TEditCharCase FCase;
};

// Unchecked → (grayed when allowed) → checked → unchecked; grayed → checked.
class TQtCheckBox final : public QCheckBox {
 public:
  using QCheckBox::QCheckBox;
  bool AllowGrayed = false;

 protected:
  void nextCheckState() override {
    switch (checkState()) {
      case Qt::Unchecked:
        setCheckState(AllowGrayed ? Qt::PartiallyChecked : Qt::Checked);
        break;
      case Qt::Checked:
        setCheckState(Qt::Unchecked);
        break;
      default:
        setCheckState(Qt::Checked);
        break;
    }
  }
};

// The lines of a memo, read from and written to its document. Every line written
// through the list ends in a line break, so an empty line (even the last, or the only
// one) stays a line; text typed without a final break still counts its last line.
class TMemoStrings final : public TStrings {
  ORVEL_DECLARE_CLASS(TMemoStrings)
 public:
  explicit TMemoStrings(QPlainTextEdit* edit) : FEdit(edit) {}

  int Count() const override {
    QTextDocument* doc = FEdit->document();
    if (doc->isEmpty()) return 0;
    int n = doc->blockCount();
    if (Terminated()) --n;
    return n;
  }

  std::string Get(int index) const override {
    if (index < 0 || index >= Count()) Error(index);
    return S(FEdit->document()->findBlockByNumber(index).text());
  }

  void Put(int index, const std::string& s) override {
    const int n = Count();
    if (index < 0 || index >= n) Error(index);
    QTextBlock block = FEdit->document()->findBlockByNumber(index);
    QTextCursor cur(block);
    cur.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    // An unterminated last line gets its break, or an empty text would end the list.
    cur.insertText(index == n - 1 && !Terminated() ? Q(s) + '\n' : Q(s));
  }

  void Insert(int index, const std::string& s) override {
    const int n = Count();
    if (index < 0 || index > n) Error(index);
    QTextDocument* doc = FEdit->document();
    if (index < n) {
      QTextCursor cur(doc->findBlockByNumber(index));
      cur.insertText(Q(s) + '\n');
      return;
    }
    QTextCursor cur(doc);
    cur.movePosition(QTextCursor::End);
    cur.insertText(doc->isEmpty() || Terminated() ? Q(s) + '\n' : '\n' + Q(s) + '\n');
  }

  void Delete(int index) override {
    if (index < 0 || index >= Count()) Error(index);
    QTextDocument* doc = FEdit->document();
    QTextBlock block = doc->findBlockByNumber(index);
    QTextCursor cur(doc);
    if (block.next().isValid()) {
      cur.setPosition(block.position());
      cur.setPosition(block.next().position(), QTextCursor::KeepAnchor);
    } else {
      cur.setPosition(block.previous().isValid() ? block.position() - 1 : block.position());
      cur.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
    }
    cur.removeSelectedText();
  }

  void Clear() override { FEdit->clear(); }

  void SetText(const std::string& text) override {
    QString t = Q(text);
    t.replace("\r\n", "\n").replace('\r', '\n');
    FEdit->setPlainText(t);
  }

 private:
  // The text ends in a line break (its last block is the empty one after it).
  bool Terminated() const {
    QTextDocument* doc = FEdit->document();
    return !doc->isEmpty() && doc->blockCount() > 1 && doc->lastBlock().text().isEmpty();
  }
  QPlainTextEdit* FEdit;
};

ORVEL_IMPLEMENT_CLASS(TMemoStrings, TStrings, nullptr)

// The items of a list box. A sorted list box keeps them in order: Add puts an item
// at its place, Put and Insert are refused.
class TListBoxStrings final : public TStrings {
  ORVEL_DECLARE_CLASS(TListBoxStrings)
 public:
  TListBoxStrings(TCustomListBox* owner, QListWidget* list) : FOwner(owner), FList(list) {}

  int Count() const override { return FList->count(); }

  std::string Get(int index) const override {
    if (index < 0 || index >= Count()) Error(index);
    return S(FList->item(index)->text());
  }

  void Put(int index, const std::string& s) override {
    if (FOwner->Sorted()) throw EStringListError("Operation not allowed on sorted list");
    if (index < 0 || index >= Count()) Error(index);
    FList->item(index)->setText(Q(s));
  }

  TObject* GetObject(int index) const override {
    if (index < 0 || index >= Count()) Error(index);
    return static_cast<TObject*>(FList->item(index)->data(Qt::UserRole).value<void*>());
  }

  void PutObject(int index, TObject* obj) override {
    if (index < 0 || index >= Count()) Error(index);
    FList->item(index)->setData(Qt::UserRole, QVariant::fromValue(static_cast<void*>(obj)));
  }

  int Add(const std::string& s) override {
    int index = Count();
    if (FOwner->Sorted()) {
      // After the equal items already there, found by halving: the items are in order.
      int lo = 0, hi = Count();
      while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (CompareText(Get(mid), s) <= 0)
          lo = mid + 1;
        else
          hi = mid;
      }
      index = lo;
    }
    InsertAt(index, s);
    return index;
  }

  void Insert(int index, const std::string& s) override {
    if (FOwner->Sorted()) throw EStringListError("Operation not allowed on sorted list");
    if (index < 0 || index > Count()) Error(index);
    InsertAt(index, s);
  }

  void Delete(int index) override {
    if (index < 0 || index >= Count()) Error(index);
    const QSignalBlocker block(FList);
    delete FList->takeItem(index);
  }

  void Clear() override {
    const QSignalBlocker block(FList);
    FList->clear();
  }

  void SortItems() {
    std::vector<std::pair<std::string, TObject*>> items;
    items.reserve(Count());
    for (int i = 0; i < Count(); ++i) items.emplace_back(Get(i), GetObject(i));
    std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) {
      return CompareText(a.first, b.first) < 0;
    });
    const QSignalBlocker block(FList);
    for (int i = 0; i < Count(); ++i) {
      FList->item(i)->setText(Q(items[i].first));
      PutObject(i, items[i].second);
    }
  }

 private:
  void InsertAt(int index, const std::string& s) {
    const QSignalBlocker block(FList);
    FList->insertItem(index, Q(s));
  }
  TCustomListBox* FOwner;
  QListWidget* FList;
};

ORVEL_IMPLEMENT_CLASS(TListBoxStrings, TStrings, nullptr)

// Qt selects the text when Tab brings the focus; without AutoSelect the caret goes
// to the end instead.
class TQtLineEdit final : public QLineEdit {
 public:
  using QLineEdit::QLineEdit;
  bool AutoSelect = true;
  bool HideSelection = true;

 protected:
  // Qt drops the selection when the focus leaves; a box that shows it keeps it.
  void focusOutEvent(QFocusEvent* e) override {
    const int start = selectionStart();
    const int length = selectedText().size();
    QLineEdit::focusOutEvent(e);
    if (!HideSelection && start >= 0 && !hasSelectedText()) setSelection(start, length);
  }
  void focusInEvent(QFocusEvent* e) override {
    QLineEdit::focusInEvent(e);
    if (!AutoSelect && (e->reason() == Qt::TabFocusReason || e->reason() == Qt::BacktabFocusReason))
      deselect();
  }
};

// Rows of a chosen height (0: the height the text needs).
class TRowHeightDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  int Height = 0;
  QSize sizeHint(const QStyleOptionViewItem& opt, const QModelIndex& index) const override {
    QSize s = QStyledItemDelegate::sizeHint(opt, index);
    if (Height > 0) s.setHeight(Height);
    return s;
  }
};

// Breaks each line of the text at blanks so that it fits the width; a word wider
// than the width keeps a line of its own.
QString WrapText(const QString& text, const QFont& font, int width) {
  const QFontMetrics fm(font);
  QStringList out;
  for (const QString& para : text.split('\n')) {
    QString line;
    for (const QString& word : para.split(' ')) {
      const QString candidate = line.isEmpty() ? word : line + ' ' + word;
      if (!line.isEmpty() && fm.horizontalAdvance(candidate) > width) {
        out << line;
        line = word;
      } else {
        line = candidate;
      }
    }
    out << line;
  }
  return out.join('\n');
}

}  // namespace

// ---------------------------------------------------------------------------------

ORVEL_IMPLEMENT_CLASS(TCustomLabel, TGraphicControl, ORVEL_COMPONENT_FACTORY(TCustomLabel))
ORVEL_IMPLEMENT_CLASS(TLabel, TCustomLabel, ORVEL_COMPONENT_FACTORY(TLabel))

TCustomLabel::TCustomLabel(TComponent* AOwner)
    : TGraphicControl(AOwner, new QLabel(NewWidgetParent())) {
  EnableControlEvents(this, ceClick | ceDblClick | ceMouseHover);
  LabelWidget()->setTextFormat(Qt::PlainText);
  FCaptionFollowsName = true;
  FParentColor = true;
  SetBounds(0, 0, 65, 17);
  UpdateText();
}

TLabel::TLabel(TComponent* AOwner) : TCustomLabel(AOwner) {}

QLabel* TCustomLabel::LabelWidget() const {
  return static_cast<QLabel*>(FWidget);
}

std::string TCustomLabel::Caption() const {
  return FCaption;
}

void TCustomLabel::SetCaption(const std::string& text) {
  FCaption = text;
  UpdateText();
}

// "&x" marks an accelerator: shown without the ampersand ("&&" shows one).
void TCustomLabel::SetFocusControl(TWinControl* c) {
  FFocusControl = c;
  UpdateText();
}

void TCustomLabel::UpdateText() {
  QString t = Q(FCaption);
  TWinControl* buddy = FShowAccelChar ? FFocusControl.get() : nullptr;
  // A label with a buddy shows the access key underlined and takes it; without one
  // the "&" marks are dropped.
  LabelWidget()->setBuddy(buddy ? buddy->Widget() : nullptr);
  if (FShowAccelChar && !buddy) {
    QString shown;
    for (int i = 0; i < t.size(); ++i) {
      if (t[i] == '&' && i + 1 < t.size()) ++i;
      shown += t[i];
    }
    t = shown;
  }
  LabelWidget()->setText(t);
  AdjustSize();
}

void TCustomLabel::SetAlignment(TAlignment v) {
  FAlignment = v;
  Qt::Alignment h = v == taCenter         ? Qt::AlignHCenter
                    : v == taRightJustify ? Qt::AlignRight
                                          : Qt::AlignLeft;
  Qt::Alignment vert = FLayout == tlCenter   ? Qt::AlignVCenter
                       : FLayout == tlBottom ? Qt::AlignBottom
                                             : Qt::AlignTop;
  LabelWidget()->setAlignment(h | vert);
}

void TCustomLabel::SetLayout(TTextLayout v) {
  FLayout = v;
  SetAlignment(FAlignment);
}

void TCustomLabel::SetAutoSize(bool v) {
  FAutoSize = v;
  AdjustSize();
}

void TCustomLabel::SetWordWrap(bool v) {
  FWordWrap = v;
  LabelWidget()->setWordWrap(v);
  AdjustSize();
}

void TCustomLabel::SetTransparent(bool v) {
  FTransparent = v;
  ColorChanged();
}

void TCustomLabel::SetShowAccelChar(bool v) {
  FShowAccelChar = v;
  UpdateText();
}

// An auto-sized label fits its text: one line as wide as needed, or wrapped within
// its width.
void TCustomLabel::AdjustSize() {
  if (!FAutoSize) return;
  QLabel* l = LabelWidget();
  if (FWordWrap) {
    SetBounds(FLeft, FTop, FWidth, std::max(1, l->heightForWidth(std::max(1, FWidth))));
  } else {
    const QSize hint = l->sizeHint();
    SetBounds(FLeft, FTop, hint.width(), hint.height());
  }
}

void TCustomLabel::FontChanged() {
  TControl::FontChanged();
  AdjustSize();
}

void TCustomLabel::ColorChanged() {
  QPalette pal = FWidget->palette();
  pal.setColor(QPalette::Window, ToQColor(FColor));
  FWidget->setPalette(pal);
  FWidget->setAutoFillBackground(!FTransparent);
}

// ---------------------------------------------------------------------------------

ORVEL_IMPLEMENT_CLASS(TButtonControl, TWinControl, ORVEL_COMPONENT_FACTORY(TButtonControl))

TButtonControl::TButtonControl(TComponent* AOwner)
    : TButtonControl(AOwner, new QWidget(NewWidgetParent())) {}

TButtonControl::TButtonControl(TComponent* AOwner, QWidget* widget) : TWinControl(AOwner, widget) {
  FTabStop = true;
}

void TButtonControl::SetWordWrap(bool v) {
  FWordWrap = v;
  UpdateCaptionText();
}

void TButtonControl::Resized() {
  TWinControl::Resized();
  if (FWordWrap) UpdateCaptionText();
}

void TButtonControl::FontChanged() {
  TWinControl::FontChanged();
  if (FWordWrap) UpdateCaptionText();
}

int TButtonControl::CaptionRoom() const {
  return FWidth - 2 * FWidget->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, FWidget);
}

void TButtonControl::UpdateCaptionText() {
  auto* b = qobject_cast<QAbstractButton*>(FWidget);
  if (!b) return;
  const QString text = Q(Caption());
  b->setText(FWordWrap ? WrapText(text, FWidget->font(), CaptionRoom()) : text);
}

struct TButton::Shortcuts {
  std::unique_ptr<QShortcut> Return, Enter, Escape;
};

ORVEL_IMPLEMENT_CLASS(TButton, TButtonControl, ORVEL_COMPONENT_FACTORY(TButton))

TButton::TButton(TComponent* AOwner) : TButtonControl(AOwner, new QPushButton(NewWidgetParent())) {
  QPushButton* b = ButtonWidget();
  b->setFocusPolicy(Qt::StrongFocus);
  FCaptionFollowsName = true;
  SetBounds(0, 0, 75, 25);
}

// A focused button takes Enter itself, ahead of the form's default button.
int TButton::ShortcutKey(QKeyEvent* e) {
  return IsEnterKey(e->key()) && ButtonWidget()->hasFocus() ? 1 : 0;
}

bool TButton::KeyHook(QKeyEvent* e) {
  if (!IsEnterKey(e->key()) || e->modifiers() & ~Qt::KeypadModifier) return false;
  ButtonWidget()->click();
  return true;
}

// A click fires nothing but OnClick: the signal is connected once a handler is bound.
// Most buttons never get one, and the connection would cost each more memory than
// anything else of its own.
void TButton::EventBound(const std::string& name) {
  if (FClickConnected || name != "OnClick") return;
  FClickConnected = true;
  QObject::connect(ButtonWidget(), &QPushButton::clicked, SignalContext(),
                   [this] { FireEvent("OnClick"); });
}

TButton::~TButton() {
  FShortcuts.reset();
}

QPushButton* TButton::ButtonWidget() const {
  return static_cast<QPushButton*>(FWidget);
}

std::string TButton::Caption() const {
  return FCaption;
}

void TButton::SetCaption(const std::string& text) {
  FCaption = text;
  UpdateCaptionText();
}

void TButton::SetDefault(bool v) {
  FDefault = v;
  UpdateShortcuts();
}

void TButton::SetCancel(bool v) {
  FCancel = v;
  UpdateShortcuts();
}

// Enter (Default) and Esc (Cancel) anywhere in the button's window press it.
void TButton::UpdateShortcuts() {
  auto make = [this](const QKeySequence& key) {
    auto sc = std::make_unique<QShortcut>(key, FWidget);
    sc->setContext(Qt::WindowShortcut);
    QObject::connect(sc.get(), &QShortcut::activated, SignalContext(), [this] {
      if (FWidget->isVisible() && FWidget->isEnabled()) ButtonWidget()->click();
    });
    return sc;
  };
  // Made on first need: few buttons are a default or cancel button.
  if (!FShortcuts && (FDefault || FCancel)) FShortcuts = std::make_unique<Shortcuts>();
  if (FShortcuts) {
    FShortcuts->Return.reset();
    FShortcuts->Enter.reset();
    FShortcuts->Escape.reset();
  }
  if (FDefault) {
    FShortcuts->Return = make(QKeySequence(Qt::Key_Return));
    FShortcuts->Enter = make(QKeySequence(Qt::Key_Enter));
  }
  if (FCancel) FShortcuts->Escape = make(QKeySequence(Qt::Key_Escape));
  ButtonWidget()->setDefault(FDefault);
}

void TButton::Click() {
  FireEvent("OnClick");
}

// ---------------------------------------------------------------------------------

ORVEL_IMPLEMENT_CLASS(TCustomEdit, TWinControl, ORVEL_COMPONENT_FACTORY(TCustomEdit))
ORVEL_IMPLEMENT_CLASS(TEdit, TCustomEdit, ORVEL_COMPONENT_FACTORY(TEdit))

TCustomEdit::TCustomEdit(TComponent* AOwner)
    : TCustomEdit(AOwner, new TQtLineEdit(NewWidgetParent())) {
  FCaptionFollowsName = true;
  SetBounds(0, 0, 121, 21);
}

// A line edit's change fires nothing but OnChange: connected once a handler is bound
// (a memo connects its own at once).
void TCustomEdit::EventBound(const std::string& name) {
  QLineEdit* e = LineEditWidget();
  if (FChangeConnected || name != "OnChange" || !e) return;
  FChangeConnected = true;
  QObject::connect(e, &QLineEdit::textChanged, SignalContext(), [this] { FireEvent("OnChange"); });
}

TCustomEdit::TCustomEdit(TComponent* AOwner, QWidget* widget) : TWinControl(AOwner, widget) {
  EnableControlEvents(this, ceClick | ceDblClick);
  widget->setFocusPolicy(Qt::StrongFocus);
  FTabStop = true;
  FColor = clWindow;
  ColorChanged();
}

TEdit::TEdit(TComponent* AOwner) : TCustomEdit(AOwner) {}

QLineEdit* TCustomEdit::LineEditWidget() const {
  return qobject_cast<QLineEdit*>(FWidget);
}

std::string TCustomEdit::Caption() const {
  return S(LineEditWidget()->text());
}

void TCustomEdit::SetCaption(const std::string& text) {
  LineEditWidget()->setText(Q(ApplyCharCase(text)));
}

std::string TCustomEdit::ApplyCharCase(const std::string& text) const {
  if (FCharCase == ecNormal) return text;
  const QString t = Q(text);
  return S(FCharCase == ecUpperCase ? t.toUpper() : t.toLower());
}

void TCustomEdit::SetMaxLength(int v) {
  FMaxLength = std::max(0, v);
  LineEditWidget()->setMaxLength(FMaxLength ? FMaxLength : 32767);
}

void TCustomEdit::SetReadOnly(bool v) {
  FReadOnly = v;
  LineEditWidget()->setReadOnly(v);
}

void TCustomEdit::SetPasswordChar(char c) {
  FPasswordChar = c;
  if (QLineEdit* e = LineEditWidget()) e->setEchoMode(c ? QLineEdit::Password : QLineEdit::Normal);
}

void TCustomEdit::SetCharCase(TEditCharCase v) {
  FCharCase = v;
  if (QLineEdit* e = LineEditWidget()) {
    delete e->validator();
    e->setValidator(v == ecNormal ? nullptr : new TCaseValidator(v, e));
    if (v != ecNormal) e->setText(Q(ApplyCharCase(S(e->text()))));
  } else {
    SetCaption(ApplyCharCase(Caption()));
  }
}

void TCustomEdit::SetBorderStyle(TBorderStyle v) {
  FBorderStyle = v == bsNone ? bsNone : bsSingle;
  LineEditWidget()->setFrame(FBorderStyle == bsSingle);
}

void TCustomEdit::SetAutoSelect(bool v) {
  FAutoSelect = v;
  if (auto* e = dynamic_cast<TQtLineEdit*>(FWidget)) e->AutoSelect = v;
}

void TCustomEdit::SetAutoSize(bool v) {
  FAutoSize = v;
  AdjustHeight();
}

void TCustomEdit::AdjustHeight() {
  if (FAutoSize && LineEditWidget()) SetHeight(FWidget->sizeHint().height());
}

void TCustomEdit::FontChanged() {
  TWinControl::FontChanged();
  SetHideSelection(FHideSelection);  // the hidden selection's text colour follows
  AdjustHeight();
}

void TCustomEdit::SetImeMode(TImeMode v) {
  FImeMode = v;
  FWidget->setAttribute(Qt::WA_InputMethodEnabled, v != imDisable && v != imClose);
}

void TCustomEdit::SelectAll() {
  if (QLineEdit* e = LineEditWidget()) e->selectAll();
}

void TCustomEdit::ColorChanged() {
  SetBaseColor(FWidget, FColor);
  SetHideSelection(FHideSelection);
}

void TCustomEdit::SetHideSelection(bool v) {
  FHideSelection = v;
  if (auto* e = dynamic_cast<TQtLineEdit*>(FWidget)) {
    e->HideSelection = v;
    return;
  }
  // A multi-line box paints an unfocused selection in the inactive colours: make
  // those the plain text colours to hide it.
  QPalette pal = FWidget->palette();
  const QPalette normal = QApplication::palette(FWidget);
  pal.setColor(QPalette::Inactive, QPalette::Highlight,
               v ? pal.color(QPalette::Active, QPalette::Base)
                 : normal.color(QPalette::Inactive, QPalette::Highlight));
  pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
               v ? pal.color(QPalette::Active, QPalette::Text)
                 : normal.color(QPalette::Inactive, QPalette::HighlightedText));
  FWidget->setPalette(pal);
}

// ---------------------------------------------------------------------------------

ORVEL_IMPLEMENT_CLASS(TCustomMemo, TCustomEdit, ORVEL_COMPONENT_FACTORY(TCustomMemo))
ORVEL_IMPLEMENT_CLASS(TMemo, TCustomMemo, ORVEL_COMPONENT_FACTORY(TMemo))

TCustomMemo::TCustomMemo(TComponent* AOwner)
    : TCustomEdit(AOwner, new QPlainTextEdit(NewWidgetParent())) {
  QPlainTextEdit* m = MemoWidget();
  FLines = std::make_unique<TMemoStrings>(m);
  m->setTabChangesFocus(true);
  m->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  SetScrollBars(ssNone);
  QObject::connect(m, &QPlainTextEdit::textChanged, SignalContext(), [this] {
    if (FMaxLength > 0) {
      QPlainTextEdit* w = MemoWidget();
      const QString t = w->toPlainText();
      if (t.size() > FMaxLength) {
        const QSignalBlocker block(w);
        QTextCursor cur = w->textCursor();
        w->setPlainText(t.left(FMaxLength));
        cur.setPosition(std::min(cur.position(), FMaxLength));
        w->setTextCursor(cur);
      }
    }
    FireEvent("OnChange");
  });
  SetBounds(0, 0, 185, 89);
}

int TCustomMemo::ShortcutKey(QKeyEvent* e) {
  if (!IsEnterKey(e->key()) || (e->modifiers() & Qt::ControlModifier)) return 0;
  return FWantReturns ? 1 : -1;
}

// Without WantReturns, Enter belongs to the form; Ctrl+Enter still breaks the line.
bool TCustomMemo::KeyHook(QKeyEvent* e) {
  if (!IsEnterKey(e->key()) || FWantReturns) return false;
  if (e->modifiers() & Qt::ControlModifier) {
    MemoWidget()->textCursor().insertText("\n");
    return true;
  }
  return true;
}

TCustomMemo::~TCustomMemo() {
  FLines.reset();
}

TMemo::TMemo(TComponent* AOwner) : TCustomMemo(AOwner) {}

QPlainTextEdit* TCustomMemo::MemoWidget() const {
  return static_cast<QPlainTextEdit*>(FWidget);
}

std::string TCustomMemo::Caption() const {
  return S(MemoWidget()->toPlainText());
}

void TCustomMemo::SetCaption(const std::string& text) {
  FLines->SetText(ApplyCharCase(text));
}

void TCustomMemo::SetMaxLength(int v) {
  FMaxLength = std::max(0, v);
}

void TCustomMemo::SetReadOnly(bool v) {
  FReadOnly = v;
  MemoWidget()->setReadOnly(v);
}

void TCustomMemo::SetBorderStyle(TBorderStyle v) {
  FBorderStyle = v == bsNone ? bsNone : bsSingle;
  MemoWidget()->setFrameShape(FBorderStyle == bsSingle ? QFrame::StyledPanel : QFrame::NoFrame);
}

void TCustomMemo::SetAlignment(TAlignment v) {
  FAlignment = v;
  QTextOption opt = MemoWidget()->document()->defaultTextOption();
  opt.setAlignment(v == taCenter         ? Qt::AlignHCenter
                   : v == taRightJustify ? Qt::AlignRight
                                         : Qt::AlignLeft);
  MemoWidget()->document()->setDefaultTextOption(opt);
}

void TCustomMemo::SetScrollBars(TScrollStyle v) {
  FScrollBars = v;
  MemoWidget()->setHorizontalScrollBarPolicy(HorzPolicy(v));
  MemoWidget()->setVerticalScrollBarPolicy(VertPolicy(v));
  SetWordWrap(FWordWrap);
}

void TCustomMemo::SetWantTabs(bool v) {
  FWantTabs = v;
  MemoWidget()->setTabChangesFocus(!v);
}

// A horizontal scroll bar means lines do not wrap.
void TCustomMemo::SetWordWrap(bool v) {
  FWordWrap = v;
  const bool wrap = v && FScrollBars != ssHorizontal && FScrollBars != ssBoth;
  MemoWidget()->setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
}

// ---------------------------------------------------------------------------------

ORVEL_IMPLEMENT_CLASS(TCustomListControl, TWinControl, ORVEL_COMPONENT_FACTORY(TCustomListControl))
ORVEL_IMPLEMENT_CLASS(TCustomMultiSelectListControl, TCustomListControl,
                      ORVEL_COMPONENT_FACTORY(TCustomMultiSelectListControl))
ORVEL_IMPLEMENT_CLASS(TCustomListBox, TCustomMultiSelectListControl,
                      ORVEL_COMPONENT_FACTORY(TCustomListBox))
ORVEL_IMPLEMENT_CLASS(TListBox, TCustomListBox, ORVEL_COMPONENT_FACTORY(TListBox))

TCustomListControl::TCustomListControl(TComponent* AOwner) : TWinControl(AOwner) {}
TCustomListControl::TCustomListControl(TComponent* AOwner, QWidget* widget)
    : TWinControl(AOwner, widget) {}
TCustomMultiSelectListControl::TCustomMultiSelectListControl(TComponent* AOwner)
    : TCustomListControl(AOwner) {}
TCustomMultiSelectListControl::TCustomMultiSelectListControl(TComponent* AOwner, QWidget* widget)
    : TCustomListControl(AOwner, widget) {}

TCustomListBox::TCustomListBox(TComponent* AOwner)
    : TCustomMultiSelectListControl(AOwner, new QListWidget(NewWidgetParent())) {
  QListWidget* l = ListWidget();
  l->setItemDelegate(new TRowHeightDelegate(l));
  FItems = std::make_unique<TListBoxStrings>(this, l);
  EnableControlEvents(this, ceDblClick);
  l->setFocusPolicy(Qt::StrongFocus);
  FTabStop = true;
  FColor = clWindow;
  ColorChanged();
  // A change of selection by the user is the list box's click.
  QObject::connect(l, &QListWidget::itemSelectionChanged, SignalContext(),
                   [this] { FireEvent("OnClick"); });
  UpdateSelectionMode();
  SetBounds(0, 0, 121, 97);
}

TCustomListBox::~TCustomListBox() {
  FItems.reset();
}

TListBox::TListBox(TComponent* AOwner) : TCustomListBox(AOwner) {}

QListWidget* TCustomListBox::ListWidget() const {
  return static_cast<QListWidget*>(FWidget);
}

int TCustomListBox::ItemIndex() const {
  return ListWidget()->currentRow();
}

void TCustomListBox::SetItemIndex(int i) {
  if (i < -1 || i >= ListWidget()->count())
    throw EStringListError("List index out of bounds (" + std::to_string(i) + ")");
  const QSignalBlocker block(ListWidget());
  ListWidget()->setCurrentRow(i);
  if (i < 0) ListWidget()->clearSelection();
}

void TCustomListBox::SetMultiSelect(bool v) {
  FMultiSelect = v;
  UpdateSelectionMode();
}

void TCustomListBox::SetExtendedSelect(bool v) {
  FExtendedSelect = v;
  UpdateSelectionMode();
}

void TCustomListBox::UpdateSelectionMode() {
  ListWidget()->setSelectionMode(!FMultiSelect     ? QAbstractItemView::SingleSelection
                                 : FExtendedSelect ? QAbstractItemView::ExtendedSelection
                                                   : QAbstractItemView::MultiSelection);
}

void TCustomListBox::SetSorted(bool v) {
  FSorted = v;
  if (v) static_cast<TListBoxStrings*>(FItems.get())->SortItems();
}

void TCustomListBox::SetColumns(int v) {
  FColumns = ClampSize(v);
  UpdateColumns();
}

void TCustomListBox::SetItemHeight(int v) {
  if (v <= 0) throw EComponentError("ItemHeight must be above 0 (got " + std::to_string(v) + ")");
  FItemHeight = ClampSize(v);
  UpdateColumns();
}

void TCustomListBox::SetStyle(TListBoxStyle v) {
  FStyle = v;
  UpdateColumns();
}

// Columns > 0: items run top to bottom and wrap into columns of equal width.
void TCustomListBox::UpdateColumns() {
  QListWidget* l = ListWidget();
  if (FColumns > 0) {
    l->setFlow(QListView::TopToBottom);
    l->setWrapping(true);
    l->setResizeMode(QListView::Adjust);
    l->setGridSize(QSize(std::max(1, (l->viewport()->width()) / FColumns), FItemHeight));
  } else {
    l->setWrapping(false);
    l->setGridSize(QSize());
  }
  auto* rows = static_cast<TRowHeightDelegate*>(l->itemDelegate());
  const bool fixed = FStyle == lbOwnerDrawFixed || FStyle == lbOwnerDrawVariable;
  const int height = fixed && FColumns == 0 ? FItemHeight : 0;
  if (height != rows->Height) {
    rows->Height = height;
    emit rows->sizeHintChanged(QModelIndex());
  }
}

void TCustomListBox::Resized() {
  TWinControl::Resized();
  if (FColumns > 0) UpdateColumns();
}

void TCustomListBox::SetBorderStyle(TBorderStyle v) {
  FBorderStyle = v == bsNone ? bsNone : bsSingle;
  ListWidget()->setFrameShape(FBorderStyle == bsSingle ? QFrame::StyledPanel : QFrame::NoFrame);
}

void TCustomListBox::ColorChanged() {
  SetBaseColor(FWidget, FColor);
}

// ---------------------------------------------------------------------------------

ORVEL_IMPLEMENT_CLASS(TCustomCheckBox, TButtonControl, ORVEL_COMPONENT_FACTORY(TCustomCheckBox))
ORVEL_IMPLEMENT_CLASS(TCheckBox, TCustomCheckBox, ORVEL_COMPONENT_FACTORY(TCheckBox))

TCustomCheckBox::TCustomCheckBox(TComponent* AOwner)
    : TButtonControl(AOwner, new TQtCheckBox(NewWidgetParent())) {
  QCheckBox* c = CheckBoxWidget();
  c->setFocusPolicy(Qt::StrongFocus);
  FCaptionFollowsName = true;
  QObject::connect(c, &QCheckBox::stateChanged, SignalContext(),
                   [this](int s) { StateFromWidget(s); });
  SetBounds(0, 0, 97, 17);
}

TCheckBox::TCheckBox(TComponent* AOwner) : TCustomCheckBox(AOwner) {}

QCheckBox* TCustomCheckBox::CheckBoxWidget() const {
  return static_cast<QCheckBox*>(FWidget);
}

std::string TCustomCheckBox::Caption() const {
  return FCaption;
}

void TCustomCheckBox::SetCaption(const std::string& text) {
  FCaption = text;
  UpdateCaptionText();
}

int TCustomCheckBox::CaptionRoom() const {
  const QStyle* st = FWidget->style();
  return FWidth - st->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, FWidget) -
         st->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, FWidget);
}

void TCustomCheckBox::SetState(TCheckBoxState v) {
  if (v == FState) return;
  CheckBoxWidget()->setCheckState(v == cbChecked  ? Qt::Checked
                                  : v == cbGrayed ? Qt::PartiallyChecked
                                                  : Qt::Unchecked);
}

// Every change of state, by the user or by a write, is the check box's click.
void TCustomCheckBox::StateFromWidget(int qtState) {
  const TCheckBoxState s = qtState == Qt::Checked            ? cbChecked
                           : qtState == Qt::PartiallyChecked ? cbGrayed
                                                             : cbUnchecked;
  if (s == FState) return;
  FState = s;
  FireEvent("OnClick");
}

void TCustomCheckBox::SetAllowGrayed(bool v) {
  FAllowGrayed = v;
  static_cast<TQtCheckBox*>(CheckBoxWidget())->AllowGrayed = v;
}

void TCustomCheckBox::SetAlignment(TAlignment v) {
  FAlignment = v == taLeftJustify ? taLeftJustify : taRightJustify;
  BiDiModeChanged();
}

// Left-justified: the caption stands left of the box; a right-to-left mode mirrors that.
void TCustomCheckBox::BiDiModeChanged() {
  const bool captionLeft = (FAlignment == taLeftJustify) != UseRightToLeftLayout();
  CheckBoxWidget()->setLayoutDirection(captionLeft ? Qt::RightToLeft : Qt::LeftToRight);
}

void TCustomCheckBox::ColorChanged() {
  QPalette pal = FWidget->palette();
  pal.setColor(QPalette::Window, ToQColor(FColor));
  FWidget->setPalette(pal);
  FWidget->setAutoFillBackground(true);
}
