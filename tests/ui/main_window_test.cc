// The window over a real application core in private folders: the tree
// mirrors the list, the person's actions change it under the list lock, and
// the core's reports reach the widgets from its worker thread.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QSystemTrayIcon>
#include <QTreeWidget>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>
#include <tuple>
#include <vector>

#include "config/application_core.h"
#include "config/config_text.h"
#include "config/settings_names.h"
#include "core/string_table.h"
#include "platform/network_state.h"
#include "platform/settings_store_fake.h"
#include "tests/config/scripted_prompts.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/qt_app.h"
#include "ui/commands.h"
#include "ui/main_window.h"

namespace wayfetch {
namespace {

using testing::ScriptedPrompts;

struct ItemSetup {
  const char* name;
  bool selected;
};

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::qt_app();
    const std::string runtime = dir_.file("run");
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    env_.set("XDG_RUNTIME_DIR", runtime.c_str());
    ASSERT_TRUE(store_
                    .write_value(settings_names::program_key, settings_names::installation_path,
                                 dir_.file("installation"))
                    .ok());
    network_.set_connection_state(platform::NetworkState::local_network);
    window_ = std::make_unique<MainWindow>(prompts_);
    window_->set_opener([this](const std::string& address) {
      opened_.push_back(address);
      return true;
    });
    core_ = std::make_unique<ApplicationCore>(store_, *window_, network_);
    window_->attach(*core_);
    config().register_program();
    config().set_may_be_saved(true);
    config().settings().proxy.mode = ProxyMode::none;
  }
  void TearDown() override {
    core_.reset();
    window_.reset();
  }

  WayfetchConfiguration& config() { return core_->configuration(); }
  QTreeWidget& tree() { return *window_->controls().tree; }
  QString text_of(QLabel* label) { return label->text(); }

  // Subscribes to an eNews made here, then shows the list as initialising does.
  void add(const char* name, std::vector<ItemSetup> items, bool oneshot = false) {
    ENewsList list;
    auto enews = std::make_unique<ENews>();
    enews->set_name(name);
    enews->title = String((std::string("Title ") + name).c_str());
    enews->oneshot = oneshot;
    for (const ItemSetup& setup : items) {
      auto item = std::make_unique<ENewsItem>();
      item->set_name(setup.name);
      item->title = String(setup.name);
      item->set_selected(setup.selected);
      enews->add_item(std::move(item));
    }
    list.push_back(std::move(enews));
    config().merge(std::move(list), false);
    window_->list_changed();
  }
  void standard_list() {
    add("harbour", {{"stories", true}, {"advert_top", false}, {"sports", false}});
    add("leaflet", {}, true);
  }
  ENews& enews(const char* name) { return config().at(config().find(String(name))); }
  // Runs the GUI thread's queue until `done` holds, at most 10 s.
  bool process_until(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
      if (std::chrono::steady_clock::now() > limit) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
  }
  void toggle(QTreeWidgetItem* node) {
    node->setCheckState(0, node->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
  }
  bool message_shown(int32_t id) {
    for (const std::string& call : prompts_.calls()) {
      if (call.starts_with("message " + std::to_string(id))) return true;
    }
    return false;
  }

  testing::TempDir dir_;
  testing::ScopedEnv env_;
  platform::MemorySettingsStore store_;
  platform::FakeNetworkState network_;
  ScriptedPrompts prompts_;
  std::vector<std::string> opened_;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<ApplicationCore> core_;
};

TEST_F(MainWindowTest, TreeMirrorsTheListAndOffersTheMenuOfEachKind) {
  QAbstractItemModelTester tester(tree().model(),
                                  QAbstractItemModelTester::FailureReportingMode::Fatal);
  standard_list();
  ASSERT_EQ(tree().topLevelItemCount(), 2);
  QTreeWidgetItem* regular = tree().topLevelItem(0);
  EXPECT_EQ(regular->text(0), "Title harbour");
  EXPECT_FALSE(regular->data(0, Qt::CheckStateRole).isValid());
  // The hidden "advert_" item is absent; the boxes mirror "selected".
  ASSERT_EQ(regular->childCount(), 2);
  EXPECT_EQ(regular->child(0)->text(0), "stories");
  EXPECT_EQ(regular->child(0)->checkState(0), Qt::Checked);
  EXPECT_EQ(regular->child(1)->text(0), "sports");
  EXPECT_EQ(regular->child(1)->checkState(0), Qt::Unchecked);
  QTreeWidgetItem* oneshot = tree().topLevelItem(1);
  EXPECT_EQ(oneshot->childCount(), 0);
  EXPECT_EQ(oneshot->checkState(0), Qt::Unchecked);
  EXPECT_FALSE(oneshot->flags() & Qt::ItemIsUserCheckable);

  auto texts = [](QMenu* menu) {
    QStringList out;
    for (QAction* action : menu->actions()) out << action->text();
    return out;
  };
  EXPECT_EQ(texts(window_->popup_for(oneshot)), QStringList{"&Löschen"});
  EXPECT_EQ(texts(window_->popup_for(regular)),
            (QStringList{"&Unsubscribe", "&Alles auswählen", "&Auswahl aufheben"}));
  EXPECT_EQ(window_->popup_for(regular->child(0)), nullptr);
  EXPECT_TRUE(window_->request_popup(oneshot, QPoint(10, 10)));
  window_->popup_for(oneshot)->hide();
  EXPECT_EQ(tree().currentItem(), oneshot);
}

TEST_F(MainWindowTest, ToggleStoresIntoTheNextVisibleItemUnlessAnUpdateHoldsTheList) {
  standard_list();
  QTreeWidgetItem* sports = tree().topLevelItem(0)->child(1);
  toggle(sports);
  // The second box belongs to item 2: item 1 is hidden.
  EXPECT_TRUE(enews("harbour").item(2).selected());
  EXPECT_TRUE(enews("harbour").item(0).selected());

  ASSERT_TRUE(core_->lock_list(0));
  toggle(sports);
  EXPECT_EQ(sports->checkState(0), Qt::Checked);
  EXPECT_TRUE(enews("harbour").item(2).selected());
  EXPECT_TRUE(message_shown(strings::list_busy));
  // No pop-up while the list is held, and Select none changes nothing.
  prompts_.clear();
  EXPECT_FALSE(window_->request_popup(tree().topLevelItem(0), QPoint(10, 10)));
  EXPECT_TRUE(message_shown(strings::list_busy));
  EXPECT_TRUE(window_->run_command(commands::select_none));
  EXPECT_EQ(sports->checkState(0), Qt::Checked);
  core_->unlock_list();

  EXPECT_TRUE(window_->run_command(commands::select_none));
  EXPECT_FALSE(enews("harbour").item(0).selected());
  EXPECT_FALSE(enews("harbour").item(2).selected());
  EXPECT_TRUE(enews("harbour").item(1).selected());  // hidden items stay selected
}

TEST_F(MainWindowTest, UnsubscribeRemovesFolderListEntryAndNode) {
  standard_list();
  ASSERT_TRUE(enews("leaflet").create_folder());
  const std::string folder = enews("leaflet").folder().to_utf8();
  tree().setCurrentItem(tree().topLevelItem(1));

  ASSERT_TRUE(core_->lock_list(0));
  EXPECT_TRUE(window_->run_command(commands::unsubscribe));
  EXPECT_TRUE(message_shown(strings::list_busy));
  EXPECT_EQ(config().count(), 2);
  core_->unlock_list();

  EXPECT_TRUE(window_->run_command(commands::unsubscribe));
  EXPECT_FALSE(std::filesystem::exists(folder));
  EXPECT_EQ(config().find(String("leaflet")), -1);
  ASSERT_EQ(tree().topLevelItemCount(), 1);
  EXPECT_EQ(tree().topLevelItem(0)->text(0), "Title harbour");
}

TEST_F(MainWindowTest, AddingAFileAndFindingENewsGoThroughTheListLock) {
  const std::string file = dir_.file("tides.enews");
  {
    std::FILE* out = std::fopen(file.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fputs(
        "<enews><wayfetch-config action=\"ignore\"><enews name=\"tides\"><title>Tides</title>"
        "<enewsitem name=\"week\" selected=\"yes\"><title>Week</title></enewsitem></enews>"
        "</wayfetch-config></enews>",
        out);
    std::fclose(out);
  }
  window_->set_next_file_name(QString::fromStdString(dir_.file("missing.enews")));
  EXPECT_TRUE(window_->run_command(commands::add_enews_file));
  EXPECT_TRUE(message_shown(strings::enews_file_not_added));
  window_->set_next_file_name(QString::fromStdString(file));
  EXPECT_TRUE(window_->run_command(commands::add_enews_file));
  ASSERT_EQ(tree().topLevelItemCount(), 1);
  EXPECT_EQ(tree().topLevelItem(0)->text(0), "Tides");

  // Find eNews stores the marks and saves when it can, and opens the page
  // either way; a stored address that is not a web page opens nothing.
  tree().topLevelItem(0)->child(0)->setCheckState(0, Qt::Unchecked);
  ASSERT_TRUE(core_->lock_list(0));
  EXPECT_TRUE(window_->run_command(commands::find_enews));
  core_->unlock_list();
  ASSERT_TRUE(store_.write_value(addresses_key, "Support", "file:///etc/passwd").ok());
  EXPECT_TRUE(window_->run_command(commands::support_page));
  EXPECT_TRUE(window_->run_command(commands::find_ebooks));
  EXPECT_EQ(opened_, (std::vector<std::string>{"https://wayfetch.example.org/enews/",
                                               "https://wayfetch.example.org/ebooks/"}));
  EXPECT_FALSE(enews("tides").item(0).selected());
}

TEST_F(MainWindowTest, ObserverCallsFromAnotherThreadReachTheWidgets) {
  std::thread worker([this] {
    window_->status(StatusLine::enews_line(strings::file_downloaded, String("Harbour"), 3));
    window_->progress_range(7);
    window_->progress_position(2);
    window_->time_estimate(strings::estimated_download_time, "3:20");
    window_->size_estimate("12 KB");
    window_->update_running(true);
  });
  worker.join();
  const MainWindow::Controls& controls = window_->controls();
  ASSERT_TRUE(process_until([&] { return !window_->command_enabled(commands::update_now); }));
  EXPECT_EQ(controls.status->text(), "Neu heruntergeladene Datei (Harbour,3)");
  EXPECT_EQ(controls.progress->maximum(), 7);
  EXPECT_EQ(controls.progress->value(), 2);
  EXPECT_EQ(controls.time_label->text(), "Geschätzte Download-Zeit :");
  EXPECT_EQ(controls.time->text(), "3:20");
  EXPECT_EQ(controls.size->text(), "12 KB");
  EXPECT_FALSE(window_->command_enabled(commands::update_all));
  EXPECT_TRUE(window_->command_enabled(commands::stop));
  EXPECT_EQ(controls.last_sync->text(), "Unbekannt");

  window_->status(StatusLine::time_line(strings::update_ended_in, 200));
  EXPECT_EQ(controls.status->text(), "Update endet in 3 min 20");
  window_->last_synchronisation(std::nullopt);
  EXPECT_EQ(controls.last_sync->text(), "");
}

TEST_F(MainWindowTest, StoringTheSelectionFromAnotherThreadWaitsOnlyWhileTheLoopRuns) {
  standard_list();
  enews("harbour").item(0).set_selected(false);  // the box still shows it ticked
  std::atomic<bool> stored{false};
  std::thread starter([&] {
    window_->store_selection();
    stored = true;
  });
  EXPECT_TRUE(process_until([&] { return stored.load(); }));
  starter.join();
  EXPECT_TRUE(enews("harbour").item(0).selected());

  // Once Exit has been chosen no loop will run the work: the caller goes on.
  enews("harbour").item(0).set_selected(false);
  EXPECT_TRUE(window_->run_command(commands::exit));
  std::thread late([&] { window_->store_selection(); });
  late.join();
  EXPECT_FALSE(enews("harbour").item(0).selected());
}

TEST_F(MainWindowTest, EstimatesSayWhenNothingIsDue) {
  // {selected, label, time}: an unselected item is never due; a selected
  // one without data is.
  for (const auto& [selected, label, shown_time] :
       {std::tuple{false, "Es gibt nichts herunterzuladen.", ""},
        std::tuple{true, "Geschätzte Download-Zeit :", "0:0"}}) {
    while (config().count() > 0) (void)config().remove(0);
    add("harbour", {{"stories", selected}});
    ASSERT_TRUE(core_->lock_list(0));
    core_->show_estimates();
    core_->unlock_list();
    EXPECT_EQ(window_->controls().time_label->text(), QString(label));
    EXPECT_EQ(window_->controls().time->text(), QString(shown_time));
  }
}

TEST_F(MainWindowTest, DetailsOffAndOnRestoreTheWidths) {
  standard_list();
  window_->resize(500, 360);
  window_->show();
  process_until([&] { return window_->isVisible(); });
  QCoreApplication::processEvents();
  const int window_width = window_->width();
  const int tree_width = tree().width();
  ASSERT_TRUE(window_->controls().details->isVisible());

  EXPECT_TRUE(window_->run_command(commands::details));
  QCoreApplication::processEvents();
  EXPECT_FALSE(window_->details_shown());
  EXPECT_FALSE(window_->controls().details->isVisible());
  EXPECT_LT(window_->width(), window_width);
  EXPECT_GT(tree().width(), tree_width - (window_width - window_->width()));

  EXPECT_TRUE(window_->run_command(commands::details));
  QCoreApplication::processEvents();
  EXPECT_TRUE(window_->controls().details->isVisible());
  EXPECT_EQ(window_->width(), window_width);
  EXPECT_EQ(tree().width(), tree_width);

  // Closing never ends the program: without a notification area the window
  // is minimised, with one it is hidden.
  window_->close();
  QCoreApplication::processEvents();
  if (window_->tray() == nullptr) {
    EXPECT_TRUE(window_->isMinimized());
  } else {
    EXPECT_FALSE(window_->isVisible());
  }
  window_->hide();
}

TEST_F(MainWindowTest, TrayDoubleClickOpensTheWindow) {
  if (window_->tray() == nullptr) GTEST_SKIP() << "the desktop has no notification area";
  window_->hide();
  Q_EMIT window_->tray()->activated(QSystemTrayIcon::DoubleClick);
  EXPECT_TRUE(window_->isVisible());
  EXPECT_EQ(window_->tray()->toolTip(), "Lorvane Wayfetch");
  window_->hide();
}

TEST_F(MainWindowTest, CommandsFollowARealUpdateAndAToggleIsRefusedMeanwhile) {
  // Nothing is due, so the run stays off the web.
  add("harbour", {{"stories", false}, {"sports", false}});
  // The update waits for the list lock the test holds, so it is seen running.
  ASSERT_TRUE(core_->lock_list(0));
  EXPECT_TRUE(window_->run_command(commands::update_now));
  ASSERT_TRUE(process_until([&] { return window_->command_enabled(commands::stop); }));
  EXPECT_FALSE(window_->command_enabled(commands::update_now));
  EXPECT_FALSE(window_->command_enabled(commands::update_all));
  EXPECT_FALSE(window_->run_command(commands::update_now));
  QTreeWidgetItem* stories = tree().topLevelItem(0)->child(0);
  toggle(stories);
  EXPECT_EQ(stories->checkState(0), Qt::Unchecked);
  EXPECT_TRUE(message_shown(strings::list_busy));
  core_->unlock_list();

  ASSERT_TRUE(process_until([&] { return window_->command_enabled(commands::update_now); }));
  EXPECT_TRUE(core_->wait_for_update(20000));
  EXPECT_TRUE(window_->command_enabled(commands::update_all));
  EXPECT_FALSE(window_->command_enabled(commands::stop));
  EXPECT_TRUE(window_->controls().status->text().startsWith("Update endet in "));
}

// scripts/screenshots runs this with WAYFETCH_SCREENSHOTS naming the folder
// the pictures go to; otherwise it skips itself.
TEST_F(MainWindowTest, Screenshots) {
  const char* folder = std::getenv("WAYFETCH_SCREENSHOTS");
  if (folder == nullptr || *folder == '\0') GTEST_SKIP() << "WAYFETCH_SCREENSHOTS is not set";
  add("harbour", {{"stories", true}, {"harbour_news", true}, {"weather", false}});
  add("tides", {{"week", true}, {"month", false}});
  add("leaflet", {}, true);
  window_->time_estimate(strings::estimated_download_time, "2:35");
  window_->size_estimate("184 KB");
  window_->progress_range(12);
  window_->progress_position(5);
  window_->status(StatusLine::enews_line(strings::file_downloaded, String("Title harbour"), 5));
  window_->last_synchronisation(Timestamp::from_unix(1700000000));
  window_->resize(620, 400);
  window_->show();
  QCoreApplication::processEvents();
  EXPECT_TRUE(window_->grab().save(QString(folder) + "/main_window.png"));
  EXPECT_TRUE(window_->run_command(commands::details));
  QCoreApplication::processEvents();
  EXPECT_TRUE(window_->grab().save(QString(folder) + "/main_window_no_details.png"));
  window_->hide();
}

}  // namespace
}  // namespace wayfetch
