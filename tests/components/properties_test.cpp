// Form, list and text properties that must change what the widget does.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTest>

#include "Forms.h"
#include "Menus.h"
#include "StdCtrls.h"
#include "TypInfo.h"
#include "ValEdit.h"

TEST(FormProperties, WindowFlagsOpacityStateAndCentre) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 200, 100);
  form.SetFormStyle(fsStayOnTop);
  EXPECT_TRUE(form.Widget()->windowFlags() & Qt::WindowStaysOnTopHint);
  form.SetBorderStyle(bsNone);
  EXPECT_TRUE(form.Widget()->windowFlags() & Qt::FramelessWindowHint);
  form.SetBorderStyle(bsSingle);  // not resizable by the user
  EXPECT_EQ(form.Widget()->minimumSize(), form.Widget()->maximumSize());
  form.SetBorderIcons(1 << biSystemMenu);
  EXPECT_FALSE(form.Widget()->windowFlags() & Qt::WindowMinimizeButtonHint);
  form.SetAlphaBlendValue(128);
  EXPECT_DOUBLE_EQ(form.Widget()->windowOpacity(), 1.0);  // only with AlphaBlend
  form.SetAlphaBlend(true);
  EXPECT_NEAR(form.Widget()->windowOpacity(), 128 / 255.0, 0.01);
  form.SetPosition(poScreenCenter);
  form.Show();
  const QRect screen = QApplication::primaryScreen()->availableGeometry();
  EXPECT_EQ(form.Left(), screen.x() + (screen.width() - 200) / 2);
  form.SetWindowState(wsMaximized);
  EXPECT_TRUE(form.Widget()->windowState() & Qt::WindowMaximized);
  EXPECT_EQ(form.WindowState(), wsMaximized);
  form.Widget()->close();  // the user closes it
  EXPECT_FALSE(form.Visible());
}

TEST(FormProperties, TabOrderDecidesWhereTabGoes) {
  TForm form(nullptr);
  auto* a = new TEdit(&form);
  auto* b = new TEdit(&form);
  auto* c = new TEdit(&form);
  for (TWinControl* e :
       {static_cast<TWinControl*>(a), static_cast<TWinControl*>(b), static_cast<TWinControl*>(c)})
    e->SetParent(&form);
  EXPECT_EQ(c->TabOrder(), 2);
  c->SetTabOrder(0);
  EXPECT_EQ(a->TabOrder(), 1);
  form.Show();
  QApplication::setActiveWindow(form.Widget());
  c->SetFocus();
  QTest::keyClick(c->Widget(), Qt::Key_Tab);
  EXPECT_TRUE(a->Focused());
  EXPECT_EQ(TEdit(nullptr).TabOrder(), -1);
}

TEST(FormProperties, HintsFollowTheParentUntilSetOwn) {
  TForm form(nullptr);
  auto* b = new TButton(&form);
  b->SetParent(&form);
  b->SetHint("tip");
  form.SetShowHint(true);
  EXPECT_EQ(b->Widget()->toolTip().toStdString(), "tip");
  b->SetShowHint(false);  // its own setting now wins
  EXPECT_EQ(b->Widget()->toolTip().toStdString(), "");
  EXPECT_FALSE(b->ParentShowHint());
}

TEST(ListProperties, SelectionModesAndColumns) {
  TListBox box(nullptr);
  EXPECT_EQ(box.ListWidget()->selectionMode(), QAbstractItemView::SingleSelection);
  box.SetMultiSelect(true);
  EXPECT_EQ(box.ListWidget()->selectionMode(), QAbstractItemView::ExtendedSelection);
  box.SetExtendedSelect(false);
  EXPECT_EQ(box.ListWidget()->selectionMode(), QAbstractItemView::MultiSelection);
  box.SetColumns(2);
  EXPECT_TRUE(box.ListWidget()->isWrapping());
  EXPECT_THROW(box.SetItemIndex(0), EStringListError);  // no items yet
  EXPECT_THROW(box.SetItemHeight(0), EComponentError);

  // Standard rows follow the font; owner-drawn ones take ItemHeight.
  TListBox rows(nullptr);
  rows.Items()->Add("one");
  rows.Show();
  QListWidget* l = rows.ListWidget();
  rows.SetItemHeight(40);
  EXPECT_LT(l->visualItemRect(l->item(0)).height(), 40);
  SetEnumProp(&rows, GetPropInfo(rows.ClassType(), "Style"), "lbOwnerDrawFixed");
  EXPECT_EQ(l->visualItemRect(l->item(0)).height(), 40);
  EXPECT_EQ(GetEnumProp(&rows, GetPropInfo(rows.ClassType(), "Style")), "lbOwnerDrawFixed");
}

TEST(ListProperties, GridOptionsDecideEditingAndTitles) {
  TValueListEditor g(nullptr);
  g.Strings()->Add("a=1");
  QTableWidget* t = g.GridWidget();
  EXPECT_TRUE(t->item(0, 1)->flags() & Qt::ItemIsEditable);
  EXPECT_FALSE(t->item(0, 0)->flags() & Qt::ItemIsEditable);  // keys only with keyEdit
  g.SetOptions(g.Options() & ~(1 << goEditing));
  EXPECT_FALSE(t->item(0, 1)->flags() & Qt::ItemIsEditable);
  g.SetKeyOptions(1 << keyEdit);
  EXPECT_TRUE(t->item(0, 0)->flags() & Qt::ItemIsEditable);
  g.SetDisplayOptions(0);
  EXPECT_TRUE(t->horizontalHeader()->isHidden());
  const TPropInfo* opts = GetPropInfo(g.ClassType(), "DisplayOptions");
  SetSetProp(&g, opts, "[doColumnTitles]");
  EXPECT_FALSE(t->horizontalHeader()->isHidden());
  EXPECT_EQ(GetSetProp(&g, opts), "doColumnTitles");
}

TEST(ListProperties, GridLinesOfTheChosenWidthAndDirection) {
  TValueListEditor g(nullptr);
  g.SetBounds(0, 0, 300, 120);
  g.Strings()->Add("a=1");
  g.Show();
  QTableWidget* t = g.GridWidget();
  const QRect cell = t->visualItemRect(t->item(0, 0));
  auto pixel = [&](int x, int y) { return t->viewport()->grab().toImage().pixelColor(x, y); };
  const QColor line = pixel(cell.right(), cell.center().y());
  const QColor inside = pixel(cell.right() - 3, cell.center().y());
  EXPECT_NE(line, inside);
  EXPECT_EQ(pixel(cell.center().x(), cell.bottom()), line);
  g.SetGridLineWidth(4);
  EXPECT_EQ(pixel(cell.right() - 3, cell.center().y()), line);
  g.SetOptions(g.Options() & ~(1 << goVertLine));
  EXPECT_EQ(pixel(cell.right(), cell.center().y() - 4), inside);
  EXPECT_EQ(pixel(cell.center().x(), cell.bottom() - 3), line);
  g.SetGridLineWidth(0);
  EXPECT_EQ(pixel(cell.center().x(), cell.bottom()), inside);
}

// The memo's lines must agree with its text whether or not it ends in a line break.
TEST(TextProperties, MemoLinesAtTheEndOfTheText) {
  TMemo m(nullptr);
  m.SetCaption("a\r\nb\r\n");
  EXPECT_EQ(m.Lines()->Count(), 2);
  m.Lines()->Add("c");
  EXPECT_EQ(m.Lines()->CommaText(), "a,b,c");
  m.Lines()->Insert(3, "d");
  m.Lines()->Delete(0);
  EXPECT_EQ(m.Caption(), "b\nc\nd\n");
  m.Lines()->Put(2, "D");
  EXPECT_EQ(m.Lines()->Get(2), "D");
  m.SetWordWrap(false);
  EXPECT_EQ(m.MemoWidget()->lineWrapMode(), QPlainTextEdit::NoWrap);
  m.SetWordWrap(true);
  m.SetScrollBars(ssBoth);  // a horizontal bar turns wrapping off
  EXPECT_EQ(m.MemoWidget()->lineWrapMode(), QPlainTextEdit::NoWrap);
  EXPECT_EQ(m.MemoWidget()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  m.SetWantTabs(true);
  EXPECT_FALSE(m.MemoWidget()->tabChangesFocus());
  m.SetMaxLength(3);
  m.SetCaption("abcdef");
  EXPECT_EQ(m.Caption(), "abc");
}

TEST(TextProperties, LabelAndCheckBoxLayout) {
  TLabel l(nullptr);
  l.SetAlignment(taCenter);
  l.SetLayout(tlBottom);
  EXPECT_EQ(l.LabelWidget()->alignment(), Qt::AlignHCenter | Qt::AlignBottom);
  l.SetTransparent(true);
  EXPECT_FALSE(l.Widget()->autoFillBackground());
  l.SetAutoSize(false);
  l.SetBounds(0, 0, 40, 20);
  l.SetCaption("a caption far too long for forty pixels");
  EXPECT_EQ(l.Width(), 40);
  l.SetWordWrap(true);
  l.SetAutoSize(true);  // wraps within its width, grows in height
  EXPECT_EQ(l.Width(), 40);
  EXPECT_GT(l.Height(), 20);
  l.SetShowAccelChar(false);
  l.SetCaption("R&D");
  EXPECT_EQ(l.LabelWidget()->text().toStdString(), "R&D");

  TCheckBox c(nullptr);
  c.SetAlignment(taLeftJustify);
  EXPECT_EQ(c.CheckBoxWidget()->layoutDirection(), Qt::RightToLeft);
  c.SetState(cbGrayed);
  EXPECT_FALSE(c.Checked());
  EXPECT_EQ(c.CheckBoxWidget()->checkState(), Qt::PartiallyChecked);
}

TEST(TextProperties, ColoursReachThePalette) {
  TEdit e(nullptr);
  EXPECT_EQ(e.Color(), clWindow);
  e.SetColor(clYellow);
  EXPECT_EQ(e.Widget()->palette().color(QPalette::Base), QColor(255, 255, 0));
  EXPECT_EQ(ColorToRGB(0x00336699), 0x336699u);
  const QColor face = QApplication::palette().color(QPalette::Button);
  EXPECT_EQ(ColorToRGB(clBtnFace),
            static_cast<uint32_t>(face.red() | face.green() << 8 | face.blue() << 16));
}

TEST(TextProperties, CharsetBringsAFamilyThatHasItsScript) {
  TEdit e(nullptr);
  e.Font()->SetName("DejaVu Sans");
  e.Font()->SetCharset(204);  // Cyrillic: the family has it already
  EXPECT_EQ(e.Widget()->font().families(), QStringList{"DejaVu Sans"});
  e.Font()->SetCharset(128);  // Japanese
  const QStringList fams = e.Widget()->font().families();
  if (QFontDatabase::families(QFontDatabase::Japanese).isEmpty()) {
    EXPECT_EQ(fams, QStringList{"DejaVu Sans"});
  } else {
    ASSERT_EQ(fams.size(), 2);
    EXPECT_EQ(fams[0], "DejaVu Sans");
    EXPECT_TRUE(QFontDatabase::writingSystems(fams[1]).contains(QFontDatabase::Japanese));
  }
  e.Font()->SetCharset(1);  // default: no preference
  EXPECT_EQ(e.Widget()->font().families(), QStringList{"DejaVu Sans"});
}

TEST(MenuItems, ClickAutoCheckAndSubItems) {
  TComponent owner(nullptr);
  auto* file = new TMenuItem(&owner);
  auto* open = new TMenuItem(&owner);
  file->Add(open);
  EXPECT_THROW(open->Add(file), EComponentError);
  int clicks = 0;
  open->SetEvent("OnClick", [&](TObject*) { ++clicks; });
  open->SetAutoCheck(true);
  open->Click();
  EXPECT_TRUE(open->Checked());
  open->SetEnabled(false);
  open->Click();
  EXPECT_EQ(clicks, 1);
  open->Free();
  EXPECT_EQ(file->Count(), 0);
}
