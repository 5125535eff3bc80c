#pragma once

// JavaScript colouring of an editor's document, done lazily: only the lines that are
// painted get their colours, and only the scanner state at each line's end is kept
// for the lines above them, so a large file opens and types as fast as without it.

#include <QList>
#include <QObject>
#include <QString>
#include <QTextBlock>
#include <QTextLayout>

class QTextDocument;

// What the editor keeps with a line; it travels with the line as lines are
// inserted or removed above it.
struct TLineData final : QTextBlockUserData {
  int ColouredFrom = -1;  // the start state its colours were made for; -1: none
  bool ErrorMark = false;
  QString MarkedText;  // the line's text when it was marked
  static TLineData* Of(const QTextBlock& block, bool create);
};

enum class TColourKind { Keyword, String, Comment, Number, Regex, Directive };

struct TColourRange {
  int Start = 0;
  int Length = 0;
  TColourKind Kind = TColourKind::Keyword;
};

// Scanner state carried from one line to the next.
enum TScanState : int { ssCode = 0, ssBlockComment = 1, ssTemplate = 2 };

// Colours one line that starts in `state`; returns the state at its end.
int ScanJsLine(const QString& line, int state, QList<TColourRange>* ranges);

// One per document (shared by every editor that shows it).
class TJsColouring final : public QObject {
 public:
  static TJsColouring* Of(QTextDocument* doc);  // creates it on first use
  // Gives the lines first..last their colours; lines above only their end state.
  void ColourBlocks(const QTextBlock& first, const QTextBlock& last);
  void ColourAll();

 private:
  explicit TJsColouring(QTextDocument* doc);
  void ContentsChanged(int position, int removed, int added);

  QTextDocument* FDoc;
  int FValidUpTo = 0;  // lines before this one hold a valid end state
};
