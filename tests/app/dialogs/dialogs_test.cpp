// SPDX-License-Identifier: GPL-3.0-or-later
#include <functional>
#include <string>
#include <vector>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include "app/dialogs/about_dialog.h"
#include "app/dialogs/hardware_settings_dialog.h"
#include "app/dialogs/move_to_size_dialog.h"
#include "app/dialogs/offset_help_dialog.h"
#include "app/dialogs/set_editor_dialog.h"
#include "device/hardware_settings.h"
#include "protocol/test_set.h"
#include "ui/settings_store.h"

namespace stravon::app {
namespace {

void Screenshot(QWidget& widget, const char* name) {
  widget.grab().save((qEnvironmentVariable("STRAVON_SCREENSHOT_DIR") + QStringLiteral("/%1.png"))
                         .arg(QLatin1String(name)));
}

// Answers every message box that comes up with OK and keeps its text; the
// first one is also saved as a screenshot when a name is given.
class MessageBoxes {
 public:
  explicit MessageBoxes(const char* screenshot = nullptr,
                        QMessageBox::StandardButton answer = QMessageBox::Ok)
      : screenshot_(screenshot), answer_(answer) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { Answer(); });
    timer_.start(10);
  }
  QStringList texts;

 private:
  void Answer() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(widget);
      if (box == nullptr || !box->isVisible()) continue;
      texts << box->text();
      if (screenshot_ != nullptr && texts.size() == 1) Screenshot(*box, screenshot_);
      // A custom button (a question's own "Program") answers for the standard
      // one the box does not have.
      QAbstractButton* button = box->button(answer_);
      if (button == nullptr) {
        for (QAbstractButton* any : box->buttons()) {
          if (box->buttonRole(any) == QMessageBox::AcceptRole) button = any;
        }
      }
      if (button != nullptr) button->click();
    }
  }
  const char* screenshot_;
  QMessageBox::StandardButton answer_;
  QTimer timer_;
};

// The factory settings of a unit: pitch 0.003175 mm, soft limit 7.2 mm,
// series "P1", model 1, stroke -5000 steps, offset position 630 steps.
HardwareSettings FactorySettings() {
  HardwareSettings settings;
  settings.MotorPitch = 0.003175f;
  settings.MinimumSpecimenSize = 0.0f;
  settings.TravelSoftLimit = 7.2f;
  settings.SeriesName = {'P', '1', '\0', '\0'};
  settings.ModelNumber = 1;
  settings.Stroke = -5000;
  settings.OffsetPosition = 630;
  return settings;
}

const SetEditorLimits kLimits{7.2, 0.003175};

template <typename T>
T* Child(QWidget& parent, const char* name) {
  T* child = parent.findChild<T*>(QLatin1String(name));
  if (child == nullptr) qFatal("no child %s", name);
  return child;
}

void Type(QWidget& dialog, const char* field, const QString& text) {
  Child<QLineEdit>(dialog, field)->setText(text);
}

void Press(QDialog& dialog, QDialogButtonBox::StandardButton which) {
  dialog.findChild<QDialogButtonBox*>()->button(which)->click();
}

}  // namespace

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void SetEditorPromptsForAFieldWithoutAValidEntryAndFocusesIt_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("prompt");
    QTest::newRow("magnitude") << "magnitude"
                               << "2,5"
                               << "Enter a number.";
    QTest::newRow("hold") << "hold"
                          << ""
                          << "Enter a number.";
    QTest::newRow("repetitions") << "repetitions"
                                 << "2.5"
                                 << "Enter a positive integer.";
  }

  void SetEditorPromptsForAFieldWithoutAValidEntryAndFocusesIt() {
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, prompt);
    TestSet set;
    set.XMagnitude = 2.0;
    SetEditorDialog dialog(set, kLimits);
    dialog.show();
    Type(dialog, field.toLatin1().constData(), text);
    MessageBoxes boxes;
    Press(dialog, QDialogButtonBox::Ok);
    QCOMPARE(boxes.texts, QStringList{prompt});
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.focusWidget(), Child<QLineEdit>(dialog, field.toLatin1().constData()));
    QCOMPARE(dialog.EditedSet(), set);
  }

  void SetEditorShowsEveryRefusedCheckInOneBox() {
    TestSet set;
    set.XMagnitude = 2.0;
    SetEditorDialog dialog(set, kLimits);
    dialog.show();
    Type(dialog, "rest", "-1");
    Type(dialog, "hold", "-1");
    Type(dialog, "repetitions", "0");
    MessageBoxes boxes("set_editor_refused");
    Press(dialog, QDialogButtonBox::Ok);
    QCOMPARE(boxes.texts, QStringList{QStringLiteral("Error:  Minimum Rest duration = 0.0 S\n"
                                                     "Error:  Minimum Hold duration = 0.0 S\n"
                                                     "Error:  Minimum Repetitions = 1\n")});
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.EditedSet(), set);
  }

  void SetEditorOkHandsBackTheEditedSetAndCancelNothing() {
    TestSet set;
    set.XMagnitude = 2.0;
    set.StretchDurationSec = 0.0;
    {
      SetEditorDialog dialog(set, kLimits);
      dialog.show();
      Screenshot(dialog, "set_editor");
      // A stretch of 0 opens ticked, its field disabled; clearing the tick
      // enables the field for a new length.
      auto* do_not_stretch = Child<QCheckBox>(dialog, "doNotStretch");
      QVERIFY(do_not_stretch->isChecked());
      QVERIFY(!Child<QLineEdit>(dialog, "stretch")->isEnabled());
      do_not_stretch->click();
      QVERIFY(Child<QLineEdit>(dialog, "stretch")->isEnabled());
      Type(dialog, "stretch", "4");
      Child<QComboBox>(dialog, "function")->setCurrentIndex(1);
      Child<QComboBox>(dialog, "timeUnit")->setCurrentIndex(1);
      // Ticking "Do Not Recover" zeroes the recovery and disables its field.
      Child<QCheckBox>(dialog, "doNotRecover")->click();
      QCOMPARE(Child<QLineEdit>(dialog, "recovery")->text(), QStringLiteral("0"));
      QVERIFY(!Child<QLineEdit>(dialog, "recovery")->isEnabled());
      Type(dialog, "repetitions", "3");
      MessageBoxes boxes;
      Press(dialog, QDialogButtonBox::Ok);
      QCOMPARE(boxes.texts, QStringList{});
      QCOMPARE(dialog.result(), int(QDialog::Accepted));
      TestSet expected = set;
      expected.XFunction = ControlFunction::Sinusoid;
      expected.XUnits = MeasureUnit::Millimetre;
      expected.StretchDurationSec = 4.0;
      expected.RecoveryDurationSec = 0.0;
      expected.NumReps = 3;
      expected.TimeUnits = TimeUnit::Minutes;
      QCOMPARE(dialog.EditedSet(), expected);
    }
    SetEditorDialog dialog(set, kLimits);
    dialog.show();
    Type(dialog, "magnitude", "5");
    Press(dialog, QDialogButtonBox::Cancel);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(dialog.EditedSet(), set);
  }

  void HardwareDialogFollowsFactoryAccess_data() {
    QTest::addColumn<bool>("stored");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("access");
    QTest::newRow("absent") << false << 0 << false;
    QTest::newRow("set") << true << 1 << true;
  }

  void HardwareDialogFollowsFactoryAccess() {
    QFETCH(bool, stored);
    QFETCH(int, value);
    QFETCH(bool, access);
    MemorySettingsStore settings;
    if (stored) settings.WriteInteger(kSettingsSection, kFactoryAccessValue, value);
    HardwareSettingsDialog dialog(FactorySettings(), settings, {}, {});
    dialog.show();
    Screenshot(dialog, access ? "hardware_settings_factory" : "hardware_settings");
    QVERIFY(settings.Contains(kSettingsSection, kFactoryAccessValue));
    QCOMPARE(settings.ReadInteger(kSettingsSection, kFactoryAccessValue, -1), value);
    QCOMPARE(Child<QLineEdit>(dialog, "pitch")->isVisible(), access);
    QCOMPARE(Child<QLineEdit>(dialog, "pitch")->isEnabled(), access);
    for (const char* field : {"seriesName", "modelNumber", "stroke"}) {
      QCOMPARE(Child<QLineEdit>(dialog, field)->isReadOnly(), !access);
      // Where nothing can be typed, Tab passes the field by.
      QCOMPARE(bool(Child<QLineEdit>(dialog, field)->focusPolicy() & Qt::TabFocus), access);
    }
    for (const char* field : {"offset", "softLimit"}) {
      QVERIFY(!Child<QLineEdit>(dialog, field)->isReadOnly());
    }
    QCOMPARE(Child<QLineEdit>(dialog, "seriesName")->text(), QStringLiteral("P1"));
    QCOMPARE(Child<QLineEdit>(dialog, "softLimit")->text(), QStringLiteral("7.2"));
    QCOMPARE(Child<QLineEdit>(dialog, "stroke")->text(), QStringLiteral("15.875"));
  }

  void HardwareRestoreDefaultsDiscardsTypedText() {
    MemorySettingsStore settings;
    int posts = 0;
    HardwareSettingsDialog dialog(FactorySettings(), settings,
                                  [&posts](const HardwareSettings&) { ++posts; }, {});
    dialog.show();
    Type(dialog, "offset", "3.5");
    Type(dialog, "softLimit", "6");
    Child<QPushButton>(dialog, "restoreDefaults")->click();
    QCOMPARE(Child<QLineEdit>(dialog, "offset")->text(), QStringLiteral("0"));
    QCOMPARE(Child<QLineEdit>(dialog, "softLimit")->text(), QStringLiteral("7.2"));
    QCOMPARE(posts, 0);
    QVERIFY(dialog.isVisible());
  }

  void HardwareProgramPostsOnceAndWaitsForTheRequest() {
    MemorySettingsStore settings;
    std::vector<HardwareSettings> posted;
    bool pending = false;
    HardwareSettingsDialog dialog(
        FactorySettings(), settings,
        [&](const HardwareSettings& values) {
          posted.push_back(values);
          pending = true;
        },
        [&pending] { return pending; });
    dialog.show();
    auto* program = Child<QPushButton>(dialog, "program");

    // Above the unit's largest travel: the message, nothing posted.
    Type(dialog, "softLimit", "43.01");
    {
      MessageBoxes boxes;
      program->click();
      QCOMPARE(boxes.texts,
               QStringList{QStringLiteral("Error:  Maximum Travel Upper Limit Exceeded.\n"
                                          "\tMaximum Travel = 43.000000\n")});
    }
    QVERIFY(posted.empty());

    Type(dialog, "softLimit", "12");
    Type(dialog, "offset", "1");
    program->click();
    QCOMPARE(posted.size(), size_t{1});
    QCOMPARE(posted[0].TravelSoftLimit, 12.0f);
    QCOMPARE(posted[0].OffsetPosition, 629);
    QVERIFY(dialog.isVisible());
    QVERIFY(!program->isEnabled());
    program->click();
    QCOMPARE(posted.size(), size_t{1});

    // The owner says when the request has ended.
    pending = false;
    dialog.UpdateProgramButton();
    QVERIFY(program->isEnabled());
  }

  // Enter, Done and Escape never drop a typed value without asking; an
  // unchanged dialog closes at once.
  void HardwareClosingWithChangedFieldsAsks_data() {
    QTest::addColumn<int>("answer");  // a QMessageBox::StandardButton, or 0 for Program
    QTest::addColumn<int>("key");     // 0: the Done button
    QTest::addColumn<bool>("closes");
    QTest::addColumn<int>("posts");
    QTest::newRow("enter, program") << 0 << int(Qt::Key_Return) << true << 1;
    QTest::newRow("enter, discard") << int(QMessageBox::Discard) << int(Qt::Key_Return) << true
                                    << 0;
    QTest::newRow("enter, cancel") << int(QMessageBox::Cancel) << int(Qt::Key_Return) << false
                                   << 0;
    QTest::newRow("escape, program") << 0 << int(Qt::Key_Escape) << true << 1;
    QTest::newRow("done, cancel") << int(QMessageBox::Cancel) << 0 << false << 0;
  }
  void HardwareClosingWithChangedFieldsAsks() {
    QFETCH(int, answer);
    QFETCH(int, key);
    QFETCH(bool, closes);
    QFETCH(int, posts);
    MemorySettingsStore settings;
    std::vector<HardwareSettings> posted;
    HardwareSettingsDialog dialog(
        FactorySettings(), settings,
        [&posted](const HardwareSettings& values) { posted.push_back(values); }, {});
    dialog.show();
    // Unchanged: no question.
    QTest::keyClick(Child<QLineEdit>(dialog, "offset"), Qt::Key_Return);
    QVERIFY(!dialog.isVisible());
    dialog.show();

    Type(dialog, "offset", "1");
    {
      MessageBoxes boxes("hardware_unsaved",
                         answer == 0 ? QMessageBox::NoButton
                                     : static_cast<QMessageBox::StandardButton>(answer));
      if (key == 0) {
        Child<QPushButton>(dialog, "done")->click();
      } else {
        QTest::keyClick(Child<QLineEdit>(dialog, "offset"), Qt::Key(key));
      }
      QCOMPARE(boxes.texts.size(), 1);
      QVERIFY(boxes.texts[0].contains("changed but not programmed"));
    }
    QCOMPARE(dialog.isVisible(), !closes);
    QCOMPARE(int(posted.size()), posts);
    if (posts == 1) QCOMPARE(posted[0].OffsetPosition, 629);
  }

  void MoveToSizeRefusesASizeOutsideTheRange() {
    MoveToSizeDialog dialog(1.000125, FactorySettings());
    dialog.show();
    Screenshot(dialog, "move_to_size");
    QCOMPARE(Child<QLineEdit>(dialog, "newSize")->text(), QStringLiteral("1"));
    QCOMPARE(Child<QLineEdit>(dialog, "minimumSize")->text(), QStringLiteral("0"));
    QCOMPARE(Child<QLineEdit>(dialog, "maximumSize")->text(), QStringLiteral("7.2"));
    for (const char* field : {"minimumSize", "maximumSize"}) {
      QVERIFY(Child<QLineEdit>(dialog, field)->isReadOnly());
      QVERIFY(!(Child<QLineEdit>(dialog, field)->focusPolicy() & Qt::TabFocus));
    }

    Type(dialog, "newSize", "7.21");
    {
      MessageBoxes boxes("move_to_size_refused");
      Press(dialog, QDialogButtonBox::Ok);
      QCOMPARE(boxes.texts,
               QStringList{QStringLiteral("Error:  New Size Outside of Valid Range\n")});
    }
    QVERIFY(dialog.isVisible());

    Type(dialog, "newSize", "5");
    Press(dialog, QDialogButtonBox::Ok);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.Target(), 1259);
  }

  void OffsetHelpShowsItsTextUnwrappedAndReadOnly() {
    OffsetHelpDialog dialog;
    dialog.show();
    Screenshot(dialog, "offset_help");
    auto* text = Child<QPlainTextEdit>(dialog, "helpText");
    QVERIFY(text->isReadOnly());
    QCOMPARE(text->lineWrapMode(), QPlainTextEdit::NoWrap);
    const QStringList lines = text->toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 12);  // nine lines, two empty ones, and the end
    QCOMPARE(lines[0], QStringLiteral("Offset is a distance that controls the amount of actuator "
                                      "retraction after"));
    QVERIFY(lines[6].isEmpty() && lines[7].isEmpty());
    QCOMPARE(lines[8], QStringLiteral("The Offset distance can be changed by selecting Advanced -> "
                                      "Settings "));
  }

  void AboutShowsPictureVersionAndNotice() {
    AboutDialog dialog;
    dialog.show();
    Screenshot(dialog, "about");
    // Its full size where the screen has room, smaller and in proportion
    // where it has not.
    const QSize picture = Child<QLabel>(dialog, "picture")->size();
    QVERIFY(picture.width() <= 680 && picture.height() <= 529);
    QVERIFY(qAbs(picture.width() * 529 - picture.height() * 680) <= 680);
    QVERIFY(dialog.screen()->availableGeometry().contains(dialog.frameGeometry()));
    QCOMPARE(Child<QLabel>(dialog, "version")->text(), QStringLiteral("Software Version 1.53"));
    QVERIFY(!Child<QLabel>(dialog, "notice")->text().isEmpty());
  }
};

}  // namespace stravon::app

QTEST_MAIN(stravon::app::DialogsTest)
#include "dialogs_test.moc"
