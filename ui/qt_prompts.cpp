#include "ui/qt_prompts.h"

#include <optional>
#include <utility>

#include <QDialog>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include "core/string_table.h"
#include "ui/credentials_dialog.h"
#include "ui/message_boxes.h"
#include "ui/new_version_dialog.h"
#include "ui/notice_dialog.h"
#include "ui/question_dialog.h"

namespace wayfetch {
namespace {

QMessageBox::Icon box_icon(PromptIcon icon) {
  switch (icon) {
    case PromptIcon::information:
      return QMessageBox::Information;
    case PromptIcon::warning:
      return QMessageBox::Warning;
    case PromptIcon::stop:
      return QMessageBox::Critical;
    case PromptIcon::question:
      return QMessageBox::Question;
  }
  return QMessageBox::Information;
}

QString qt_string(const String& text) {
  return QString::fromStdString(text.to_utf8());
}

}  // namespace

QtPrompts::QtPrompts(QObject* parent) : QObject(parent), serve_timer_(new QTimer(this)) {
  serve_timer_->setInterval(serve_interval_ms);
  connect(serve_timer_, &QTimer::timeout, this, &QtPrompts::serve);
  serve_timer_->start();
}

QtPrompts::~QtPrompts() {
  shut_down();
}

void QtPrompts::shut_down() {
  {
    std::lock_guard hold(waiting_->mutex);
    waiting_->shut_down = true;
    // Their callers are released below; nobody waits for these any more.
    waiting_->asked.clear();
  }
  waiting_->answered.notify_all();
  // Off the GUI thread, the next serve() closes the open prompts.
  if (QThread::currentThread() == thread()) cancel_open();
}

void QtPrompts::serve() {
  std::deque<std::function<void()>> asked;
  bool shut = false;
  {
    std::lock_guard hold(waiting_->mutex);
    asked.swap(waiting_->asked);
    shut = waiting_->shut_down;
  }
  if (shut) {
    // Shut down from another thread: the callers were released already.
    serve_timer_->stop();
    cancel_open();
    return;
  }
  // Each prompt is shown from an event of its own, not from this slot: Qt
  // does not fire a timer again while its slot runs, and an open prompt's
  // nested event loop must still see this timer (for the next prompt and
  // for a shut-down from another thread).
  for (std::function<void()>& show : asked) {
    QTimer::singleShot(0, this, [waiting = waiting_, show = std::move(show)] {
      {
        std::lock_guard hold(waiting->mutex);
        if (waiting->shut_down) return;
      }
      show();
    });
  }
}

void QtPrompts::cancel_open() {
  // Rejecting ends each dialog's exec(); its caller takes the Cancel answer.
  const std::vector<QPointer<QDialog>> open = open_;
  for (const QPointer<QDialog>& dialog : open) {
    if (dialog) dialog->reject();
  }
}

QWidget* QtPrompts::owner() const {
  return visible_owner(owner_.data());
}

int QtPrompts::run(QDialog& dialog) {
  open_.emplace_back(&dialog);
  const int result = run_hook_ ? run_hook_(dialog) : dialog.exec();
  std::erase_if(open_, [&](const QPointer<QDialog>& d) { return d.isNull() || d == &dialog; });
  return result;
}

template <typename T>
T QtPrompts::ask(std::function<T()> show, T fallback) {
  std::shared_ptr<Waiting> waiting = waiting_;
  std::unique_lock hold(waiting->mutex);
  if (waiting->shut_down) return fallback;
  if (QThread::currentThread() == thread()) {
    hold.unlock();
    return show();
  }

  // The answer lives beside the waiting state, not on the caller's stack:
  // a caller released by shut_down() may be gone when the dialog closes.
  auto answer = std::make_shared<std::optional<T>>();
  waiting->asked.push_back([waiting, answer, show = std::move(show)] {
    T value = show();
    {
      std::lock_guard done(waiting->mutex);
      *answer = std::move(value);
    }
    waiting->answered.notify_all();
  });
  waiting->answered.wait(hold, [&] { return answer->has_value() || waiting->shut_down; });
  return answer->has_value() ? std::move(**answer) : fallback;
}

void QtPrompts::message(int32_t text_id, PromptIcon icon) {
  message_with_text(text_id, String(), icon);
}

void QtPrompts::message_with_text(int32_t text_id, const String& appended, PromptIcon icon) {
  const QString text = table_text(text_id) + qt_string(appended);
  ask<bool>(
      [this, text, icon] {
        QMessageBox box(box_icon(icon), table_text(strings::program_title), text, QMessageBox::Ok,
                        owner());
        run(box);
        return true;
      },
      false);
}

QuestionAnswer QtPrompts::question(int32_t text_id) {
  return ask<QuestionAnswer>(
      [this, text_id] {
        QuestionDialog dialog(table_text(text_id), true, owner());
        dialog.setResult(run(dialog));
        return QuestionAnswer{dialog.answered_yes(), dialog.remember()};
      },
      QuestionAnswer{});
}

bool QtPrompts::yes_no(int32_t text_id) {
  return ask<bool>(
      [this, text_id] {
        QuestionDialog dialog(table_text(text_id), false, owner());
        dialog.setResult(run(dialog));
        return dialog.answered_yes();
      },
      false);
}

bool QtPrompts::credentials(ProxyCredentials& credentials) {
  using Entered = std::optional<std::pair<std::string, std::string>>;
  const QString user = qt_string(credentials.user_name);
  const QString password = qt_string(credentials.password);
  const Entered entered = ask<Entered>(
      [this, user, password]() -> Entered {
        CredentialsDialog dialog(user, password, owner());
        if (run(dialog) != QDialog::Accepted) return std::nullopt;
        return std::make_pair(dialog.user_name().toStdString(), dialog.password().toStdString());
      },
      std::nullopt);
  if (!entered) return false;
  credentials.user_name = String(entered->first);
  credentials.password = String(entered->second);
  return true;
}

NewVersionChoice QtPrompts::new_version(const String& offered) {
  const QString version = qt_string(offered);
  return ask<NewVersionChoice>(
      [this, version] {
        NewVersionDialog dialog(version, owner());
        if (run(dialog) != QDialog::Accepted) return NewVersionChoice::remind_later;
        return dialog.choice();
      },
      NewVersionChoice::remind_later);
}

bool QtPrompts::notice(int32_t text_id) {
  return ask<bool>(
      [this, text_id] {
        NoticeDialog dialog(table_text(text_id), owner());
        run(dialog);
        return dialog.do_not_show_again();
      },
      false);
}

}  // namespace wayfetch
