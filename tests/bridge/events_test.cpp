// Events bound to script text, fired by real clicks and typing.
#include <QTest>
#include <QWidget>

#include "Controls.h"
#include "MSScriptControl_TLB.h"
#include "TypInfo.h"
#include "bridge_support.h"
#include "u_jobject_internal.h"

namespace {

// A run's control with `main` added, installed as the current run's ScriptCtrl.
class Events : public BridgeTest {
 protected:
  void SetUp() override {
    BridgeTest::SetUp();
    ctrl_ = std::make_unique<TScriptControl>();
    ctrl_->SetLanguage("JScript");
    ctrl_->OnError = [this](TScriptControl* c) { errors_.push_back(c->Error().SourceName); };
    ctrl_->AddObject("main", main_, false);
    ScriptCtrl = ctrl_.get();
  }
  void TearDown() override {
    EndScriptControl(ctrl_);
    BridgeTest::TearDown();
  }
  void Click(const IDispatchPtr& h) {
    QWidget* w = static_cast<TControl*>(Obj(h))->Widget();
    QTest::mouseClick(w, Qt::LeftButton);
  }
  std::string Log() { return Str(main_, "propGet", {Variant("Hint")}); }

  std::unique_ptr<TScriptControl> ctrl_;
  std::vector<std::string> errors_;
};

}  // namespace

TEST(Placeholder, EveryOccurrenceOnceLeftToRight) {
  EXPECT_EQ(ReplacePlaceholder("f('%1', '%1')", "b1"), "f('b1', 'b1')");
  EXPECT_EQ(ReplacePlaceholder("%1%1", "%1"), "%1%1");
  EXPECT_EQ(ReplacePlaceholder("no mark %", "x"), "no mark %");
}

TEST_F(Events, ClickRunsTheBoundTextWithTheSenderName) {
  ctrl_->ExecuteStatement(
      "var hits = ''; function clicked(n) { hits += n + ';';"
      " main.propSet('Hint', hits); }");
  Call(main_, "propSet", {Variant("Visible"), Variant(true)});
  auto b = Nw(main_, "TButton", "b1", "Go");
  Call(b, "propSet", {Variant("OnClick"), Variant("clicked('%1'); clicked('%1')")});
  Click(b);
  EXPECT_EQ(Log(), "b1;b1;");

  // Re-binding replaces only the text.
  Call(b, "propSet", {Variant("OnClick"), Variant("clicked('second')")});
  EXPECT_EQ(Str(b, "propGet", {Variant("OnClick")}), "clicked('second')");
  Click(b);
  EXPECT_EQ(Log(), "b1;b1;second;");

  // A failing text is reported under its event's name; the next click works again.
  Call(b, "propSet", {Variant("OnClick"), Variant("nosuch()")});
  Click(b);
  ASSERT_EQ(errors_.size(), 1u);
  EXPECT_EQ(errors_[0], "b1.OnClick");
  Call(b, "propSet", {Variant("OnClick"), Variant("clicked('ok')")});
  Click(b);
  EXPECT_EQ(Log(), "b1;b1;second;ok;");

  // No run: the event runs nothing and fails nothing.
  ScriptCtrl = nullptr;
  Click(b);
  ScriptCtrl = ctrl_.get();
  EXPECT_EQ(Log(), "b1;b1;second;ok;");
}

TEST_F(Events, TypingFiresOnChangeAndOnlyNotifyEventsBind) {
  ctrl_->ExecuteStatement("var n = 0; function changed() { main.propSet('Hint', '' + (++n)); }");
  Call(main_, "propSet", {Variant("Visible"), Variant(true)});
  auto e = Nw(main_, "TEdit", "e1");
  Call(e, "propSet", {Variant("Text"), Variant("")});
  Call(e, "propSet", {Variant("OnChange"), Variant("changed()")});
  QWidget* w = static_cast<TControl*>(Obj(e))->Widget();
  QTest::keyClicks(w, "ab");
  EXPECT_EQ(Log(), "2");
  EXPECT_EQ(Str(e, "propGet", {Variant("Text")}), "ab");

  EXPECT_EQ(Failure(e, "propSet", {Variant("OnKeyPress"), Variant("changed()")}),
            "Type of method not supported: TKeyPressEvent");
  EXPECT_EQ(Str(e, "propGet", {Variant("OnKeyPress")}), "");
}

// A text that frees the very component whose event runs must not crash the adapter,
// and a wrapper handle that dies unbinds from the component that lives on.
TEST_F(Events, HandlesDyingAroundTheirEventsAreSafe) {
  Call(main_, "propSet", {Variant("Visible"), Variant(true)});
  auto b = Nw(main_, "TButton", "b1");
  ctrl_->AddObject("b1", b, false);
  Call(b, "propSet", {Variant("OnClick"), Variant("b1.fr()")});
  Click(b);
  EXPECT_EQ(Obj(b), nullptr);

  TObject* loose = FindRegisteredClass("TButton")->Create(static_cast<TComponent*>(Obj(main_)));
  auto wrap = WrapObject(loose, "wrapped");
  Call(wrap, "propSet", {Variant("OnClick"), Variant("main.propSet('Hint', 'ran')")});
  const TPropInfo* onClick = GetPropInfo(loose->ClassType(), "OnClick");
  EXPECT_TRUE(static_cast<bool>(GetMethodProp(loose, onClick)));
  wrap.reset();
  EXPECT_FALSE(static_cast<bool>(GetMethodProp(loose, onClick)));
  QTest::mouseClick(static_cast<TControl*>(loose)->Widget(), Qt::LeftButton);
  EXPECT_EQ(Log(), "");
}
