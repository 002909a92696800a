#include "app/application.h"

#include <cstdio>
#include <iostream>
#include <memory>

#include <QApplication>
#include <QMessageBox>

#include "app/dialog_hooks.h"
#include "app/document_session.h"
#include "app/main_window.h"
#include "app/qt_settings_store.h"
#include "stravon/version.h"

namespace stravon::app {

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  bool options_end = false;
  for (const std::string& argument : arguments) {
    if (!options_end && argument == "--") {
      options_end = true;
    } else if (!options_end && (argument == "--help" || argument == "-h")) {
      line.help = true;
    } else if (!options_end && (argument == "--version" || argument == "-v")) {
      line.version = true;
    } else if (!options_end && argument.size() > 1 && argument.front() == '-') {
      line.error = "unknown option '" + argument + "'";
    } else if (line.file) {
      line.error = "only one file can be opened at start";
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
         "  -h, --help     show this help and exit\n"
         "  -v, --version  show the version and exit\n"
         "\n"
         "Qt's own options (such as -platform offscreen) are accepted as well.\n"
         "The unit is found through STRAVON_SYSFS_ROOT and STRAVON_DEV_ROOT when they\n"
         "are set (see stravon-sim --dir), otherwise through /sys and /dev.\n";
}

std::string VersionText() { return "stravon " + std::string(kVersion) + "\n"; }

int RunApplication(int argc, char** argv) {
  // --help and --version need no display, so they are answered before Qt starts.
  std::vector<std::string> early(argv + 1, argv + argc);
  const CommandLine before_qt = ParseCommandLine(early);
  if (before_qt.help) {
    std::cout << HelpText("stravon");
    return 0;
  }
  if (before_qt.version) {
    std::cout << VersionText();
    return 0;
  }

  QApplication application(argc, argv);
  QApplication::setOrganizationName("Stravon");
  QApplication::setApplicationName("Stravon");
  QApplication::setApplicationVersion(QString::fromUtf8(kVersion.data(), static_cast<qsizetype>(kVersion.size())));

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

  QtSettingsStore settings;
  auto window = std::make_unique<MainWindow>(SessionOptions{}, settings, ProgramDialogs(settings));
  window->show();
  if (line.file) {
    QString error;
    const QString path = QString::fromStdString(*line.file);
    if (!window->OpenDocumentFile(path, &error)) {
      std::cerr << "stravon: cannot open " << *line.file << ": " << error.toStdString() << "\n";
      return 1;
    }
  } else {
    window->NewDocument();
  }
  const int status = QApplication::exec();
  // The windows, and their workers, end before the application object.
  window.reset();
  return status;
}

}  // namespace stravon::app
