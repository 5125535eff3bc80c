#pragma once

// The bar over the editor's top right corner for find, replace and go to line.

#include <QFrame>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TMyEdit;

class TFindBar final : public QFrame {
 public:
  enum class TMode { Find, Replace, GoToLine };

  explicit TFindBar(TMyEdit* editor);
  void Open(TMode mode);  // shows the bar and puts the focus into its first box
  void Close();           // hides it; the editor takes the focus back
  TMode Mode() const { return FMode; }
  QString FindText() const;
  bool MatchCase() const;

  // From the caret, wrapping at the ends; selects the match. False when there is none.
  bool FindNext(bool backward);
  // Replaces the selected match, if the selection is one, and finds the next.
  void ReplaceOne();
  int ReplaceAll();
  void GoToLine();
  void Place();  // keeps the bar in the viewport's top right corner

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  bool focusNextPrevChild(bool next) override;

 private:
  bool SelectionIsMatch() const;
  void ShowStatus(const QString& text, bool failed);

  TMyEdit* FEditor;
  TMode FMode = TMode::Find;
  QLabel* FFindLabel;
  QLineEdit* FFind;
  QLabel* FReplaceLabel;
  QLineEdit* FReplace;
  QPushButton* FReplaceOne;
  QPushButton* FReplaceAll;
  QPushButton* FPrevious;
  QPushButton* FNext;
  QCheckBox* FMatchCase;
  QLabel* FStatus;
};
