// Controls made by nw: where their widgets go, when they show, and the parts made only
// on first use (font, constraints) reading back as they always did.
#include <QApplication>
#include <QPalette>
#include <QPushButton>
#include <QWidget>

#include "Controls.h"
#include "Graphics.h"
#include "bridge_support.h"

namespace {

TControl* Ctl(TObject* obj) {
  return static_cast<TControl*>(obj);
}

QWidget* W(TObject* obj) {
  return Ctl(obj)->Widget();
}

}  // namespace

using Creation = BridgeTest;

TEST_F(Creation, ChildrenShowWithTheirFormAndKeepWhatTheyWereGiven) {
  Call(main_, "propSet", {Variant("Visible"), Variant(true)});
  auto f = Nw(main_, "TForm", "f", "x");
  auto b = Nw(f, "TButton", "b", "go");
  auto named = Nw(f, "TButton", "named");
  auto hidden = Nw(f, "TButton", "hidden");
  Call(hidden, "propSet", {Variant("Visible"), Variant(false)});

  // Made inside the form's widget, caption given or taken from the name.
  EXPECT_EQ(W(Obj(b))->parentWidget(), W(Obj(f)));
  EXPECT_EQ(Ctl(Obj(b))->Parent(), Obj(f));
  EXPECT_EQ(Str(b, "propGet", {Variant("Caption")}), "go");
  EXPECT_EQ(static_cast<QPushButton*>(W(Obj(b)))->text().toStdString(), "go");
  EXPECT_EQ(Str(named, "propGet", {Variant("Caption")}), "named");
  EXPECT_FALSE(W(Obj(b))->isVisible());

  Call(f, "propSet", {Variant("Visible"), Variant(true)});
  EXPECT_TRUE(W(Obj(b))->isVisible());
  EXPECT_TRUE(W(Obj(named))->isVisible());
  EXPECT_FALSE(W(Obj(hidden))->isVisible());
  // One added to a form already shown shows at once.
  auto late = Nw(f, "TButton", "late");
  EXPECT_TRUE(W(Obj(late))->isVisible());

  // Out of the form it hides; back into the form, hidden meanwhile, it shows with it.
  EXPECT_EQ(PutParent(b, Variant::Null()), "");
  EXPECT_FALSE(W(Obj(b))->isVisible());
  EXPECT_EQ(W(Obj(b))->parentWidget(), nullptr);
  Call(f, "propSet", {Variant("Visible"), Variant(false)});
  EXPECT_EQ(PutParent(b, Variant(f)), "");
  EXPECT_FALSE(W(Obj(b))->isVisible());
  Call(f, "propSet", {Variant("Visible"), Variant(true)});
  EXPECT_TRUE(W(Obj(b))->isVisible());
  EXPECT_FALSE(W(Obj(hidden))->isVisible());
  Call(hidden, "propSet", {Variant("Visible"), Variant(true)});
  EXPECT_TRUE(W(Obj(hidden))->isVisible());

  // A control made under an object that holds no children gets no parent widget.
  auto lbl = Nw(f, "TLabel", "lbl", "text");
  auto orphan = Nw(lbl, "TButton", "orphan");
  EXPECT_EQ(Ctl(Obj(orphan))->Parent(), nullptr);
  EXPECT_EQ(W(Obj(orphan))->parentWidget(), nullptr);
  EXPECT_FALSE(W(Obj(orphan))->isVisible());
  Call(main_, "propSet", {Variant("Visible"), Variant(false)});
}

TEST_F(Creation, PartsMadeOnFirstUseReadBackAsBefore) {
  auto f = Nw(main_, "TForm", "f", "x");
  auto b = Nw(f, "TButton", "b");
  auto font = [](const IDispatchPtr& h) {
    return Call(h, "propGet", {Variant("Font")}).AsDispatch();
  };

  const QFont app = QApplication::font();
  EXPECT_EQ(Str(font(b), "propGet", {Variant("Name")}), app.family().toStdString());
  EXPECT_EQ(Call(font(b), "propGet", {Variant("Size")}).ToInt32(), app.pointSize());
  EXPECT_EQ(Str(b, "propGet", {Variant("ParentFont")}), "True");
  auto limits = Call(b, "propGet", {Variant("Constraints")}).AsDispatch();
  EXPECT_EQ(Call(limits, "propGet", {Variant("MaxWidth")}).ToInt32(), 0);
  Call(limits, "propSet", {Variant("MaxWidth"), Variant(50)});
  Call(b, "setBounds", {Variant(0), Variant(0), Variant(75), Variant(25)});
  EXPECT_EQ(Call(b, "propGet", {Variant("Width")}).ToInt32(), 50);
  limits.reset();

  // The form's font reaches the children that follow it, made before or after.
  Call(font(f), "propSet", {Variant("Size"), Variant(app.pointSize() + 7)});
  auto after = Nw(f, "TButton", "after");
  auto own = Nw(f, "TButton", "own");
  Call(font(own), "propSet", {Variant("Size"), Variant(6)});
  for (const auto& h : {b, after}) {
    EXPECT_EQ(Call(font(h), "propGet", {Variant("Size")}).ToInt32(), app.pointSize() + 7);
    EXPECT_EQ(W(Obj(h))->font().pointSize(), app.pointSize() + 7);
  }
  Call(font(f), "propSet", {Variant("Size"), Variant(app.pointSize() + 9)});
  EXPECT_EQ(W(Obj(after))->font().pointSize(), app.pointSize() + 9);
  EXPECT_EQ(W(Obj(own))->font().pointSize(), 6);
  EXPECT_EQ(Str(own, "propGet", {Variant("ParentFont")}), "False");

  // Colour: the default reads back, a change shows, and going back shows the default.
  const int face = Call(f, "propGet", {Variant("Color")}).ToInt32();
  EXPECT_EQ(face, clBtnFace);
  const QColor faceRgb = W(Obj(f))->palette().color(QPalette::Window);
  Call(f, "propSet", {Variant("Color"), Variant(static_cast<int32_t>(clRed))});
  EXPECT_EQ(W(Obj(f))->palette().color(QPalette::Window), QColor(255, 0, 0));
  EXPECT_TRUE(W(Obj(f))->autoFillBackground());
  Call(f, "propSet", {Variant("Color"), Variant(face)});
  EXPECT_EQ(W(Obj(f))->palette().color(QPalette::Window), faceRgb);
  EXPECT_EQ(Call(f, "propGet", {Variant("Color")}).ToInt32(), clBtnFace);
}

TEST_F(Creation, LookupsKeptBetweenCallsAnswerForTheRightClass) {
  // Classes and their property lists are looked up again cheaply for a run of one
  // class; a different class or spelling in between must get its own answer.
  auto f = Nw(main_, "TForm", "f", "x");
  auto b = Nw(f, "TButton", "b", "x");
  auto l = Nw(f, "tlabel", "l", "x");
  auto b2 = Nw(f, "TBUTTON", "b2", "x");
  EXPECT_EQ(Str(l, "classN"), "TLabel");
  EXPECT_EQ(Str(b2, "classN"), "TButton");
  EXPECT_EQ(Failure(f, "nw", {Variant("TButtonX"), Variant("z"), Variant("")}),
            "Class unregistred: TButtonX");
  const std::string buttonProps = Str(b, "listProp");
  const std::string labelProps = Str(l, "listProp");
  EXPECT_NE(buttonProps, labelProps);
  EXPECT_EQ(Str(b2, "listProp"), buttonProps);
  EXPECT_EQ(Str(l, "listProp"), labelProps);
  // A caption on a class without one fails as before, and leaves nothing behind.
  EXPECT_EQ(Failure(f, "nw", {Variant("TFont"), Variant("fnt"), Variant("x")}),
            "Property not found: Caption");
  EXPECT_EQ(ListObjectNames().find("fnt"), std::string::npos);
}
