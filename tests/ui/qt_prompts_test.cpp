#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "core/string_table.h"
#include "ui/credentials_dialog.h"
#include "ui/new_version_dialog.h"
#include "ui/notice_dialog.h"
#include "ui/qt_prompts.h"
#include "ui/question_dialog.h"

namespace wayfetch {
namespace {

// Runs `ask` on a worker thread as the update does, serving the GUI thread's
// events until it returns; false when it did not return within 20 s.
bool ask_from_worker(const std::function<void()>& ask) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    ask();
    done.store(true);
  });
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done.load() && std::chrono::steady_clock::now() < limit) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  const bool answered = done.load();
  worker.join();  // a prompt that never answers fails the test by its timeout
  return answered;
}

TEST(QtPrompts, WorkerGetsTheAnswersGivenInTheDialogs) {
  QtPrompts prompts;
  QWidget window;
  window.show();
  prompts.set_owner(&window);
  std::vector<QString> titles;
  std::vector<QWidget*> owners;
  prompts.set_run_hook([&](QDialog& dialog) {
    titles.push_back(dialog.windowTitle());
    owners.push_back(dialog.parentWidget());
    if (auto* question = qobject_cast<QuestionDialog*>(&dialog)) {
      if (question->remember_box()->isVisibleTo(question)) question->remember_box()->click();
      question->yes_button()->click();
    } else if (auto* login = qobject_cast<CredentialsDialog*>(&dialog)) {
      EXPECT_EQ(login->password_field()->echoMode(), QLineEdit::Password);
      EXPECT_EQ(login->user_field()->text(), "anne");
      login->user_field()->clear();
      QTest::keyClicks(login->user_field(), "bert");
      QTest::keyClicks(login->password_field(), "2");
      login->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    } else if (auto* offer = qobject_cast<NewVersionDialog*>(&dialog)) {
      EXPECT_TRUE(offer->version_field()->isReadOnly());
      EXPECT_EQ(offer->version_field()->text(), "3.3.0");
      offer->button(NewVersionChoice::wait_for_next_version)->click();
    } else if (auto* notice = qobject_cast<NoticeDialog*>(&dialog)) {
      notice->do_not_show_box()->click();
      notice->ok_button()->click();
    } else {
      EXPECT_EQ(qobject_cast<QMessageBox*>(&dialog)->text().toStdString(),
                std::string(strings::text(strings::enews_with_problems)) + "News");
      dialog.accept();
    }
    return dialog.result();
  });

  QuestionAnswer answer;
  bool plain_yes = false;
  bool entered = false;
  ProxyCredentials login{String("anne"), String("1")};
  NewVersionChoice choice = NewVersionChoice::remind_later;
  bool ticked = false;
  ASSERT_TRUE(ask_from_worker([&] {
    answer = prompts.question(strings::web_at_handheld_sync);
    plain_yes = prompts.yes_no(strings::convert_old_installation);
    entered = prompts.credentials(login);
    choice = prompts.new_version(String("3.3.0"));
    ticked = prompts.notice(strings::update_finished_notice);
    prompts.message_with_text(strings::enews_with_problems, String("News"), PromptIcon::warning);
  }));
  EXPECT_TRUE(answer.yes && answer.remember);
  EXPECT_TRUE(plain_yes);
  EXPECT_TRUE(entered);
  EXPECT_EQ(login.user_name.to_utf8(), "bert");
  EXPECT_EQ(login.password.to_utf8(), "12");
  EXPECT_EQ(choice, NewVersionChoice::wait_for_next_version);
  EXPECT_TRUE(ticked);
  ASSERT_EQ(titles.size(), 6u);
  for (std::size_t i = 0; i < titles.size(); ++i) {
    EXPECT_EQ(titles[i], "Lorvane Wayfetch");
    EXPECT_EQ(owners[i], &window);
  }

  // A hidden window owns no box.
  window.hide();
  prompts.message_with_text(strings::enews_with_problems, String("News"),
                            PromptIcon::information);  // on the GUI thread
  EXPECT_EQ(owners.back(), nullptr);
}

TEST(QtPrompts, ShutDownAnswersAnOpenPromptAndEveryLaterOneAtOnce) {
  QtPrompts prompts;
  std::thread closer;
  int shown = 0;
  prompts.set_run_hook([&](QDialog& dialog) {
    ++shown;
    // The program exits from another thread while the dialog waits.
    QTimer::singleShot(20, &dialog, [&] { closer = std::thread([&] { prompts.shut_down(); }); });
    return dialog.exec();
  });
  ProxyCredentials login{String("anne"), String("1")};
  bool entered = true;
  ASSERT_TRUE(ask_from_worker([&] { entered = prompts.credentials(login); }));
  closer.join();
  EXPECT_FALSE(entered);
  EXPECT_EQ(login.user_name.to_utf8(), "anne");

  QuestionAnswer answer{true, true};
  NewVersionChoice choice = NewVersionChoice::connect_and_check;
  ASSERT_TRUE(ask_from_worker([&] {
    answer = prompts.question(strings::web_at_handheld_sync);
    choice = prompts.new_version(String("3.3.0"));
  }));
  EXPECT_FALSE(answer.yes || answer.remember);
  EXPECT_EQ(choice, NewVersionChoice::remind_later);
  EXPECT_FALSE(prompts.yes_no(strings::convert_old_installation));  // GUI thread too
  EXPECT_EQ(shown, 1);
}

TEST(QtPrompts, CancelOpenAnswersTheOpenPromptAsCancel) {
  QtPrompts prompts;
  prompts.set_run_hook([&](QDialog& dialog) {
    // Stop is clicked in the window while the question is open.
    QTimer::singleShot(20, &prompts, [&] { prompts.cancel_open(); });
    return dialog.exec();
  });
  QuestionAnswer answer{true, true};
  ASSERT_TRUE(ask_from_worker([&] { answer = prompts.question(strings::web_at_handheld_sync); }));
  EXPECT_FALSE(answer.yes || answer.remember);
}

}  // namespace
}  // namespace wayfetch
