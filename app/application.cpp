// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/application.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QTimer>

#include "app/dialog_hooks.h"
#include "app/main_window.h"
#include "app/program_ending.h"
#include "app/qt_settings_store.h"
#include "app/recovery_offer.h"
#include "app/screenshot.h"
#include "app/signal_watch.h"
#include "app/simulation_notice.h"
#include "stravon/version.h"
#include "ui/recovery_store.h"

namespace stravon::app {
namespace {

// How long --screenshot waits for a unit before it takes the window as it is.
constexpr std::chrono::seconds kScreenshotGiveUp{5};

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  // A mistake in an own option is what gets reported, whatever follows it.
  const auto fail = [&line](std::string error, bool own_option) {
    if (line.error_in_own_option) return;
    line.error = std::move(error);
    line.error_in_own_option = own_option;
  };
  bool options_end = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool option = !options_end && argument.size() > 1 && argument.front() == '-';
    if (!options_end && argument == "--") {
      options_end = true;
    } else if (option && (argument == "--help" || argument == "-h")) {
      line.help = true;
    } else if (option && (argument == "--version" || argument == "-v")) {
      line.version = true;
    } else if (option && (argument == "--simulate" || argument.starts_with("--simulate="))) {
      const std::string_view prefix = "--simulate=";
      const std::string_view options =
          argument.size() > prefix.size() ? std::string_view(argument).substr(prefix.size()) : "";
      SimulateOptions simulate;
      std::string error;
      if (ParseSimulateOptions(options, &simulate, &error)) {
        line.simulate = simulate;
      } else {
        fail("--simulate: " + error, true);
      }
    } else if (option && (argument == "--screenshot" || argument.starts_with("--screenshot="))) {
      const std::string_view prefix = "--screenshot=";
      std::string path;
      if (argument.starts_with(prefix)) {
        path = argument.substr(prefix.size());
      } else if (i + 1 < arguments.size()) {
        path = arguments[++i];
      }
      if (path.empty()) {
        fail("--screenshot needs a file name", true);
      } else {
        line.screenshot = path;
      }
    } else if (option) {
      fail("unknown option '" + argument + "'", false);
    } else if (line.file) {
      fail("only one file can be opened at start", false);
    } else {
      line.file = argument;
    }
  }
  return line;
}

std::string HelpText(const std::string& program) {
  return "Usage: " + program +
         " [OPTION]... [FILE]\n"
         "Compose stretching protocols, check them against the attached control unit,\n"
         "program them into it and read them back.\n"
         "\n"
         "Opens one empty document window, or FILE in it.\n"
         "\n"
         "      --simulate[=OPTIONS]  work with a simulated unit served by the program\n"
         "                       itself instead of hardware; OPTIONS, comma-separated:\n"
         "                         unprogrammed   its settings were never programmed\n"
         "                         as=KIND        its USB identity: unit (default),\n"
         "                                        bridge, controller, tagged or board\n"
         "                         memory=FILE    keep its memory in FILE between runs\n"
         "                         baud=N         answer as slowly as a line at N baud\n"
         "      --screenshot FILE  save the main window as a PNG to FILE once the unit\n"
         "                       has connected (or after 5 s without one) and exit;\n"
         "                       without a display it draws offscreen\n"
         "  -h, --help           show this help and exit\n"
         "  -v, --version        show the version and exit\n"
         "\n"
         "Qt's own options (such as -platform offscreen) are accepted as well.\n"
         "The unit is found through STRAVON_SYSFS_ROOT and STRAVON_DEV_ROOT when they\n"
         "are set (see stravon-sim --dir), otherwise through /sys and /dev.\n";
}

void NameTheApplication() {
  QApplication::setOrganizationName("Stravon");
  // Also the class of the windows in their X11 WM_CLASS.
  QApplication::setApplicationName("Stravon");
  QApplication::setApplicationVersion(
      QString::fromUtf8(kVersion.data(), static_cast<qsizetype>(kVersion.size())));
  // The Wayland app id and the X11 class lead the desktop to the program's
  // entry and its icon, so docks group the windows under it; the entry's
  // StartupWMClass names the same class.
  QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopEntry));
  // The installed icon where the theme has it; the program's own copy when it
  // runs from the build folder.
  QApplication::setWindowIcon(QIcon::fromTheme(QString::fromLatin1(kDesktopEntry),
                                               QIcon(":/stravon/org.stravon.Stravon.svg")));
}

std::string VersionText() { return "stravon " + std::string(kVersion) + "\n"; }

int RunApplication(int argc, char** argv) {
  // --help, --version and mistakes in the program's own options need no
  // display, so they are answered before Qt starts.
  std::vector<std::string> early(argv + 1, argv + argc);
  const CommandLine before_qt = ParseCommandLine(early);
  if (before_qt.error_in_own_option) {
    std::cerr << "stravon: " << before_qt.error << "\nTry 'stravon --help' for more information.\n";
    return 2;
  }
  if (before_qt.help) {
    std::cout << HelpText("stravon");
    return 0;
  }
  if (before_qt.version) {
    std::cout << VersionText();
    return 0;
  }
  // A screenshot needs no screen: without a display Qt draws offscreen.
  if (before_qt.screenshot && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
      qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }

  // Before Qt starts: a signal from now on waits in the pipe for the event
  // loop instead of ending the program with the actuator still moving.
  SignalWatch signal_watch;
  if (!signal_watch.Ok()) std::perror("stravon: cannot watch the ending signals");

  QApplication application(argc, argv);
  NameTheApplication();

  std::vector<std::string> arguments;
  const QStringList qt_arguments = QApplication::arguments();
  for (qsizetype i = 1; i < qt_arguments.size(); ++i) {
    arguments.push_back(qt_arguments[i].toStdString());
  }
  const CommandLine line = ParseCommandLine(arguments);
  if (!line.error.empty()) {
    std::cerr << "stravon: " << line.error << "\nTry 'stravon --help' for more information.\n";
    return 2;
  }

  // Declared before the window: the workers end before the unit they talk to.
  SimulatedUnitHost simulated;
  DeviceSessionOptions options;
  if (line.simulate) {
    if (const std::string error = simulated.Start(*line.simulate); !error.empty()) {
      std::cerr << "stravon: " << error << "\n";
      return 1;
    }
    options.roots = simulated.Roots();
  }

  std::optional<RecoveryStore> recovery;
  if (const std::optional<std::string> folder =
          RecoveryFolder(std::getenv("XDG_STATE_HOME"), std::getenv("HOME"))) {
    recovery.emplace(*folder);
  }

  QtSettingsStore settings;
  auto window = std::make_unique<MainWindow>(options, settings, ProgramDialogs(settings));
  auto ending =
      std::make_unique<ProgramEnding>(*window, recovery ? &*recovery : nullptr, signal_watch,
                                      [](int status) { QApplication::exit(status); });
  if (line.simulate) ShowUnitIsSimulated(*window, QString::fromStdString(simulated.Where()));
  window->show();
  if (line.file) {
    QString error;
    const QString path = QString::fromStdString(*line.file);
    if (!window->OpenDocumentFile(path, &error)) {
      // The reason names the file.
      std::cerr << "stravon: " << error.toStdString() << "\n";
      return 1;
    }
  } else {
    window->NewDocument();
  }
  if (line.screenshot) {
    SaveScreenshotWhenConnected(*window, QString::fromStdString(*line.screenshot),
                                kScreenshotGiveUp);
  } else if (recovery) {
    // From inside the event loop, so that an ending signal is heard while
    // the question is up.
    QTimer::singleShot(0, window.get(),
                       [&window, &recovery] { OfferKeptProtocols(*window, *recovery); });
  }
  const int status = QApplication::exec();
  // Every window that closed asked about its edits: what this run restored
  // is saved or discarded.
  if (!ending->Ended() && status == 0 && recovery) recovery->RemoveClaimed();
  ending.reset();
  // The windows, and their workers, end before the application object.
  window.reset();
  return status;
}

}  // namespace stravon::app
