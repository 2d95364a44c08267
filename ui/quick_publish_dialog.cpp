#include "ui/quick_publish_dialog.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <QStyle>
#include <QTimer>

#include "core/string_table.h"
#include "ui_quick_publish_dialog.h"

namespace wayfetch {
namespace {

// Hands the publisher's progress to the dialog through atomics.
class ProgressRelay : public PublishProgress {
 public:
  ProgressRelay(std::atomic<int32_t>& range, std::atomic<int32_t>& position)
      : range_(range), position_(position) {}
  void set_range(Stage /*stage*/, int32_t count) override {
    position_.store(0);
    range_.store(count > 0 ? count : 1);
  }
  void set_position(int32_t position) override { position_.store(position); }

 private:
  std::atomic<int32_t>& range_;
  std::atomic<int32_t>& position_;
};

// How often the GUI thread looks at a running publish.
constexpr int poll_interval_ms = 50;

}  // namespace

QuickPublishDialog::QuickPublishDialog(QWidget* parent)
    : QDialog(parent), m_ui(new Ui::QuickPublishDialog) {
  m_ui->setupUi(this);
  setWindowTitle(qt_text(strings::quick_publish_title));
  m_ui->source_label->setText(qt_text(strings::label_source_file));
  m_ui->target_label->setText(qt_text(strings::label_target_file));
  m_ui->publish->setText(qt_text(strings::publish_button));
  m_ui->cancel->setText(qt_text(strings::cancel_button));
  // The folder picture of the browse buttons comes from the style.
  for (QToolButton* button : {m_ui->browse_source, m_ui->browse_target}) {
    button->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
  }
  m_ui->progress->setVisible(false);
  poll_timer_ = new QTimer(this);
  poll_timer_->setInterval(poll_interval_ms);
  connect(poll_timer_, &QTimer::timeout, this, &QuickPublishDialog::poll);
  connect(m_ui->browse_source, &QToolButton::clicked, this, [this] { browse(true); });
  connect(m_ui->browse_target, &QToolButton::clicked, this, [this] { browse(false); });
  connect(m_ui->publish, &QPushButton::clicked, this, &QuickPublishDialog::publish);
  connect(m_ui->cancel, &QPushButton::clicked, this, &QuickPublishDialog::reject);
}

QuickPublishDialog::~QuickPublishDialog() {
  if (worker_.joinable()) {
    stop_.store(true);
    worker_.join();
  }
}

QStringList QuickPublishDialog::source_filters() {
  return {qt_text(strings::filter_text_files), qt_text(strings::filter_html_files),
          qt_text(strings::filter_all_files)};
}

QStringList QuickPublishDialog::target_filters() {
  return {qt_text(strings::filter_prc_files), qt_text(strings::filter_all_files)};
}

void QuickPublishDialog::message(int32_t text_id, QMessageBox::Icon icon) {
  show_message(message_hook_, this, qt_text(strings::message_title_short), text_id, icon);
}

void QuickPublishDialog::browse(bool source) {
  const QStringList filters = source ? source_filters() : target_filters();
  QLineEdit* field = source ? m_ui->source : m_ui->target;
  QString chosen;
  if (browse_hook_) {
    chosen = browse_hook_(source, filters);
  } else if (source) {
    chosen = QFileDialog::getOpenFileName(this, QString(), field->text(), filters.join(";;"));
  } else {
    chosen = QFileDialog::getSaveFileName(this, QString(), field->text(), filters.join(";;"));
  }
  if (!chosen.isEmpty()) field->setText(chosen);
}

void QuickPublishDialog::set_busy(bool busy) {
  for (QWidget* widget :
       {static_cast<QWidget*>(m_ui->source), static_cast<QWidget*>(m_ui->target),
        static_cast<QWidget*>(m_ui->browse_source), static_cast<QWidget*>(m_ui->browse_target),
        static_cast<QWidget*>(m_ui->publish)}) {
    widget->setEnabled(!busy);
  }
  m_ui->progress->setVisible(busy);
}

void QuickPublishDialog::publish() {
  if (worker_.joinable()) return;
  const QString source = m_ui->source->text().trimmed();
  if (source.isEmpty() || !QFileInfo(source).isFile()) {
    message(strings::no_valid_file_name, QMessageBox::Information);
    return;
  }
  const std::string page = source.toStdString();
  const std::string book = quick_publish_target(page, m_ui->target->text().trimmed().toStdString());
  m_ui->target->setText(QString::fromStdString(book));

  stop_.store(false);
  ended_.store(false);
  range_.store(0);
  position_.store(0);
  m_ui->progress->setRange(0, 0);
  set_busy(true);
  worker_ = std::thread([this, page, book] {
    ProgressRelay relay(range_, position_);
    PagePublishOptions options;
    options.progress = &relay;
    options.stop = [this] { return stop_.load(); };
    outcome_ = publish_page(page, book, options);
    ended_.store(true);
  });
  poll_timer_->start();
}

void QuickPublishDialog::poll() {
  const int32_t range = range_.load();
  if (range > 0) {
    m_ui->progress->setRange(0, range);
    m_ui->progress->setValue(position_.load());
  }
  if (ended_.load()) publish_ended();
}

void QuickPublishDialog::publish_ended() {
  poll_timer_->stop();
  // Joining makes the worker's outcome visible here.
  worker_.join();
  set_busy(false);
  switch (outcome_.result) {
    case PagePublishResult::published:
      done(QDialog::Accepted);
      return;
    case PagePublishResult::stopped:
      done(QDialog::Rejected);
      return;
    case PagePublishResult::missing_source:
    case PagePublishResult::same_file:
      // Nothing was made; the person may choose other names.
      message(strings::no_valid_file_name, QMessageBox::Information);
      return;
    case PagePublishResult::not_a_file:
    case PagePublishResult::not_publishable:
    case PagePublishResult::failed:
      break;
  }
  message(strings::page_not_loaded, QMessageBox::Critical);
  done(QDialog::Rejected);
}

void QuickPublishDialog::reject() {
  if (worker_.joinable()) {
    stop_.store(true);
    return;
  }
  QDialog::reject();
}

void QuickPublishDialog::closeEvent(QCloseEvent* event) {
  if (worker_.joinable()) {
    stop_.store(true);
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

}  // namespace wayfetch
