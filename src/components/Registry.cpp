// The class registry: classes that can be found, created and inspected by name.

#include <vector>

#include "Classes.h"
#include "Controls.h"
#include "Forms.h"
#include "Graphics.h"
#include "Menus.h"
#include "ModelInternals.h"
#include "StdCtrls.h"
#include "ValEdit.h"

namespace {

struct TClassRegistry {
  std::vector<TClass> Plain;
  std::vector<TClass> Controls;

  bool Contains(TClass c) const {
    for (TClass r : Plain)
      if (r == c) return true;
    for (TClass r : Controls)
      if (r == c) return true;
    return false;
  }
};

bool InControlGroup(TClass c) {
  return c->InheritsFrom(TControl::StaticClass()) || c->InheritsFrom(TMenuItem::StaticClass());
}

void Enter(TClassRegistry& reg, TClass c) {
  const TClass root = TPersistent::StaticClass();
  for (; c && c->InheritsFrom(root); c = c->ClassParent()) {
    if (reg.Contains(c)) return;
    (InControlGroup(c) ? reg.Controls : reg.Plain).push_back(c);
    if (c == root) return;
  }
}

TClassRegistry& Registry() {
  // The menu support registers its item class before anyone else can.
  static TClassRegistry reg = [] {
    TClassRegistry r;
    Enter(r, TMenuItem::StaticClass());
    return r;
  }();
  return reg;
}

}  // namespace

void RegisterClass(TClass c) {
  if (c) Enter(Registry(), c);
}

TClass FindClass(const std::string& name) {
  // Scripts make many objects of one class in a row; a class never leaves the registry.
  static std::string lastName;
  static TClass lastClass = nullptr;
  if (lastClass && name == lastName) return lastClass;
  const TClassRegistry& reg = Registry();
  for (const auto* group : {&reg.Plain, &reg.Controls})
    for (TClass c : *group)
      if (SameText(c->ClassName(), name)) {
        lastName = name;
        lastClass = c;
        return c;
      }
  return nullptr;
}

std::vector<std::string> RegisteredClassNames() {
  const TClassRegistry& reg = Registry();
  std::vector<std::string> names;
  for (TClass c : reg.Plain) names.push_back(c->ClassName());
  for (TClass c : reg.Controls) names.push_back(c->ClassName());
  return names;
}

void RegisterCreatableClasses() {
  for (TClass c : {TForm::StaticClass(), TButton::StaticClass(), TLabel::StaticClass(),
                   TEdit::StaticClass(), TFont::StaticClass(), TValueListEditor::StaticClass(),
                   TListBox::StaticClass(), TMemo::StaticClass(), TCheckBox::StaticClass()})
    RegisterClass(c);
}
