// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include "app/application.h"
#include "app/simulated_unit_host.h"
#include "sim/simulated_unit.h"
#include "sim/unit_model.h"
#include "tests/support/child_process.h"

namespace stravon::app {
namespace {

std::vector<std::string> Words(const QStringList& arguments) {
  std::vector<std::string> words;
  for (const QString& argument : arguments) words.push_back(argument.toStdString());
  return words;
}

}  // namespace

// The desktop program's simulate and screenshot options, and the program
// itself started with them.
class SimulateTest : public QObject {
  Q_OBJECT

 private slots:
  void CommandLine_data();
  void CommandLine();
  void HostServesAUnitInItsOwnTree();
  void ProgramSavesAScreenshotOfItsConnectedWindow();
};

void SimulateTest::CommandLine_data() {
  QTest::addColumn<QStringList>("arguments");
  QTest::addColumn<bool>("simulate");
  QTest::addColumn<bool>("unprogrammed");
  QTest::addColumn<QString>("identity");
  QTest::addColumn<QString>("screenshot");
  QTest::addColumn<QString>("file");
  // 0 none, 1 an error Qt's options may explain, 2 one in our own options.
  QTest::addColumn<int>("error");
  QTest::newRow("plain") << QStringList{"--simulate"} << true << false << "unit"
                         << ""
                         << "" << 0;
  QTest::newRow("options") << QStringList{"--simulate=unprogrammed,as=bridge,baud=9600,memory=/m"}
                           << true << true << "bridge"
                           << ""
                           << "" << 0;
  QTest::newRow("screenshot, file")
      << QStringList{"--screenshot", "a.png", "p.tmt"} << false << false << "unit"
      << "a.png"
      << "p.tmt" << 0;
  QTest::newRow("screenshot=") << QStringList{"--simulate", "--screenshot=b.png"} << true << false
                               << "unit"
                               << "b.png"
                               << "" << 0;
  QTest::newRow("after --") << QStringList{"--", "--simulate"} << false << false << "unit"
                            << ""
                            << "--simulate" << 0;
  QTest::newRow("unknown simulate option")
      << QStringList{"--simulate=fast"} << false << false << "unit"
      << ""
      << "" << 2;
  QTest::newRow("unknown kind") << QStringList{"--simulate=as=toaster"} << false << false << "unit"
                                << ""
                                << "" << 2;
  QTest::newRow("baud not a number")
      << QStringList{"--simulate=baud=9k"} << false << false << "unit"
      << ""
      << "" << 2;
  QTest::newRow("empty as") << QStringList{"--simulate=as="} << false << false << "unit"
                            << ""
                            << "" << 2;
  QTest::newRow("screenshot without file")
      << QStringList{"--screenshot"} << false << false << "unit"
      << ""
      << "" << 2;
  QTest::newRow("screenshot= empty") << QStringList{"--screenshot="} << false << false << "unit"
                                     << ""
                                     << "" << 2;
  // Qt's "-platform offscreen" is still in the line before Qt starts: the
  // mistake in our option must win over what Qt would explain.
  QTest::newRow("own mistake after a Qt option")
      << QStringList{"-platform", "offscreen", "--simulate=x"} << false << false << "unit"
      << ""
      << "offscreen" << 2;
  QTest::newRow("Qt option alone")
      << QStringList{"-platform", "offscreen"} << false << false << "unit"
      << ""
      << "offscreen" << 1;
}

void SimulateTest::CommandLine() {
  QFETCH(QStringList, arguments);
  QFETCH(bool, simulate);
  QFETCH(bool, unprogrammed);
  QFETCH(QString, identity);
  QFETCH(QString, screenshot);
  QFETCH(QString, file);
  QFETCH(int, error);
  const app::CommandLine line = ParseCommandLine(Words(arguments));
  QCOMPARE(line.simulate.has_value(), simulate);
  if (line.simulate) {
    QCOMPARE(line.simulate->unprogrammed, unprogrammed);
    QCOMPARE(QString::fromStdString(line.simulate->identity), identity);
  }
  QCOMPARE(QString::fromStdString(line.screenshot.value_or("")), screenshot);
  QCOMPARE(QString::fromStdString(line.file.value_or("")), file);
  QCOMPARE(line.error.empty() ? 0 : line.error_in_own_option ? 2 : 1, error);
}

void SimulateTest::HostServesAUnitInItsOwnTree() {
  std::string tree_root;
  {
    SimulatedUnitHost host;
    SimulateOptions options;
    options.unprogrammed = true;
    QCOMPARE(QString::fromStdString(host.Start(options)), QString());
    const PortRoots roots = host.Roots();
    tree_root = roots.sysfs;
    QVERIFY(roots.sysfs != "/sys" && roots.dev != "/dev");
    // Detection finds it in the tree, and nowhere else is touched.
    std::vector<PortRecord> ports;
    RefreshPortList(&ports, OpenTest::kNone, roots);
    QCOMPARE(ports.size(), std::size_t{1});
    QVERIFY(host.Where().starts_with(ports[0].port_name + " on /dev/pts/"));
    QVERIFY(host.Unit().IsConnected());
    // Unprogrammed: the settings block was never written.
    const std::vector<std::uint8_t> settings =
        host.Unit().ReadMemory(sim::kSettingsAddress, sim::kSettingsSize);
    QVERIFY(std::all_of(settings.begin(), settings.end(), [](std::uint8_t b) { return b == 0; }));
  }
  QVERIFY(!QFileInfo::exists(QString::fromStdString(tree_root)));

  SimulatedUnitHost bad_memory;
  SimulateOptions options;
  QTemporaryDir dir;
  const QString memory = dir.filePath("short.bin");
  QFile file(memory);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write("too short");
  file.close();
  options.memory_file = memory.toStdString();
  QVERIFY(QString::fromStdString(bad_memory.Start(options)).contains("is not a memory image"));
}

void SimulateTest::ProgramSavesAScreenshotOfItsConnectedWindow() {
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  const QString png = dir.filePath("main window.png");
  // On a screen with room for the window's usual size.
  test_support::ChildProcess program(
      STRAVON_PATH, {"--simulate", "--screenshot", png.toStdString()},
      {"QT_QPA_PLATFORM=offscreen:configfile=" STRAVON_SCREEN_CONFIG,
       "XDG_CONFIG_HOME=" + dir.filePath("config").toStdString()});
  const test_support::ProcessOutcome outcome = program.Wait();
  QCOMPARE(outcome.exit_status, 0);
  QImage image(png);
  QVERIFY(!image.isNull());
  QCOMPARE(image.size() / image.devicePixelRatio(), QSize(850, 540));
  // The worker wrote the unit's identification before the picture was taken.
  QVERIFY2(outcome.out.find("SIMULATED CONTROL UNIT") != std::string::npos, outcome.out.c_str());

  const test_support::ProcessOutcome unwritable =
      test_support::ChildProcess(
          STRAVON_PATH,
          {"--simulate", "--screenshot", dir.filePath("no/such/folder.png").toStdString()},
          {"QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + dir.filePath("config").toStdString()})
          .Wait();
  QCOMPARE(unwritable.exit_status, 1);
  QVERIFY(unwritable.err.find("cannot write the screenshot") != std::string::npos);

  // A file to open that is not there: said why, and no window stays.
  const std::string missing = dir.filePath("missing.tmt").toStdString();
  const test_support::ProcessOutcome not_opened =
      test_support::ChildProcess(
          STRAVON_PATH, {"--simulate", missing},
          {"QT_QPA_PLATFORM=offscreen", "XDG_CONFIG_HOME=" + dir.filePath("config").toStdString()})
          .Wait();
  QCOMPARE(not_opened.exit_status, 1);
  QVERIFY2(not_opened.err.find("stravon: Cannot open " + missing) != std::string::npos,
           not_opened.err.c_str());
}

}  // namespace stravon::app

QTEST_MAIN(stravon::app::SimulateTest)
#include "simulate_test.moc"
