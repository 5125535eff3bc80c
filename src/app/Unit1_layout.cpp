// The workbench window's layout: the designed positions, scaled to the UI font.

#include <sys/stat.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QtMath>
#include <algorithm>
#include <fstream>
#include <sstream>

#include "Classes.h"
#include "Unit1.h"
#include "Unit1_runcycle_places.h"
#include "Unit1_testhook.h"
#include "u_jobject.h"
#include "u_myedit.h"
#include "u_myedit_complete.h"
#include "vantor_utils.h"

namespace {

// Client area of the designed window; the outer size is 731 × 604 with its frame.
constexpr int kClientWidth = 715;
constexpr int kClientHeight = 566;

// The layout was designed for a narrow font 13 pixels high; a wider or taller UI font
// scales every position and size by one ratio, so that every caption fits.
double LayoutScale = 1.0;
int Px(int designed) {
  return qRound(designed * LayoutScale);
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, int left,
                        int top, int width, int height) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(name);
  b->setGeometry(Px(left), Px(top), Px(width), Px(height));
  b->setFocusPolicy(Qt::TabFocus);
  return b;
}

}  // namespace

void TForm1::BuildLayout() {
  // The designed 8-point size in the system's own UI family; buttons keep a thin
  // padding so their captions fit the designed widths. On a screen too narrow for
  // that (high dpi), a smaller size, so the first window fits and nothing is cut off.
  QRect area(0, 0, 1 << 20, 1 << 20);
  if (QScreen* screen = QGuiApplication::primaryScreen()) area = screen->availableGeometry();
  // Room for a window manager's frame.
  const int roomWidth = area.width() - 16;
  const int roomHeight = area.height() - 48;
  QFont uiFont = QApplication::font();
  int needWidth = 0;
  for (int points = 8; points >= 5; --points) {
    uiFont.setPointSize(points);
    LayoutScale = 1.0;
    const QFontMetricsF metrics(uiFont);
    const std::pair<QString, int> captions[] = {
        {"Load", 35},       {"Save (Ctrl+S)", 67},
        {"Run (F9)", 49},   {"Stop (Ctrl+F2)", 71},
        {"Close Page", 67}, {"Clear", 36},
        {"Minim", 36},      {QString::fromUtf8("Последняя версия ") + ORVEL_SITE, 228}};
    for (const auto& [caption, designed] : captions)
      LayoutScale = std::max(LayoutScale, (metrics.horizontalAdvance(caption) + 8) / designed);
    LayoutScale = std::max(LayoutScale, metrics.height() / 13.0);
    // The caret label right of Stop needs room for its widest usual caption.
    caretLabelWidth_ = qCeil(metrics.horizontalAdvance("lbCaretPos")) + 4;
    needWidth = std::max(Px(kClientWidth), Px(672) + caretLabelWidth_ + Px(4));
    if (needWidth <= roomWidth) break;
  }
  setFont(uiFont);
  setStyleSheet("QPushButton { padding: 0px 2px; }");
  const int firstWidth = std::min(needWidth, std::max(roomWidth, 1));
  const int firstHeight = std::min(Px(kClientHeight), std::max(roomHeight, 1));
  resize(firstWidth, firstHeight);
  move(area.center() - QPoint(firstWidth / 2, firstHeight / 2));

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  Panel1 = new QWidget(this);
  Panel1->setObjectName("Panel1");
  Panel1->setFixedHeight(Px(34));
  column->addWidget(Panel1);

  lbFileName = new QLabel("File:", Panel1);
  lbFileName->setObjectName("lbFileName");
  lbFileName->move(Px(22), Px(13));
  lbFileName->adjustSize();

  edMainFile = new QLineEdit("edMainFile", Panel1);
  edMainFile->setObjectName("edMainFile");
  edMainFile->setGeometry(Px(46), Px(7), Px(257), Px(21));

  btSelectMainFile = MakeButton(Panel1, "btSelectMainFile", "...", 303, 7, 21, 21);

  edLanguage = new QLineEdit("edLanguage", Panel1);
  edLanguage->setObjectName("edLanguage");
  edLanguage->setGeometry(Px(337), Px(7), Px(95), Px(21));

  btLoad = MakeButton(Panel1, "btLoad", "Load", 440, 7, 35, 20);
  btSave = MakeButton(Panel1, "btSave", "Save (Ctrl+S)", 477, 7, 67, 20);
  btRun = MakeButton(Panel1, "btRun", "Run (F9)", 546, 7, 49, 20);
  btStop = MakeButton(Panel1, "btStop", "Stop (Ctrl+F2)", 598, 7, 71, 20);
  btStop->setEnabled(false);

  lbCaretPos = new QLabel("lbCaretPos", Panel1);
  lbCaretPos->setObjectName("lbCaretPos");
  lbCaretPos->move(Px(672), Px(12));
  lbCaretPos->setMinimumWidth(caretLabelWidth_);
  lbCaretPos->adjustSize();

  Splitter1 = new QSplitter(Qt::Vertical, this);
  Splitter1->setObjectName("Splitter1");
  Splitter1->setHandleWidth(Px(7));
  Splitter1->setChildrenCollapsible(false);
  Splitter1->setStyleSheet(
      "QSplitter::handle { border-top: 1px solid palette(light);"
      " border-bottom: 1px solid palette(dark); }");
  column->addWidget(Splitter1, 1);

  PageControl1 = new QTabWidget(Splitter1);
  PageControl1->setObjectName("PageControl1");
  PageControl1->setDocumentMode(true);
  PageControl1->setFocusPolicy(Qt::NoFocus);
  Splitter1->addWidget(PageControl1);

  pnLog = new QWidget(Splitter1);
  pnLog->setObjectName("pnLog");
  pnLog->setMinimumHeight(10);
  Splitter1->addWidget(pnLog);
  auto* logLayout = new QVBoxLayout(pnLog);
  logLayout->setContentsMargins(0, 0, 0, 0);
  log = new QPlainTextEdit(pnLog);
  log->setObjectName("log");
  log->setReadOnly(true);
  log->setLineWrapMode(QPlainTextEdit::NoWrap);
  log->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  log->setMinimumHeight(10);
  log->setTabStopDistance(log->fontMetrics().horizontalAdvance(' ') * 4);
  logLayout->addWidget(log);

  btLogClear = MakeButton(pnLog, "btLogClear", "Clear", 613, 5, 36, 20);
  btLogMinim = MakeButton(pnLog, "btLogMinim", "Minim", 656, 5, 36, 20);
  Button1 = MakeButton(pnLog, "Button1", QString::fromUtf8("Описание на ") + ORVEL_SITE, 464, 29,
                       228, 20);
  Button2 = MakeButton(pnLog, "Button2", QString::fromUtf8("Последняя версия ") + ORVEL_SITE, 464,
                       50, 228, 20);

  Splitter1->setStretchFactor(0, 1);
  Splitter1->setStretchFactor(1, 0);
  Splitter1->setSizes({Px(kClientHeight - 34 - 19 - 7 - 115), Px(115)});

  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName("StatusBar1");
  StatusBar1->setFixedHeight(Px(19));
  StatusBar1->setSizeGripEnabled(true);
  StatusText1 = new QLabel(StatusBar1);
  StatusText1->setObjectName("StatusText1");
  StatusBar1->addWidget(StatusText1, 1);
  column->addWidget(StatusBar1);

  // Over the right end of the tab row.
  btClosePage = MakeButton(this, "btClosePage", "Close Page", 644, 36, 67, 18);
  btClosePage->raise();
  btRecent = MakeButton(this, "btRecent", "Recent", 584, 36, 58, 18);
  btRecent->setMenu(new QMenu(btRecent));
  connect(btRecent->menu(), &QMenu::aboutToShow, this, [this] { FillRecentMenu(); });
  connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_N), this), &QShortcut::activated, this,
          [this] { NewPage(); });
  connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), this),
          &QShortcut::activated, this, [this] { SaveAsClick(); });

  connect(btSelectMainFile, &QPushButton::clicked, this, [this] { btSelectMainFileClick(); });
  connect(btLoad, &QPushButton::clicked, this, [this] { btLoadClick(); });
  connect(btSave, &QPushButton::clicked, this, [this] { btSaveClick(); });
  connect(btRun, &QPushButton::clicked, this, [this] { btRunClick(); });
  connect(btStop, &QPushButton::clicked, this, [this] { btStopClick(); });
  connect(btClosePage, &QPushButton::clicked, this, [this] { btClosePageClick(); });
  connect(btLogClear, &QPushButton::clicked, this, [this] { btLogClearClick(); });
  connect(btLogMinim, &QPushButton::clicked, this, [this] { btLogMinimClick(); });
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  PlaceAnchoredControls();
}

// Controls over the right end of the tab row and of the log keep their distance from
// the right edge, as laid out for the designed width.
void TForm1::PlaceAnchoredControls() {
  PlaceCaretLabel();
  const int shift = width() - Px(kClientWidth);
  btClosePage->move(Px(644) + shift, Px(36));
  btClosePage->raise();
  btRecent->move(Px(584) + shift, Px(36));
  btRecent->raise();
  btLogClear->move(Px(613) + shift, Px(5));
  btLogMinim->move(Px(656) + shift, Px(5));
  Button1->move(Px(464) + shift, Px(29));
  Button2->move(Px(464) + shift, Px(50));
  for (QWidget* b : {static_cast<QWidget*>(btLogClear), static_cast<QWidget*>(btLogMinim),
                     static_cast<QWidget*>(Button1), static_cast<QWidget*>(Button2)})
    b->raise();
}

// The caret label keeps its designed place unless that would cut it off at the right
// edge; then it moves left, never over the Stop button.
void TForm1::PlaceCaretLabel() {
  const int right = width() - Px(4);
  int x = Px(672);
  if (x + lbCaretPos->width() > right)
    x = std::max(btStop->geometry().right() + Px(3), right - lbCaretPos->width());
  lbCaretPos->move(x, Px(12));
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  PlaceAnchoredControls();
  LogGeometry();
}
