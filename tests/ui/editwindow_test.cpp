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
#include <QFile>
#include <QLocalSocket>
#include <QPalette>
#include <QProcess>
#include <QStyle>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMenu>
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
#include <tuple>

#include "dialogs_test_support.h"
#include "support/scratch.h"
#include "imagefile/ras.h"
#include "prefs/prefs.h"
#include "session/batchline.h"
#include "session/editcontext.h"
#include "session/jobfile.h"
#include "session/startup.h"
#include "base/uistate.h"
#include "transform/tintmesh_eval.h"
#include "ui/dlg.h"
#include "ui/editor.h"
#include "ui/editwindow.h"
#include "ui/editwindow_internal.h"
#include "ui/levelscontrol.h"
#include "ui/qthost.h"
#include "ui/sharpensetup.h"
#include "ui/singleinstance.h"
#include "ui/useritem.h"

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
    app_.prefs = &AppPrefs();
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

  // Alt-click on an image smaller than the view: 100 % (its own size), then
  // 200 %, then back to the fit; the sample points stay on their pixels.
  ViewGeometry& g = editor().Geometry();
  int32_t vx = 0, vy = 0;
  ClickImage(180, 120, Qt::AltModifier);
  EXPECT_EQ(g.zoom, kZoom100);
  ClickImage(180, 120, Qt::AltModifier);
  ASSERT_EQ(g.zoom, kZoom200);
  g.ImageToView(60, 80, &vx, &vy);
  int32_t ix = 0, iy = 0;
  ASSERT_TRUE(g.ViewToImage(vx, vy, &ix, &iy));
  EXPECT_EQ(ix, 60);
  EXPECT_EQ(iy, 80);
  ClickImage(180, 120, Qt::AltModifier);
  EXPECT_EQ(g.zoom, kZoomFit);
}

// A file whose EXIF orientation turns it (orient6.tif: stored 40 x 30, warm
// gray with a blue right half and a red top-left corner, "rotate 90 CW")
// stands upright in the view, at fit and at 100 %; clicks land on the pixel
// shown: a sample reads its colour, a neutral click greys the patch clicked;
// the sharpen set-up's detail is upright as well.
std::array<int, 3> Shown(QWidget* view, int x, int y);

TEST_F(EditWindowTest, TheViewShowsTurnedFilesUprightAndClicksHitThePixelShown) {
  std::filesystem::copy_file(TestData("imagefile/orient6.tif"), Img("turned.tif"));
  OpenWindow();
  Drop({Img("turned.tif")});
  ASSERT_TRUE(ctx_->imageOpen);
  EXPECT_EQ(ctx_->orientation, 6);
  ASSERT_EQ(ctx_->image0.width, 30);
  ASSERT_EQ(ctx_->image0.height, 40);
  EXPECT_FALSE(ctx_->scaled);
  // Upright: the red corner at the top right, the blue half below.
  const std::array<int, 3> red{220, 30, 30}, warm{150, 130, 110}, blue{40, 60, 200};
  for (const auto& [x, y, colour] : {std::tuple{25, 4, red}, std::tuple{4, 4, warm}, std::tuple{15, 30, blue}})
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(Screen(x, y)[c], colour[c], 3) << x << "," << y << " " << c;

  ClickImage(15, 30, Qt::ShiftModifier);
  std::string b, a;
  ASSERT_EQ(editor().Readout(0, &b, &a), 0);
  EXPECT_EQ(b, "R: 40 G: 60 B:200");

  // The sharpen set-up's detail (1:1, centred in its 400 x 320 item) stands upright too.
  Click(dlg_, kSharpen);
  std::array<int, 3> corner{}, below{};
  AnswerNextModalOf<QDialog>([&](QDialog* d) {
    QWidget* detail = ItemOf(d, 4);
    ASSERT_NE(detail, nullptr);
    const int x0 = (detail->width() - 30) / 2, y0 = (detail->height() - 40) / 2;
    corner = Shown(detail, x0 + 25, y0 + 4);
    below = Shown(detail, x0 + 15, y0 + 30);
    Click(d, 2);
  });
  Click(dlg_, kSetup);
  Click(dlg_, kSharpen);
  EXPECT_GT(corner[0], corner[2] + 100);
  EXPECT_GT(below[2], below[0] + 100);

  ClickImage(8, 14);  // the warm gray marked neutral
  EXPECT_LE(Spread(Screen(4, 16)), 6);
  EXPECT_GT(Spread(Screen(15, 30)), 100);

  // 100 %: the file's own pixels, upright too.
  EditWindowCommand(dlg_, kCmdZoom100);
  ViewGeometry& g = editor().Geometry();
  ASSERT_EQ(g.zoom, kZoom100);
  EXPECT_EQ(g.fileWidth, 30);
  EXPECT_EQ(g.fileHeight, 40);
  QWidget* view = ItemOf(dlg_, kView);
  const qreal dpr = view->devicePixelRatioF();
  auto shownAt = [&](int x, int y) {
    int32_t vx = 0, vy = 0, fx = 0, fy = 0;
    g.ImageToView(x, y, &vx, &vy);
    EXPECT_TRUE(g.ViewToFile(vx, vy, &fx, &fy));
    EXPECT_EQ(fx, x);
    EXPECT_EQ(fy, y);
    return Shown(view, qRound(vx / dpr), qRound(vy / dpr));
  };
  corner = shownAt(25, 4);
  below = shownAt(15, 30);
  EXPECT_GT(corner[0], corner[2] + 100);
  EXPECT_GT(below[2], below[0] + 100);
  EXPECT_LE(Spread(shownAt(4, 16)), 6);
}

// A photograph larger than the view, with detail in every pixel.
int DetailPixel(int x, int y, int c) { return ((x * 37 + y * 91 + c * 53) ^ (x * y >> 3)) & 255; }

// The pixel the view shows at view point (x, y) (logical pixels), as drawn.
std::array<int, 3> Shown(QWidget* view, int x, int y) {
  const QImage shot = view->grab().toImage();
  const qreal dpr = shot.devicePixelRatio();
  const QRgb c = shot.pixel(qRound(x * dpr), qRound(y * dpr));
  return {qRed(c), qGreen(c), qBlue(c)};
}

TEST_F(EditWindowTest, HundredPercentShowsTheFilesOwnPixelsThroughTheDisplayTransform) {
  WriteImage(Img("detail.tif"), 1600, 1200, DetailPixel);
  OpenWindow();
  Drop({Img("detail.tif")});
  ASSERT_TRUE(ctx_->imageOpen);
  ASSERT_TRUE(ctx_->scaled);
  ShowTab(2);
  Key(ToneSliderItem(kToneBrightness), Qt::Key_PageUp);  // a transform that is no identity
  Key(ToneSliderItem(kToneContrast), Qt::Key_PageUp);
  QWidget* view = ItemOf(dlg_, kView);
  ViewGeometry& g = editor().Geometry();
  // What file pixel (x, y) must look like: through the after view's transform and the monitor's.
  auto expected = [&](int x, int y) {
    uint8_t in[3], out[3];
    for (int c = 0; c < 3; ++c) in[c] = (uint8_t)DetailPixel(x, y, c);
    QXChannelPtrs pi, po;
    for (int c = 0; c < 3; ++c) pi.chan[c] = in + c, po.chan[c] = out + c;
    EXPECT_EQ(QXHandleEvaluate(ctx_->previewQX, 1, pi, 3, po, 3), 0);
    if (const Tintmesh* monitor = app_.workingSpace.monitorQX.get()) EXPECT_EQ(QXEvaluate(monitor, 1, po, 3, po, 3), 0);
    return std::array<int, 3>{out[0], out[1], out[2]};
  };
  auto checkAt = [&](int lx, int ly) {
    int32_t fx = 0, fy = 0;
    const qreal dpr = view->devicePixelRatioF();
    ASSERT_TRUE(g.ViewToFile(qRound(lx * dpr), qRound(ly * dpr), &fx, &fy));
    EXPECT_EQ(Shown(view, lx, ly), expected(fx, fy)) << lx << "," << ly << " file " << fx << "," << fy;
  };
  // Alt-click: 100 %, the clicked file pixel stays under the pointer.
  const QPoint at(view->width() / 3, view->height() / 2);
  int32_t fx0 = 0, fy0 = 0;
  ASSERT_TRUE(g.ViewToFile(at.x(), at.y(), &fx0, &fy0));
  QTest::mouseClick(view, Qt::LeftButton, Qt::AltModifier, at);
  ASSERT_EQ(g.zoom, kZoom100);
  int32_t fx = 0, fy = 0;
  ASSERT_TRUE(g.ViewToFile(at.x(), at.y(), &fx, &fy));
  EXPECT_NEAR(fx, fx0, 4);
  EXPECT_NEAR(fy, fy0, 4);
  for (const QPoint& p : {at, QPoint(5, 5), QPoint(view->width() - 3, view->height() - 3), QPoint(at.x() + 1, at.y())})
    checkAt(p.x(), p.y());
  // Control-drag pans to rows not read yet; they are decoded and shown the same way.
  QTest::mousePress(view, Qt::LeftButton, Qt::ControlModifier, at);
  QTest::mouseMove(view, at - QPoint(300, 300));
  QTest::mouseRelease(view, Qt::LeftButton, Qt::ControlModifier, at - QPoint(300, 300));
  int32_t px = 0, py = 0;
  ASSERT_TRUE(g.ViewToFile(at.x() - 300, at.y() - 300, &px, &py));
  EXPECT_NEAR(px, fx, 1);
  EXPECT_LE(py, fy);  // (vertically the file's bottom edge may stop the pan)
  checkAt(at.x(), at.y());
  checkAt(view->width() - 10, view->height() - 10);  // (the zoom's badge is bottom left)
  // 200 %: each file pixel two device pixels wide, still the file's colour.
  EditWindowCommand(dlg_, kCmdZoom200);
  ASSERT_EQ(g.zoom, kZoom200);
  checkAt(40, 40);
  ASSERT_TRUE(g.ViewToFile(40, 40, &fx, &fy));
  int32_t nx = 0, ny = 0;
  double ox = 0, oy = 0;
  g.Origin(&ox, &oy);
  const int32_t left = (int32_t)ox + fx * 2;  // the pixel's first device column
  ASSERT_TRUE(g.ViewToFile(left + 1, 40, &nx, &ny));
  EXPECT_EQ(nx, fx);
  ASSERT_TRUE(g.ViewToFile(left + 2, 40, &nx, &ny));
  EXPECT_EQ(nx, fx + 1);

  // Sharpen shows at 100 % (not in the scaled fit), as saving will make it.
  EditWindowCommand(dlg_, kCmdZoom100);
  const QImage plain = view->grab().toImage();
  Click(dlg_, kSharpen);
  ASSERT_EQ(pars().sharpenOn, 1);
  EXPECT_NE(view->grab().toImage(), plain);
  EditWindowCommand(dlg_, kCmdZoomFit);
  const QImage fit = view->grab().toImage();
  Click(dlg_, kSharpen);
  EXPECT_EQ(view->grab().toImage(), fit);
  Click(dlg_, kSharpen);

  // What 100 % shows is what saving writes (the sharpened pixels included).
  EditWindowCommand(dlg_, kCmdZoom100);
  std::vector<std::pair<std::array<int32_t, 2>, std::array<int, 3>>> shown;
  for (const QPoint& p : {QPoint(30, 30), at, QPoint(view->width() - 30, view->height() - 40)}) {
    ASSERT_TRUE(g.ViewToFile(p.x(), p.y(), &fx, &fy));
    shown.push_back({{fx, fy}, Shown(view, p.x(), p.y())});
  }
  Prefs& prefs = AppPrefs();
  prefs.sameFolder = 0;
  prefs.outputFolder = root_ + "out/";
  prefs.outputFormat = 1;
  prefs.removeSaved = 0;
  AnswerNextModal([](QWidget* w) {  // the edits are applied first
    for (QAbstractButton* b : qobject_cast<QMessageBox*>(w)->buttons())
      if (b->text() == "Save") b->click();
  });
  Click(dlg_, kSave);
  const std::string out = root_ + "out/detail-zV.tif";
  RasImage image;
  ASSERT_EQ(RasQuery(out, image), 0);
  ASSERT_EQ(RasOpen(out, 'r', image), 0);
  RasScanline sl;
  ASSERT_EQ(RasMakeSl(sl, image), 0);
  for (const auto& [pos, colour] : shown) {
    ASSERT_EQ(RasReadSl(image, (uint32_t)pos[1], sl), 0);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(sl.plane8[c][pos[0]], colour[c], 1) << pos[0] << "," << pos[1] << " " << c;
  }
  RasClose(image);
}

TEST_F(EditWindowTest, SplitDividerAndSideBySideFollowZoomAndPan) {
  WriteImage(Img("flat.tif"), 900, 700, [](int x, int y, int c) { return 90 + c * 10; });
  OpenWindow();
  Drop({Img("flat.tif")});
  ASSERT_TRUE(ctx_->imageOpen);
  ShowTab(2);
  for (int i = 0; i < 4; ++i) Key(ToneSliderItem(kToneBrightness), Qt::Key_PageUp);  // after: brighter
  QWidget* view = ItemOf(dlg_, kView);
  const int w = view->width(), h = view->height();
  const auto before = Shown(view, w / 2, h / 2);
  Click(dlg_, kPreview);
  ASSERT_FALSE(editor().Preview());
  const auto original = Shown(view, w / 2, h / 2);
  Click(dlg_, kPreview);
  ASSERT_GT(before[1], original[1] + 10);

  // Split: before left of the divider, after right of it.
  Choose(dlg_, kCompare, kCompareSplit);
  ASSERT_EQ(editor().Compare(), kCompareSplit);
  EXPECT_FALSE(ItemOf(dlg_, kPreview)->isEnabled());
  EXPECT_EQ(Shown(view, w / 2 - 40, h / 2), original);
  EXPECT_EQ(Shown(view, w / 2 + 40, h / 2), before);
  // The divider follows the hand, and a drag on it edits nothing.
  const TavelinPars kept = pars();
  QTest::mousePress(view, Qt::LeftButton, {}, QPoint(w / 2, h / 3));
  QTest::mouseMove(view, QPoint(w / 4, h / 3));
  QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(w / 4, h / 3));
  EXPECT_NEAR(editor().SplitPosition(), 0.25, 0.01);
  EXPECT_FALSE(ParsDiffer(kept, pars()));
  EXPECT_EQ(Shown(view, w / 4 - 20, h / 2), original);
  EXPECT_EQ(Shown(view, w / 4 + 20, h / 2), before);
  // Zoomed to 100 % the divider stays where the hand left it.
  EditWindowCommand(dlg_, kCmdZoom100);
  EXPECT_EQ(Shown(view, w / 4 - 20, h / 2), original);
  EXPECT_EQ(Shown(view, w / 4 + 20, h / 2), before);

  // Side by side: two panes, before on the left, after on the right, each
  // showing the same part of the photograph at the same zoom.
  Choose(dlg_, kCompare, kCompareSideBySide);
  const ViewGeometry& g = editor().Geometry();
  EXPECT_EQ(g.viewWidth, (editor().ViewWidth() - kSideBySideGap) / 2);
  EXPECT_EQ(g.zoom, kZoom100);
  const int pane = g.viewWidth + kSideBySideGap;
  EXPECT_EQ(Shown(view, 30, h / 2), original);
  EXPECT_EQ(Shown(view, pane + 30, h / 2), before);
  // Panning moves both.
  int32_t fx = 0, fy = 0, gx = 0, gy = 0;
  ASSERT_TRUE(g.ViewToFile(60, 60, &fx, &fy));
  QTest::mousePress(view, Qt::LeftButton, Qt::ControlModifier, QPoint(pane + 100, 100));
  QTest::mouseMove(view, QPoint(pane + 60, 80));
  QTest::mouseRelease(view, Qt::LeftButton, Qt::ControlModifier, QPoint(pane + 60, 80));
  ASSERT_TRUE(g.ViewToFile(60, 60, &gx, &gy));
  EXPECT_EQ(gx, fx + 40);
  EXPECT_EQ(gy, fy + 20);
  EXPECT_EQ(Shown(view, pane + 30, h / 2), before);
  // Back to the fit: both halves show the whole photograph.
  EditWindowCommand(dlg_, kCmdZoomFit);
  EXPECT_LT(g.Scale(), 1.0);
  Choose(dlg_, kCompare, kCompareOff);
  EXPECT_TRUE(ItemOf(dlg_, kPreview)->isEnabled());
  EXPECT_EQ(Shown(view, w / 2, h / 2), before);
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

TEST_F(EditWindowTest, ASecondStartHandsItsFilesToTheRunningWindow) {
  OpenWindow();
  std::string prefsFolder;
  ASSERT_EQ(Ui_Path_SetToPrefFolder(nullptr, prefsFolder), 0);
  const QString name = SingleInstance::ServerName(prefsFolder);
  // A socket left by an instance that ended without closing it is taken over.
  QFile stale(name);
  ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
  stale.close();
  SingleInstance instance;
  ASSERT_TRUE(instance.Listen(name));
  QPointer<QWidget> window(dlg_);
  instance.onFiles = [window](const std::vector<std::string>& files) { EditWindowOpenFiles(window, files); };
  // A message that is not ours is dropped.
  {
    QLocalSocket junk;
    junk.connectToServer(name);
    ASSERT_TRUE(junk.waitForConnected(2000));
    junk.write("GET / HTTP/1.0\r\n\r\n");
    junk.flush();
    QTest::qWait(200);
  }
  EXPECT_EQ(BatchlineCount(ctx_.get()), 0);
  // The application started again with two images: it hands them over and ends.
  auto startAgain = [&](const std::vector<std::string>& files) {
    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    second.setProcessEnvironment(env);
    QStringList args;
    for (const std::string& f : files) args << QString::fromStdString(f);
    second.start(QStringLiteral(TAVELIN_GUI), args);
    EXPECT_TRUE(QTest::qWaitFor([&] { return second.state() == QProcess::NotRunning; }, 30000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
  };
  startAgain({Img("second.tif"), Img("cast.tif")});
  ASSERT_TRUE(QTest::qWaitFor([&] { return BatchlineCount(ctx_.get()) == 2; }, 10000));
  EXPECT_TRUE(ctx_->imageOpen);
  // While a dialog is open the files wait for it to close.
  AnswerNextModal([&](QWidget* d) {
    startAgain({Img("deep.tif")});
    QTest::qWait(300);
    EXPECT_EQ(BatchlineCount(ctx_.get()), 2);
    qobject_cast<QDialog*>(d)->reject();
  });
  WriteImage16(Img("deep.tif"), 160, 100);
  Click(dlg_, kPrefs);
  ASSERT_TRUE(QTest::qWaitFor([&] { return BatchlineCount(ctx_.get()) == 3; }, 10000));
}

// The actions of File > Open Recent as the menu shows them.
QStringList RecentEntries(QWidget* dlg) {
  auto* menu = dlg->findChild<QMenu*>(QStringLiteral("recentMenu"));
  QStringList out;
  if (!menu) return out;
  emit menu->aboutToShow();
  for (QAction* a : menu->actions())
    if (!a->isSeparator()) out << a->text();
  return out;
}

TEST_F(EditWindowTest, OpenRecentListsTheLastImagesAndJobFiles) {
  OpenWindow();
  EXPECT_EQ(RecentEntries(dlg_), QStringList{"&Clear Menu"});
  Drop({Img("cast.tif")});
  Drop({Img("second.tif")});
  const std::string job = root_ + "out/week.job";
  ASSERT_EQ(SaveJob(ctx_.get(), job), 0);
  EXPECT_EQ(AppPrefs().recentFiles, (std::vector<std::string>{job, Img("second.tif"), Img("cast.tif")}));
  EXPECT_EQ(RecentEntries(dlg_), (QStringList{"&1 week.job", "&2 second.tif", "&3 cast.tif", "&Clear Menu"}));
  // The list outlives the run (the preferences file).
  ASSERT_EQ(WritePreferences(AppState(), app_.prefsPath), 0);
  AppPrefs().recentFiles.clear();
  ASSERT_EQ(ReadPreferences(AppState(), app_.prefsPath), 0);
  EXPECT_EQ(AppPrefs().recentFiles.size(), 3u);

  // An entry opens its file: into an empty Batchline, the job file resumes.
  EditWindowCommand(dlg_, kCmdSelectAll);
  Click(dlg_, kRemove);  // no edits: nothing to ask
  ASSERT_EQ(BatchlineCount(ctx_.get()), 0);
  EditWindowCommand(dlg_, kCmdRecentFirst);
  EXPECT_EQ(BatchlineCount(ctx_.get()), 2);
  EXPECT_TRUE(ctx_->imageOpen);
  // A file that is gone says so and leaves the list.
  std::filesystem::remove(Img("cast.tif"));
  std::string message;
  AnswerNextModal([&](QWidget* w) {
    message = qobject_cast<QMessageBox*>(w)->text().toStdString();
    qobject_cast<QMessageBox*>(w)->accept();
  });
  EditWindowCommand(dlg_, kCmdRecentFirst + 2);
  EXPECT_NE(message.find("cast.tif\" cannot be found"), std::string::npos) << message;
  EXPECT_EQ(RecentEntries(dlg_), (QStringList{"&1 week.job", "&2 second.tif", "&Clear Menu"}));
  EditWindowCommand(dlg_, kCmdRecentClear);
  EXPECT_TRUE(AppPrefs().recentFiles.empty());
}

// A dark palette like a desktop's dark theme.
QPalette DarkPalette() {
  const std::pair<QPalette::ColorRole, QColor> roles[] = {
      {QPalette::Window, QColor(46, 47, 49)},      {QPalette::WindowText, QColor(238, 238, 236)},
      {QPalette::Base, QColor(30, 30, 32)},        {QPalette::AlternateBase, QColor(40, 40, 42)},
      {QPalette::Text, QColor(230, 230, 228)},     {QPalette::PlaceholderText, QColor(140, 140, 140)},
      {QPalette::Button, QColor(56, 57, 60)},      {QPalette::ButtonText, QColor(238, 238, 236)},
      {QPalette::Mid, QColor(90, 90, 92)},         {QPalette::Dark, QColor(20, 20, 20)},
      {QPalette::Light, QColor(80, 80, 82)},       {QPalette::Highlight, QColor(53, 132, 228)},
      {QPalette::HighlightedText, QColor(255, 255, 255)}};
  QPalette p;
  for (const auto& [role, colour] : roles) p.setColor(role, colour);
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    p.setColor(QPalette::Disabled, role, QColor(120, 120, 120));
  return p;
}

// Pixels of `image` inside `r` within `tolerance` of `colour` (each channel).
int PixelsNear(const QImage& image, const QRect& r, const QColor& colour, int tolerance) {
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (std::abs(c.red() - colour.red()) <= tolerance && std::abs(c.green() - colour.green()) <= tolerance &&
          std::abs(c.blue() - colour.blue()) <= tolerance)
        ++n;
    }
  return n;
}

TEST_F(EditWindowTest, CustomControlsDrawWithThePalettesColours) {
  AppPrefs().rgbHistogram = 1;
  OpenWindow();
  Drop({Img("cast.tif")});
  ASSERT_TRUE(ctx_->imageOpen);
  ClickImage(60, 80, Qt::ShiftModifier);  // a readout line with numbers
  for (const QPalette& palette : {QApplication::style()->standardPalette(), DarkPalette()}) {
    dlg_->setPalette(palette);
    const QColor ground = palette.color(QPalette::Base), ink = palette.color(QPalette::Text);
    const QColor window = palette.color(QPalette::Window), windowInk = palette.color(QPalette::WindowText);
    const bool dark = ground.lightness() < 128;
    // The histogram: its ground inside the frame, the frame, R, G and B curves.
    ShowTab(1);
    EXPECT_TRUE(Checked(dlg_, kRgbHistogram));
    const QImage hist = ItemOf(dlg_, kHistogram)->grab().toImage();
    EXPECT_EQ(hist.pixelColor(3, 3).rgb(), ground.rgb()) << dark;
    EXPECT_EQ(hist.pixelColor(0, 0).rgb(), palette.color(QPalette::Mid).rgb()) << dark;
    EXPECT_GT(PixelsNear(hist, hist.rect(), dark ? QColor(255, 96, 96) : QColor(210, 30, 30), 30), 20) << dark;
    // The readouts: the ground, and the numbers in the palette's text colour.
    const QImage readouts = ItemOf(dlg_, kReadouts)->grab().toImage();
    EXPECT_EQ(readouts.pixelColor(2, readouts.height() / 2).rgb(), ground.rgb()) << dark;
    EXPECT_GT(PixelsNear(readouts, readouts.rect(), ink, 40), 20) << dark;
    // The hue ring's labels in the middle, on the window's ground, in its ink.
    ShowTab(3);
    const QImage ring = ItemOf(dlg_, kHueRing)->grab().toImage();
    const QRect middle(ring.width() / 2 - 30, ring.height() / 2 - 12, 60, 24);
    EXPECT_GT(PixelsNear(ring, middle, window, 8), 200) << dark;
    EXPECT_GT(PixelsNear(ring, middle, windowInk, 60), 15) << dark;
    // The curve and the wedge.
    ShowTab(2);
    const QImage curve = ItemOf(dlg_, kCurve)->grab().toImage();
    EXPECT_EQ(curve.pixelColor(2, 2).rgb(), ground.rgb()) << dark;
    EXPECT_GT(PixelsNear(curve, curve.rect(), ink, 60), 30) << dark;
    ShowTab(0);
    const QImage wedge = ItemOf(dlg_, kWedge)->grab().toImage();
    EXPECT_GT(PixelsNear(wedge, QRect(0, wedge.height() - 12, wedge.width(), 12), windowInk, 60), 15) << dark;
  }
}

TEST_F(EditWindowTest, EveryCustomControlHasAnAccessibleName) {
  OpenWindow();
  Drop({Img("cast.tif")});
  ASSERT_TRUE(ctx_->imageOpen);
  for (UiUserItem* item : dlg_->findChildren<UiUserItem*>())
    EXPECT_FALSE(item->accessibleName().isEmpty()) << "item " << item->ItemId();
  for (QSlider* slider : dlg_->findChildren<QSlider*>())
    EXPECT_FALSE(slider->accessibleName().isEmpty()) << "item " << slider->property("itemId").toInt();
  int seen = 0;
  AnswerNextModalOf<QDialog>([&](QDialog* d) {
    for (UiUserItem* item : d->findChildren<UiUserItem*>()) {
      EXPECT_FALSE(item->accessibleName().isEmpty()) << "set-up item " << item->ItemId();
      ++seen;
    }
    Click(d, 2);
  });
  Click(dlg_, kSetup);
  EXPECT_EQ(seen, 2);
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
  const std::string names[4] = {"editwindow-tab1-balance", "editwindow-tab2-levels", "editwindow-tab3-brightness",
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
  Click(dlg_, kExpand);

  // The photograph's own pixels at 100 % and 200 % (about the view's middle),
  // then the comparisons at the fit.
  for (int command : {kCmdZoom100, kCmdZoom200}) {
    EditWindowCommand(dlg_, command);
    QApplication::processEvents();
    Shot(dlg_, command == kCmdZoom100 ? "editwindow-zoom100" : "editwindow-zoom200");
  }
  EditWindowCommand(dlg_, kCmdZoomFit);
  Choose(dlg_, kCompare, kCompareSplit);
  editor().SetSplitPosition(0.45);
  QApplication::processEvents();
  Shot(dlg_, "editwindow-split");
  Choose(dlg_, kCompare, kCompareSideBySide);
  EditWindowCommand(dlg_, kCmdZoom100);
  QApplication::processEvents();
  Shot(dlg_, "editwindow-side-by-side-100");
  EditWindowCommand(dlg_, kCmdZoomFit);
  Choose(dlg_, kCompare, kCompareOff);

  // A dark palette on every tab (the RGB histogram on the second).
  dlg_->setPalette(DarkPalette());
  Click(dlg_, kRgbHistogram);
  for (int t = 0; t < 4; ++t) {
    ShowTab(t);
    QApplication::processEvents();
    Shot(dlg_, std::string("editwindow-dark-") + names[t].substr(std::string("editwindow-").size()));
  }
}

}  // namespace
