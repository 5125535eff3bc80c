// The grid classes and the value list editor on a two-column table widget.

#include "ValEdit.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTableWidget>

#include "ModelInternals.h"
#include "WidgetSupport.h"

ORVEL_IMPLEMENT_CLASS(TCustomGrid, TCustomControl, ORVEL_COMPONENT_FACTORY(TCustomGrid))
ORVEL_IMPLEMENT_CLASS(TCustomDrawGrid, TCustomGrid, ORVEL_COMPONENT_FACTORY(TCustomDrawGrid))

TCustomGrid::TCustomGrid(TComponent* AOwner)
    : TCustomGrid(AOwner, new QTableWidget(5, 5, NewWidgetParent())) {}

TCustomGrid::TCustomGrid(TComponent* AOwner, QWidget* widget) : TCustomControl(AOwner, widget) {
  EnableControlEvents(this, ceClick | ceDblClick);
  widget->setFocusPolicy(Qt::StrongFocus);
  FTabStop = true;
  FColor = clWindow;
  SetBounds(0, 0, 320, 120);
}

TCustomDrawGrid::TCustomDrawGrid(TComponent* AOwner) : TCustomGrid(AOwner) {}
TCustomDrawGrid::TCustomDrawGrid(TComponent* AOwner, QWidget* widget)
    : TCustomGrid(AOwner, widget) {}

// The editor's Strings: a plain string list whose changes reach the grid and fire
// the editor's OnStringsChanging and OnStringsChange.
class TValueListStrings final : public TStringList {
  ORVEL_DECLARE_CLASS(TValueListStrings)
 public:
  explicit TValueListStrings(TValueListEditor* editor) : FEditor(editor) {}
  TValueListEditor* FEditor;

 protected:
  void Changing() override {
    TStringList::Changing();
    if (UpdateCount() == 0 && FEditor && !FEditor->Destroying())
      FEditor->FireEvent("OnStringsChanging");
  }

 public:
  // An append adds one row to the grid instead of rebuilding every row.
  int Add(const std::string& s) override {
    FAppending = true;
    try {
      const int index = TStringList::Add(s);
      FAppending = false;
      return index;
    } catch (...) {
      FAppending = false;
      throw;
    }
  }

 protected:
  void Changed() override {
    TStringList::Changed();
    if (UpdateCount() == 0 && FEditor && !FEditor->Destroying()) {
      QTableWidget* g = FEditor->GridWidget();
      // The grid showed every line but the new last one (a change handler that ran
      // before the append refreshed it already).
      if (FAppending && !Sorted() && g->rowCount() == Count() - 1) {
        const QSignalBlocker block(g);
        g->setRowCount(Count());
        FEditor->SetRow(Count() - 1);
      } else {
        FEditor->RefreshRows();
      }
      FAppending = false;
      FEditor->FireEvent("OnStringsChange");
    }
  }

 private:
  bool FAppending = false;
};

ORVEL_IMPLEMENT_CLASS(TValueListStrings, TStringList, nullptr)

namespace {

// Grid lines of any width, the vertical and the horizontal ones each on their own
// option; the table's own grid is one pixel wide and all or nothing.
class TGridLineDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  int Width = 1;
  bool Vert = true, Horz = true;

  void paint(QPainter* p, const QStyleOptionViewItem& opt,
             const QModelIndex& index) const override {
    QStyledItemDelegate::paint(p, opt, index);
    if (Width <= 0 || !opt.widget) return;
    const QColor c = QColor::fromRgba(static_cast<QRgb>(
        opt.widget->style()->styleHint(QStyle::SH_Table_GridLineColor, &opt, opt.widget)));
    const QRect r = opt.rect;
    if (Vert) p->fillRect(r.right() - Width + 1, r.top(), Width, r.height(), c);
    if (Horz) p->fillRect(r.left(), r.bottom() - Width + 1, r.width(), Width, c);
  }
};

}  // namespace

struct TValueListPrivate {
  TGridLineDelegate* Lines = nullptr;  // owned by the table
  std::unique_ptr<TValueListStrings> Strings;
  std::unique_ptr<TStringList> Titles;
  bool FromGrid = false;  // a cell edit is being written back to Strings
};

ORVEL_IMPLEMENT_CLASS(TValueListEditor, TCustomDrawGrid, ORVEL_COMPONENT_FACTORY(TValueListEditor))

TValueListEditor::TValueListEditor(TComponent* AOwner)
    : TCustomDrawGrid(AOwner, new QTableWidget(0, 2, NewWidgetParent())),
      v(std::make_unique<TValueListPrivate>()) {
  FOptions = (1 << goFixedVertLine) | (1 << goFixedHorzLine) | (1 << goVertLine) |
             (1 << goHorzLine) | (1 << goColSizing) | (1 << goEditing) | (1 << goAlwaysShowEditor) |
             (1 << goThumbTracking);
  FDisplayOptions = (1 << doColumnTitles) | (1 << doAutoColResize) | (1 << doKeyColFixed);
  QTableWidget* g = GridWidget();
  g->verticalHeader()->hide();
  g->setShowGrid(false);
  v->Lines = new TGridLineDelegate(g);
  g->setItemDelegate(v->Lines);
  v->Strings = std::make_unique<TValueListStrings>(this);
  v->Titles = std::make_unique<TStringList>();
  v->Titles->Add("Key");
  v->Titles->Add("Value");
  v->Titles->OnChange = [this](TObject*) { RefreshTitles(); };

  // Typing in a cell changes the line of Strings behind its row.
  QObject::connect(g, &QTableWidget::cellChanged, SignalContext(), [this](int row, int col) {
    if (row < 0 || row >= v->Strings->Count()) return;
    QTableWidget* g = GridWidget();
    const QTableWidgetItem* k = g->item(row, 0);
    const QTableWidgetItem* val = g->item(row, 1);
    const std::string key = k ? S(k->text()) : std::string();
    const std::string value = val ? S(val->text()) : std::string();
    if (col == 0 && (FKeyOptions & (1 << keyUnique))) {
      const int other = v->Strings->IndexOfName(key);
      if (other >= 0 && other != row) {  // a duplicate key: the edit does not stick
        RefreshRows();
        return;
      }
    }
    const std::shared_ptr<TObjectLife> life = LifeToken();
    v->FromGrid = true;
    try {
      v->Strings->Put(row, key + "=" + value);
    } catch (...) {
      // Put on this unsorted list only fails for a row that is gone: nothing to keep.
    }
    if (life->Object) v->FromGrid = false;  // a change handler may have freed the editor
  });
  TControlPrivate* p = ControlPrivate(this);
  auto topLeft = [this, p] {
    if (p->Control) FireEvent("OnTopLeftChanged");
  };
  QObject::connect(g->verticalScrollBar(), &QScrollBar::valueChanged, p, topLeft);
  QObject::connect(g->horizontalScrollBar(), &QScrollBar::valueChanged, p, topLeft);

  SetBounds(0, 0, 306, 300);
  ColorChanged();
  RefreshTitles();
  ApplyOptions();
  ApplyColumnWidths();
}

TValueListEditor::~TValueListEditor() {
  v->Strings->FEditor = nullptr;
  v->Titles->OnChange = nullptr;
}

QTableWidget* TValueListEditor::GridWidget() const {
  return static_cast<QTableWidget*>(FWidget);
}
TStrings* TValueListEditor::Strings() const {
  return v->Strings.get();
}
TStrings* TValueListEditor::TitleCaptions() const {
  return v->Titles.get();
}

void TValueListEditor::RefreshRows() {
  if (v->FromGrid) return;
  QTableWidget* g = GridWidget();
  const QSignalBlocker block(g);
  const int n = v->Strings->Count();
  g->setRowCount(n);
  for (int i = 0; i < n; ++i) SetRow(i);
}

void TValueListEditor::SetRow(int row) {
  QTableWidget* g = GridWidget();
  const std::string line = v->Strings->Get(row);
  const size_t eq = line.find('=');
  auto* k = new QTableWidgetItem(Q(eq == std::string::npos ? line : line.substr(0, eq)));
  auto* val =
      new QTableWidgetItem(Q(eq == std::string::npos ? std::string() : line.substr(eq + 1)));
  if (!(FKeyOptions & (1 << keyEdit))) k->setFlags(k->flags() & ~Qt::ItemIsEditable);
  if (!(FOptions & (1 << goEditing))) val->setFlags(val->flags() & ~Qt::ItemIsEditable);
  g->setItem(row, 0, k);
  g->setItem(row, 1, val);
  g->setRowHeight(row, FDefaultRowHeight);
}

void TValueListEditor::RefreshTitles() {
  QStringList labels;
  for (int i = 0; i < 2; ++i) labels << (i < v->Titles->Count() ? Q(v->Titles->Get(i)) : QString());
  GridWidget()->setHorizontalHeaderLabels(labels);
}

void TValueListEditor::SetOptions(TGridOptions o) {
  FOptions = o & 0x7FFF;
  ApplyOptions();
  RefreshRows();
}

void TValueListEditor::SetDisplayOptions(TDisplayOptions o) {
  FDisplayOptions = o & 0x07;
  ApplyOptions();
  ApplyColumnWidths();
}

void TValueListEditor::SetKeyOptions(TKeyOptions o) {
  // Adding or deleting rows needs editable keys, as a new row has no key yet.
  if (o & ((1 << keyAdd) | (1 << keyDelete))) o |= 1 << keyEdit;
  FKeyOptions = o & 0x0F;
  RefreshRows();
}

void TValueListEditor::ApplyOptions() {
  QTableWidget* g = GridWidget();
  auto has = [this](TGridOption o) { return (FOptions & (1 << o)) != 0; };
  v->Lines->Vert = has(goVertLine);
  v->Lines->Horz = has(goHorzLine);
  g->viewport()->update();
  g->setSelectionBehavior(has(goRowSelect) ? QAbstractItemView::SelectRows
                                           : QAbstractItemView::SelectItems);
  g->setSelectionMode(has(goRangeSelect) ? QAbstractItemView::ExtendedSelection
                                         : QAbstractItemView::SingleSelection);
  g->setTabKeyNavigation(has(goTabs));
  g->setEditTriggers(!has(goEditing) && !(FKeyOptions & (1 << keyEdit))
                         ? QAbstractItemView::NoEditTriggers
                     : has(goAlwaysShowEditor)
                         ? QAbstractItemView::AllEditTriggers
                         : QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                               QAbstractItemView::AnyKeyPressed);
  g->verticalHeader()->setSectionResizeMode(has(goRowSizing) ? QHeaderView::Interactive
                                                             : QHeaderView::Fixed);
  g->verticalHeader()->setSectionsMovable(has(goRowMoving));
  g->horizontalHeader()->setSectionsMovable(has(goColMoving));
  g->verticalScrollBar()->setTracking(has(goThumbTracking));
  g->horizontalHeader()->setVisible(FDisplayOptions & (1 << doColumnTitles));
}

void TValueListEditor::ApplyColumnWidths() {
  QHeaderView* h = GridWidget()->horizontalHeader();
  const bool sizing = FOptions & (1 << goColSizing);
  const bool keyFixed = FDisplayOptions & (1 << doKeyColFixed);
  h->setSectionResizeMode(0, keyFixed || !sizing ? QHeaderView::Fixed : QHeaderView::Interactive);
  h->resizeSection(0, FDefaultColWidth);
  if (FDisplayOptions & (1 << doAutoColResize)) {
    h->setSectionResizeMode(1, QHeaderView::Stretch);
  } else {
    h->setSectionResizeMode(1, sizing ? QHeaderView::Interactive : QHeaderView::Fixed);
    h->resizeSection(1, FDefaultColWidth);
  }
}

void TValueListEditor::SetScrollBars(TScrollStyle s) {
  FScrollBars = s;
  QTableWidget* g = GridWidget();
  g->setHorizontalScrollBarPolicy(s == ssHorizontal || s == ssBoth ? Qt::ScrollBarAsNeeded
                                                                   : Qt::ScrollBarAlwaysOff);
  g->setVerticalScrollBarPolicy(s == ssVertical || s == ssBoth ? Qt::ScrollBarAsNeeded
                                                               : Qt::ScrollBarAlwaysOff);
}

void TValueListEditor::SetBorderStyle(TBorderStyle s) {
  FBorderStyle = s == bsNone ? bsNone : bsSingle;
  GridWidget()->setFrameShape(FBorderStyle == bsSingle ? QFrame::StyledPanel : QFrame::NoFrame);
}

void TValueListEditor::SetDefaultColWidth(int w) {
  if (w < 0) throw EComponentError("DefaultColWidth cannot be negative");
  FDefaultColWidth = ClampSize(w);
  ApplyColumnWidths();
}

void TValueListEditor::SetDefaultRowHeight(int h) {
  if (h <= 0) throw EComponentError("DefaultRowHeight must be above 0");
  FDefaultRowHeight = ClampSize(h);
  GridWidget()->verticalHeader()->setDefaultSectionSize(FDefaultRowHeight);
  RefreshRows();
}

void TValueListEditor::SetGridLineWidth(int w) {
  if (w < 0) throw EComponentError("GridLineWidth cannot be negative");
  FGridLineWidth = ClampSize(w);
  v->Lines->Width = FGridLineWidth;
  GridWidget()->viewport()->update();
}

void TValueListEditor::SetFixedColor(TColor c) {
  FFixedColor = c;
  QHeaderView* h = GridWidget()->horizontalHeader();
  QPalette pal = h->palette();
  pal.setColor(QPalette::Button, ToQColor(c));
  h->setPalette(pal);
}

void TValueListEditor::InsertRowForUser() {
  if (!(FKeyOptions & (1 << keyAdd)))
    throw EComponentError("Adding rows is not allowed (KeyOptions)");
  v->Strings->Add("=");
  QTableWidget* g = GridWidget();
  g->setCurrentCell(g->rowCount() - 1, 0);
}

void TValueListEditor::DeleteCurrentRow() {
  if (!(FKeyOptions & (1 << keyDelete)))
    throw EComponentError("Deleting rows is not allowed (KeyOptions)");
  const int row = GridWidget()->currentRow();
  if (row >= 0 && row < v->Strings->Count()) v->Strings->Delete(row);
}

void TValueListEditor::Resized() {
  TCustomDrawGrid::Resized();
}

bool TValueListEditor::KeyHook(QKeyEvent* e) {
  QTableWidget* g = GridWidget();
  const bool ctrl = e->modifiers() & Qt::ControlModifier;
  if (ctrl && (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)) {
    FireEvent("OnEditButtonClick");
    return true;
  }
  if ((FKeyOptions & (1 << keyAdd)) &&
      (e->key() == Qt::Key_Insert ||
       (e->key() == Qt::Key_Down && g->currentRow() == g->rowCount() - 1))) {
    InsertRowForUser();
    return true;
  }
  if ((FKeyOptions & (1 << keyDelete)) && ctrl && e->key() == Qt::Key_Delete) {
    DeleteCurrentRow();
    return true;
  }
  return false;
}

void TValueListEditor::ColorChanged() {
  QPalette pal = FWidget->palette();
  pal.setColor(QPalette::Base, ToQColor(FColor));
  FWidget->setPalette(pal);
}
