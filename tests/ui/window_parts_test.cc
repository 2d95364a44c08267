// The window's parts that need no core: the icon animation, the addresses,
// the icons and the fixed texts.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QIcon>
#include <QLocale>
#include <QPixmap>
#include <QStringList>

#include "platform/settings_store_fake.h"
#include "tests/ui/qt_app.h"
#include "ui/main_window.h"
#include "ui/tray_animation.h"
#include "ui/web_addresses.h"

namespace wayfetch {
namespace {

TEST(TrayAnimationTest, FramesTurnWhileRunningAndTheNormalIconComesBack) {
  struct Expected {
    bool running;
    int32_t icon;
    bool change;
  };
  // Starts with the normal icon, turns 0-3 and round, and returns to the
  // normal icon once; Update now is greyed exactly while running.
  const Expected steps[] = {{false, -1, true}, {false, -1, false}, {true, 0, true},
                            {true, 1, true},   {true, 2, true},    {true, 3, true},
                            {true, 0, true},   {false, -1, true},  {false, -1, false},
                            {true, 0, true}};
  TrayAnimation animation;
  int at = 0;
  for (const Expected& expected : steps) {
    const TrayAnimation::Step step = animation.step(expected.running);
    EXPECT_EQ(step.icon, expected.icon) << "step " << at;
    EXPECT_EQ(step.change, expected.change) << "step " << at;
    EXPECT_EQ(step.update_now_enabled, !expected.running) << "step " << at;
    ++at;
  }
}

TEST(WebAddressesTest, StoredValuesOverrideDefaultsAndOnlyWebAddressesPass) {
  platform::MemorySettingsStore store;
  EXPECT_EQ(web_address(store, WebPage::find_enews), "https://wayfetch.example.org/enews/");
  ASSERT_TRUE(store.write_value(addresses_key, "Support", "http://help.example.net/").ok());
  ASSERT_TRUE(store.write_value(addresses_key, "Home page", "").ok());
  EXPECT_EQ(web_address(store, WebPage::support), "http://help.example.net/");
  EXPECT_EQ(web_address(store, WebPage::home), "https://wayfetch.example.org/");

  const std::pair<const char*, bool> addresses[] = {
      {"https://x.example/", true},   {"HTTP://x.example", true}, {"http://", false},
      {"file:///etc/passwd", false},  {"-help", false},           {"/usr/bin/xterm", false},
      {"javascript:alert(1)", false}, {"http://a\nb", false},     {"", false}};
  for (const auto& [address, allowed] : addresses) {
    EXPECT_EQ(is_web_address(address), allowed) << address;
  }
}

TEST(WindowPartsTest, IconsLoadAndFixedTextsAreAsDelivered) {
  testing::qt_app();
  MainWindow::load_resources();
  for (const char* name : {"wayfetch", "busy1", "busy2", "busy3", "busy4", "enews", "item",
                           "oneshot", "update", "stop", "find_enews", "find_ebooks", "publish"}) {
    const QPixmap picture = QIcon(QString(":/wayfetch/icons/%1.svg").arg(name)).pixmap(32, 32);
    EXPECT_FALSE(picture.isNull()) << name;
  }
  EXPECT_EQ(MainWindow::about_text(), "Wayfetch Version 3.2\nBuild 3251");
  EXPECT_EQ(MainWindow::synchronisation_text(std::nullopt), "");
  // 2001-03-08 14:05:30 UTC, shown in local time without its seconds.
  const QDateTime local = QDateTime::fromSecsSinceEpoch(984060330).toLocalTime();
  const QString shown = MainWindow::synchronisation_text(Timestamp::from_unix(984060330));
  EXPECT_TRUE(shown.startsWith(QLocale().toString(local.date(), QLocale::LongFormat)))
      << shown.toStdString();
  EXPECT_FALSE(shown.contains(":30")) << shown.toStdString();
  EXPECT_TRUE(shown.contains(QString::number(local.time().minute()).rightJustified(2, '0')));
}

}  // namespace
}  // namespace wayfetch
