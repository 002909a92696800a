// SPDX-License-Identifier: GPL-3.0-or-later
#include "views/stage_view.h"

#include <algorithm>

#include <QBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QToolButton>

#include "views/dialog_units.h"
#include "views/output_pane.h"
#include "views/report_list.h"

namespace stravon::views {
namespace {

const char* const kColumnSpec =
    "Magnitude, 125;Stretch Dur, 80;Hold Dur, 80;Recover Dur, 80;Rest Dur, 80;Repetitions, 80";

QString Text(const std::string& text) { return QString::fromStdString(text); }

// A read-only field wide enough for `widest`, the longest text it shows in
// practice, in the font in use (not a fixed width, which clips large fonts).
QLineEdit* MakeField(QWidget* parent, const QString& widest) {
  auto* field = new QLineEdit(parent);
  field->setReadOnly(true);
  field->setAlignment(Qt::AlignCenter);
  field->setFocusPolicy(Qt::NoFocus);
  QStyleOptionFrame option;
  option.initFrom(field);
  const QSize text(field->fontMetrics().horizontalAdvance(widest) + 8, field->sizeHint().height());
  field->setFixedWidth(
      field->style()->sizeFromContents(QStyle::CT_LineEdit, &option, text, field).width());
  return field;
}

// A caption above `field` (and whatever follows it on its line).
QVBoxLayout* Captioned(QLabel* caption, QLayout* fields) {
  auto* column = new QVBoxLayout;
  column->setSpacing(DialogUnitsY(2));
  column->addWidget(caption);
  column->addLayout(fields);
  return column;
}

}  // namespace

StageView::StageView(StageModel& model, Hooks hooks, QWidget* parent)
    : QWidget(parent), model_(model), hooks_(std::move(hooks)) {
  // Colours and font are the desktop's: the form follows the palette and
  // style in use, and its layouts give the list and the output pane whatever
  // room the window has.
  auto* buttons = new QHBoxLayout;
  edit_button_ = new QPushButton("Edit Set", this);
  delete_button_ = new QPushButton("Delete ", this);
  insert_above_button_ = new QPushButton("Insert Above", this);
  insert_below_button_ = new QPushButton("Insert Below", this);
  for (QPushButton* button :
       {edit_button_, delete_button_, insert_above_button_, insert_below_button_}) {
    buttons->addWidget(button);
  }

  auto* offset_line = new QHBoxLayout;
  offset_field_ = MakeField(this, "-000.00");
  help_button_ = new QToolButton(this);
  help_button_->setAutoRaise(true);
  help_button_->setIcon(QIcon(":/stravon/help.svg"));
  help_button_->setIconSize({16, 16});
  help_button_->setToolTip("What the offset is");
  offset_line->addWidget(offset_field_);
  offset_line->addWidget(help_button_);

  auto* memory_line = new QHBoxLayout;
  used_memory_field_ = MakeField(this, "100.0");
  memory_line->addWidget(used_memory_field_, 0, Qt::AlignHCenter);

  auto* time_line = new QHBoxLayout;
  total_time_field_ = MakeField(this, "000 d 00:00:00");
  time_line->addWidget(total_time_field_, 0, Qt::AlignRight);
  total_time_label_ = new QLabel("Total Time ", this);
  total_time_label_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  auto* top = new QHBoxLayout;
  top->setSpacing(DialogUnitsX(12));
  top->addLayout(Captioned(new QLabel("Test Sequence", this), buttons));
  top->addStretch(1);
  top->addLayout(Captioned(new QLabel("Offset (mm)", this), offset_line));
  auto* memory_label = new QLabel("Used Memory (%)", this);
  memory_label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
  top->addLayout(Captioned(memory_label, memory_line));
  top->addLayout(Captioned(total_time_label_, time_line));

  list_ = new ReportList(this);
  list_->DefineColumns(kColumnSpec);
  output_ = new OutputPane(this);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(DialogUnitsX(7), DialogUnitsY(8), DialogUnitsX(7), DialogUnitsY(7));
  layout->setSpacing(DialogUnitsY(6));
  layout->addLayout(top);
  // The list holds the protocol, the pane what happened: the list gets the
  // larger share of any extra height.
  layout->addWidget(list_, 3);
  layout->addWidget(output_, 2);

  connect(edit_button_, &QPushButton::clicked, this, &StageView::EditSet);
  connect(delete_button_, &QPushButton::clicked, this, &StageView::DeleteSelected);
  connect(insert_above_button_, &QPushButton::clicked, this, &StageView::InsertAbove);
  connect(insert_below_button_, &QPushButton::clicked, this, &StageView::InsertBelow);
  connect(help_button_, &QToolButton::clicked, this, [this] {
    if (hooks_.offset_help) hooks_.offset_help();
  });
  connect(list_, &ReportList::ReportAction, this, [this](ReportList::Action action) {
    if (action == ReportList::Action::kDelete)
      DeleteSelected();
    else
      EditSet();
  });

  model_.SetListener(this);
  RowsReset();
  FieldsChanged();
}

StageView::~StageView() { model_.SetListener(nullptr); }

void StageView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (shown_) return;
  shown_ = true;
  emit FirstShown();
}

void StageView::EditSet() {
  const std::optional<int> row = model_.EditRow(list_->SelectedRows());
  if (!row || !hooks_.edit_set) return;
  TestSet set = model_.SetForEditing(*row);
  if (hooks_.edit_set(set, model_.EditorOffset())) model_.ReplaceSet(*row, set);
}

void StageView::DeleteSelected() { model_.Delete(list_->SelectedRows()); }

void StageView::SetInsertAvailable(bool available) {
  const QString why = available ? QString()
                                : QStringLiteral(
                                      "Available once the unit is connected and its settings have "
                                      "been read");
  for (QPushButton* button : {insert_above_button_, insert_below_button_}) {
    if (button->isEnabled() == available && button->toolTip() == why) continue;
    button->setEnabled(available);
    button->setToolTip(why);
  }
}

void StageView::InsertAbove() {
  model_.InsertAbove(list_->SelectedRows(),
                     hooks_.unit_state ? hooks_.unit_state() : StageUnitState{});
}

void StageView::InsertBelow() {
  model_.InsertBelow(list_->SelectedRows(),
                     hooks_.unit_state ? hooks_.unit_state() : StageUnitState{});
}

void StageView::FillRow(int row) {
  const RowTexts& texts = model_.Row(row);
  for (int column = 0; column < kStageColumnCount; ++column) {
    list_->SetCellText(row, column, Text(texts[static_cast<std::size_t>(column)]));
  }
}

void StageView::FitColumns() {
  // The columns are as wide as the list defines them, or as their titles
  // and texts need in the font in use where that is more.
  QHeaderView* header = list_->horizontalHeader();
  const int title_margin =
      2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header) + 4;
  const std::vector<ColumnDefinition>& columns = list_->Model().Columns();
  // (The table view hides this measure; its base class offers it.)
  const QAbstractItemView& view = *list_;
  for (int column = 0; column < static_cast<int>(columns.size()); ++column) {
    const ColumnDefinition& definition = columns[static_cast<std::size_t>(column)];
    const int width = std::max(
        {definition.width, header->fontMetrics().horizontalAdvance(definition.title) + title_margin,
         view.sizeHintForColumn(column)});
    if (list_->columnWidth(column) != width) list_->setColumnWidth(column, width);
  }
}

void StageView::RowsReset() {
  list_->DeleteAllRows();
  for (int row = 0; row < model_.RowCount(); ++row) {
    list_->InsertRow(row, QString());
    FillRow(row);
  }
  FitColumns();
  emit ModelChanged();
}

void StageView::RowInserted(int row) {
  list_->InsertRow(row, QString());
  FillRow(row);
  FitColumns();
  emit ModelChanged();
}

void StageView::RowRemoved(int row) {
  list_->DeleteRow(row);
  emit ModelChanged();
}

void StageView::RowChanged(int row) {
  if (row < list_->RowCount()) FillRow(row);
  FitColumns();
  emit ModelChanged();
}

void StageView::FieldsChanged() {
  total_time_label_->setText(Text(model_.TotalTimeLabelText()));
  offset_field_->setText(Text(model_.OffsetText()));
  used_memory_field_->setText(Text(model_.UsedMemoryText()));
  total_time_field_->setText(Text(model_.TotalTimeText()));
  emit ModelChanged();
}

}  // namespace stravon::views
