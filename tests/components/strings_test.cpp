// String lists: the plain list and the live lists behind memo, list box and value
// list editor.

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTest>

#include "Classes.h"
#include "ModelInternals.h"
#include "StdCtrls.h"
#include "ValEdit.h"

namespace {

std::string BoundsMessage(TStrings& list, int index) {
  try {
    list.Get(index);
  } catch (const EStringListError& e) {
    return e.what();
  }
  return "<no error>";
}

// The same contract on every kind of list: 0-based, bounds checked by the list.
void CheckListContract(TStrings& list) {
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  list.Add("b");
  list.Add("c");
  list.Insert(0, "a");
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Get(0), "a");
  EXPECT_EQ(list.Get(2), "c");
  list.Put(1, "B");
  EXPECT_EQ(list.Get(1), "B");
  EXPECT_EQ(BoundsMessage(list, 3), "List index out of bounds (3)");
  EXPECT_EQ(BoundsMessage(list, -1), "List index out of bounds (-1)");
  EXPECT_THROW(list.Insert(5, "x"), EStringListError);
  EXPECT_THROW(list.Put(3, "x"), EStringListError);
  EXPECT_EQ(list.Count(), 3);  // refused calls change nothing
  list.Delete(1);
  EXPECT_EQ(list.Text(), "a\nc\n");
  list.Insert(2, "d");
  EXPECT_EQ(list.Get(2), "d");
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

}  // namespace

TEST(StringList, ContractOnEveryKindOfList) {
  TStringList plain;
  CheckListContract(plain);
  TMemo memo(nullptr);
  CheckListContract(*memo.Lines());
  TListBox box(nullptr);
  CheckListContract(*box.Items());
  TValueListEditor grid(nullptr);
  CheckListContract(*grid.Strings());
  CheckListContract(*grid.TitleCaptions());
}

TEST(StringList, SortedListInsertsInOrderAndRefusesPut) {
  TStringList list;
  list.SetSorted(true);
  list.Add("pear");
  list.Add("Apple");
  list.Add("fig");
  EXPECT_EQ(list.CommaText(), "Apple,fig,pear");
  try {
    list.Put(0, "x");
    FAIL();
  } catch (const EStringListError& e) {
    EXPECT_STREQ(e.what(), "Operation not allowed on sorted list");
  }
  EXPECT_THROW(list.Insert(0, "x"), EStringListError);
  list.Add("FIG");  // a duplicate is ignored by default
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.IndexOf("PEAR"), 2);

  TListBox box(nullptr);
  box.Items()->Add("b");
  box.Items()->Add("a");
  box.SetSorted(true);
  box.Items()->Add("c");
  box.Items()->Add("aa");
  EXPECT_EQ(box.Items()->CommaText(), "a,aa,b,c");
  EXPECT_THROW(box.Items()->Put(0, "z"), EStringListError);
}

// Items with blanks, quotes or delimiters must come back as they went in.
TEST(StringList, DelimitedTextRoundTrip) {
  TStringList list;
  list.Add("plain");
  list.Add("two words");
  list.Add("say \"hi\"");
  list.Add("a,b");
  const std::string text = list.DelimitedText();
  EXPECT_EQ(text, "plain,\"two words\",\"say \"\"hi\"\"\",\"a,b\"");
  TStringList back;
  back.SetDelimitedText(text);
  EXPECT_EQ(back.Text(), list.Text());
  TStringList one;
  one.Add("");
  EXPECT_EQ(one.DelimitedText(), "\"\"");
  back.SetText("x\r\ny\rz\n");
  EXPECT_EQ(back.CommaText(), "x,y,z");
  back.SetValue("k", "v");
  EXPECT_EQ(back.Values("K"), "v");
}

TEST(StringList, ChangeEventsBracketEachChange) {
  TStringList list;
  std::string log;
  list.OnChanging = [&](TObject*) { log += "<"; };
  list.OnChange = [&](TObject*) { log += ">"; };
  list.Add("a");
  list.BeginUpdate();
  list.Add("b");
  list.Add("c");
  list.EndUpdate();
  EXPECT_EQ(log, "<><>");
}

// The lists behind widgets are the widgets' contents, both ways.
TEST(LiveLists, MemoLinesAndText) {
  TMemo memo(nullptr);
  memo.Lines()->Add("one");
  memo.Lines()->Add("two");
  EXPECT_EQ(memo.MemoWidget()->toPlainText().toStdString(), "one\ntwo\n");
  memo.MemoWidget()->setPlainText("x\ny\nz\n");
  EXPECT_EQ(memo.Lines()->Count(), 3);
  EXPECT_EQ(memo.Lines()->Get(2), "z");
  memo.Lines()->Add("w");
  EXPECT_EQ(memo.Lines()->Count(), 4);
  memo.Lines()->Delete(3);
  memo.Lines()->Delete(0);
  EXPECT_EQ(memo.Lines()->CommaText(), "y,z");
  QTest::keyClicks(memo.MemoWidget(), "A");
  EXPECT_NE(memo.Lines()->Text().find('A'), std::string::npos);
}

TEST(LiveLists, ListBoxItemsAreRows) {
  TListBox box(nullptr);
  box.Items()->Add("red");
  box.Items()->Add("green");
  ASSERT_EQ(box.ListWidget()->count(), 2);
  EXPECT_EQ(box.ListWidget()->item(1)->text().toStdString(), "green");
  box.ListWidget()->addItem("blue");
  EXPECT_EQ(box.Items()->Get(2), "blue");
  box.SetItemIndex(1);
  EXPECT_EQ(box.ItemIndex(), 1);
}

TEST(LiveLists, ValueListStringsAreGridRowsBothWays) {
  TValueListEditor grid(nullptr);
  std::string log;
  grid.SetEvent("OnStringsChanging", [&](TObject*) { log += "<"; });
  grid.SetEvent("OnStringsChange", [&](TObject*) { log += ">"; });
  grid.Strings()->Add("host=localhost");
  grid.Strings()->Add("port=80");
  EXPECT_EQ(log, "<><>");
  QTableWidget* t = grid.GridWidget();
  ASSERT_EQ(t->rowCount(), 2);
  EXPECT_EQ(t->item(1, 0)->text().toStdString(), "port");
  EXPECT_EQ(t->item(1, 1)->text().toStdString(), "80");
  t->item(1, 1)->setText("8080");  // as a finished cell edit
  EXPECT_EQ(grid.Strings()->Get(1), "port=8080");
  grid.TitleCaptions()->Put(0, "Name");
  EXPECT_EQ(t->horizontalHeaderItem(0)->text().toStdString(), "Name");
  grid.Strings()->Clear();
  EXPECT_EQ(t->rowCount(), 0);
}

// A sorted list box puts each new item at its place, after the items equal to it.
TEST(LiveLists, SortedListBoxInsertsInOrder) {
  TListBox lb(nullptr);
  lb.SetSorted(true);
  TStrings* items = lb.Items();
  constexpr int kCount = 3000;
  for (int i = 0; i < kCount; ++i) {
    const int k = (i * 7919) % (kCount / 2);  // every key twice
    items->Add("k" + std::to_string(k));
  }
  items->Add("K5");  // equal to k5 without regard to case: goes after both
  ASSERT_EQ(items->Count(), kCount + 1);
  for (int i = 1; i < items->Count(); ++i)
    ASSERT_LE(CompareText(items->Get(i - 1), items->Get(i)), 0) << i;
  const int at = items->IndexOf("K5");
  EXPECT_EQ(items->Get(at), "k5");
  EXPECT_EQ(items->Get(at + 2), "K5");
}

// Appending to a value list editor's Strings adds one row; the grid must still show
// every line, also when a change handler rewrote a line before the append.
TEST(LiveLists, ValueListAppendsKeepTheGridWhole) {
  TValueListEditor v(nullptr);
  TStrings* s = v.Strings();
  for (int i = 0; i < 50; ++i) s->Add("k" + std::to_string(i) + "=v" + std::to_string(i));
  bool rewrite = true;
  v.SetEvent("OnStringsChanging", [&](TObject*) {
    if (!rewrite) return;
    rewrite = false;
    s->Put(0, "first=changed");
  });
  s->Add("last=end");
  s->Insert(1, "second=inserted");
  QTableWidget* g = v.GridWidget();
  ASSERT_EQ(g->rowCount(), s->Count());
  for (int i = 0; i < s->Count(); ++i) {
    const std::string line = s->Get(i);
    EXPECT_EQ(g->item(i, 0)->text().toStdString() + "=" + g->item(i, 1)->text().toStdString(), line)
        << i;
  }
}
