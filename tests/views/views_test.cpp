// SPDX-License-Identifier: GPL-3.0-or-later
#include <string>
#include <vector>

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextCursor>

#include "ui/stage_model.h"
#include "tests/support/recording_front_end.h"
#include "views/output_pane.h"
#include "views/report_list.h"
#include "views/stage_view.h"

namespace stravon::views {
namespace {

using Action = ReportList::Action;

void DoubleClick(QWidget* widget, QPoint at) {
  QTest::mouseDClick(widget, Qt::LeftButton, {}, at);
}

std::vector<Action> Actions(const QSignalSpy& spy) {
  std::vector<Action> actions;
  for (const QList<QVariant>& call : spy) actions.push_back(call.at(0).value<Action>());
  return actions;
}

}  // namespace

class ViewsTest : public QObject {
  Q_OBJECT

 private slots:
  void ColumnDefinition_data();
  void ColumnDefinition();
  void ListForwardsDeleteAndDoubleClickFromEverywhere();
  void ListRowsStartWithDefaultColours();
  void PaneAppendsAtTheEnd_data();
  void PaneAppendsAtTheEnd();
  void PaneKeepsOperatorSelectionAndShowsNewestLine();
  void StageRowsInsertedEditedDeletedThroughTheWidgets();
  void StageDoubleClickOnHeaderOrEmptySpaceEditsFirstSelected();
  void StageDeleteWithoutSelectionChangesNothing();
};

void ViewsTest::ColumnDefinition_data() {
  QTest::addColumn<QString>("definition");
  QTest::addColumn<QStringList>("titles");
  QTest::addColumn<QList<int>>("widths");
  QTest::addColumn<QList<int>>("alignments");
  const int left = Qt::AlignLeft;
  QTest::newRow("two") << "Magnitude, 125;Stretch Dur, 80" << QStringList{"Magnitude", "Stretch Dur"}
                       << QList<int>{125, 80} << QList<int>{left, left};
  QTest::newRow("empty segments") << ";;A;;B;" << QStringList{"A", "B"} << QList<int>{100, 100}
                                  << QList<int>{left, left};
  QTest::newRow("no title part") << ",50" << QStringList{"50"} << QList<int>{100}
                                 << QList<int>{left};
  QTest::newRow("blanks kept") << "A, 10; B, 20" << QStringList{"A", " B"} << QList<int>{10, 20}
                               << QList<int>{left, left};
  QTest::newRow("alignments") << "C,10,1;R,10,2;L,10,3" << QStringList{"C", "R", "L"}
                              << QList<int>{10, 10, 10}
                              << QList<int>{int(Qt::AlignHCenter), int(Qt::AlignRight), left};
  QTest::newRow("width without digits") << "A, x80" << QStringList{"A"} << QList<int>{0}
                                        << QList<int>{left};
}

void ViewsTest::ColumnDefinition() {
  QFETCH(QString, definition);
  QFETCH(QStringList, titles);
  QFETCH(QList<int>, widths);
  QFETCH(QList<int>, alignments);
  ReportList list;
  QCOMPARE(list.DefineColumns(definition), !titles.isEmpty());
  QCOMPARE(list.Model().columnCount(), titles.size());
  for (int i = 0; i < titles.size(); ++i) {
    QCOMPARE(list.Model().headerData(i, Qt::Horizontal, Qt::DisplayRole).toString(), titles[i]);
    QCOMPARE(list.columnWidth(i), widths[i]);
    QCOMPARE(int(list.Model().Columns()[static_cast<std::size_t>(i)].alignment), alignments[i]);
  }
}

void ViewsTest::ListForwardsDeleteAndDoubleClickFromEverywhere() {
  ReportList list;
  list.resize(400, 200);
  list.DefineColumns("A, 100;B, 100");
  list.InsertRow(0, "first");
  list.show();
  QVERIFY(QTest::qWaitForWindowExposed(&list));
  QSignalSpy spy(&list, &ReportList::ReportAction);

  // Nothing selected: the key still reaches the owner.
  QTest::keyClick(&list, Qt::Key_Delete);
  DoubleClick(list.viewport(), list.visualRect(list.Model().index(0, 0)).center());
  DoubleClick(list.viewport(), QPoint(50, list.viewport()->height() - 5));  // below the rows
  DoubleClick(list.horizontalHeader()->viewport(), QPoint(20, 5));
  QCOMPARE(Actions(spy), (std::vector<Action>{Action::kDelete, Action::kDoubleClick,
                                              Action::kDoubleClick, Action::kDoubleClick}));

  // The space bar neither acts nor changes the selection.
  list.selectRow(0);
  QTest::keyClick(&list, Qt::Key_Space);
  QCOMPARE(spy.size(), 4);
  QCOMPARE(list.SelectedRows(), std::vector<int>{0});
  QVERIFY(list.RowHasStates(0, kRowSelected));
  QVERIFY(!list.RowHasStates(0, kRowUnselected));
  QVERIFY(list.RowHasStates(0, kRowAny));
  QVERIFY(!list.RowHasStates(0, 0));
}

void ViewsTest::ListRowsStartWithDefaultColours() {
  ReportList list;
  list.DefineColumns("A;B");
  list.InsertRow(0, "x");
  list.Model().SetCellColors(0, 1, Qt::red, Qt::yellow);
  QCOMPARE(list.InsertRow(5, "y"), 1);  // beyond the end: appended
  // No colours of their own: the view draws them in whatever palette is in
  // use, also one that changes after the rows were made.
  for (int column = 0; column < 2; ++column) {
    const QModelIndex cell = list.Model().index(1, column);
    QVERIFY(!cell.data(Qt::ForegroundRole).isValid());
    QVERIFY(!cell.data(Qt::BackgroundRole).isValid());
  }
  QCOMPARE(list.Model().index(0, 1).data(Qt::BackgroundRole).value<QColor>(), QColor(Qt::yellow));
  QVERIFY(!(list.Model().flags(list.Model().index(0, 0)) &
            (Qt::ItemIsEditable | Qt::ItemIsUserCheckable)));
}

void ViewsTest::PaneAppendsAtTheEnd_data() {
  QTest::addColumn<QStringList>("messages");
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("lines");
  QTest::newRow("two line feeds") << QStringList{"\nReading Device... Success\n"}
                                  << "\nReading Device... Success\n" << 2;
  QTest::newRow("joins the last line") << QStringList{"a\nb", "c"} << "a\nbc" << 1;
  QTest::newRow("carriage returns dropped") << QStringList{"x\r\ny\r\n"} << "x\ny\n" << 2;
  QTest::newRow("in order") << QStringList{"one\n", "two\n", "three\n"} << "one\ntwo\nthree\n" << 3;
}

void ViewsTest::PaneAppendsAtTheEnd() {
  QFETCH(QStringList, messages);
  QFETCH(QString, text);
  QFETCH(int, lines);
  OutputPane pane;
  pane.AppendOutput("old\n");
  pane.ClearOutput();
  QCOMPARE(pane.LineCount(), 0);
  for (const QString& message : messages) pane.AppendOutput(message.toStdString());
  QCOMPARE(pane.toPlainText(), text);
  QCOMPARE(pane.LineCount(), lines);
}

void ViewsTest::PaneKeepsOperatorSelectionAndShowsNewestLine() {
  OutputPane pane;
  pane.resize(300, 100);
  pane.show();
  QVERIFY(QTest::qWaitForWindowExposed(&pane));
  pane.AppendOutput("first line\n");
  // The operator marks text at the top; appending must not rewrite it away.
  QTextCursor selection(pane.document());
  selection.movePosition(QTextCursor::NextWord, QTextCursor::KeepAnchor);
  pane.setTextCursor(selection);
  for (int i = 0; i < 200; ++i) pane.AppendOutput("line " + std::to_string(i) + "\n");
  QCOMPARE(pane.textCursor().selectedText(), QString("first "));
  // Scrolled once the burst is laid out, before the pane is painted.
  QTRY_COMPARE(pane.verticalScrollBar()->value(), pane.verticalScrollBar()->maximum());
  QVERIFY(pane.verticalScrollBar()->maximum() > 0);
}

namespace {

TestSet Ramp(double magnitude) {
  TestSet set;
  set.XFunction = ControlFunction::Ramp;
  set.XUnits = MeasureUnit::Millimetre;
  set.XMagnitude = magnitude;
  set.StretchDurationSec = 1.0;
  set.RecoveryDurationSec = 1.0;
  set.NumReps = 10;
  return set;
}

// A stage view over a stage model, with the unit's settings read and a set
// editor that records what it was opened on.
struct StageFixture {
  StageFixture() : model(front_end), view(model, Hooks()) {
    view.show();
    model.InitialUpdate(TestSequence{});
  }

  StageView::Hooks Hooks() {
    StageView::Hooks hooks;
    hooks.unit_state = [] { return StageUnitState{true, 0, 7.2f}; };
    hooks.edit_set = [this](TestSet& set, double) {
      edited.push_back(set.XMagnitude);
      set.XMagnitude = new_magnitude;
      set.NumReps = 20;
      return true;
    };
    return hooks;
  }

  QString Cell(int row, int column) {
    return view.List().Model().index(row, column).data().toString();
  }

  test_support::RecordingFrontEnd front_end;
  StageModel model;
  std::vector<double> edited;
  double new_magnitude = 3.0;
  StageView view;
};

}  // namespace

void ViewsTest::StageRowsInsertedEditedDeletedThroughTheWidgets() {
  StageFixture stage;
  QVERIFY(QTest::qWaitForWindowExposed(&stage.view));
  QCOMPARE(stage.view.TotalTimeField().text(), QString("00:00:00"));
  QCOMPARE(stage.view.UsedMemoryField().text(), QString("0"));
  QCOMPARE(stage.view.OffsetField().text(), QString("0"));

  stage.model.RefreshFromDocument(TestSequence{{Ramp(2.0)}, {}});
  QTest::mouseClick(&stage.view.InsertBelowButton(), Qt::LeftButton);
  QCOMPARE(stage.view.List().RowCount(), 2);
  QCOMPARE(stage.view.TotalTimeField().text(), QString("00:00:40"));
  QCOMPARE(stage.view.UsedMemoryField().text(), QString("4.5"));
  QCOMPARE(stage.Cell(1, 5), QString("10"));

  stage.view.List().selectRow(1);
  QTest::mouseClick(&stage.view.EditButton(), Qt::LeftButton);
  QCOMPARE(stage.edited, std::vector<double>{2.0});
  QCOMPARE(stage.Cell(1, 5), QString("20"));
  QCOMPARE(stage.view.TotalTimeField().text(), QString("00:01:00"));

  // Both rows selected, removed by the Delete key; the totals follow.
  stage.view.List().selectAll();
  stage.view.List().setFocus();
  QTest::keyClick(&stage.view.List(), Qt::Key_Delete);
  QCOMPARE(stage.view.List().RowCount(), 0);
  QCOMPARE(stage.model.RowCount(), 0);
  QCOMPARE(stage.view.TotalTimeField().text(), QString("00:00:00"));
  QCOMPARE(stage.view.UsedMemoryField().text(), QString("0.0"));

  const QString path = qEnvironmentVariable("STRAVON_SCREENSHOT_DIR");
  if (!path.isEmpty()) stage.view.grab().save(path + "/stage_view_empty.png");
}

void ViewsTest::StageDoubleClickOnHeaderOrEmptySpaceEditsFirstSelected() {
  StageFixture stage;
  QVERIFY(QTest::qWaitForWindowExposed(&stage.view));
  stage.model.RefreshFromDocument(TestSequence{{Ramp(1.0), Ramp(2.0), Ramp(3.0)}, {}});
  ReportList& list = stage.view.List();
  list.selectionModel()->select(list.Model().index(2, 0),
                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
  list.selectionModel()->select(list.Model().index(1, 0),
                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
  DoubleClick(list.horizontalHeader()->viewport(), QPoint(30, 5));
  DoubleClick(list.viewport(), QPoint(30, list.viewport()->height() - 4));
  QCOMPARE(stage.edited, (std::vector<double>{2.0, 3.0}));  // row 1 each time, edited between
  QVERIFY(stage.Cell(1, 0).contains("3"));

  list.clearSelection();
  DoubleClick(list.viewport(), QPoint(30, list.viewport()->height() - 4));
  QCOMPARE(stage.edited.size(), std::size_t{2});
}

void ViewsTest::StageDeleteWithoutSelectionChangesNothing() {
  StageFixture stage;
  stage.model.RefreshFromDocument(TestSequence{{Ramp(1.0), Ramp(2.0)}, {}});
  stage.view.List().clearSelection();
  QTest::keyClick(&stage.view.List(), Qt::Key_Delete);
  QTest::mouseClick(&stage.view.DeleteButton(), Qt::LeftButton);
  QCOMPARE(stage.view.List().RowCount(), 2);
  QCOMPARE(stage.model.RowCount(), 2);
  QVERIFY(stage.front_end.Boxes().empty());
}

}  // namespace stravon::views

QTEST_MAIN(stravon::views::ViewsTest)
#include "views_test.moc"
