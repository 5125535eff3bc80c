#pragma once

// What the benchmarks that drive widgets share: keys sent as the window system would,
// and Qt's plain text editor doing what the code editor does, for a reference.

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QTextBlock>
#include <string>

inline void Press(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier,
                  const QString& text = QString()) {
  QKeyEvent down(QEvent::KeyPress, key, mods, text);
  QApplication::sendEvent(w, &down);
  QKeyEvent up(QEvent::KeyRelease, key, mods, text);
  QApplication::sendEvent(w, &up);
}

// The code editor's Ctrl+Y (delete the caret's line) with the plain editor's calls.
inline void DeleteLine(QPlainTextEdit* ed) {
  QTextCursor c = ed->textCursor();
  const QTextBlock b = c.block();
  if (b.next().isValid()) {
    c.setPosition(b.position());
    c.setPosition(b.next().position(), QTextCursor::KeepAnchor);
  } else {
    // The last line takes the break before it.
    c.setPosition(b.previous().isValid() ? b.position() - 1 : b.position());
    c.setPosition(b.position() + b.length() - 1, QTextCursor::KeepAnchor);
  }
  c.removeSelectedText();
  ed->setTextCursor(c);
}

// The file read, its CR LF made the document's line breaks.
inline void LoadPlain(QPlainTextEdit* ed, const std::string& path) {
  QFile f(QString::fromStdString(path));
  if (!f.open(QIODevice::ReadOnly)) return;
  QString text = QString::fromUtf8(f.readAll());
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  ed->setPlainText(text);
}

// The text written with CR LF through a file that is synced and renamed into place.
inline void SavePlain(const QPlainTextEdit* ed, const std::string& path) {
  QString text = ed->toPlainText();
  text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
  QSaveFile out(QString::fromStdString(path));
  if (out.open(QIODevice::WriteOnly)) {
    out.write(text.toUtf8());
    out.commit();
  }
}
