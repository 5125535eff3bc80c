#pragma once
// From an error report in the log to its place: each report's log lines keep the place
// they name, a double-click or Enter on one opens it, and the lines of the last run's
// errors are marked in the pages that hold their files.

#include <QObject>
#include <string>
#include <vector>

#include "Unit1_runcycle.h"

class TForm1;
class QTextBlock;

class TErrorPlaces final : public QObject {
 public:
  explicit TErrorPlaces(TForm1* form);
  Q_DISABLE_COPY_MOVE(TErrorPlaces)

  // Writes the report's lines into the log, each keeping `place`, and marks the line
  // in every page that holds its file.
  void Report(const std::vector<std::string>& lines, const TErrorPlace& place);
  // A run starts: the marks of the last one go.
  void ClearMarks();
  // Opens the place kept by a log line: the page that holds its file is made active
  // (opened if none does), the caret goes to the line and column. False if the line
  // keeps no place.
  bool OpenPlace(const QTextBlock& logLine);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  int PageOfFile(const std::string& file) const;
  void MarkPage(int page);

  TForm1* form_;
  // The filter also sees the log's events while the window and the log are being
  // destroyed, when neither may be reached as what it was: the watched object is only
  // compared with these addresses until a double-click or a key says the log is live.
  const QObject* logAddress_;
  const QObject* logViewAddress_;
  std::vector<TErrorPlace> marks_;  // the places of this run's errors that lie in files
};
