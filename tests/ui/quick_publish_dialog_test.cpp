#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "core/string_table.h"
#include "tests/support/temp_dir.h"
#include "ui/quick_publish_dialog.h"

namespace wayfetch {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

class QuickPublishDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"harbour-walk.html", "harbour.jpg", "marker.gif", "style.css"}) {
      fs::copy_file(std::string(WAYFETCH_SOURCE_DIR) + "/examples/quick-publish/" + name,
                    dir_.file(name));
    }
    dialog_.set_message_hook([this](int32_t id, QMessageBox::Icon) { messages_.push_back(id); });
  }

  // Types the names, presses "&Publizieren >>", waits (bounded) for a
  // publish to end; false when the dialog stayed open.
  bool publish(const std::string& source, const std::string& target) {
    for (auto [name, text] : {std::pair{"source", source}, std::pair{"target", target}}) {
      QLineEdit* edit = dialog_.findChild<QLineEdit*>(name);
      edit->clear();
      QTest::keyClicks(edit, QString::fromStdString(text));
    }
    QSignalSpy closed(&dialog_, &QDialog::finished);
    QTest::mouseClick(dialog_.findChild<QPushButton*>("publish"), Qt::LeftButton);
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (dialog_.publishing() && std::chrono::steady_clock::now() < limit) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return closed.count() > 0;
  }

  TempDir dir_;
  QuickPublishDialog dialog_;
  std::vector<int32_t> messages_;
};

TEST_F(QuickPublishDialogTest, PublishesAGoodPageAndRefusesTheRest) {
  testing::write_bytes(dir_.file("nobody.html"), "<html><p>no body here</p></html>\n");
  testing::write_bytes(dir_.file("book.prc"), "an earlier book");
  struct Case {
    std::string source;
    std::string target;
    int32_t message;  // 0: none
    bool closes;
    std::string book;  // "" : no book expected there
  };
  const Case cases[] = {
      {dir_.file("missing.html"), "", strings::no_valid_file_name, false, ""},
      {dir_.path(), "", strings::no_valid_file_name, false, ""},
      {dir_.file("nobody.html"), dir_.file("book.txt"), strings::page_not_loaded, true, ""},
      {dir_.file("harbour-walk.html"), dir_.file("walk.txt"), 0, true, dir_.file("walk.prc")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    messages_.clear();
    EXPECT_EQ(publish(c.source, c.target), c.closes);
    EXPECT_EQ(messages_, c.message ? std::vector<int32_t>{c.message} : std::vector<int32_t>{});
    if (!c.book.empty()) {
      EXPECT_EQ(dialog_.result(), QDialog::Accepted);
      EXPECT_EQ(dialog_.findChild<QLineEdit*>("target")->text().toStdString(), c.book);
      EXPECT_EQ(testing::read_bytes(c.book).substr(60, 8), "TEXtREAd");
    }
  }
  // The failed page left the earlier book as it was.
  EXPECT_EQ(testing::read_bytes(dir_.file("book.prc")), "an earlier book");
}

TEST_F(QuickPublishDialogTest, NeverReplacesThePageItself) {
  // "page.prc" is a second name of the page: the book would overwrite it.
  testing::write_bytes(dir_.file("page.txt"), "Some text.\n");
  fs::create_symlink(dir_.file("page.txt"), dir_.file("page.prc"));
  EXPECT_FALSE(publish(dir_.file("page.txt"), ""));
  EXPECT_EQ(messages_, std::vector<int32_t>{strings::no_valid_file_name});
  EXPECT_EQ(testing::read_bytes(dir_.file("page.txt")), "Some text.\n");
}

TEST_F(QuickPublishDialogTest, CancelStopsThePublishWithoutAPartialBook) {
  std::string page = "<html><body>";
  for (int i = 0; i < 40000; ++i) page += "<p>Line " + std::to_string(i) + " of a long page.</p>\n";
  page += "</body></html>";
  testing::write_bytes(dir_.file("long.html"), page);
  testing::write_bytes(dir_.file("long.prc"), "an earlier book");

  dialog_.findChild<QLineEdit*>("source")->setText(QString::fromStdString(dir_.file("long.html")));
  QSignalSpy closed(&dialog_, &QDialog::finished);
  QTest::mouseClick(dialog_.findChild<QPushButton*>("publish"), Qt::LeftButton);
  ASSERT_TRUE(dialog_.publishing());
  EXPECT_FALSE(dialog_.findChild<QLineEdit*>("source")->isEnabled());
  dialog_.reject();              // Escape, Cancel and the close button all come here
  EXPECT_EQ(closed.count(), 0);  // not before the publish has stopped
  ASSERT_TRUE(closed.wait(60000));
  EXPECT_EQ(dialog_.result(), QDialog::Rejected);
  EXPECT_EQ(dialog_.outcome().result, PagePublishResult::stopped);
  EXPECT_TRUE(messages_.empty());
  EXPECT_EQ(testing::read_bytes(dir_.file("long.prc")), "an earlier book");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 6);
}

TEST_F(QuickPublishDialogTest, BrowseOffersTheFilters) {
  std::vector<QStringList> offered;
  dialog_.set_browse_hook([&](bool source, const QStringList& filters) {
    offered.push_back(filters);
    return source ? QStringLiteral("/pages/a.html") : QString();
  });
  QTest::mouseClick(dialog_.findChild<QToolButton*>("browse_source"), Qt::LeftButton);
  QTest::mouseClick(dialog_.findChild<QToolButton*>("browse_target"), Qt::LeftButton);
  ASSERT_EQ(offered.size(), 2u);
  EXPECT_EQ(offered[0],
            (QStringList{"Text Files (*.TXT)", "HTML Files (*.htm *.html)", "All Files (*.*)"}));
  EXPECT_EQ(offered[1], (QStringList{"PRC Files (*.prc *.pdb)", "All Files (*.*)"}));
  EXPECT_EQ(dialog_.findChild<QLineEdit*>("source")->text(), "/pages/a.html");
  EXPECT_TRUE(dialog_.findChild<QLineEdit*>("target")->text().isEmpty());
}

}  // namespace
}  // namespace wayfetch
