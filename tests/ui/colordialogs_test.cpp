// The Define Color window for its four kinds (sliders live or on release,
// the colour picker, Restore Default, Load and Save, Cancel putting
// everything back) and the Memory Color window (Load, Clear, Set from Hue
// Handle, Save, OK and Cancel).
#include <gtest/gtest.h>

#include <QColorDialog>
#include <QLineEdit>
#include <QSlider>

#include "correct/definitions.h"
#include "correct/memorycolours.h"
#include "dialogs_test_support.h"

namespace {

class ColorDialogsTest : public DialogsFixture {
 protected:
  void SetUp() override {
    DialogsFixture::SetUp();
    InitTavelinPars(&pars_);
    context_.pars = &pars_;
    context_.changed = [this] {
      ++changed_;
      return kOk;
    };
    context_.cancelled = [this] {
      ++cancelled_;
      return kOk;
    };
  }
  // A slider dragged to position p (pressed, moved, released), as QSlider itself does it.
  static void Drag(QWidget* d, int item, int p, const std::function<void()>& whileHeld = {}) {
    auto* slider = ItemAs<QSlider>(d, item);
    ASSERT_NE(slider, nullptr);
    slider->setSliderDown(true);
    slider->setSliderPosition(p);
    if (whileHeld) whileHeld();
    slider->setSliderDown(false);
  }
  static std::vector<int> Positions(QWidget* d) {
    std::vector<int> out;
    for (int item = 4; item <= 6; ++item) out.push_back(ItemAs<QSlider>(d, item)->value());
    return out;
  }

  TavelinPars pars_{};
  DefineColorContext context_;
  int changed_ = 0, cancelled_ = 0;
};

TEST_F(ColorDialogsTest, SepiaRestoreDefaultSaveAndCancel) {
  const float gray[3] = {0.5f, 0.5f, 0.5f};
  std::copy(gray, gray + 3, AppPrefs().sepia);
  const std::string file = FreshDir("definitions") + "warm.txt";
  host().files = {{file}};
  AnswerNextModal([&](QWidget* d) {
    EXPECT_EQ(d->windowTitle(), "Sepia Tone");
    EXPECT_EQ(Positions(d), (std::vector<int>{0, 0, 0}));
    Click(d, 12);  // Restore Default
    EXPECT_EQ(Positions(d), (std::vector<int>{25, 0, -20}));
    EXPECT_EQ(TextOf(d, 7) + " " + TextOf(d, 8) + " " + TextOf(d, 9), "+25 0 -20");
    EXPECT_FLOAT_EQ(AppPrefs().sepia[0], 0.625f);  // stored at once
    Click(d, 14);  // Save...
    Shot(d, "define_color_sepia");
    Click(d, 2);
  });
  EXPECT_EQ(ShowDefineColor(nullptr, kDefinitionSepia, context_), kCancelled);
  EXPECT_EQ(ReadFileText(file), "25 0 -20\n");
  const auto saves = host().Of(ScriptedHost::Kind::SaveFile);
  ASSERT_EQ(saves.size(), 1u);
  EXPECT_EQ(saves[0].text, "Save Sepia Tone as:");
  EXPECT_EQ(saves[0].detail, "MySepiaTone");
  EXPECT_EQ(changed_, 1);
  EXPECT_EQ(cancelled_, 1);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(AppPrefs().sepia[c], 0.5f);  // Cancel put it back
}

TEST_F(ColorDialogsTest, ToningFollowsTheDragAndLoadsFiles) {
  const std::string folder = FreshDir("toning");
  WriteFileText(folder + "bad.txt", "101 0 0\n");
  WriteFileText(folder + "cold.txt", "-100 0 100\n");
  host().files = {{folder + "bad.txt"}, {folder + "cold.txt"}};
  AppPrefs().liveSliders = 1;
  AnswerNextModal([&](QWidget* d) {
    EXPECT_EQ(d->windowTitle(), "Toning Color");
    // Live: the colour follows the drag; the release is the committed change.
    Drag(d, 4, 40, [&] {
      EXPECT_FLOAT_EQ(pars_.toneColor[0], 0.7f);
      EXPECT_EQ(changed_, 0);
    });
    EXPECT_EQ(changed_, 1);
    Click(d, 13);  // Load...: refused, nothing changes
    EXPECT_FLOAT_EQ(pars_.toneColor[0], 0.7f);
    Click(d, 13);
    EXPECT_EQ(Positions(d), (std::vector<int>{-100, 0, 100}));
    Shot(d, "define_color_toning");
    Click(d, 1);
  });
  ASSERT_EQ(ShowDefineColor(nullptr, kDefinitionToning, context_), kOk);
  EXPECT_EQ(pars_.toneColor[0], 0.0f);
  EXPECT_EQ(pars_.toneColor[1], 0.5f);
  EXPECT_EQ(pars_.toneColor[2], 1.0f);
  EXPECT_EQ(changed_, 2);
  EXPECT_EQ(Alerts().size(), 1u);

  // Without Live Sliders nothing changes until the slider is let go; Cancel
  // puts the record back.
  AppPrefs().liveSliders = 0;
  changed_ = 0;
  AnswerNextModal([&](QWidget* d) {
    Drag(d, 5, -50, [&] { EXPECT_EQ(pars_.toneColor[1], 0.5f); });
    EXPECT_FLOAT_EQ(pars_.toneColor[1], 0.25f);
    EXPECT_EQ(changed_, 1);
    Click(d, 2);
  });
  EXPECT_EQ(ShowDefineColor(nullptr, kDefinitionToning, context_), kCancelled);
  EXPECT_EQ(pars_.toneColor[1], 0.5f);
  EXPECT_EQ(pars_.toneColor[0], 0.0f);
}

TEST_F(ColorDialogsTest, NeutralRefitsTheBalanceAndCancelRestoresIt) {
  AnswerNextModal([&](QWidget* d) {
    EXPECT_EQ(d->windowTitle(), "Neutral Preferences");
    for (int i = 0; i < 3; ++i) QTest::keyClick(ItemOf(d, 4), Qt::Key_PageUp);  // toward red
    EXPECT_GT(AppPrefs().neutral[0], 0.5f);
    EXPECT_GT(pars_.neutralPref.chroma, 0.0f);
    EXPECT_EQ(changed_, 3);
    Shot(d, "define_color_neutral");
    Click(d, 2);
  });
  EXPECT_EQ(ShowDefineColor(nullptr, kDefinitionNeutral, context_), kCancelled);
  EXPECT_EQ(AppPrefs().neutral[0], 0.5f);
  EXPECT_EQ(pars_.neutralPref.chroma, 0.0f);
  EXPECT_EQ(pars_.balanceValid, 1);  // refitted

  // A neutral of (0.5, 0.5, 0.5) is the plain gray target.
  const float gray[3] = {0.5f, 0.5f, 0.5f};
  pars_.neutralPref.chroma = 12.0f;
  ASSERT_EQ(SetDefinition(context_, kDefinitionNeutral, gray), kOk);
  EXPECT_EQ(pars_.neutralPref.chroma, 0.0f);
  EXPECT_EQ(pars_.neutralPref.hue, 0.0f);
  // The toning colour needs a record.
  DefineColorContext none;
  EXPECT_EQ(SetDefinition(none, kDefinitionToning, gray), kBadArg);
}

TEST_F(ColorDialogsTest, GrayscaleFromTheColorPicker) {
  AnswerNextModal([&](QWidget* d) {
    EXPECT_EQ(d->windowTitle(), "Grayscale");
    AnswerNextModalOf<QColorDialog>([](QColorDialog* picker) {
      picker->setCurrentColor(QColor(255, 128, 0));
      picker->accept();
    });
    Click(d, 11);
    EXPECT_EQ(Positions(d), (std::vector<int>{100, 0, -100}));
    Shot(d, "define_color_grayscale");
    Click(d, 1);
  });
  ASSERT_EQ(ShowDefineColor(nullptr, kDefinitionGrayscale, context_), kOk);
  EXPECT_FLOAT_EQ(AppPrefs().grayscale[0], 1.0f);
  EXPECT_NEAR(AppPrefs().grayscale[1], 128.0f / 255.0f, 1e-6);
  EXPECT_FLOAT_EQ(AppPrefs().grayscale[2], 0.0f);
  EXPECT_EQ(changed_, 1);
}

// ---- Memory Color ------------------------------------------------------------------

TEST_F(ColorDialogsTest, MemoryColorLoadRenameAndOk) {
  const std::string file = FreshDir("memory") + "skin.txt";
  WriteFileText(file, "1  32  45  0.0 Skin\nS\n");
  host().files = {{file}};
  MemoryColorContext ctx;  // no samples marked
  AnswerNextModal([&](QWidget* d) {
    EXPECT_EQ(d->windowTitle(), "Memory Color");
    EXPECT_EQ(TextOf(d, 11), "Undefined (Set or Load)");
    EXPECT_FALSE(ItemOf(d, 10)->isEnabled());  // nothing to save
    EXPECT_FALSE(ItemOf(d, 7)->isEnabled());   // no samples
    Shot(d, "memory_color_undefined");
    Click(d, 9);
    EXPECT_EQ(TextOf(d, 5), "Skin");
    EXPECT_EQ(TextOf(d, 6), "S");
    EXPECT_EQ(TextOf(d, 11), "Chroma 32, Hue 45\u00B0, Hue Slope 0.0");
    EXPECT_TRUE(ItemOf(d, 10)->isEnabled());
    auto* label = ItemAs<QLineEdit>(d, 6);
    label->selectAll();
    QTest::keyClicks(label, "K");
    Shot(d, "memory_color");
    Click(d, 1);
  });
  ASSERT_EQ(ShowMemoryColor(nullptr, 3, ctx), kOk);
  const MemoryColour& slot = AppPrefs().memoryColours[3];
  EXPECT_EQ(slot.defined, 1);
  EXPECT_EQ(slot.chroma, 32.0f);
  EXPECT_EQ(slot.hue, 45.0f);
  EXPECT_STREQ(slot.name, "Skin");
  EXPECT_STREQ(slot.label, "K");
}

TEST_F(ColorDialogsTest, MemoryColorClearAsksAndCancelKeepsTheSlot) {
  host().answers = {0};
  MemoryColorContext ctx;
  AnswerNextModal([&](QWidget* d) {
    Click(d, 8);
    EXPECT_EQ(TextOf(d, 5), "");
    EXPECT_EQ(TextOf(d, 11), "Undefined (Set or Load)");
    Click(d, 2);
  });
  EXPECT_EQ(ShowMemoryColor(nullptr, 0, ctx), kCancelled);
  const auto questions = host().Of(ScriptedHost::Kind::Question);
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].text, "Are you sure you want to remove this memory color?");
  EXPECT_STREQ(AppPrefs().memoryColours[0].name, "Skin");
  EXPECT_EQ(AppPrefs().memoryColours[0].defined, 1);
}

TEST_F(ColorDialogsTest, MemoryColorFromTheHueHandleIsSaved) {
  // Brick-red samples at several lightnesses on the first handle.
  for (float l : {0.3f, 0.45f, 0.6f, 0.75f}) {
    const float rgb[3] = {l + 0.15f, l - 0.05f, l - 0.12f};
    ASSERT_EQ(AddSample(pars_.hue[0].hueBin, rgb), kOk);
  }
  MemoryColorContext ctx{&pars_, pars_.hue[0].handleId, true};
  const std::string file = FreshDir("memory-save") + "brick.txt";
  host().files = {{file}};
  AnswerNextModal([&](QWidget* d) {
    EXPECT_TRUE(ItemOf(d, 7)->isEnabled());
    Click(d, 7);
    auto* name = ItemAs<QLineEdit>(d, 5);
    name->selectAll();
    QTest::keyClicks(name, "Brick");
    auto* label = ItemAs<QLineEdit>(d, 6);
    label->selectAll();
    QTest::keyClicks(label, "R");
    Click(d, 10);
    Shot(d, "memory_color_from_handle");
    Click(d, 1);
  });
  ASSERT_EQ(ShowMemoryColor(nullptr, 4, ctx), kOk);
  const MemoryColour& slot = AppPrefs().memoryColours[4];
  EXPECT_EQ(slot.defined, 1);
  EXPECT_GT(slot.chroma, 0.0f);
  EXPECT_STREQ(slot.name, "Brick");
  MemoryColour read{};
  ASSERT_EQ(ReadMemoryColourFile(file, &read), kOk);
  EXPECT_STREQ(read.name, "Brick");
  EXPECT_STREQ(read.label, "R");
  EXPECT_NEAR(read.hue, slot.hue, 0.5f);
  const auto saves = host().Of(ScriptedHost::Kind::SaveFile);
  ASSERT_EQ(saves.size(), 1u);
  EXPECT_EQ(saves[0].text, "Save Brick as:");
}

}  // namespace
