#include "gui/fleet_window_view.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/fleet_report_text.h"

namespace actualiz::gui {

namespace {

constexpr int kPollMilliseconds = 100;

QString Text(const std::string& text) { return QString::fromStdString(text); }

// The state as the table shows it: a location done by an earlier run says so.
QString StateText(const app::LocationOutcome& row) {
  return Text(row.earlier ? row.state + " (earlier run)" : row.state);
}

// A count of the location's totals; empty when its run made no report.
QString Count(const app::FleetTotals& totals, const char* key) {
  if (!totals.Present()) return {};
  return QString::number(totals.Count(key));
}

void SetCell(QTableWidget* table, int row, int column, const QString& text,
             const QString& tip = {}) {
  QTableWidgetItem* item = table->item(row, column);
  if (item == nullptr) {
    item = new QTableWidgetItem;
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    table->setItem(row, column, item);
  }
  if (item->text() != text) item->setText(text);
  if (item->toolTip() != tip) item->setToolTip(tip);
}

}  // namespace

FleetWindowView::FleetWindowView(app::FleetWindow& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      table_(new QTableWidget(this)),
      summary_(new QLabel(this)),
      notice_(new QLabel(this)),
      run_(new QPushButton(tr("Run the batch"), this)),
      check_(new QPushButton(tr("Check"), this)),
      stop_(new QPushButton(tr("Stop"), this)),
      resume_(new QCheckBox(tr("Only the locations not done"), this)),
      poll_(new QTimer(this)) {
  setWindowTitle(tr("actualiz: fleet %1").arg(Text(model_.File())));
  table_->setColumnCount(kReason + 1);
  table_->setHorizontalHeaderLabels({tr("Location"), tr("Data"), tr("State"), tr("Pairs"),
                                     tr("Updated"), tr("Copied"), tr("Failures"), tr("Seconds"),
                                     tr("Reason")});
  table_->verticalHeader()->hide();
  table_->setWordWrap(false);
  // Every column as wide as what it shows; the reason takes the rest.
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  table_->horizontalHeader()->setSectionResizeMode(kReason, QHeaderView::Stretch);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  notice_->setWordWrap(true);
  notice_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  resume_->setChecked(true);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(run_);
  buttons->addWidget(resume_);
  buttons->addWidget(check_);
  buttons->addStretch();
  buttons->addWidget(stop_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(table_, 1);
  layout->addWidget(summary_);
  layout->addWidget(notice_);
  layout->addLayout(buttons);

  connect(run_, &QPushButton::clicked, this, [this] { Start(app::FleetWork::kBatch); });
  connect(check_, &QPushButton::clicked, this, [this] { Start(app::FleetWork::kCheck); });
  connect(stop_, &QPushButton::clicked, this, [this] {
    model_.Stop();
    Refresh();
  });
  connect(poll_, &QTimer::timeout, this, &FleetWindowView::Poll);
  poll_->start(kPollMilliseconds);
  resize(900, 400);
  Refresh();
}

void FleetWindowView::Refresh() {
  const app::FleetWindowSnapshot snapshot = model_.Snapshot();
  shown_changes_ = model_.Changes();
  table_->setRowCount(static_cast<int>(snapshot.rows.size()));
  for (size_t i = 0; i < snapshot.rows.size(); ++i) {
    const app::LocationOutcome& row = snapshot.rows[i];
    const int r = static_cast<int>(i);
    const bool ran = row.state != "not started";
    SetCell(table_, r, kName, Text(row.name));
    SetCell(table_, r, kData, Text(row.data));
    SetCell(table_, r, kState, StateText(row), Text(row.reason));
    SetCell(table_, r, kPairs, Count(row.totals, "pairs"));
    SetCell(table_, r, kUpdated, Count(row.totals, "updated"));
    SetCell(table_, r, kCopied, Count(row.totals, "copied"));
    SetCell(table_, r, kFailures, Count(row.totals, "failures"));
    SetCell(table_, r, kSeconds, ran ? Text(app::FleetSeconds(row.seconds)) : QString());
    SetCell(table_, r, kReason, Text(row.reason));
  }
  if (model_.Loaded()) {
    summary_->setText(Text(app::FleetProgressText(snapshot.progress)));
  } else {
    summary_->setText(tr("The fleet file cannot be read."));
  }
  notice_->setText(Text(snapshot.notice));
  notice_->setVisible(!snapshot.notice.empty());
  run_->setEnabled(model_.Loaded() && !snapshot.running);
  resume_->setEnabled(model_.Loaded() && !snapshot.running);
  check_->setEnabled(model_.Loaded() && !snapshot.running);
  stop_->setEnabled(snapshot.running);
}

void FleetWindowView::Start(app::FleetWork work) {
  model_.Start(work, resume_->isChecked());
  Refresh();
}

void FleetWindowView::Poll() {
  if (model_.Changes() != shown_changes_ || model_.Running()) Refresh();
}

void FleetWindowView::closeEvent(QCloseEvent* event) {
  // The run refers to the model, which goes once the window has closed.
  model_.Stop();
  model_.Wait();
  poll_->stop();
  event->accept();
}

}  // namespace actualiz::gui
