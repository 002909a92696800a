// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include <QAbstractTableModel>
#include <QColor>
#include <QString>
#include <QTableView>

namespace stravon::views {

// Row state flags for ReportList::RowHasStates; a mask may combine them.
enum RowState : int {
  kRowAny = 0x01,
  kRowSelected = 0x02,
  kRowUnselected = 0x04,
  kRowFocused = 0x20,
  kRowUnfocused = 0x40,
};

struct ColumnDefinition {
  QString title;
  int width = 100;
  Qt::Alignment alignment = Qt::AlignLeft;
};

// "Title, width, alignment;..." -> columns. Empty segments and parts are
// dropped, nothing is trimmed; a missing width is 100, an alignment of 1 is
// centred, 2 right-aligned, anything else left-aligned.
std::vector<ColumnDefinition> ParseColumnDefinition(const QString& definition);

// The rows of a report list: per-cell texts, and per-cell text and background
// colours held with the row (by default none: the view's palette decides).
class ReportListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  using QAbstractTableModel::QAbstractTableModel;

  // Replaces every column and row; true when at least one column was made.
  bool DefineColumns(const QString& definition);
  const std::vector<ColumnDefinition>& Columns() const { return columns_; }

  // Returns the new row's index (clamped to the end), or -1 without columns.
  int InsertRow(int index, const QString& text);
  void SetCellText(int row, int column, const QString& text);
  void SetCellColors(int row, int column, const QColor& text, const QColor& background);
  void DeleteRow(int row);
  void DeleteAllRows();

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  struct Cell {
    QString text;
    QColor text_color;
    QColor back_color;
  };
  using Row = std::vector<Cell>;

  static Cell DefaultCell();
  bool Valid(int row, int column) const;

  std::vector<ColumnDefinition> columns_;
  std::vector<Row> rows_;
};

// A read-only multi-column list with whole-row, multiple selection and grid
// lines. The Delete key and a left double-click anywhere on it (a row, the
// empty space below the rows, the header) are reported as one action to the
// owner, whatever is selected; the space bar does nothing.
class ReportList : public QTableView {
  Q_OBJECT

 public:
  enum class Action { kDelete, kDoubleClick };

  explicit ReportList(QWidget* parent = nullptr);

  ReportListModel& Model() { return model_; }
  const ReportListModel& Model() const { return model_; }

  bool DefineColumns(const QString& definition);
  int InsertRow(int index, const QString& text) { return model_.InsertRow(index, text); }
  void SetCellText(int row, int column, const QString& text) {
    model_.SetCellText(row, column, text);
  }
  void DeleteRow(int row) { model_.DeleteRow(row); }
  void DeleteAllRows() { model_.DeleteAllRows(); }
  int RowCount() const { return model_.rowCount(); }

  bool RowHasStates(int row, int mask) const;
  // The selected rows, lowest first.
  std::vector<int> SelectedRows() const;

 signals:
  void ReportAction(stravon::views::ReportList::Action action);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  ReportListModel model_;
};

}  // namespace stravon::views
