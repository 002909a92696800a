// SPDX-License-Identifier: GPL-3.0-or-later
#include "views/stage_view.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QToolButton>

#include "views/dialog_units.h"
#include "views/output_pane.h"
#include "views/report_list.h"

namespace stravon::views {
namespace {

const QColor kFormColor(0xFA, 0xFA, 0xFA);
const QColor kButtonFace(0xE6, 0xE6, 0xE6);

const char* const kColumnSpec =
    "Magnitude, 125;Stretch Dur, 80;Hold Dur, 80;Recover Dur, 80;Rest Dur, 80;Repetitions, 80";

QString Text(const std::string& text) { return QString::fromStdString(text); }

// A label in the form's rectangle, widened (never narrowed) so that its text
// is not cut off: left-aligned labels grow to the right, right-aligned ones
// to the left.
QLabel* MakeLabel(QWidget* parent, const QString& text, QRect rect,
                  Qt::Alignment alignment = Qt::AlignLeft) {
  auto* label = new QLabel(text, parent);
  label->setAlignment(alignment | Qt::AlignVCenter);
  const int needed = label->fontMetrics().horizontalAdvance(text) + 2;
  if (needed > rect.width()) {
    if (alignment & Qt::AlignRight) {
      rect.setLeft(rect.right() - needed + 1);
    } else {
      rect.setWidth(needed);
    }
  }
  label->setGeometry(rect);
  return label;
}

QLineEdit* MakeField(QWidget* parent, QRect rect) {
  auto* field = new QLineEdit(parent);
  field->setReadOnly(true);
  field->setAlignment(Qt::AlignCenter);
  field->setFocusPolicy(Qt::NoFocus);
  field->setGeometry(rect);
  QPalette palette = field->palette();
  palette.setColor(QPalette::Base, kFormColor);
  palette.setColor(QPalette::Text, Qt::black);
  field->setPalette(palette);
  return field;
}

QPushButton* MakeButton(QWidget* parent, const QString& text, QRect rect) {
  auto* button = new QPushButton(text, parent);
  button->setGeometry(rect);
  button->setStyleSheet(
      "QPushButton { background-color: #E6E6E6; color: black; border: 1px solid #ADADAD;"
      " border-radius: 2px; padding: 0px 1px; }"
      "QPushButton:hover { background-color: #E5F1FB; border-color: #0078D7; }"
      "QPushButton:pressed { background-color: #CCE4F7; border-color: #005499; }"
      "QPushButton:focus { border-color: #0078D7; }");
  return button;
}

}  // namespace

QSize StageView::FormSize() { return DialogUnitsSize(524, 261); }

StageView::StageView(StageModel& model, Hooks hooks, QWidget* parent)
    : QWidget(parent), model_(model), hooks_(std::move(hooks)) {
  setFixedSize(FormSize());
  // The form's controls are sized for an 8-point dialog font.
  QFont form_font = font();
  form_font.setPixelSize(11);
  setFont(form_font);
  setAutoFillBackground(true);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, kFormColor);
  palette.setColor(QPalette::WindowText, Qt::black);
  palette.setColor(QPalette::Button, kButtonFace);
  setPalette(palette);

  MakeLabel(this, "Test Sequence", DialogUnitsRect(18, 8, 50, 8));
  edit_button_ = MakeButton(this, "Edit Set", DialogUnitsRect(14, 20, 47, 14));
  delete_button_ = MakeButton(this, "Delete ", DialogUnitsRect(65, 20, 47, 14));
  insert_above_button_ = MakeButton(this, "Insert Above", DialogUnitsRect(116, 20, 47, 14));
  insert_below_button_ = MakeButton(this, "Insert Below", DialogUnitsRect(167, 20, 47, 14));

  MakeLabel(this, "Offset (mm)", DialogUnitsRect(267, 8, 44, 8));
  offset_field_ = MakeField(this, DialogUnitsRect(267, 20, 26, 14));
  help_button_ = new QToolButton(this);
  help_button_->setAutoRaise(true);
  help_button_->setIcon(QIcon(":/stravon/help.svg"));
  help_button_->setIconSize({16, 16});
  help_button_->setGeometry(DialogUnitsRect(297, 19, 16, 16));
  help_button_->setToolTip("What the offset is");

  MakeLabel(this, "Used Memory (%)", DialogUnitsRect(358, 8, 56, 8));
  used_memory_field_ = MakeField(this, DialogUnitsRect(372, 20, 26, 14));
  total_time_label_ =
      MakeLabel(this, "Total Time ", DialogUnitsRect(436, 8, 65, 8), Qt::AlignRight);
  total_time_field_ = MakeField(this, DialogUnitsRect(451, 20, 52, 14));

  list_ = new ReportList(this);
  list_->setGeometry(DialogUnitsRect(7, 42, 510, 123));
  QPalette list_palette = list_->palette();
  list_palette.setColor(QPalette::Base, Qt::white);
  list_->setPalette(list_palette);
  list_->DefineColumns(kColumnSpec);

  output_ = new OutputPane(this);
  output_->setGeometry(DialogUnitsRect(7, 183, 510, 71));
  QPalette output_palette = output_->palette();
  output_palette.setColor(QPalette::Base, Qt::white);
  output_->setPalette(output_palette);

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

void StageView::RowsReset() {
  list_->DeleteAllRows();
  for (int row = 0; row < model_.RowCount(); ++row) {
    list_->InsertRow(row, QString());
    FillRow(row);
  }
  emit ModelChanged();
}

void StageView::RowInserted(int row) {
  list_->InsertRow(row, QString());
  FillRow(row);
  emit ModelChanged();
}

void StageView::RowRemoved(int row) {
  list_->DeleteRow(row);
  emit ModelChanged();
}

void StageView::RowChanged(int row) {
  if (row < list_->RowCount()) FillRow(row);
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
