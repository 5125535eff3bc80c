// Program entry: the command line, the units' start-up order and the teardown order.

#include <fontconfig/fontconfig.h>

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QIcon>
#include <QPixmap>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "Forms.h"
#include "MSScriptControl_TLB.h"
#include "Project1_TLB.h"
#include "Unit1.h"
#include "Unit1_runcycle.h"
#include "test.h"
#include "u_busserver.h"
#include "u_units.h"

namespace {

const char* const kUsage =
    "Usage:\n"
    "  orvel [MAINFILE]                      the workbench; MAINFILE becomes the main file\n"
    "  orvel --run FILE [--language NAME] [--no-wait] [--timeout SECONDS]\n"
    "                                        run FILE headless: log lines go to stdout;\n"
    "                                        --timeout stops a statement that runs longer\n"
    "                                        than SECONDS; SIGINT or SIGTERM stops the run\n"
    "  orvel --help | --version\n"
    "  orvel /REGSERVER | /UNREGSERVER | /AUTOMATION | /EMBEDDING   (also with \"-\")\n";

struct TCommandLine {
  bool help = false;
  bool version = false;
  bool run = false;
  bool noWait = false;
  int timeoutSeconds = 0;
  std::string runFile;
  std::string language = "JScript";
  std::string mainFile;
  std::vector<std::string> switches;  // everything after the program name
  std::string error;
};

bool IsServerSwitch(const std::string& arg) {
  if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-') || arg[1] == '-') return false;
  std::string word;
  for (char c : arg.substr(1))
    word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return word == "REGSERVER" || word == "UNREGSERVER" || word == "AUTOMATION" ||
         word == "EMBEDDING";
}

TCommandLine ParseCommandLine(int argc, char** argv) {
  TCommandLine cl;
  bool languageGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    cl.switches.push_back(arg);
    if (arg == "--help" || arg == "-h") {
      cl.help = true;
    } else if (arg == "--version") {
      cl.version = true;
    } else if (arg == "--no-wait") {
      cl.noWait = true;
    } else if (arg == "--timeout") {
      if (i + 1 >= argc) {
        cl.error = arg + " needs a value";
        return cl;
      }
      const std::string value = argv[++i];
      cl.switches.push_back(value);
      char* end = nullptr;
      const long seconds = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end || seconds < 1 || seconds > 24 * 3600) {
        cl.error = "--timeout needs a whole number of seconds from 1 to 86400: " + value;
        return cl;
      }
      cl.timeoutSeconds = static_cast<int>(seconds);
    } else if (arg == "--run" || arg == "--language") {
      if (i + 1 >= argc) {
        cl.error = arg + " needs a value";
        return cl;
      }
      const std::string value = argv[++i];
      cl.switches.push_back(value);
      if (arg == "--run") {
        if (cl.run) {
          cl.error = "--run given twice";
          return cl;
        }
        cl.run = true;
        cl.runFile = value;
      } else {
        cl.language = value;
        languageGiven = true;
      }
    } else if (IsServerSwitch(arg)) {
      // Read by StartModeFromArgs.
    } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      cl.error = "unknown option " + arg;
      return cl;
    } else if (cl.mainFile.empty()) {
      cl.mainFile = arg;
    } else {
      cl.error = "more than one main file: " + arg;
      return cl;
    }
  }
  if (!cl.run && (languageGiven || cl.noWait || cl.timeoutSeconds))
    cl.error = "--language, --no-wait and --timeout need --run";
  if (cl.run && !cl.mainFile.empty()) cl.error = "--run takes one file: " + cl.mainFile;
  return cl;
}

// The icon installed with the program, read from the icon theme's folder beside its
// own: looking it up by its name in the theme instead reads the theme's whole index,
// a tenth of a short run's start. Outside an installation there is none.
QIcon InstalledIcon() {
  const QString theme = QCoreApplication::applicationDirPath() + "/../share/icons/hicolor/";
  const QString name = QStringLiteral("/apps/org.orvel.Workbench");
  QIcon icon;
  // The sizes the package installs.
  for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
    const QString file = theme + QString("%1x%1").arg(size) + name + ".png";
    if (QFileInfo::exists(file)) icon.addPixmap(QPixmap(file, "PNG"));
  }
  // A package built without its pictures carries the drawing alone.
  if (icon.isNull() && QFileInfo::exists(theme + "scalable" + name + ".svg"))
    icon.addFile(theme + "scalable" + name + ".svg");
  return icon;
}

// Qt's font database, destroyed with the application, frees fontconfig's configuration
// by asking fontconfig for it: in a run that never drew text that loads the whole
// configuration and font list only to free it, the last milliseconds of a short run.
// Made current here, an empty configuration is what it frees; one that was loaded is
// freed here instead.
void LeaveFontConfigurationEmpty() {
  FcConfig* empty = FcConfigCreate();
  if (!empty) return;
  FcConfigSetCurrent(empty);
  FcConfigDestroy(empty);  // fontconfig holds it as the current one now
}

}  // namespace

int main(int argc, char** argv) {
  const TCommandLine cl = ParseCommandLine(argc, argv);
  if (!cl.error.empty()) {
    std::cerr << "orvel: " << cl.error << "\n" << kUsage;
    return 2;
  }
  if (cl.help) {
    std::cout << kUsage;
    return 0;
  }
  if (cl.version) {
    std::cout << OrvelTitle() << "\n";
    return 0;
  }

  // Unit start-up, before any window.
  const TStartMode mode = StartModeFromArgs(cl.switches);
  StartUnits();

  // A headless run needs no display: without one, windows are built offscreen.
  if (cl.run && !std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") &&
      !std::getenv("WAYLAND_DISPLAY"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);

  const bool registration = mode == TStartMode::smRegServer || mode == TStartMode::smUnregServer;
  int status = 0;
  {
    // Registration only writes or removes files: it must work where no display is.
    std::unique_ptr<QCoreApplication> app;
    if (registration)
      app = std::make_unique<QCoreApplication>(argc, argv);
    else {
      app = std::make_unique<QApplication>(argc, argv);
      // The desktop matches the windows to the menu entry (on Wayland by this name)
      // and, once installed, shows Orvel's icon on every window.
      QGuiApplication::setDesktopFileName(QStringLiteral("org.orvel.Workbench"));
      // A headless run sets the icon just before a script first shows a form, so a
      // run that shows none never pays for an icon nobody saw.
      const auto setIcon = [] { QGuiApplication::setWindowIcon(InstalledIcon()); };
      if (cl.run)
        BeforeFirstFormWindow(setIcon);
      else
        setIcon();
    }

    if (registration) {
      std::string error;
      const bool ok = mode == TStartMode::smRegServer ? RegisterAutomationServer(error)
                                                      : UnregisterAutomationServer(error);
      if (!ok) {
        std::cerr << "orvel: " << error << std::endl;
        status = 1;
      }
    } else if (cl.run) {
      status = RunHeadless(cl.runFile, cl.language, cl.noWait, cl.timeoutSeconds);
    } else {
      std::string error;
      if (!StartAutomationServer(mode, error) && mode == TStartMode::smAutomation) {
        std::cerr << "orvel: " << error << std::endl;
        status = 1;
      } else {
        if (!error.empty()) std::cerr << "orvel: automation server: " << error << std::endl;
        Form1 = new TForm1(cl.mainFile);
        Form1->QuitOnClose = true;  // also in automation mode, once the user closes it
        Form2 = new TForm2();
        SetShowWorkbenchHandler([] {
          if (Form1) {
            Form1->show();
            Form1->raise();
            Form1->activateWindow();
          }
        });
        // The end of automation mode is a close of the window where it is shown, so
        // the user's pages are saved as a close saves them.
        SetAutomationEndHandler([] {
          if (Form1 && Form1->isVisible())
            Form1->close();
          else
            QCoreApplication::exit(0);
        });
        if (mode != TStartMode::smAutomation || AutomationServerNeedsWindow()) Form1->show();
        // In automation mode the server quits the loop after the last release.
        QApplication::setQuitOnLastWindowClosed(mode != TStartMode::smAutomation);
        status = QCoreApplication::exec();
        SetShowWorkbenchHandler(nullptr);
        SetAutomationEndHandler(nullptr);
        // Teardown: the window stops its run, then the units end in a fixed order.
        delete Form2;
        Form2 = nullptr;
        delete Form1;
        Form1 = nullptr;
      }
    }
    StopAutomationServer();
    EndUnits();
    if (!registration) LeaveFontConfigurationEmpty();
  }
  return status;
}
