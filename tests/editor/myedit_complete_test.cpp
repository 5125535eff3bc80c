// Completion of the host objects' members and of the names their string arguments
// take, from the type library and the component model's tables.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QTest>
#include <QVBoxLayout>
#include <memory>
#include <string>

#include "Classes.h"
#include "u_myedit.h"
#include "u_myedit_complete.h"

namespace {

QStringList Offered(const QString& before, const QString& text = QString(), bool request = false) {
  return CompletionAt(before, text.isEmpty() ? before : text, request).Names;
}

class EditorComplete : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterCreatableClasses(); }
  void SetUp() override {
    page->resize(600, 400);
    (new QVBoxLayout(page.get()))->addWidget(ed);
    page->show();
    ed->setFocus();
  }
  void TearDown() override { SetLiveObjectNamesProvider(nullptr); }
  QListWidget* List() const { return ed->findChild<QListWidget*>("CompletionList"); }
  QStringList Shown() const {
    QStringList out;
    if (List() && List()->isVisible())
      for (int i = 0; i < List()->count(); ++i) out << List()->item(i)->text();
    return out;
  }
  void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(ed, static_cast<Qt::Key>(key), mods);
  }

  std::unique_ptr<QWidget> page = std::make_unique<QWidget>();
  TMyEdit* ed = new TMyEdit(page.get());
};

// The lists must be the dispatch tables' own: a member the type library lacks must
// not be offered, one it has must not be missing.
TEST_F(EditorComplete, MembersComeFromTheTypeLibrary) {
  const QStringList sys = Offered("  sys.");
  EXPECT_TRUE(sys.contains("out") && sys.contains("getObj") && sys.contains("md5_file"));
  EXPECT_EQ(sys.count("fileLog"), 1) << "a property's get and put are one name";
  EXPECT_FALSE(sys.contains("propGet"));
  EXPECT_TRUE(Offered("x = inet.").contains("toFile"));
  EXPECT_TRUE(Offered("main.").contains("nw"));
  const QString text = "var b = main.nw(\"TButton\", \"b1\");\nb.";
  EXPECT_TRUE(Offered("b.", text).contains("propSet"));
  EXPECT_TRUE(Offered("unknown.", text).isEmpty());
  EXPECT_TRUE(Offered("a.sys.").isEmpty()) << "a member named sys is not the host object";

  EXPECT_EQ(CallTipFor("sys", "log", ""), "log(file: String, msg: String)");
  EXPECT_EQ(CallTipFor("main", "nw", ""),
            "nw(className: String, [NameObj: String], [Caption: String]): Variant");
  EXPECT_EQ(CallTipFor("sys", "fileLog", ""), "") << "a property takes no call";
}

TEST_F(EditorComplete, StringArgumentsOfferPropertiesValuesClassesAndLiveObjects) {
  const QString text = "var b = main.nw(\"TButton\", \"b1\");\nvar e = main.nw('TEdit');\n";
  const QStringList button = Offered("b.propGet(\"", text);
  EXPECT_TRUE(button.contains("Caption") && button.contains("OnClick"));
  EXPECT_FALSE(button.contains("Lines")) << "a button has no lines";
  const QStringList any = Offered("q.propSet('", text);
  EXPECT_TRUE(any.contains("Lines") && any.contains("Caption")) << "unknown handle: all names";
  EXPECT_TRUE(Offered("e.propType(\"", text).contains("PasswordChar"));

  const TCompletionContext align = CompletionAt("main.propSet(\"Align\", ", text, false);
  EXPECT_TRUE(align.Names.contains("alClient") && align.Names.contains("alNone"));
  EXPECT_TRUE(align.Quote);
  EXPECT_FALSE(CompletionAt("main.propSet(\"Align\", \"al", text, false).Quote);
  EXPECT_TRUE(Offered("b.propSet(\"Align\", ", text).isEmpty()) << "a button has no Align";

  const QStringList classes = Offered("main.nw(\"");
  EXPECT_TRUE(classes.contains("TButton") && classes.contains("TMemo"));

  EXPECT_TRUE(Offered("sys.getObj(\"").isEmpty());
  SetLiveObjectNamesProvider([] { return std::vector<std::string>{"b1", "form2"}; });
  EXPECT_EQ(Offered("sys.getObj(\""), (QStringList{"b1", "form2"}));
}

// Typed as a user types: the dot opens the list, letters narrow it, Enter takes the
// choice (a method with its parenthesis and call tip), Escape leaves the text alone.
TEST_F(EditorComplete, KeysOpenNarrowAndAcceptTheList) {
  ed->SetText("");
  QTest::keyClicks(ed, "sys.");
  EXPECT_TRUE(Shown().contains("out"));
  QTest::keyClicks(ed, "md");
  EXPECT_EQ(Shown(), (QStringList{"md5", "md5_file"}));
  Key(Qt::Key_Down);
  Key(Qt::Key_Return);
  EXPECT_EQ(ed->Text(), "sys.md5_file(");
  EXPECT_TRUE(Shown().isEmpty());
  auto* tip = ed->findChild<QLabel*>("CallTip");
  ASSERT_NE(tip, nullptr);
  EXPECT_TRUE(tip->isVisible());
  EXPECT_EQ(tip->text(), "md5_file(filename: String): String");
  QTest::keyClicks(ed, "f)");
  EXPECT_FALSE(tip->isVisible());

  Key(Qt::Key_Return);
  QTest::keyClicks(ed, "var b = main.nw(\"TM");
  Key(Qt::Key_Space, Qt::ControlModifier);
  ASSERT_FALSE(Shown().isEmpty());
  EXPECT_EQ(Shown().first(), "TMemo");
  Key(Qt::Key_Tab);
  QTest::keyClicks(ed, "\");");
  Key(Qt::Key_Return);
  QTest::keyClicks(ed, "b.propSet(\"Align\",");
  EXPECT_TRUE(Shown().contains("alTop"));
  QTest::keyClicks(ed, " alT");
  Key(Qt::Key_Return);
  EXPECT_EQ(ed->Line(2), "b.propSet(\"Align\", \"alTop\"");

  QTest::keyClicks(ed, ".");  // not on a known name
  EXPECT_TRUE(Shown().isEmpty());
  Key(Qt::Key_Space, Qt::ControlModifier);  // nothing to complete after ")."
  QTest::keyClicks(ed, " inet.");
  ASSERT_FALSE(Shown().isEmpty());
  Key(Qt::Key_Escape);
  EXPECT_TRUE(Shown().isEmpty());
  EXPECT_EQ(ed->Line(2), "b.propSet(\"Align\", \"alTop\". inet.");
  Key(Qt::Key_Return);  // a closed list: Enter is a line break again
  EXPECT_EQ(ed->LineCount(), 4);
}

}  // namespace
