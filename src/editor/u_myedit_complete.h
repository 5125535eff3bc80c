#pragma once

// Completion for the script's host objects: members of sys, main, inet and handles
// from the type library, published property names, enumeration values, class names
// and live object names from the component model's own tables.

#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QListWidget;
class QWidget;
class TMyEdit;

// What to offer at a place in the text, and the part already typed.
struct TCompletionContext {
  QStringList Names;   // sorted, without duplicates
  QString Typed;       // the word before the caret that the choice replaces
  bool Quote = false;  // the choice goes in as a string literal (no quote typed yet)
  QString Object;      // members of this object are offered
};

// before: the caret's line up to the caret; text: the whole text (where handles came
// from). explicitRequest: Ctrl+Space, which also offers the host object names.
TCompletionContext CompletionAt(const QString& before, const QString& text, bool explicitRequest);

// The parameter list of a member as a call tip, "propSet(PropName, PropVal)"; empty
// when the name is no member of the object's interface.
QString CallTipFor(const QString& object, const QString& member, const QString& text);

// Names of the live objects of the current run, for sys.getObj("; the window sets it.
using TLiveNamesProvider = std::function<std::vector<std::string>()>;
void SetLiveObjectNamesProvider(TLiveNamesProvider provider);

class TCompleter final {
 public:
  explicit TCompleter(TMyEdit* editor);
  // Opens (or refreshes) the list for the caret's place; closes it when nothing fits.
  void Update(bool explicitRequest);
  bool IsOpen() const;
  void Close();
  bool HandleKey(int key);  // list navigation and choice while open; true: consumed
  void Accept();
  void UpdateCallTip();  // shows the tip inside a member's parentheses, else hides it
  QListWidget* List() const { return FList; }
  QLabel* Tip() const { return FTip; }

 private:
  void Place(QWidget* w);
  const QString& Text();  // the editor's text, read once per change
  TMyEdit* FEditor;
  QString FText;
  bool FTextStale = true;
  QListWidget* FList;
  QLabel* FTip;
  TCompletionContext FContext;
};
