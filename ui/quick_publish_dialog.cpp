#include "ui/quick_publish_dialog.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <QStyle>
#include <QThread>

#include "core/string_table.h"
#include "ui_quick_publish_dialog.h"

namespace wayfetch {
namespace {

// Hands the publisher's progress to the dialog's bar on the GUI thread.
// Queued calls addressed to the dialog are dropped once it is gone, and it
// joins the worker before it goes.
class ProgressRelay : public PublishProgress {
 public:
  explicit ProgressRelay(QProgressBar* bar) : bar_(bar) {}
  void set_range(Stage /*stage*/, int32_t count) override {
    QMetaObject::invokeMethod(
        bar_,
        [bar = bar_, count] {
          bar->setRange(0, count > 0 ? count : 1);
          bar->setValue(0);
        },
        Qt::QueuedConnection);
  }
  void set_position(int32_t position) override {
    QMetaObject::invokeMethod(
        bar_, [bar = bar_, position] { bar->setValue(position); }, Qt::QueuedConnection);
  }

 private:
  QProgressBar* bar_;
};

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
  connect(m_ui->browse_source, &QToolButton::clicked, this, [this] { browse(true); });
  connect(m_ui->browse_target, &QToolButton::clicked, this, [this] { browse(false); });
  connect(m_ui->publish, &QPushButton::clicked, this, &QuickPublishDialog::publish);
  connect(m_ui->cancel, &QPushButton::clicked, this, &QuickPublishDialog::reject);
}

QuickPublishDialog::~QuickPublishDialog() {
  if (worker_ != nullptr) {
    stop_.store(true);
    worker_->wait();
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
  if (worker_ != nullptr) return;
  const QString source = m_ui->source->text().trimmed();
  if (source.isEmpty() || !QFileInfo(source).isFile()) {
    message(strings::no_valid_file_name, QMessageBox::Information);
    return;
  }
  const std::string page = source.toStdString();
  const std::string book = quick_publish_target(page, m_ui->target->text().trimmed().toStdString());
  m_ui->target->setText(QString::fromStdString(book));

  stop_.store(false);
  m_ui->progress->setRange(0, 0);
  set_busy(true);
  worker_ = QThread::create([this, bar = m_ui->progress, page, book] {
    ProgressRelay relay(bar);
    PagePublishOptions options;
    options.progress = &relay;
    options.stop = [this] { return stop_.load(); };
    outcome_ = publish_page(page, book, options);
  });
  connect(worker_, &QThread::finished, this, &QuickPublishDialog::publish_ended);
  worker_->start();
}

void QuickPublishDialog::publish_ended() {
  // Joining makes the worker's outcome visible here.
  worker_->wait();
  delete worker_;
  worker_ = nullptr;
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
  if (worker_ != nullptr) {
    stop_.store(true);
    return;
  }
  QDialog::reject();
}

void QuickPublishDialog::closeEvent(QCloseEvent* event) {
  if (worker_ != nullptr) {
    stop_.store(true);
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

}  // namespace wayfetch
