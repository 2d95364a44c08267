#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <sstream>
#include <string>
#include <vector>

#include "config/application_core.h"
#include "config/non_interactive_prompts.h"
#include "config/settings_names.h"
#include "core/string_table.h"
#include "platform/settings_store_fake.h"
#include "tests/support/temp_dir.h"
#include "ui/configuration_dialog.h"

namespace wayfetch {
namespace {

using testing::TempDir;

class QuietObserver : public UpdateObserver {
 public:
  Prompts& prompts() override { return prompts_; }

 private:
  std::ostringstream out_;
  NonInteractivePrompts prompts_{out_};
};

class ConfigurationDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(store_
                    .write_value(settings_names::program_key, settings_names::installation_path,
                                 dir_.path())
                    .ok());
  }

  GlobalSettings& settings() { return core_.configuration().settings(); }
  void store_proxy(ProxyMode mode, const char* name) {
    settings().proxy.mode = mode;
    settings().proxy.name = String(name);
  }
  // A dialog whose messages are recorded in `messages_`.
  std::unique_ptr<ConfigurationDialog> open() {
    auto dialog = std::make_unique<ConfigurationDialog>(core_);
    dialog->set_message_hook([this](int32_t id, QMessageBox::Icon) { messages_.push_back(id); });
    return dialog;
  }
  template <typename T>
  static T* field(QDialog& dialog, const char* name) {
    T* widget = dialog.findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  static void type(QDialog& dialog, const char* name, const QString& text) {
    QLineEdit* edit = field<QLineEdit>(dialog, name);
    edit->clear();
    QTest::keyClicks(edit, text);
  }
  static QPushButton* ok(QDialog& dialog) {
    return field<QDialogButtonBox>(dialog, "buttons")->button(QDialogButtonBox::Ok);
  }

  TempDir dir_;
  platform::MemorySettingsStore store_;
  QuietObserver observer_;
  ApplicationCore core_{store_, observer_};
  std::vector<int32_t> messages_;
};

TEST_F(ConfigurationDialogTest, ProxyNameSplitsAndIsRebuiltOrRefused) {
  struct Case {
    const char* stored;
    const char* shown_address;
    const char* shown_port;
    const char* typed_address;  // nullptr: leave the fields as shown
    const char* typed_port;
    const char* expected;  // nullptr: refused with 10134, the dialog stays open
  };
  const Case cases[] = {
      {"host:8080", "host", "8080", nullptr, nullptr, "host:8080"},
      {"proxy.example", "proxy.example", "", nullptr, nullptr, "proxy.example"},
      {"old:1", "old", "1", "new.example", "", "new.example"},
      {"old:1", "old", "1", " spaced ", "080", "spaced:80"},
      {"old:1", "old", "1", "a:b", "", nullptr},
      {"old:1", "old", "1", "host", "99999", nullptr},
      {"old:1", "old", "1", "host", "0", nullptr},
      {"old:1", "old", "1", "host", "http", nullptr},
      {"old:1", "old", "1", "", "8080", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.stored) + " / " + (c.typed_address ? c.typed_address : "-") + " : " +
                 (c.typed_port ? c.typed_port : "-"));
    store_proxy(ProxyMode::proxy, c.stored);
    messages_.clear();
    auto dialog = open();
    EXPECT_EQ(field<QLineEdit>(*dialog, "proxy_address")->text(), c.shown_address);
    EXPECT_EQ(field<QLineEdit>(*dialog, "proxy_port")->text(), c.shown_port);
    if (c.typed_address != nullptr) {
      type(*dialog, "proxy_address", c.typed_address);
      type(*dialog, "proxy_port", c.typed_port);
    }
    QSignalSpy closed(dialog.get(), &QDialog::finished);
    QTest::mouseClick(ok(*dialog), Qt::LeftButton);
    if (c.expected != nullptr) {
      EXPECT_TRUE(messages_.empty());
      EXPECT_EQ(dialog->result(), QDialog::Accepted);
      EXPECT_EQ(settings().proxy.name.to_utf8(), c.expected);
    } else {
      EXPECT_EQ(messages_, std::vector<int32_t>{strings::unsuitable_field});
      EXPECT_EQ(closed.count(), 0);
      EXPECT_EQ(settings().proxy.name.to_utf8(), c.stored);
    }
  }
}

TEST_F(ConfigurationDialogTest, FieldsFollowTheModeAndOnlyOkStores) {
  store_proxy(ProxyMode::automatic, "host:8080");
  settings().proxy.user_name = String("anne");
  settings().web_when_pda_sync = YesNo::unknown;
  {
    // Cancel after edits changes nothing.
    auto dialog = open();
    EXPECT_FALSE(field<QLineEdit>(*dialog, "proxy_address")->isEnabled());
    QTest::mouseClick(field<QRadioButton>(*dialog, "proxy_given"), Qt::LeftButton);
    EXPECT_TRUE(field<QLineEdit>(*dialog, "proxy_address")->isEnabled());
    EXPECT_TRUE(field<QLineEdit>(*dialog, "proxy_user")->isEnabled());
    type(*dialog, "proxy_user", "bert");
    QTest::mouseClick(field<QRadioButton>(*dialog, "sync_automatic"), Qt::LeftButton);
    dialog->reject();
    EXPECT_EQ(settings().proxy.mode, ProxyMode::automatic);
    EXPECT_EQ(settings().proxy.user_name.to_utf8(), "anne");
    EXPECT_EQ(settings().web_when_pda_sync, YesNo::unknown);
  }
  {
    // "unknown" shows as manual and survives an OK without a pick.
    auto dialog = open();
    EXPECT_TRUE(field<QRadioButton>(*dialog, "sync_manual")->isChecked());
    dialog->accept();
    EXPECT_EQ(settings().web_when_pda_sync, YesNo::unknown);
  }
  {
    auto dialog = open();
    QTest::mouseClick(field<QRadioButton>(*dialog, "sync_manual"), Qt::LeftButton);
    QTest::mouseClick(field<QRadioButton>(*dialog, "proxy_none"), Qt::LeftButton);
    dialog->accept();
    EXPECT_EQ(settings().web_when_pda_sync, YesNo::no);
    EXPECT_EQ(settings().proxy.mode, ProxyMode::none);
    EXPECT_EQ(settings().proxy.name.to_utf8(), "host:8080");
  }
}

TEST_F(ConfigurationDialogTest, BusyListLockDisablesOrDefersAndThePasswordIsNeverSaved) {
  store_proxy(ProxyMode::proxy, "host:8080");
  settings().proxy.password = String("secret-word");
  // An update holds the lock while the dialog opens: nothing can be changed.
  ASSERT_TRUE(core_.lock_list(0));
  {
    auto dialog = open();
    EXPECT_FALSE(dialog->editable());
    EXPECT_FALSE(ok(*dialog)->isEnabled());
    for (const char* name : {"sync_automatic", "sync_manual", "proxy_none", "proxy_given"}) {
      EXPECT_FALSE(field<QRadioButton>(*dialog, name)->isEnabled()) << name;
    }
    for (const char* name : {"proxy_address", "proxy_port", "proxy_user"}) {
      EXPECT_FALSE(field<QLineEdit>(*dialog, name)->isEnabled()) << name;
    }
  }
  core_.unlock_list();

  // The lock is free at opening and held again at OK: 10135, still open;
  // once it is free, OK stores and saves.
  auto dialog = open();
  EXPECT_TRUE(dialog->editable());
  type(*dialog, "proxy_port", "3128");
  ASSERT_TRUE(core_.lock_list(0));
  QSignalSpy closed(dialog.get(), &QDialog::finished);
  QTest::mouseClick(ok(*dialog), Qt::LeftButton);
  EXPECT_EQ(messages_, std::vector<int32_t>{strings::configuration_busy});
  EXPECT_EQ(closed.count(), 0);
  EXPECT_EQ(settings().proxy.name.to_utf8(), "host:8080");
  core_.unlock_list();
  QTest::mouseClick(ok(*dialog), Qt::LeftButton);
  EXPECT_EQ(closed.count(), 1);
  EXPECT_EQ(settings().proxy.name.to_utf8(), "host:3128");

  std::string saved = testing::read_bytes(core_.configuration().config_path().to_utf8());
  std::erase(saved, '\0');  // UTF-16: the ASCII letters stay in order
  EXPECT_NE(saved.find("host:3128"), std::string::npos);
  EXPECT_EQ(saved.find("secret-word"), std::string::npos);
}

}  // namespace
}  // namespace wayfetch
