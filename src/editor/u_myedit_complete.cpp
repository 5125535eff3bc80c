#include "u_myedit_complete.h"

#include <QLabel>
#include <QListWidget>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBlock>
#include <algorithm>
#include <set>

#include "Classes.h"
#include "Project1_TLB.h"
#include "TypInfo.h"
#include "u_myedit.h"

namespace {

TLiveNamesProvider& LiveNames() {
  static TLiveNamesProvider provider;
  return provider;
}

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

QStringList Sorted(const std::set<QString, std::less<>>& names) {
  QStringList out(names.begin(), names.end());
  std::sort(out.begin(), out.end(), [](const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) < 0;
  });
  return out;
}

QRegularExpression Re(const QString& pattern) {
  return QRegularExpression(pattern, QRegularExpression::UseUnicodePropertiesOption);
}

// The class a handle variable was made as, from "name = ....nw("TButton"" in the
// text; "TForm" for main, the root form; empty when the text does not show it.
QString HandleClass(const QString& name, const QString& text) {
  if (name == QLatin1String("main")) return QStringLiteral("TForm");
  const QRegularExpression re =
      Re(QStringLiteral("\\b%1\\s*=\\s*[\\w.$]*\\bnw\\s*\\(\\s*[\"'](\\w+)[\"']")
             .arg(QRegularExpression::escape(name)));
  const QRegularExpressionMatch m = re.match(text);
  return m.hasMatch() ? m.captured(1) : QString();
}

// Whether a name stands for a handle: main, or a variable given a handle by nw,
// getObj or propParent.
bool IsHandle(const QString& name, const QString& text) {
  if (name == QLatin1String("main")) return true;
  const QRegularExpression re =
      Re(QStringLiteral("\\b%1\\s*=\\s*[\\w.$]*\\b(nw|getObj|propParent)\\b")
             .arg(QRegularExpression::escape(name)));
  return re.match(text).hasMatch();
}

const TInterfaceInfo* InterfaceOf(const QString& object, const QString& text) {
  if (object == QLatin1String("sys")) return &ISupScriptInfo;
  if (object == QLatin1String("inet")) return &IInetInfo;
  if (IsHandle(object, text)) return &IJObjectInfo;
  return nullptr;
}

std::vector<TClass> ClassesFor(const QString& className) {
  std::vector<TClass> classes;
  if (!className.isEmpty()) {
    if (TClass c = FindClass(className.toStdString())) classes.push_back(c);
  }
  if (classes.empty())
    for (const std::string& n : RegisteredClassNames())
      if (TClass c = FindClass(n)) classes.push_back(c);
  return classes;
}

QString TypeName(VarType t) {
  switch (t) {
    case VarType::BStr:
      return QStringLiteral("String");
    case VarType::I4:
    case VarType::Int:
      return QStringLiteral("Integer");
    case VarType::UI4:
      return QStringLiteral("Cardinal");
    case VarType::Bool:
      return QStringLiteral("Boolean");
    case VarType::R8:
      return QStringLiteral("Double");
    default:
      return QStringLiteral("Variant");
  }
}

}  // namespace

void SetLiveObjectNamesProvider(TLiveNamesProvider provider) {
  LiveNames() = std::move(provider);
}

TCompletionContext CompletionAt(const QString& before, const QString& text, bool explicitRequest) {
  TCompletionContext ctx;
  std::set<QString, std::less<>> names;
  QRegularExpressionMatch m;

  // Inside the string argument of a property call: the property names.
  m = Re(QStringLiteral("\\b([\\w$]+)\\s*\\.\\s*(propGet|propSet|propType|propAllValues)\\s*\\(\\s*"
                        "([\"'])(\\w*)$"))
          .match(before);
  if (m.hasMatch()) {
    for (TClass c : ClassesFor(HandleClass(m.captured(1), text)))
      for (const TPropInfo* p : GetPropList(c)) names.insert(Q(p->Name));
    ctx.Typed = m.captured(4);
    ctx.Names = Sorted(std::move(names));
    return ctx;
  }
  // The value of propSet("Align", ...: the names of the property's enumeration.
  m = Re(QStringLiteral(
             "\\b([\\w$]+)\\s*\\.\\s*propSet\\s*\\(\\s*[\"'](\\w+)[\"']\\s*,\\s*([\"']?)(\\w*)$"))
          .match(before);
  if (m.hasMatch()) {
    for (TClass c : ClassesFor(HandleClass(m.captured(1), text)))
      if (const TPropInfo* p = GetPropInfo(c, m.captured(2).toStdString()))
        for (const std::string& v : GetTypeValueNames(p->PropType)) names.insert(Q(v));
    ctx.Typed = m.captured(4);
    ctx.Quote = m.captured(3).isEmpty();
    ctx.Names = Sorted(std::move(names));
    return ctx;
  }
  // nw("...: the classes that can be created.
  m = Re(QStringLiteral("\\bnw\\s*\\(\\s*[\"'](\\w*)$")).match(before);
  if (m.hasMatch()) {
    for (const std::string& n : RegisteredClassNames()) names.insert(Q(n));
    ctx.Typed = m.captured(1);
    ctx.Names = Sorted(std::move(names));
    return ctx;
  }
  // sys.getObj("...: the objects the running script has named.
  m = Re(QStringLiteral("\\bsys\\s*\\.\\s*getObj\\s*\\(\\s*[\"'](\\w*)$")).match(before);
  if (m.hasMatch()) {
    if (LiveNames())
      for (const std::string& n : LiveNames()()) names.insert(Q(n));
    ctx.Typed = m.captured(1);
    ctx.Names = Sorted(std::move(names));
    return ctx;
  }
  // After a dot: the members of the object's interface.
  m = Re(QStringLiteral("(?<![\\w$.])([\\w$]+)\\s*\\.\\s*([\\w$]*)$")).match(before);
  if (m.hasMatch()) {
    if (const TInterfaceInfo* info = InterfaceOf(m.captured(1), text))
      for (const TMemberInfo& member : info->Members)
        names.insert(QString::fromLatin1(member.Name));
    ctx.Typed = m.captured(2);
    ctx.Object = m.captured(1);
    ctx.Names = Sorted(std::move(names));
    return ctx;
  }
  // A name on its own, on request: the host objects and the handles the text makes.
  if (explicitRequest) {
    m = Re(QStringLiteral("(?<![\\w$.])([\\w$]*)$")).match(before);
    for (const char* host : {"sys", "main", "inet"}) names.insert(QString::fromLatin1(host));
    const QRegularExpression handles =
        Re(QStringLiteral("\\b([\\w$]+)\\s*=\\s*[\\w.$]*\\b(?:nw|getObj)\\s*\\("));
    for (auto it = handles.globalMatch(text); it.hasNext();) names.insert(it.next().captured(1));
    ctx.Typed = m.captured(1);
    ctx.Names = Sorted(std::move(names));
  }
  return ctx;
}

QString CallTipFor(const QString& object, const QString& member, const QString& text) {
  const TInterfaceInfo* info = InterfaceOf(object, text);
  if (!info) return QString();
  for (const TMemberInfo& m : info->Members) {
    if (m.Kind != MemberKind::Method || member.compare(QLatin1String(m.Name), Qt::CaseInsensitive))
      continue;
    QStringList params;
    for (const TParamInfo& p : m.Params) {
      const QString one = QStringLiteral("%1: %2").arg(QLatin1String(p.Name), TypeName(p.Type));
      params << (p.Optional ? QStringLiteral("[%1]").arg(one) : one);
    }
    QString tip =
        QStringLiteral("%1(%2)").arg(QLatin1String(m.Name), params.join(QStringLiteral(", ")));
    if (m.Result != VarType::Void) tip += QStringLiteral(": ") + TypeName(m.Result);
    return tip;
  }
  return QString();
}

TCompleter::TCompleter(TMyEdit* editor) : FEditor(editor) {
  FList = new QListWidget(editor);
  FList->setObjectName(QStringLiteral("CompletionList"));
  FList->setFocusPolicy(Qt::NoFocus);  // the keys stay with the editor
  FList->setFont(editor->font());
  FList->setUniformItemSizes(true);
  FList->hide();
  QObject::connect(FList, &QListWidget::itemClicked, editor, [this] { Accept(); });
  QObject::connect(editor, &QPlainTextEdit::textChanged, FList, [this] { FTextStale = true; });

  FTip = new QLabel(editor);
  FTip->setObjectName(QStringLiteral("CallTip"));
  FTip->setFont(editor->font());
  FTip->setStyleSheet(
      QStringLiteral("QLabel { background: #ffffe1; color: black; border: 1px solid #808080; "
                     "padding: 1px 4px; }"));
  FTip->hide();
}

const QString& TCompleter::Text() {
  if (FTextStale) {
    FText = FEditor->document()->toPlainText();
    FTextStale = false;
  }
  return FText;
}

bool TCompleter::IsOpen() const {
  return FList->isVisible();
}

void TCompleter::Close() {
  FList->hide();
}

void TCompleter::Place(QWidget* w) {
  const QRect caret = FEditor->cursorRect();
  QPoint at = FEditor->viewport()->mapTo(FEditor, caret.bottomLeft() + QPoint(0, 2));
  const QRect area = FEditor->viewport()->geometry();
  if (at.y() + w->height() > area.bottom() && caret.top() - w->height() > 0)
    at.setY(FEditor->viewport()->mapTo(FEditor, caret.topLeft()).y() - w->height() - 2);
  at.setX(std::min(at.x(), std::max(area.left(), area.right() - w->width())));
  w->move(at);
}

void TCompleter::Update(bool explicitRequest) {
  const QTextCursor c = FEditor->textCursor();
  const QString before = c.block().text().left(c.positionInBlock());
  FContext = CompletionAt(before, Text(), explicitRequest);
  FList->clear();
  for (const QString& n : FContext.Names)
    if (n.startsWith(FContext.Typed, Qt::CaseInsensitive) &&
        (n.size() > FContext.Typed.size() || explicitRequest))
      FList->addItem(n);
  if (FList->count() == 0) {
    Close();
    return;
  }
  FList->setCurrentRow(0);
  const int rows = std::min(FList->count(), 10);
  int width = 0;
  for (int i = 0; i < FList->count(); ++i)
    width = std::max(width, FList->fontMetrics().horizontalAdvance(FList->item(i)->text()));
  FList->resize(width + FList->verticalScrollBar()->sizeHint().width() + 16,
                rows * FList->sizeHintForRow(0) + 2 * FList->frameWidth());
  Place(FList);
  FList->show();
  FList->raise();
}

bool TCompleter::HandleKey(int key) {
  if (!IsOpen()) return false;
  const int row = FList->currentRow();
  switch (key) {
    case Qt::Key_Up:
      FList->setCurrentRow(std::max(row - 1, 0));
      return true;
    case Qt::Key_Down:
      FList->setCurrentRow(std::min(row + 1, FList->count() - 1));
      return true;
    case Qt::Key_PageUp:
      FList->setCurrentRow(std::max(row - 9, 0));
      return true;
    case Qt::Key_PageDown:
      FList->setCurrentRow(std::min(row + 9, FList->count() - 1));
      return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Tab:
      Accept();
      return true;
    case Qt::Key_Escape:
      Close();
      return true;
    default:
      return false;
  }
}

void TCompleter::Accept() {
  QListWidgetItem* item = FList->currentItem();
  Close();
  if (!item) return;
  QString insert = item->text();
  // A method comes with its opening parenthesis, and its parameters show as a tip.
  if (!FContext.Object.isEmpty() && !CallTipFor(FContext.Object, insert, Text()).isEmpty())
    insert += QLatin1Char('(');
  if (FContext.Quote) insert = QLatin1Char('"') + insert + QLatin1Char('"');
  QTextCursor c = FEditor->textCursor();
  c.clearSelection();
  c.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor,
                 static_cast<int>(FContext.Typed.size()));
  c.insertText(insert);
  FEditor->setTextCursor(c);
  UpdateCallTip();
  FEditor->CheckCaretMove();
}

void TCompleter::UpdateCallTip() {
  const QTextCursor c = FEditor->textCursor();
  const QString before = c.block().text().left(c.positionInBlock());
  // The innermost open parenthesis before the caret, and the member named before it.
  int depth = 0;
  int open = -1;
  for (int i = static_cast<int>(before.size()) - 1; i >= 0 && open < 0; --i) {
    if (before.at(i) == QLatin1Char(')')) ++depth;
    if (before.at(i) == QLatin1Char('(') && depth-- == 0) open = i;
  }
  QString tip;
  if (open >= 0) {
    const QRegularExpressionMatch m =
        Re(QStringLiteral("(?<![\\w$.])([\\w$]+)\\s*\\.\\s*([\\w$]+)\\s*$"))
            .match(before.left(open));
    if (m.hasMatch()) tip = CallTipFor(m.captured(1), m.captured(2), Text());
  }
  if (tip.isEmpty()) {
    FTip->hide();
    return;
  }
  if (FTip->text() != tip || FTip->isHidden()) {
    FTip->setText(tip);
    FTip->adjustSize();
    const QRect caret = FEditor->cursorRect();
    QPoint at = FEditor->viewport()->mapTo(FEditor, caret.topLeft());
    at.setY(at.y() - FTip->height() - 1);
    if (at.y() < 0) at.setY(FEditor->viewport()->mapTo(FEditor, caret.bottomLeft()).y() + 2);
    FTip->move(at);
    FTip->show();
    FTip->raise();
  }
}
