// The help window: "Don't Show Again" on the start-up guide only, a missing
// topic without a window, the built-in guide's buttons, the window grown to its topic
// (and held to the screen), and every topic of the built-in text on screen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <QScrollArea>

#include "dialogs_test_support.h"
#include "ui/helppictures.h"

namespace {

class HelpWindowTest : public DialogsFixture {
 protected:
  // The text area's height for topic 2000 of a help file.
  int AreaHeight(const std::string& text) {
    const std::string path = ScratchDir() + "area-help.txt";
    WriteFileText(path, text);
    int height = -1;
    AnswerNextModal([&](QWidget* d) {
      height = ItemOf(d, 3)->height();
      Click(d, 1);
    });
    EXPECT_EQ(ShowHelpTopic(2000, path), kOk);
    return height;
  }
};

TEST_F(HelpWindowTest, OnlyTheStartUpGuideOffersDontShowAgain) {
  AnswerNextModal([](QWidget* d) {
    EXPECT_FALSE(ItemOf(d, 6)->isVisible());
    Click(d, 1);
  });
  ASSERT_EQ(ShowHelpTopic(2000), kOk);
  EXPECT_EQ(AppPrefs().showStartUpGuide, 1);

  AnswerNextModal([](QWidget* d) {
    EXPECT_TRUE(ItemOf(d, 6)->isVisible());
    EXPECT_FALSE(Checked(d, 6));
    Click(d, 6);
    Click(d, 1);
  });
  ASSERT_EQ(ShowHelpTopic(2007), kOk);
  EXPECT_EQ(AppPrefs().showStartUpGuide, 0);

  // It shows the inverse of the preference; closing by Escape keeps the box.
  AnswerNextModal([](QWidget* d) {
    EXPECT_TRUE(Checked(d, 6));
    Click(d, 6);
    QTest::keyClick(d, Qt::Key_Escape);
  });
  ASSERT_EQ(ShowHelpTopic(2007), kOk);
  EXPECT_EQ(AppPrefs().showStartUpGuide, 1);
}

TEST_F(HelpWindowTest, AMissingTopicOpensNoWindow) {
  bool opened = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (QWidget* w = QApplication::activeModalWidget()) {
      opened = true;
      w->close();
    }
  });
  watch.start(5);
  const std::string path = ScratchDir() + "short-help.txt";
  WriteFileText(path, "#2000 Overview\n?\nOnly this.\n*\n##\n");
  EXPECT_EQ(ShowHelpTopic(2007, path), kFormatErr);
  EXPECT_EQ(ShowHelpTopic(2000, ScratchDir() + "no-help-here"), kOpenErr);
  watch.stop();
  EXPECT_FALSE(opened);
  ASSERT_EQ(Alerts().size(), 1u);  // the missing file, not the missing topic
  EXPECT_NE(Alerts()[0].find("opening file"), std::string::npos);
}

TEST_F(HelpWindowTest, TheLastParagraphBeforeTheNextTopicIsShownWhole) {
  const int closed = AreaHeight("#2000 A\n?\nOne.\n*\n?\nTwo, a little longer.\n*\n#2001 B\n?\nx\n*\n##\n");
  const int cut = AreaHeight("#2000 A\n?\nOne.\n*\n?\nTwo, a little longer.\n#2001 B\n?\nx\n*\n##\n");
  const int shorter = AreaHeight("#2000 A\n?\nOne.\n*\n#2001 B\n?\nx\n*\n##\n");
  EXPECT_EQ(cut, closed);
  EXPECT_GT(cut, shorter);
}

TEST_F(HelpWindowTest, TheGuideButtonsOpenTheBuiltInGuide) {
  // From the start-up guide: "User Guide" shows the guide's front page and
  // "FAQ" the questions, each in a help window on top of it.
  std::vector<std::string> shown;
  AnswerNextModal([&](QWidget* d) {
    EXPECT_EQ(TextOf(d, 4), "User Guide");
    AnswerNextModal([&](QWidget* inner) {
      shown.push_back(TextOf(inner, 2));
      EXPECT_FALSE(ItemOf(inner, 4)->isEnabled());  // the front page is its own guide page
      Click(inner, 1);
    });
    Click(d, 4);
    AnswerNextModal([&](QWidget* inner) {
      shown.push_back(TextOf(inner, 2));
      EXPECT_FALSE(ItemOf(inner, 5)->isEnabled());
      EXPECT_TRUE(ItemOf(inner, 4)->isEnabled());
      Click(inner, 1);
    });
    Click(d, 5);
    Click(d, 1);
  });
  ASSERT_EQ(ShowHelpTopic(2007), kOk);
  EXPECT_EQ(shown, (std::vector<std::string>{"Brennic Tavelin Marvet User Guide", "Frequently Asked Questions"}));
  EXPECT_EQ(HelpGuideTopic(2012), HelpGuideTopic(2010));  // one page for the colour definitions
  EXPECT_EQ(HelpGuideTopic(2001), 2001);
  EXPECT_EQ(HelpGuideTopic(2007), 2000);
}

TEST_F(HelpWindowTest, ALongTopicStaysOnTheScreen) {
  std::string text = "#2000 Long\n";
  for (int i = 0; i < 150; ++i) text += "?\nParagraph " + std::to_string(i) + " of a topic longer than any screen.\n*\n";
  const std::string path = ScratchDir() + "long-help.txt";
  WriteFileText(path, text + "##\n");
  AnswerNextModal([](QWidget* d) {
    const QRect screen = d->screen()->availableGeometry();
    EXPECT_LE(d->frameGeometry().height(), screen.height());
    EXPECT_NE(d->findChild<QScrollArea*>(), nullptr);
    QRect ok, area;
    Ui_Dlg_GetItemBounds(d, 1, &ok);
    EXPECT_LE(ok.bottom(), d->height());
    Click(d, 1);
  });
  EXPECT_EQ(ShowHelpTopic(2000, path), kOk);
}

// Every topic of the built-in text, for the screenshots; their pictures exist
// and the window is grown around them.
TEST_F(HelpWindowTest, EveryBuiltInTopic) {
  for (int topic : kHelpTopics) {
    HelpTopic parsed;
    ASSERT_EQ(LoadHelpTopic(helpPath, topic, &parsed), kOk);
    int widest = 0;
    for (const HelpParagraph& p : parsed.paragraphs) {
      if (!p.picture) continue;
      QImage picture;
      EXPECT_TRUE(Ui_HelpPicture(p.pictureId, &picture)) << topic << " picture " << p.pictureId;
      widest = std::max(widest, picture.width());
    }
    AnswerNextModal([&](QWidget* d) {
      EXPECT_EQ(TextOf(d, 2), parsed.title);
      EXPECT_GE(ItemOf(d, 3)->width(), widest);
      QRect area, ok;
      Ui_Dlg_GetItemBounds(d, 3, &area);
      Ui_Dlg_GetItemBounds(d, 1, &ok);
      if (!d->findChild<QScrollArea*>()) {
        EXPECT_GT(ok.top(), area.bottom());
      }
      Shot(d, "help_" + std::to_string(topic));
      Click(d, 1);
    });
    EXPECT_EQ(ShowHelpTopic(topic), kOk) << topic;
  }
}

}  // namespace
