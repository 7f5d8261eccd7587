// The editing window driven as a user would, with QTest events on the
// offscreen platform: images added through the file chooser and by dropping,
// a neutral clicked, every slider moved, tabs and the expanded panel, Undo,
// Brivio, Prev, the Sharpen/Remove Noise set-up, Apply and advance, Sync,
// Save with the Save Image preferences, the close box; and the record, the
// screen pixels and the files written checked after each step.
//
// Each test runs StartUp in fresh preferences and temporary folders with the
// Qt host, opens the window on a new editing context and ends with FinishUp.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSlider>
#include <QTabBar>
#include <QTest>
#include <QUrl>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "dialogs_test_support.h"
#include "imagefile/ras.h"
#include "prefs/prefs.h"
#include "session/batchline.h"
#include "session/editcontext.h"
#include "session/jobfile.h"
#include "session/startup.h"
#include "ui/dlg.h"
#include "ui/editor.h"
#include "ui/editwindow.h"
#include "ui/editwindow_internal.h"
#include "ui/levelscontrol.h"
#include "ui/qthost.h"
#include "ui/sharpensetup.h"

namespace {

using namespace editwin;

// An 8-bit RGB TIFF whose samples come from fn(x, y, c).
void WriteImage(const std::string& path, uint32_t w, uint32_t h, const std::function<int(int, int, int)>& fn) {
  RasImage out;
  ASSERT_EQ(rasInit(out, kRasTiff, w, h, 3, kRasRGB, 72), 0);
  ASSERT_EQ(RasOpen(path, 'w', out), 0);
  RasScanline sl;
  ASSERT_EQ(RasMakeSl(sl, out), 0);
  for (uint32_t y = 0; y < h; ++y) {
    for (int c = 0; c < 3; ++c)
      for (uint32_t x = 0; x < w; ++x) sl.plane8[c][x] = (uint8_t)std::clamp(fn((int)x, (int)y, c), 0, 255);
    ASSERT_EQ(RasWriteSl(out, y, sl), 0);
  }
  ASSERT_EQ(RasClose(out), 0);
}

// A 16-bit RGB TIFF: a dark gradient (linear data: the median far below 18 %).
void WriteImage16(const std::string& path, uint32_t w, uint32_t h) {
  RasImage out;
  ASSERT_EQ(rasInit(out, kRasTiff16, w, h, 3, kRasRGB, 72), 0);
  ASSERT_EQ(RasOpen(path, 'w', out), 0);
  RasScanline sl;
  ASSERT_EQ(RasMakeSl(sl, out), 0);
  for (uint32_t y = 0; y < h; ++y) {
    for (int c = 0; c < 3; ++c)
      for (uint32_t x = 0; x < w; ++x) sl.plane16[c][x] = (uint16_t)((x * 12000u) / w + c * 900u + y * 40u);
    ASSERT_EQ(RasWriteSl(out, y, sl), 0);
  }
  ASSERT_EQ(RasClose(out), 0);
}

// Left half: a flat warm gray (150, 130, 110); right half: a neutral gray
// band at the top, then hues across, lightness down.
int CastPixel(int x, int y, int c) {
  if (x < 120) return c == 0 ? 150 : c == 1 ? 130 : 110;
  if (y < 12) return 100;
  const double h = (x - 120) / 120.0 * 6.0;
  const int sextant = (int)h % 6;
  const double f = h - (int)h;
  const double rgb[6][3] = {{1, f, 0}, {1 - f, 1, 0}, {0, 1, f}, {0, 1 - f, 1}, {f, 0, 1}, {1, 0, 1 - f}};
  const double l = 0.35 + 0.5 * y / 160.0;
  return (int)(40 + rgb[sextant][c] * 200 * l);
}

int GradientPixel(int x, int y, int c) { return c == 0 ? x * 255 / 199 : c == 1 ? y * 255 / 149 : 90; }

class Env {
 public:
  Env(const char* name, const std::string& value) : name_(name) {
    if (const char* v = std::getenv(name)) old_ = v, had_ = true;
    ::setenv(name, value.c_str(), 1);
  }
  ~Env() {
    if (had_) ::setenv(name_.c_str(), old_.c_str(), 1);
    else ::unsetenv(name_.c_str());
  }

 private:
  std::string name_, old_;
  bool had_ = false;
};

class EditWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = FreshDir(std::string("window-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    for (const char* d : {"config", "tmp", "img", "out"}) std::filesystem::create_directories(root_ + d);
    config_ = std::make_unique<Env>("XDG_CONFIG_HOME", root_ + "config");
    tmp_ = std::make_unique<Env>("TMPDIR", root_ + "tmp");
    host_.nativeDialogs = false;
    previousHost_ = Ui_SetHost(&host_);
    ASSERT_EQ(StartUp(StartUpOptions{}, &app_), 0);
    Prefs& p = AppPrefs();
    p.showStartUpGuide = 0;
    p.showAddPrefs = 0;
    p.showSavePrefs = 0;
    p.showSyncPrefs = 0;
    p.liveSliders = 1;
    p.brivioMode = 0;
    p.addFolder = root_ + "img/";
    WriteImage(Img("cast.tif"), 240, 160, CastPixel);
    WriteImage(Img("second.tif"), 200, 150, GradientPixel);
    ctx_ = std::make_unique<EditContext>();
    ASSERT_EQ(InitEditContext(ctx_.get(), &app_), 0);
  }
  void TearDown() override {
    if (dlg_) Ui_Dlg_Close(dlg_);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ctx_.reset();
    FinishUp(&app_);
    Ui_SetHost(previousHost_);
    tmp_.reset();
    config_.reset();
  }

  // Opens the window at a fixed size and runs its start-up steps.
  void OpenWindow(const EditWindowOptions& extra = {}) {
    EditWindowOptions o = extra;
    o.startOnFirstPaint = false;
    QWidget* w = nullptr;
    ASSERT_EQ(OpenEditWindow(ctx_.get(), o, &w), 0);
    dlg_ = w;
    dlg_->resize(1180, 800);
    QApplication::processEvents();
    ASSERT_EQ(EditWindowStart(dlg_), 0);
  }

  std::string Img(const std::string& leaf) const { return root_ + "img/" + leaf; }
  Editor& editor() { return *EditWindowEditor(dlg_); }
  TavelinPars& pars() { return ctx_->pars; }

  void Drop(const std::vector<std::string>& paths) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const std::string& p : paths) urls << QUrl::fromLocalFile(QString::fromStdString(p));
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(60, 60), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(dlg_, &enter);
    QDropEvent drop(QPointF(60, 60), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(dlg_, &drop);
  }

  // A click on display pixel (x, y) of the image view.
  void ClickImage(int x, int y, Qt::KeyboardModifiers mods = {}) {
    int vx = 0, vy = 0;
    editor().Geometry().ImageToView(x, y, &vx, &vy);
    QTest::mouseClick(ItemOf(dlg_, kView), Qt::LeftButton, mods, QPoint(vx, vy));
  }
  // The screen map's pixel at display pixel (x, y).
  std::array<int, 3> Screen(int x, int y) {
    const uint8_t* p = ctx_->drawMap.get() + (size_t)y * ctx_->drawRowBytes + 3 * x;
    return {p[0], p[1], p[2]};
  }
  static int Spread(const std::array<int, 3>& c) {
    return std::max({c[0], c[1], c[2]}) - std::min({c[0], c[1], c[2]});
  }
  void Key(int item, Qt::Key key) { QTest::keyClick(ItemOf(dlg_, item), key); }
  void ShowTab(int tab) {
    auto* bar = ItemAs<QTabBar>(dlg_, kTabs);
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
  }
  TavelinPars Stored(int index) {
    TavelinPars stored;
    JobEntry e = ctx_->batch.entries[index];
    JobRecordRead r;
    r.pars = &stored;
    EXPECT_EQ(ReadJobRecord(ctx_->batch.files.data, e, r), 0);
    return stored;
  }
  int SampleCount() const {
    int n = 0;
    for (const SampleBin& b : ctx_->pars.balBin) n += b.count;
    return n;
  }

  std::string root_;
  QtHost host_;
  AppSession app_;
  std::unique_ptr<EditContext> ctx_;
  QPointer<QWidget> dlg_;

 private:
  UiHost* previousHost_ = nullptr;
  std::unique_ptr<Env> config_, tmp_;
};

TEST_F(EditWindowTest, AddWithTheChooserMarkANeutralAndUndo) {
  OpenWindow();
  AnswerNextModal([](QWidget* w) {
    auto* name = w->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    name->setText("\"second.tif\" \"cast.tif\"");
    QTest::keyClick(name, Qt::Key_Return);
  });
  Click(dlg_, kAdd);
  ASSERT_EQ(BatchlineCount(ctx_.get()), 2);
  EXPECT_EQ(LeafName(BatchlineImagePath(ctx_.get(), 0)), "cast.tif");  // sorted by name
  ASSERT_TRUE(ctx_->imageOpen);
  EXPECT_EQ(ctx_->loadedIndex, 0);
  EXPECT_EQ(ItemAs<QListWidget>(dlg_, kStrip)->count(), 2);
  EXPECT_EQ(TextOf(dlg_, kRemove), "Remove 1");
  EXPECT_FALSE(ItemOf(dlg_, kSync)->isEnabled());

  // The screen shows the file as it is (the monitor is the working space here).
  const auto before = Screen(60, 80);
  EXPECT_NEAR(before[0], 150, 3);
  EXPECT_NEAR(before[2], 110, 3);

  // A click on the warm gray marks it as neutral: the patch turns gray.
  ClickImage(60, 80);
  EXPECT_GT(SampleCount(), 5000);  // the flood fill takes the flat half (as far as its stack reaches)
  const auto after = Screen(60, 80);
  EXPECT_LE(Spread(after), 6) << after[0] << " " << after[1] << " " << after[2];
  EXPECT_GT(Spread(before), 35);
  ASSERT_TRUE(ItemOf(dlg_, kUndo)->isEnabled());

  // Undo: the samples go, the screen is the file again, Undo is spent.
  Click(dlg_, kUndo);
  EXPECT_EQ(SampleCount(), 0);
  EXPECT_EQ(Screen(60, 80), before);
  EXPECT_FALSE(ItemOf(dlg_, kUndo)->isEnabled());
}

TEST_F(EditWindowTest, EverySliderMovesItsFieldAndReadout) {
  OpenWindow();
  Drop({Img("cast.tif")});
  ASSERT_TRUE(ctx_->imageOpen);

  // Brightness/contrast: five sliders, one page each.
  ShowTab(2);
  EXPECT_EQ(editor().Tab(), 2);
  float* fields[5] = {&pars().brightness, &pars().shadow, &pars().highlight, &pars().contrast, &pars().saturation};
  for (int s = 0; s < 5; ++s) {
    const auto was = Screen(200, 100);
    Key(ToneSliderItem(s), Qt::Key_PageUp);
    EXPECT_FLOAT_EQ(*fields[s], 0.55f) << s;
    EXPECT_EQ(TextOf(dlg_, ToneReadoutItem(s)), "+10") << s;
    if (s == kToneBrightness || s == kToneSaturation) {
      EXPECT_NE(Screen(200, 100), was) << s;
    }
  }

  // Colour balance by sliders: one synthetic sample, readouts of the balance form.
  ShowTab(0);
  Choose(dlg_, kMethod, 1);
  EXPECT_EQ(editor().BalanceMethodNow(), kBalanceSliders);
  EXPECT_TRUE(ItemOf(dlg_, kBalanceSlider)->isVisible());
  for (int s = 0; s < 3; ++s) {
    Key(kBalanceSlider + s, Qt::Key_PageDown);
    EXPECT_EQ(TextOf(dlg_, kBalanceReadout + s), "-10");
  }
  EXPECT_EQ(SampleCount(), 1);

  // The hue tab: a mark on the colours, then the active handle's sliders.
  ShowTab(3);
  EXPECT_FALSE(ItemOf(dlg_, kMemory)->isEnabled());
  ClickImage(130, 80);  // red at the start of the sweep
  ASSERT_TRUE(editor().ActiveHandleMarked());
  EXPECT_TRUE(ItemOf(dlg_, kMemory)->isEnabled());
  const int active = editor().ActiveHandleIndex();
  Key(kHueSlider, Qt::Key_PageUp);
  Key(kHueSlider + 3, Qt::Key_PageDown);
  EXPECT_FLOAT_EQ(pars().hue[active].brightness, 0.55f);
  EXPECT_FLOAT_EQ(pars().hue[active].saturation, 0.45f);
  EXPECT_EQ(TextOf(dlg_, kHueReadout + 3), "-10");
  // A memory colour (slot 0, "Skin") moves the marked handle.
  const HueEntry handle = pars().hue[active];
  Click(dlg_, kMemory);
  const HueEntry& moved = pars().hue[editor().ActiveHandleIndex()];
  EXPECT_TRUE(moved.baseHue != handle.baseHue || moved.hueShift != handle.hueShift);
  // Sepia: the sepia definition becomes the toning colour; unchecking Toning takes it away.
  Click(dlg_, kSepia);
  EXPECT_FLOAT_EQ(pars().toneColor[0], AppPrefs().sepia[0]);
  EXPECT_TRUE(Checked(dlg_, kToning));
  Click(dlg_, kToning);
  EXPECT_FLOAT_EQ(pars().toneColor[0], 0.5f);
  EXPECT_FALSE(Checked(dlg_, kToning));

  // A click on gray there is too neutral for a hue.
  AnswerNextModal([](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text().toStdString(), "The marked color is too neutral to specify a hue.");
    box->accept();
  });
  const TavelinPars kept = pars();
  ClickImage(200, 5);
  EXPECT_EQ(std::memcmp(&kept.hue, &pars().hue, sizeof kept.hue), 0);

  // Undo goes back one edit only, and to its tab.
  ShowTab(1);
  Click(dlg_, kUndo);
  EXPECT_EQ(editor().Tab(), 3);
}

TEST_F(EditWindowTest, SamplePointsReadoutsZoomAndPan) {
  OpenWindow();
  Drop({Img("cast.tif")});
  ASSERT_TRUE(ctx_->imageOpen);
  ClickImage(60, 80, Qt::ShiftModifier);
  ClickImage(200, 80, Qt::ShiftModifier);
  ASSERT_TRUE(editor().Sample(0).set && editor().Sample(1).set);
  std::string b, a;
  ASSERT_EQ(editor().Readout(0, &b, &a), 0);
  EXPECT_EQ(b, "R:150 G:130 B:110");
  EXPECT_EQ(a, b);
  Choose(dlg_, kReadoutModel, 1);
  editor().Readout(0, &b, &a);
  EXPECT_EQ(b, "H: 30 S: 27 B: 59");

  // A third point is refused with the message.
  std::string message;
  AnswerNextModal([&](QWidget* w) {
    message = qobject_cast<QMessageBox*>(w)->text().toStdString();
    qobject_cast<QMessageBox*>(w)->accept();
  });
  ClickImage(100, 20, Qt::ShiftModifier);
  EXPECT_EQ(message, "Only two color samples can be set. You can Shift/Click on a sample and drag it to a new position.");

  // Alt-click zooms in at the point (twice: the image is then wider than the
  // view), Control-drag pans, Alt-Shift-click zooms out.
  ViewGeometry& g = editor().Geometry();
  ClickImage(180, 120, Qt::AltModifier);
  EXPECT_EQ(g.zoom, 1);
  ClickImage(180, 120, Qt::AltModifier);
  ASSERT_EQ(g.zoom, 2);
  ASSERT_GT(g.imageWidth * g.Scale(), g.viewWidth);
  int32_t ix = 0, iy = 0, vx = 0, vy = 0;
  g.ImageToView(180, 120, &vx, &vy);
  QWidget* view = ItemOf(dlg_, kView);
  QTest::mousePress(view, Qt::LeftButton, Qt::ControlModifier, QPoint(vx, vy));
  QTest::mouseMove(view, QPoint(vx + 40, vy));
  QTest::mouseRelease(view, Qt::LeftButton, Qt::ControlModifier, QPoint(vx + 40, vy));
  ASSERT_TRUE(g.ViewToImage(vx + 40, vy, &ix, &iy));
  EXPECT_EQ(ix, 180);  // the picture moved with the hand
  EXPECT_EQ(iy, 120);
  ClickImage(ix, iy, Qt::AltModifier | Qt::ShiftModifier);
  EXPECT_EQ(g.zoom, 1);
}

TEST_F(EditWindowTest, ExpandedPanelBrivioPrevAndPanelReset) {
  OpenWindow();
  Drop({Img("cast.tif")});
  ASSERT_TRUE(ctx_->imageOpen);
  EXPECT_FALSE(ItemOf(dlg_, kLinear)->isVisible());  // 8-bit image
  EXPECT_EQ(ctx_->previewMask, TOOL_ALL);
  Click(dlg_, kExpand);
  EXPECT_TRUE(editor().Expanded());
  EXPECT_EQ(ctx_->previewMask, TOOL_LINEAR_BALANCE);  // balance tab, expanded: linear and balance only
  EXPECT_EQ(ItemOf(dlg_, kPreviewBox)->parentWidget(), ItemOf(dlg_, kPanel));
  EXPECT_FALSE(ItemOf(dlg_, kMasterBox)->isVisible());
  // Preview off shows the view before this tool.
  ClickImage(60, 80);
  const auto corrected = Screen(60, 80);
  Click(dlg_, kPreview);
  EXPECT_FALSE(editor().Preview());
  EXPECT_NEAR(Screen(60, 80)[0], 150, 3);
  Click(dlg_, kPreview);
  EXPECT_EQ(Screen(60, 80), corrected);
  Click(dlg_, kExpand);
  EXPECT_EQ(ctx_->previewMask, TOOL_ALL);
  EXPECT_EQ(ItemOf(dlg_, kPreviewBox)->parentWidget(), ItemOf(dlg_, kMasterBox)->parentWidget());

  // The master Brivio resets everything and sets what it may.
  Click(dlg_, kBrivio);
  ToolMask m = TOOL_ALL;
  PruneToolMask(&pars(), &m);
  EXPECT_NE(m, 0);
  // Panel Reset on the black/white point tab resets the three points only.
  ShowTab(1);
  pars().blackPoint = 0.1f;
  const float saturation = pars().saturation;
  Click(dlg_, kPanelReset);
  EXPECT_FLOAT_EQ(pars().blackPoint, 0.0f);
  EXPECT_FLOAT_EQ(pars().whitePoint, 1.0f);
  EXPECT_FLOAT_EQ(pars().saturation, saturation);
  // Master Prev copies the previous settings.
  AppPrefs().previous = pars();
  AppPrefs().previous.brightness = 0.7f;
  Click(dlg_, kPrev);
  EXPECT_FLOAT_EQ(pars().brightness, 0.7f);
  // The levels panel's click sets the gray point from the brightness there.
  ResetTavelinPars(&pars(), TOOL_ALL);
  editor().RebuildPreviews();
  ClickImage(60, 80);
  EXPECT_NEAR(pars().grayPoint, (0.299 * 150 + 0.587 * 130 + 0.114 * 110) / 255.0, 0.01);
}

TEST_F(EditWindowTest, ApplyAdvanceSyncAndSaveWithTheSaveImagePreferences) {
  OpenWindow();
  Drop({Img("cast.tif"), Img("second.tif")});
  ASSERT_EQ(BatchlineCount(ctx_.get()), 2);
  ShowTab(2);
  Key(ToneSliderItem(kToneBrightness), Qt::Key_PageUp);
  Key(ToneSliderItem(kToneBrightness), Qt::Key_PageUp);
  EXPECT_FLOAT_EQ(pars().brightness, 0.6f);

  // Apply keeps the settings in the entry and moves to the next image.
  Click(dlg_, kApply);
  EXPECT_EQ(BatchlineCurrent(ctx_.get()), 1);
  EXPECT_EQ(ctx_->loadedIndex, 1);
  EXPECT_FLOAT_EQ(Stored(0).brightness, 0.6f);
  EXPECT_FLOAT_EQ(pars().brightness, 0.5f);  // the second image starts as it was added

  // Both selected: Sync puts the live settings on the other one.
  EditWindowCommand(dlg_, kCmdSelectAll);
  EXPECT_EQ(TextOf(dlg_, kSync), "Sync all");
  ShowTab(2);
  Key(ToneSliderItem(kToneContrast), Qt::Key_PageUp);
  Click(dlg_, kSync);
  const TavelinPars synced = Stored(0);
  EXPECT_FLOAT_EQ(synced.contrast, 0.55f);
  EXPECT_FLOAT_EQ(synced.brightness, 0.5f);

  // Save: the Save Image preferences first (OK), then both files.
  Prefs& p = AppPrefs();
  p.showSavePrefs = 1;
  p.sameFolder = 0;
  p.outputFolder = root_ + "out/";
  p.outputFormat = 1;  // TIFF
  RefreshBatchline(Of(dlg_));
  EXPECT_EQ(TextOf(dlg_, kSave), "Save all...");
  std::string title;
  AnswerNextModalOf<QDialog>([&](QDialog* d) {
    title = d->windowTitle().toStdString();
    Click(d, 1);
  });
  const auto shown = Screen(30, 75);
  Click(dlg_, kSave);
  EXPECT_EQ(title, "Save Image Preferences");
  const std::string out = root_ + "out/second-zV.tif";
  ASSERT_TRUE(std::filesystem::exists(root_ + "out/cast-zV.tif"));
  ASSERT_TRUE(std::filesystem::exists(out));
  // The saved pixels are what the window showed.
  RasImage image;
  ASSERT_EQ(RasQuery(out, image), 0);
  ASSERT_EQ(RasOpen(out, 'r', image), 0);
  RasScanline sl;
  ASSERT_EQ(RasMakeSl(sl, image), 0);
  ASSERT_EQ(RasReadSl(image, 75, sl), 0);
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(sl.plane8[c][30], shown[c], 3) << c;
  RasClose(image);
  // Saved images leave the Batchline (preference 118).
  EXPECT_EQ(BatchlineCount(ctx_.get()), 0);
  EXPECT_FALSE(ctx_->imageOpen);
}

TEST_F(EditWindowTest, SharpenSetupChangesTheStrengthOnOk) {
  OpenWindow();
  Drop({Img("cast.tif")});
  ASSERT_TRUE(ctx_->imageOpen);
  Click(dlg_, kSharpen);
  EXPECT_EQ(pars().sharpenOn, 1);
  bool previewShown = false;
  AnswerNextModalOf<QDialog>([&](QDialog* d) {
    EXPECT_EQ(d->windowTitle().toStdString(), "Sharpen / Remove Noise");
    auto* strength = ItemAs<QSlider>(d, 11);
    ASSERT_NE(strength, nullptr);
    previewShown = strength->isVisible();
    strength->setValue(12);
    Shot(d, "sharpen-setup");
    Click(d, 1);
  });
  Click(dlg_, kSetup);
  EXPECT_TRUE(previewShown);
  EXPECT_EQ(pars().sharpenStrength, 12);
  // Cancel keeps the record.
  AnswerNextModalOf<QDialog>([&](QDialog* d) {
    ItemAs<QSlider>(d, 11)->setValue(3);
    Click(d, 2);
  });
  Click(dlg_, kSetup);
  EXPECT_EQ(pars().sharpenStrength, 12);
}

TEST_F(EditWindowTest, CommandLineFilesEscapeAndTheCloseBox) {
  app_.commandLineFiles = {Img("second.tif"), Img("cast.tif")};
  OpenWindow();
  EXPECT_EQ(BatchlineCount(ctx_.get()), 2);
  EXPECT_TRUE(app_.commandLineFiles.empty());  // consumed by the first Add
  ASSERT_TRUE(ctx_->imageOpen);

  // Escape and Enter do not reach Cancel and Apply.
  QTest::keyClick(dlg_, Qt::Key_Escape);
  QTest::keyClick(dlg_, Qt::Key_Return);
  EXPECT_EQ(BatchlineCurrent(ctx_.get()), 0);

  // The close box with edits asks; Cancel keeps the window, Don't Save closes it.
  ShowTab(2);
  Key(ToneSliderItem(kToneContrast), Qt::Key_PageUp);
  AnswerNextModal([](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text().toStdString(), "Do you want to Apply the changes you made to cast.tif?");
    QTest::keyClick(box, Qt::Key_Escape);
  });
  dlg_->close();
  QApplication::processEvents();
  ASSERT_TRUE(dlg_ && dlg_->isVisible());
  AnswerNextModal([](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    for (QAbstractButton* b : box->buttons())
      if (b->text() == "Don't Save") b->click();
  });
  dlg_->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(!dlg_ || !dlg_->isVisible());
  EXPECT_FALSE(BatchlineJobExists(ctx_->batch.files));  // Exit removes the job files
}

TEST_F(EditWindowTest, ResizingTheWindowResizesTheDisplayImages) {
  OpenWindow();
  Drop({Img("cast.tif")});
  const int32_t before = ctx_->viewWidth;
  dlg_->resize(dlg_->width() + 120, dlg_->height() + 60);
  QTest::qWait(500);  // the resize procedure runs once the size has settled
  EXPECT_EQ(ctx_->viewWidth, before + 120);
  EXPECT_EQ(AppPrefs().imageAreaWidth, ctx_->viewWidth);
  EXPECT_EQ(AppPrefs().imageAreaHeight, ctx_->viewHeight);
  ASSERT_TRUE(ctx_->imageOpen);
  EXPECT_NEAR(Screen(60, 80)[0], 150, 3);
}

TEST_F(EditWindowTest, LevelsHandlesDragAndAltShowsTheClipping) {
  OpenWindow();
  Drop({Img("cast.tif")});
  ASSERT_TRUE(ctx_->imageOpen);
  ShowTab(1);
  QWidget* handles = ItemOf(dlg_, kHandles);
  const QRect r = handles->rect();
  const QPoint white(qRound(LevelsPixel(r, 1.0)), r.height() / 2);
  const QPoint to(qRound(LevelsPixel(r, 0.6)), r.height() / 2);
  // Alt held: while the white point is dragged, the view shows what clips.
  QTest::mousePress(handles, Qt::LeftButton, Qt::AltModifier, white);
  QTest::mouseMove(handles, to);
  EXPECT_EQ(editor().Clip(), kClipHighlights);
  bool binary = true;
  for (int x = 0; x < 240; x += 7)
    for (int c : Screen(x, 100)) binary = binary && (c == 0 || c == 255);
  EXPECT_TRUE(binary);
  QTest::mouseRelease(handles, Qt::LeftButton, Qt::AltModifier, to);
  EXPECT_EQ(editor().Clip(), kClipNone);
  EXPECT_NEAR(pars().whitePoint, 0.6, 0.01);
  EXPECT_EQ(TextOf(dlg_, kLevelsValues), "Black 0   Gray 50   White 60");
  // One Undo takes back the whole drag.
  Click(dlg_, kUndo);
  EXPECT_FLOAT_EQ(pars().whitePoint, 1.0f);
}

TEST_F(EditWindowTest, BrivioStartedImagesGetTheirHueHandlesOnTheHueTab) {
  AppPrefs().colourStartWith = 0;  // Add Image: Brivio
  OpenWindow();
  Drop({Img("cast.tif")});
  ASSERT_TRUE(ctx_->imageOpen);
  ASSERT_TRUE(editor().HuePlacementPending());
  EXPECT_FLOAT_EQ(pars().hue[1].baseHue, 60.0f);
  ShowTab(3);
  EXPECT_FALSE(editor().HuePlacementPending());
  bool moved = false;
  for (int h = 0; h < kHueEntries; ++h) moved = moved || pars().hue[h].baseHue != h * 60.0f;
  EXPECT_TRUE(moved);
}

TEST_F(EditWindowTest, LinearOnlyForSixteenBitImages) {
  WriteImage16(Img("deep.tif"), 160, 100);
  OpenWindow();
  Drop({Img("deep.tif")});
  ASSERT_TRUE(ctx_->imageOpen);
  ASSERT_EQ(ctx_->image0.bytesPerSample, 2);
  EXPECT_TRUE(ItemOf(dlg_, kLinear)->isVisible());
  const auto dark = Screen(80, 50);
  Click(dlg_, kLinear);
  EXPECT_EQ(pars().linear, 1);
  EXPECT_GT(Screen(80, 50)[1], dark[1] + 20);  // linear data brightened by the working-space gamma
  Drop({Img("cast.tif")});
  ShowTab(0);
  Click(dlg_, kApply);  // on to the 8-bit image
  EXPECT_FALSE(ItemOf(dlg_, kLinear)->isVisible());
}

// Screenshots of the window with a photograph, one per tab and one with the
// expanded panel (in $TAVELIN_SCREENSHOTS, else the scratch folder).
TEST_F(EditWindowTest, Screenshots) {
  AppPrefs().showNeutralsSliders = 1;
  OpenWindow();
  const std::string samples = std::string(TAVELIN_TEST_DATA) + "/../../samples/";
  Drop({samples + "evening-glow.jpg", samples + "path-warm.jpg", samples + "dune-cool-flat.jpg"});
  ASSERT_TRUE(ctx_->imageOpen);
  ClickImage(ctx_->image0.width / 3, ctx_->image0.height / 2, Qt::ShiftModifier);
  Click(dlg_, kBrivio);  // the tools at work: every panel shows what Brivio set
  const char* names[4] = {"editwindow-tab1-balance", "editwindow-tab2-levels", "editwindow-tab3-brightness",
                          "editwindow-tab4-hue"};
  for (int t = 0; t < 4; ++t) {
    ShowTab(t);
    if (t == 2) Key(ToneSliderItem(kToneContrast), Qt::Key_PageUp);
    if (t == 3) ClickImage(ctx_->image0.width / 2, ctx_->image0.height / 8);  // the sky for a handle
    QApplication::processEvents();
    Shot(dlg_, names[t]);
  }
  Click(dlg_, kExpand);
  QApplication::processEvents();
  Shot(dlg_, "editwindow-expanded");
}

}  // namespace
