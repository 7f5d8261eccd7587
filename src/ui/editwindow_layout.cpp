// The template of the editing window (dialog 1000): every control with its
// item id, the layout, and the menus. Behaviour lives in editwindow.cpp.
#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <QTabBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "base/strings.h"
#include "ui/editwindow_internal.h"
#include "ui/useritem.h"

namespace editwin {
namespace {

constexpr int kPanelWidth = 372;

template <class T>
T* Tag(T* widget, int item) {
  widget->setProperty("itemId", item);
  return widget;
}

QPushButton* Button(const QString& text, int item, QWidget* parent, const QString& tip = QString()) {
  auto* b = Tag(new QPushButton(text, parent), item);
  b->setAutoDefault(false);
  b->setDefault(false);
  if (!tip.isEmpty()) b->setToolTip(tip);
  return b;
}

QSlider* Slider(int item, QWidget* parent, const QString& name) {
  auto* s = Tag(new QSlider(Qt::Horizontal, parent), item);
  s->setAccessibleName(name);
  s->setRange(-100, 100);
  s->setPageStep(10);
  s->setSingleStep(1);
  s->setValue(0);
  s->setMinimumWidth(150);
  return s;
}

QLabel* Readout(int item, QWidget* parent) {
  auto* l = Tag(new QLabel(QStringLiteral("0"), parent), item);
  l->setMinimumWidth(34);
  l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return l;
}

// A custom control, with the name assistive technology announces it by.
UiUserItem* UserItem(int item, QWidget* parent, int minW, int minH, const QString& name,
                     const QString& description = QString()) {
  auto* u = new UiUserItem(item, parent);
  u->setMinimumSize(minW, minH);
  u->setAccessibleName(name);
  if (!description.isEmpty()) u->setAccessibleDescription(description);
  return u;
}

// The panel buttons shared by all four panels.
QWidget* PanelButtons(QWidget* parent) {
  auto* row = new QWidget(parent);
  auto* h = new QHBoxLayout(row);
  h->setContentsMargins(0, 0, 0, 0);
  h->addWidget(Button(QStringLiteral("Brivio"), kPanelBrivio, row, QStringLiteral("Automatic settings for this tool")));
  h->addWidget(Button(QStringLiteral("Prev"), kPanelPrev, row, QStringLiteral("This tool's previous settings")));
  h->addWidget(Button(QStringLiteral("Custom"), kPanelCustom, row, QStringLiteral("This tool's custom settings")));
  h->addWidget(Button(QStringLiteral("Reset"), kPanelReset, row, QStringLiteral("Reset this tool")));
  return row;
}

QWidget* BalancePage(QWidget* parent) {
  auto* page = new QWidget(parent);
  auto* v = new QVBoxLayout(page);
  v->setContentsMargins(0, 0, 0, 0);
  auto* methodRow = new QHBoxLayout;
  methodRow->addWidget(new QLabel(QStringLiteral("Method:"), page));
  auto* method = Tag(new QComboBox(page), kMethod);
  method->addItems({QStringLiteral("Neutrals"), QStringLiteral("Sliders")});
  methodRow->addWidget(method, 1);
  v->addLayout(methodRow);

  auto* neutrals = new QWidget(page);
  neutrals->setObjectName(QStringLiteral("neutralsBox"));
  auto* nv = new QVBoxLayout(neutrals);
  nv->setContentsMargins(0, 0, 0, 0);
  auto* text = Tag(new QLabel(QStringLiteral("Mark neutral colors in the image to correct the color cast."), neutrals),
                   kNeutralText);
  text->setWordWrap(true);
  nv->addWidget(text);
  nv->addWidget(new QLabel(QStringLiteral("Color Cast:"), neutrals));
  auto* wedge = UserItem(kWedge, neutrals, 300, 66, QStringLiteral("Color cast wedge"),
                        QStringLiteral("Gray levels and the uncorrected colour that becomes each of them"));
  wedge->setToolTip(QStringLiteral("Top: gray levels. Bottom: the uncorrected colour that becomes each gray."));
  nv->addWidget(wedge);
  auto* prefsRow = new QHBoxLayout;
  prefsRow->addStretch(1);
  prefsRow->addWidget(Button(QStringLiteral("Preferences..."), kNeutralPrefs, neutrals,
                             QStringLiteral("The preferred neutral colour")));
  nv->addLayout(prefsRow);
  v->addWidget(neutrals);

  auto* sliders = new QWidget(page);
  sliders->setObjectName(QStringLiteral("slidersBox"));
  auto* grid = new QGridLayout(sliders);
  grid->setContentsMargins(0, 0, 0, 0);
  const char* ends[3][2] = {{"C", "R"}, {"M", "G"}, {"Y", "B"}};
  for (int i = 0; i < 3; ++i) {
    grid->addWidget(Tag(new QLabel(QString::fromLatin1(ends[i][0]), sliders), kBalanceCaption + i), i, 0);
    grid->addWidget(Slider(kBalanceSlider + i, sliders,
                           QStringLiteral("%1 to %2").arg(QString::fromLatin1(ends[i][0]), QString::fromLatin1(ends[i][1]))),
                    i, 1);
    grid->addWidget(new QLabel(QString::fromLatin1(ends[i][1]), sliders), i, 2);
    grid->addWidget(Readout(kBalanceReadout + i, sliders), i, 3);
  }
  v->addWidget(sliders);
  v->addStretch(1);
  return page;
}

QWidget* LevelsPage(QWidget* parent) {
  auto* page = new QWidget(parent);
  auto* v = new QVBoxLayout(page);
  v->setContentsMargins(0, 0, 0, 0);
  v->setSpacing(2);
  auto* hist = UserItem(kHistogram, page, 300, 140, QStringLiteral("Histogram"),
                        QStringLiteral("Brightness levels of the image after the colour balance"));
  hist->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  v->addWidget(hist, 1);
  auto* handles = UserItem(kHandles, page, 300, 16, QStringLiteral("Black, gray and white point handles"));
  handles->setFixedHeight(16);
  handles->setToolTip(QStringLiteral("Drag the black, gray and white points"));
  v->addWidget(handles);
  auto* values = Tag(new QLabel(page), kLevelsValues);
  values->setAlignment(Qt::AlignCenter);
  v->addWidget(values);
  auto* noteRow = new QHBoxLayout;
  auto* rgb = Tag(new QCheckBox(QStringLiteral("RGB"), page), kRgbHistogram);
  rgb->setToolTip(QStringLiteral("Show the red, green and blue histograms over the luminance one"));
  noteRow->addWidget(rgb);
  auto* note = Tag(new QLabel(QStringLiteral("(Alt-Drag handles to view clipping.)"), page), kLevelsNote);
  note->setAlignment(Qt::AlignCenter);
  noteRow->addWidget(note, 1);
  v->addLayout(noteRow);
  return page;
}

QWidget* TonePage(QWidget* parent) {
  auto* page = new QWidget(parent);
  auto* v = new QVBoxLayout(page);
  v->setContentsMargins(0, 0, 0, 0);
  auto* grid = new QGridLayout;
  const char* names[5] = {"Global", "Shadows", "Highlights", "Contrast", "Saturation"};
  for (int i = 0; i < 5; ++i) {
    grid->addWidget(Tag(new QLabel(QString::fromLatin1(names[i]), page), ToneCaptionItem(i)), i, 0);
    grid->addWidget(Slider(ToneSliderItem(i), page, QString::fromLatin1(names[i])), i, 1);
    grid->addWidget(Readout(ToneReadoutItem(i), page), i, 2);
  }
  v->addLayout(grid);
  v->addWidget(Tag(new QLabel(QStringLiteral("Curve"), page), kCurveCaption));
  auto* curve = UserItem(kCurve, page, 160, 110, QStringLiteral("Tone curve"));
  curve->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  v->addWidget(curve, 1);
  v->addStretch(0);
  return page;
}

QWidget* HuePage(QWidget* parent) {
  auto* page = new QWidget(parent);
  auto* v = new QVBoxLayout(page);
  v->setContentsMargins(0, 0, 0, 0);
  v->setSpacing(4);
  auto* ring = UserItem(kHueRing, page, 220, 220, QStringLiteral("Hue ring"),
                        QStringLiteral("Six handles: the outer knob sets a hue, the inner knob what it becomes"));
  ring->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  ring->setToolTip(QStringLiteral("Drag a handle's outer knob (Before) or inner knob (After); "
                                  "click in the image to mark a colour"));
  v->addWidget(ring, 1);
  auto* handleText = Tag(new QLabel(page), kHueHandleText);
  handleText->setAlignment(Qt::AlignCenter);
  v->addWidget(handleText);
  auto* grid = new QGridLayout;
  const char* names[2] = {"Brightness", "Saturation"};
  for (int i = 0; i < 2; ++i) {
    grid->addWidget(Tag(new QLabel(QString::fromLatin1(names[i]), page), kHueCaption + 3 * i), i, 0);
    grid->addWidget(Slider(kHueSlider + 3 * i, page, QStringLiteral("Handle %1").arg(QString::fromLatin1(names[i]))), i, 1);
    grid->addWidget(Readout(kHueReadout + 3 * i, page), i, 2);
  }
  v->addLayout(grid);
  auto* memRow = new QHBoxLayout;
  memRow->addWidget(new QLabel(QStringLiteral("Memory:"), page));
  for (int i = 0; i < 6; ++i) {
    auto* b = Button(QStringLiteral("_"), kMemory + i, page,
                     QStringLiteral("Memory colour (Alt-click to define it)"));
    b->setFixedWidth(30);
    memRow->addWidget(b);
  }
  memRow->addStretch(1);
  v->addLayout(memRow);
  auto* toneRow = new QHBoxLayout;
  toneRow->addWidget(Button(QStringLiteral("B/W"), kBW, page, QStringLiteral("Grayscale (Alt-click to define it)")));
  toneRow->addWidget(Button(QStringLiteral("Sepia"), kSepia, page, QStringLiteral("Sepia tone (Alt-click to define it)")));
  toneRow->addWidget(Tag(new QCheckBox(QStringLiteral("Toning"), page), kToning));
  auto* swatch = UserItem(kSwatch, page, 44, 22, QStringLiteral("Toning colour"));
  swatch->setFixedSize(44, 22);
  swatch->setToolTip(QStringLiteral("The toning colour (click to choose it)"));
  toneRow->addWidget(swatch);
  toneRow->addStretch(1);
  v->addLayout(toneRow);
  return page;
}

QAction* MenuAction(QMenu* menu, const QString& text, int command, QDialog* dialog,
                    const QKeySequence& key = QKeySequence()) {
  QAction* a = menu->addAction(text);
  a->setProperty("command", command);
  if (!key.isEmpty()) {
    a->setShortcut(key);
    a->setShortcutContext(Qt::WindowShortcut);
  }
  QObject::connect(a, &QAction::triggered, dialog, [dialog, command] { Command(dialog, command); });
  return a;
}

QMenuBar* Menus(QDialog* d) {
  auto* bar = new QMenuBar(d);
  QMenu* file = bar->addMenu(QStringLiteral("&File"));
  MenuAction(file, QString::fromUtf8(ResString(9253).c_str()), kCmdAdd, d, QKeySequence(QKeySequence::Open));
  QMenu* recent = file->addMenu(QStringLiteral("Open &Recent"));
  recent->setObjectName(QStringLiteral("recentMenu"));
  QObject::connect(recent, &QMenu::aboutToShow, d, [d] { FillRecentMenu(d); });
  MenuAction(file, QString::fromUtf8(ResString(9254).c_str()), kCmdSaveImages, d, QKeySequence(QKeySequence::Save));
  MenuAction(file, QString::fromUtf8(ResString(9252).c_str()), kCmdSaveAs, d, QKeySequence(QKeySequence::SaveAs));
  MenuAction(file, QString::fromUtf8(ResString(9255).c_str()), kCmdRemove, d);
  file->addSeparator();
  MenuAction(file, QString::fromUtf8(ResString(9251).c_str()), kCmdResume, d);
  MenuAction(file, QString::fromUtf8(ResString(9250).c_str()), kCmdSaveJob, d);
  file->addSeparator();
  MenuAction(file, QString::fromUtf8(ResString(9256).c_str()), kCmdExit, d, QKeySequence(QKeySequence::Quit));
  QMenu* edit = bar->addMenu(QStringLiteral("&Edit"));
  MenuAction(edit, QStringLiteral("&Undo"), kCmdUndo, d, QKeySequence(QKeySequence::Undo));
  MenuAction(edit, QStringLiteral("Select &All Images"), kCmdSelectAll, d, QKeySequence(QKeySequence::SelectAll));
  QAction* redEye = MenuAction(edit, QStringLiteral("&Red-Eye Point"), kCmdRedEye, d);
  redEye->setCheckable(true);
  edit->addSeparator();
  MenuAction(edit, QStringLiteral("&Preferences..."), kCmdPrefs, d);
  QMenu* view = bar->addMenu(QStringLiteral("&View"));
  MenuAction(view, QStringLiteral("Zoom &In"), kCmdZoomIn, d, QKeySequence(QKeySequence::ZoomIn));
  MenuAction(view, QStringLiteral("Zoom &Out"), kCmdZoomOut, d, QKeySequence(QKeySequence::ZoomOut));
  MenuAction(view, QStringLiteral("&Fit in Window"), kCmdZoomFit, d, QKeySequence(Qt::CTRL | Qt::Key_0));
  MenuAction(view, QStringLiteral("&Actual Pixels (100 %)"), kCmdZoom100, d, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_0));
  MenuAction(view, QStringLiteral("&200 %"), kCmdZoom200, d, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_2));
  view->addSeparator();
  auto* compare = new QActionGroup(view);
  const char* compareNames[3] = {"&Before or After", "&Split Before/After", "Side &by Side"};
  for (int c = 0; c < 3; ++c) {
    QAction* a = MenuAction(view, QString::fromLatin1(compareNames[c]), kCmdCompareOff + c, d);
    a->setCheckable(true);
    a->setChecked(c == 0);
    compare->addAction(a);
  }
  QMenu* window = bar->addMenu(QStringLiteral("&Window"));
  for (int t = 0; t < 4; ++t)
    MenuAction(window, QString::fromLatin1(kToolTabNames[t]), kCmdTab1 + t, d, QKeySequence(Qt::CTRL | (Qt::Key_1 + t)));
  QMenu* help = bar->addMenu(QStringLiteral("&Help"));
  help->setObjectName(QStringLiteral("helpMenu"));
  MenuAction(help, QStringLiteral("Help on This &Tool"), kCmdHelpTool, d, QKeySequence(QKeySequence::HelpContents));
  MenuAction(help, QStringLiteral("&Overview"), kCmdHelpOverview, d);
  MenuAction(help, QStringLiteral("&Start Up Guide"), kCmdHelpGuide, d);
  help->addSeparator();
  MenuAction(help, QStringLiteral("&About %1").arg(QString::fromUtf8(ResString(1000).c_str())), kCmdAbout, d);
  return bar;
}

}  // namespace

Status BuildTemplate(QDialog* d) {
  d->setWindowTitle(QString::fromUtf8(ResString(1000).c_str()));
  d->setWindowFlags(Qt::Window | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
  d->setSizeGripEnabled(true);
  auto* outer = new QVBoxLayout(d);
  outer->setContentsMargins(6, 4, 6, 6);
  outer->setSpacing(6);
  outer->setMenuBar(Menus(d));

  // ---- image view and tool column ----
  auto* top = new QHBoxLayout;
  top->setSpacing(8);
  auto* view = UserItem(kView, d, 320, 240, QStringLiteral("Photograph"),
                        QStringLiteral("Click to correct by the current tool; Alt-click to zoom, Control-drag to pan, "
                                       "Shift-click to set a sample point"));
  view->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  view->setFocusPolicy(Qt::ClickFocus);
  top->addWidget(view, 1);

  auto* column = new QWidget(d);
  column->setFixedWidth(kPanelWidth);
  auto* col = new QVBoxLayout(column);
  col->setContentsMargins(0, 0, 0, 0);
  col->setSpacing(6);

  auto* tabRow = new QHBoxLayout;
  auto* tabs = Tag(new QTabBar(column), kTabs);
  tabs->setExpanding(false);
  tabs->setDrawBase(false);
  const char* tabNames[4] = {"Balance", "Black/White", "Brightness", "Hue"};
  for (int t = 0; t < 4; ++t) {
    tabs->addTab(QString::fromLatin1(tabNames[t]));
    tabs->setTabToolTip(t, QStringLiteral("%1 (Ctrl+%2)").arg(QString::fromLatin1(kToolTabNames[t])).arg(t + 1));
  }
  tabRow->addWidget(tabs, 1);
  auto* expand = Tag(new QToolButton(column), kExpand);
  expand->setArrowType(Qt::DownArrow);
  expand->setToolTip(QStringLiteral("Expand the panel: compare before and after this tool only"));
  expand->setAutoRaise(true);
  tabRow->addWidget(expand);
  col->addLayout(tabRow);

  auto* panel = Tag(new QFrame(column), kPanel);
  panel->setFrameShape(QFrame::StyledPanel);
  auto* pv = new QVBoxLayout(panel);
  pv->setContentsMargins(8, 6, 8, 8);
  auto* title = Tag(new QLabel(panel), kPanelTitle);
  QFont tf = title->font();
  tf.setBold(true);
  title->setFont(tf);
  pv->addWidget(title);
  auto* stack = new QStackedWidget(panel);
  stack->setObjectName(QStringLiteral("panelStack"));
  stack->addWidget(BalancePage(stack));
  stack->addWidget(LevelsPage(stack));
  stack->addWidget(TonePage(stack));
  stack->addWidget(HuePage(stack));
  pv->addWidget(stack, 1);
  pv->addWidget(PanelButtons(panel));
  auto* panelPreviewSlot = new QVBoxLayout;
  panelPreviewSlot->setObjectName(QStringLiteral("panelPreviewSlot"));
  pv->addLayout(panelPreviewSlot);
  col->addWidget(panel, 1);

  auto* master = Tag(new QGroupBox(QStringLiteral("All Tools"), column), kMasterBox);
  auto* mv = new QGridLayout(master);
  mv->setContentsMargins(8, 6, 8, 6);
  mv->setVerticalSpacing(4);
  auto* mrow = new QHBoxLayout;
  mrow->addWidget(Button(QStringLiteral("Undo"), kUndo, master, QStringLiteral("Undo the last edit")));
  mrow->addWidget(Button(QStringLiteral("Brivio"), kBrivio, master, QStringLiteral("Reset all tools and run Brivio")));
  mrow->addWidget(Button(QStringLiteral("Prev"), kPrev, master, QStringLiteral("The previous settings for all tools")));
  mrow->addWidget(Button(QStringLiteral("Custom"), kCustom, master, QStringLiteral("The custom settings for all tools")));
  mrow->addWidget(Button(QStringLiteral("Reset"), kReset, master, QStringLiteral("Reset all tools")));
  mv->addLayout(mrow, 0, 0, 1, 3);
  mv->addWidget(Tag(new QCheckBox(QStringLiteral("Brivio Mode"), master), kBrivioMode), 1, 0);
  auto* linear = Tag(new QCheckBox(QStringLiteral("Linear"), master), kLinear);
  linear->setToolTip(QStringLiteral("The image data are linear (16-bit images only)"));
  mv->addWidget(linear, 1, 1);
  mv->addWidget(Button(QStringLiteral("Save Custom..."), kSaveCustom, master), 2, 0);
  mv->addWidget(Button(QStringLiteral("Preferences..."), kPrefs, master), 2, 1, 1, 2);
  mv->addWidget(Tag(new QCheckBox(QStringLiteral("Sharpen"), master), kSharpen), 3, 0);
  mv->addWidget(Tag(new QCheckBox(QStringLiteral("Remove Noise"), master), kNoise), 3, 1);
  mv->addWidget(Button(QStringLiteral("Setup..."), kSetup, master, QStringLiteral("Sharpen and noise settings")), 3, 2);
  col->addWidget(master);

  // Preview and the readouts: below the master buttons, or inside the
  // expanded panel.
  auto* previewBox = Tag(new QFrame(column), kPreviewBox);
  auto* bv = new QGridLayout(previewBox);
  bv->setContentsMargins(2, 0, 2, 0);
  bv->addWidget(Tag(new QCheckBox(QStringLiteral("Preview"), previewBox), kPreview), 0, 0);
  auto* compare = Tag(new QComboBox(previewBox), kCompare);
  compare->addItems({QStringLiteral("Single view"), QStringLiteral("Split"), QStringLiteral("Side by side")});
  compare->setToolTip(QStringLiteral("Compare before and after: a divider to drag across the photograph, "
                                     "or two views side by side"));
  bv->addWidget(compare, 0, 1);
  auto* model = Tag(new QComboBox(previewBox), kReadoutModel);
  model->addItems({QStringLiteral("RGB"), QStringLiteral("HSB"), QStringLiteral("CMYK")});
  model->setToolTip(QStringLiteral("Pixel values (Shift-click in the image to set a sample point)"));
  bv->addWidget(model, 0, 2, Qt::AlignRight);
  auto* readouts = UserItem(kReadouts, previewBox, 300, 54, QStringLiteral("Pixel values"),
                            QStringLiteral("The colours of the two sample points before and after"));
  readouts->setFixedHeight(54);
  bv->addWidget(readouts, 1, 0, 1, 3);
  col->addWidget(previewBox);

  top->addWidget(column);
  outer->addLayout(top, 1);

  // ---- the Batchline strip ----
  auto* bottom = new QHBoxLayout;
  auto* strip = Tag(new QListWidget(d), kStrip);
  strip->setViewMode(QListView::IconMode);
  strip->setFlow(QListView::LeftToRight);
  strip->setWrapping(false);
  strip->setMovement(QListView::Static);
  strip->setSelectionMode(QAbstractItemView::ExtendedSelection);
  strip->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  strip->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  strip->setSpacing(4);
  strip->setFixedHeight(150);
  strip->setToolTip(QStringLiteral("The Batchline: click to edit an image; Shift- and Ctrl-click select several"));
  bottom->addWidget(strip, 1);
  auto* buttons = new QGridLayout;
  buttons->addWidget(Button(QStringLiteral("Add..."), kAdd, d, QStringLiteral("Add images to the Batchline")), 0, 0);
  buttons->addWidget(Button(QString::fromUtf8(ResString(9245).c_str()), kRemove, d), 0, 1);
  buttons->addWidget(Button(QString::fromUtf8(ResString(9243).c_str()), kSync, d,
                            QStringLiteral("The current settings onto the other selected images")), 1, 0);
  buttons->addWidget(Button(QString::fromUtf8(ResString(9244).c_str()), kSave, d,
                            QStringLiteral("Save the selected images")), 1, 1);
  buttons->addWidget(Button(QStringLiteral("Cancel"), kCancel, d,
                            QStringLiteral("Go to the next image without keeping the changes")), 2, 0);
  auto* apply = Button(QStringLiteral("Apply"), kApply, d, QStringLiteral("Keep the settings and go to the next image"));
  buttons->addWidget(apply, 2, 1);
  for (int r = 0; r < 3; ++r) buttons->setRowMinimumHeight(r, 30);
  buttons->setColumnMinimumWidth(0, 100);
  buttons->setColumnMinimumWidth(1, 100);
  bottom->addLayout(buttons);
  outer->addLayout(bottom);

  d->resize(1280, 880);
  return kOk;
}

}  // namespace editwin
