#include "u_myedit_find.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>

#include "u_myedit.h"

TFindBar::TFindBar(TMyEdit* editor) : QFrame(editor), FEditor(editor) {
  setObjectName(QStringLiteral("FindBar"));
  setFrameShape(QFrame::StyledPanel);
  setAutoFillBackground(true);
  setCursor(Qt::ArrowCursor);
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(4, 3, 4, 3);
  grid->setSpacing(3);

  FFindLabel = new QLabel(tr("Find:"), this);
  FFind = new QLineEdit(this);
  FFind->setObjectName(QStringLiteral("FindText"));
  FFind->setMinimumWidth(160);
  FPrevious = new QPushButton(QStringLiteral("▲"), this);
  FPrevious->setToolTip(tr("Previous (Shift+F3)"));
  FNext = new QPushButton(QStringLiteral("▼"), this);
  FNext->setToolTip(tr("Next (F3)"));
  FMatchCase = new QCheckBox(tr("Aa"), this);
  FMatchCase->setObjectName(QStringLiteral("MatchCase"));
  FMatchCase->setToolTip(tr("Match case"));
  auto* close = new QPushButton(QStringLiteral("✕"), this);
  close->setToolTip(tr("Close (Esc)"));
  FStatus = new QLabel(this);
  FStatus->setObjectName(QStringLiteral("FindStatus"));

  FReplaceLabel = new QLabel(tr("Replace:"), this);
  FReplace = new QLineEdit(this);
  FReplace->setObjectName(QStringLiteral("ReplaceText"));
  FReplaceOne = new QPushButton(tr("Replace"), this);
  FReplaceOne->setObjectName(QStringLiteral("ReplaceOne"));
  FReplaceAll = new QPushButton(tr("Replace all"), this);
  FReplaceAll->setObjectName(QStringLiteral("ReplaceAll"));

  FMatchCase->setFocusPolicy(Qt::NoFocus);
  for (QPushButton* b : {FPrevious, FNext, close, FReplaceOne, FReplaceAll}) {
    b->setFocusPolicy(Qt::NoFocus);
    b->setAutoDefault(false);
  }
  for (QPushButton* b : {FPrevious, FNext, close}) b->setFixedWidth(b->sizeHint().height() + 4);

  grid->addWidget(FFindLabel, 0, 0);
  grid->addWidget(FFind, 0, 1);
  grid->addWidget(FPrevious, 0, 2);
  grid->addWidget(FNext, 0, 3);
  grid->addWidget(FMatchCase, 0, 4);
  grid->addWidget(close, 0, 5);
  grid->addWidget(FReplaceLabel, 1, 0);
  grid->addWidget(FReplace, 1, 1);
  grid->addWidget(FReplaceOne, 1, 2, 1, 2);
  grid->addWidget(FReplaceAll, 1, 4, 1, 2);
  grid->addWidget(FStatus, 2, 0, 1, 6);

  connect(FPrevious, &QPushButton::clicked, this, [this] { FindNext(true); });
  connect(FNext, &QPushButton::clicked, this, [this] { FindNext(false); });
  connect(close, &QPushButton::clicked, this, [this] { Close(); });
  connect(FReplaceOne, &QPushButton::clicked, this, [this] { ReplaceOne(); });
  connect(FReplaceAll, &QPushButton::clicked, this, [this] { ReplaceAll(); });
  connect(FFind, &QLineEdit::textEdited, this, [this] {
    FStatus->clear();
    FEditor->UpdateExtraSelections();
  });
  connect(FMatchCase, &QCheckBox::toggled, this, [this] { FEditor->UpdateExtraSelections(); });
  hide();
}

QString TFindBar::FindText() const {
  return FFind->text();
}

bool TFindBar::MatchCase() const {
  return FMatchCase->isChecked();
}

void TFindBar::Open(TMode mode) {
  const bool wasGoTo = FMode == TMode::GoToLine;
  FMode = mode;
  const bool goTo = mode == TMode::GoToLine;
  const bool replace = mode == TMode::Replace;
  FFindLabel->setText(goTo ? tr("Line:") : tr("Find:"));
  for (QWidget* w : {static_cast<QWidget*>(FPrevious), static_cast<QWidget*>(FNext),
                     static_cast<QWidget*>(FMatchCase)})
    w->setVisible(!goTo);
  for (QWidget* w : {static_cast<QWidget*>(FReplaceLabel), static_cast<QWidget*>(FReplace),
                     static_cast<QWidget*>(FReplaceOne), static_cast<QWidget*>(FReplaceAll)})
    w->setVisible(replace);
  FStatus->clear();
  FStatus->setVisible(false);

  if (goTo) {
    FFind->setText(QString::number(FEditor->CaretPos().Y + 1));
  } else {
    // A selection on one line is what the user wants to look for.
    const QString selected = FEditor->textCursor().selectedText();
    if (!selected.isEmpty() && !selected.contains(QChar::ParagraphSeparator))
      FFind->setText(selected);
    else if (wasGoTo)
      FFind->clear();
  }
  adjustSize();
  Place();
  show();
  raise();
  FFind->setFocus();
  FFind->selectAll();
  FEditor->UpdateExtraSelections();
}

void TFindBar::Close() {
  hide();
  FEditor->UpdateExtraSelections();
  FEditor->setFocus();
}

void TFindBar::Place() {
  adjustSize();
  const QRect vp = FEditor->viewport()->geometry();
  move(std::max(vp.left(), vp.right() - width() - 2), vp.top() + 2);
}

void TFindBar::ShowStatus(const QString& text, bool failed) {
  FStatus->setText(text);
  FStatus->setStyleSheet(failed ? QStringLiteral("color: #b00000") : QString());
  FStatus->setVisible(!text.isEmpty());
  adjustSize();
  Place();
}

bool TFindBar::SelectionIsMatch() const {
  const QString sel = FEditor->textCursor().selectedText();
  const Qt::CaseSensitivity cs = FMatchCase->isChecked() ? Qt::CaseSensitive : Qt::CaseInsensitive;
  return !FFind->text().isEmpty() && sel.compare(FFind->text(), cs) == 0;
}

bool TFindBar::FindNext(bool backward) {
  const QString what = FFind->text();
  if (what.isEmpty()) return false;
  QTextDocument::FindFlags flags;
  if (backward) flags |= QTextDocument::FindBackward;
  if (FMatchCase->isChecked()) flags |= QTextDocument::FindCaseSensitively;
  QTextDocument* doc = FEditor->document();
  const QTextCursor from = FEditor->textCursor();
  QTextCursor found = doc->find(what, from, flags);
  bool wrapped = false;
  if (found.isNull()) {
    QTextCursor edge(doc);
    if (backward) edge.movePosition(QTextCursor::End);
    found = doc->find(what, edge, flags);
    wrapped = true;
  }
  if (found.isNull()) {
    ShowStatus(tr("Not found: %1").arg(what), true);
    return false;
  }
  // The caret ends at the match's end, as after selecting it with the keyboard.
  QTextCursor select(doc);
  select.setPosition(found.selectionStart());
  select.setPosition(found.selectionEnd(), QTextCursor::KeepAnchor);
  FEditor->setTextCursor(select);
  FEditor->centerCursor();
  FEditor->CheckCaretMove();
  ShowStatus(
      wrapped ? (backward ? tr("Wrapped to the end") : tr("Wrapped to the start")) : QString(),
      false);
  return true;
}

void TFindBar::ReplaceOne() {
  if (SelectionIsMatch()) FEditor->textCursor().insertText(FReplace->text());
  FindNext(false);
}

int TFindBar::ReplaceAll() {
  const QString what = FFind->text();
  if (what.isEmpty()) return 0;
  QTextDocument::FindFlags flags;
  if (FMatchCase->isChecked()) flags |= QTextDocument::FindCaseSensitively;
  QTextDocument* doc = FEditor->document();
  QTextCursor edit(doc);
  edit.beginEditBlock();  // one undo step for all of them
  int count = 0;
  QTextCursor found = doc->find(what, 0, flags);
  while (!found.isNull()) {
    found.insertText(FReplace->text());
    ++count;
    found = doc->find(what, found, flags);
  }
  edit.endEditBlock();
  ShowStatus(count ? tr("%n replaced", nullptr, count) : tr("Not found: %1").arg(what), count == 0);
  FEditor->CheckCaretMove();
  return count;
}

void TFindBar::GoToLine() {
  bool ok = false;
  const int line = FFind->text().trimmed().toInt(&ok);
  if (!ok) {
    ShowStatus(tr("A line number from 1 to %1").arg(FEditor->LineCount()), true);
    return;
  }
  FEditor->SetCaretPos({0, std::clamp(line, 1, FEditor->LineCount()) - 1});
  FEditor->centerCursor();
  Close();
  FEditor->CheckCaretMove();
}

bool TFindBar::focusNextPrevChild(bool /*next*/) {
  // Tab goes between the two boxes; the editor behind would keep it for itself.
  if (FMode != TMode::Replace) return true;
  (FFind->hasFocus() ? FReplace : FFind)->setFocus(Qt::TabFocusReason);
  return true;
}

void TFindBar::keyPressEvent(QKeyEvent* e) {
  const auto mods = e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
  switch (e->key()) {
    case Qt::Key_Escape:
      Close();
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (FMode == TMode::GoToLine)
        GoToLine();
      else if (FReplace->hasFocus())
        ReplaceOne();
      else
        FindNext(mods == Qt::ShiftModifier);
      break;
    case Qt::Key_F3:
      if (FMode != TMode::GoToLine) FindNext(mods == Qt::ShiftModifier);
      break;
    case Qt::Key_F:
    case Qt::Key_H:
    case Qt::Key_G:
      if (mods == Qt::ControlModifier)
        Open(e->key() == Qt::Key_F   ? TMode::Find
             : e->key() == Qt::Key_H ? TMode::Replace
                                     : TMode::GoToLine);
      break;
    default:
      // Keys the boxes leave alone stop here rather than reach the text behind.
      break;
  }
  e->accept();
}
