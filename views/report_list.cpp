// SPDX-License-Identifier: GPL-3.0-or-later
#include "views/report_list.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

namespace stravon::views {

std::vector<ColumnDefinition> ParseColumnDefinition(const QString& definition) {
  std::vector<ColumnDefinition> columns;
  for (const QString& segment : definition.split(u';', Qt::SkipEmptyParts)) {
    const QStringList parts = segment.split(u',', Qt::SkipEmptyParts);
    if (parts.isEmpty()) continue;
    ColumnDefinition column;
    column.title = parts[0];
    if (parts.size() > 1) {
      // Leading blanks skipped, digits up to the first other character.
      const QString width = parts[1].trimmed();
      int digits = 0;
      while (digits < width.size() && width[digits].isDigit()) ++digits;
      column.width = width.left(digits).toInt();
    }
    if (parts.size() > 2) {
      const QString code = parts[2].trimmed();
      if (code == u"1") {
        column.alignment = Qt::AlignHCenter;
      } else if (code == u"2") {
        column.alignment = Qt::AlignRight;
      }
    }
    columns.push_back(column);
  }
  return columns;
}

ReportListModel::Cell ReportListModel::DefaultCell() { return {}; }

bool ReportListModel::Valid(int row, int column) const {
  return row >= 0 && row < rowCount() && column >= 0 && column < columnCount();
}

bool ReportListModel::DefineColumns(const QString& definition) {
  beginResetModel();
  rows_.clear();
  columns_ = ParseColumnDefinition(definition);
  endResetModel();
  return !columns_.empty();
}

int ReportListModel::InsertRow(int index, const QString& text) {
  if (columns_.empty()) return -1;
  const int row = std::clamp(index, 0, rowCount());
  beginInsertRows({}, row, row);
  Row cells(columns_.size(), DefaultCell());
  cells[0].text = text;
  rows_.insert(rows_.begin() + row, std::move(cells));
  endInsertRows();
  return row;
}

void ReportListModel::SetCellText(int row, int column, const QString& text) {
  if (!Valid(row, column)) return;
  Cell& cell = rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
  if (cell.text == text) return;
  cell.text = text;
  const QModelIndex changed = index(row, column);
  emit dataChanged(changed, changed, {Qt::DisplayRole});
}

void ReportListModel::SetCellColors(int row, int column, const QColor& text,
                                    const QColor& background) {
  if (!Valid(row, column)) return;
  Cell& cell = rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
  cell.text_color = text;
  cell.back_color = background;
  const QModelIndex changed = index(row, column);
  emit dataChanged(changed, changed, {Qt::ForegroundRole, Qt::BackgroundRole});
}

void ReportListModel::DeleteRow(int row) {
  if (row < 0 || row >= rowCount()) return;
  beginRemoveRows({}, row, row);
  rows_.erase(rows_.begin() + row);
  endRemoveRows();
}

void ReportListModel::DeleteAllRows() {
  // One reset instead of a removal per row, so the view repaints once.
  beginResetModel();
  rows_.clear();
  endResetModel();
}

int ReportListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ReportListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant ReportListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || !Valid(index.row(), index.column())) return {};
  const Cell& cell =
      rows_[static_cast<std::size_t>(index.row())][static_cast<std::size_t>(index.column())];
  switch (role) {
    case Qt::DisplayRole:
      return cell.text;
    case Qt::ForegroundRole:
      return cell.text_color.isValid() ? QVariant(cell.text_color) : QVariant();
    case Qt::BackgroundRole:
      return cell.back_color.isValid() ? QVariant(cell.back_color) : QVariant();
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(columns_[static_cast<std::size_t>(index.column())].alignment |
                                 Qt::AlignVCenter);
    default:
      return {};
  }
}

QVariant ReportListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
  const ColumnDefinition& column = columns_[static_cast<std::size_t>(section)];
  if (role == Qt::DisplayRole) return column.title;
  if (role == Qt::TextAlignmentRole) {
    return QVariant::fromValue(column.alignment | Qt::AlignVCenter);
  }
  return {};
}

Qt::ItemFlags ReportListModel::flags(const QModelIndex& index) const {
  // Selectable, never editable, never checkable.
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

ReportList::ReportList(QWidget* parent) : QTableView(parent) {
  setModel(&model_);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSortingEnabled(false);
  setShowGrid(true);
  setWordWrap(false);
  setTabKeyNavigation(false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  QHeaderView* header = horizontalHeader();
  header->setSectionsClickable(false);
  header->setSortIndicatorShown(false);
  header->setHighlightSections(false);
  header->setStretchLastSection(false);
  header->setMinimumSectionSize(0);  // the widths asked for, however narrow
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  // Double-clicks land on these widgets, not on the view itself.
  viewport()->installEventFilter(this);
  header->installEventFilter(this);
  header->viewport()->installEventFilter(this);
}

bool ReportList::DefineColumns(const QString& definition) {
  const bool made = model_.DefineColumns(definition);
  const std::vector<ColumnDefinition>& columns = model_.Columns();
  for (int i = 0; i < static_cast<int>(columns.size()); ++i) {
    setColumnWidth(i, columns[static_cast<std::size_t>(i)].width);
  }
  return made;
}

bool ReportList::RowHasStates(int row, int mask) const {
  if (mask == 0 || row < 0 || row >= RowCount()) return false;
  if (mask & kRowAny) return true;
  const bool selected = selectionModel()->isRowSelected(row, {});
  const bool focused = currentIndex().isValid() && currentIndex().row() == row;
  if ((mask & kRowSelected) && !selected) return false;
  if ((mask & kRowUnselected) && selected) return false;
  if ((mask & kRowFocused) && !focused) return false;
  if ((mask & kRowUnfocused) && focused) return false;
  return true;
}

std::vector<int> ReportList::SelectedRows() const {
  std::vector<int> rows;
  for (int row = 0; row < RowCount(); ++row) {
    if (selectionModel()->isRowSelected(row, {})) rows.push_back(row);
  }
  return rows;
}

bool ReportList::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonDblClick &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    emit ReportAction(Action::kDoubleClick);
    return true;
  }
  return QTableView::eventFilter(watched, event);
}

void ReportList::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Space:
      event->accept();
      return;
    case Qt::Key_Delete:
      event->accept();
      emit ReportAction(Action::kDelete);
      return;
    default:
      QTableView::keyPressEvent(event);
  }
}

}  // namespace stravon::views
