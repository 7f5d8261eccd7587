// The help window (1002): one topic of the help file, drawn into the text
// area paragraph by paragraph (text word-wrapped to the area's width,
// pictures at their own size, one line of space between paragraphs). The
// window is laid out for a short topic and grows by what the topic needs;
// a topic taller than the screen scrolls inside the area. "User Guide" and
// "FAQ" open the built-in guide's matching topic in another help window on
// top (the guide goes with the program: no network is needed).
#include <QCheckBox>
#include <QDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <algorithm>
#include <memory>

#include "prefs/prefs.h"
#include "base/debuglog.h"
#include "session/helptext.h"
#include "base/strings.h"
#include "base/uistate.h"
#include "ui/dialogkit.h"
#include "ui/dialogs.h"
#include "ui/dlgitems.h"
#include "ui/helppictures.h"
#include "ui/useritem.h"

using namespace UiKit;

namespace {

constexpr int kHelpDialog = 1002;
constexpr int kHeadingItem = 2;
constexpr int kTextAreaItem = 3;
constexpr int kGuideItem = 4;
constexpr int kFaqItem = 5;
constexpr int kDontShowItem = 6;

// The template's layout for a topic of no height; the topic grows it.
constexpr int kWidth = 540, kHeight = 136;
const QRect kHeadingRect(16, 12, 508, 22);
const QRect kAreaRect(16, 42, 508, 40);
const QRect kGuideRect(16, 96, 150, 28);
const QRect kFaqRect(174, 96, 130, 28);
const QRect kDontShowRect(312, 100, 124, 22);
const QRect kOkRect(444, 96, 80, 28);
constexpr int kScreenMargin = 48;  // kept free around a window that fills the screen
constexpr int kScrollGap = 6;      // between the text and the scroll bar of a long topic

struct HelpState {
  HelpTopic topic;
  std::string path;       // the help file
  bool dontShow = false;  // "Don't Show Again"
  std::vector<QImage> pictures;  // by paragraph (null for text)
};

Status BuildHelp(QDialog* d) {
  d->setWindowTitle(Q(ResString(1000) + " Help"));
  d->resize(kWidth, kHeight);
  auto* heading = Text(d, kHeadingItem, QString());
  QFont bold = heading->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.15);
  heading->setFont(bold);
  heading->setGeometry(kHeadingRect);
  auto* area = new UiUserItem(kTextAreaItem, d);
  area->setAccessibleName(QStringLiteral("Help text"));
  area->setGeometry(kAreaRect);
  Button(d, kGuideItem, QStringLiteral("User Guide"))->setGeometry(kGuideRect);
  Button(d, kFaqItem, QStringLiteral("FAQ"))->setGeometry(kFaqRect);
  // The check box takes the width its text needs, up to the OK button.
  auto* dontShow = Check(d, kDontShowItem, QStringLiteral("Don't Show Again"));
  QRect box = kDontShowRect;
  box.setWidth(std::max(box.width(), dontShow->sizeHint().width()));
  box.moveRight(std::min(box.right(), kOkRect.left() - 6));
  dontShow->setGeometry(box);
  auto* ok = Button(d, kOkItem, QStringLiteral("OK"));
  ok->setDefault(true);
  ok->setGeometry(kOkRect);
  return kOk;
}

// One line of space: a two-line text less a one-line one.
int LineGap(const QFontMetrics& fm) {
  const QRect wide(0, 0, 10000, 10000);
  return fm.boundingRect(wide, 0, QStringLiteral("A\nA")).height() - fm.boundingRect(wide, 0, QStringLiteral("A")).height();
}

int ParagraphHeight(const HelpState& s, size_t i, const QFontMetrics& fm, int width) {
  const HelpParagraph& p = s.topic.paragraphs[i];
  if (p.picture) return s.pictures[i].isNull() ? 0 : s.pictures[i].height();
  return fm.boundingRect(QRect(0, 0, width, 1000000), Qt::TextWordWrap, Q(p.text)).height();
}

// The walk shared by measuring and drawing: from the top of the area, each
// paragraph in turn, a gap between them. Drawing stops at the first
// paragraph that starts below `bottom`. Returns the end of the last one + 2.
int Walk(const HelpState& s, const QFontMetrics& fm, int width, QPainter* painter, int bottom) {
  const int gap = LineGap(fm);
  int y = 0;
  for (size_t i = 0; i < s.topic.paragraphs.size(); ++i) {
    if (i > 0) y += gap;
    if (painter && y > bottom) break;
    const int h = ParagraphHeight(s, i, fm, width);
    if (painter) {
      const HelpParagraph& p = s.topic.paragraphs[i];
      if (p.picture) {
        if (!s.pictures[i].isNull()) painter->drawImage(QPoint(0, y), s.pictures[i]);
      } else {
        painter->drawText(QRect(0, y, width, h), Qt::TextWordWrap, Q(p.text));
      }
    }
    y += h;
  }
  return y + 2;
}

void DrawText(QWidget* dlg, int item, QPainter& painter) {
  auto* s = StateOf<HelpState>(dlg);
  QWidget* area = nullptr;
  if (!s || Ui_Dlg_GetItem(dlg, item, &area) != kOk) return;
  painter.setFont(area->font());
  painter.setPen(area->palette().color(QPalette::WindowText));
  Walk(*s, QFontMetrics(area->font()), area->width(), &painter, area->height());
}

void Finish(QWidget* dlg) {
  if (auto* s = StateOf<HelpState>(dlg)) s->dontShow = IsChecked(dlg, kDontShowItem);
  RequestClose(dlg);
}

uint8_t HelpHit(QWidget* dlg, int item) {
  auto* s = StateOf<HelpState>(dlg);
  if (!s) return 1;
  switch (item) {
    case kOkItem:
    case kCancelItem: Finish(dlg); break;
    case kGuideItem: ShowHelpTopic(HelpGuideTopic(s->topic.number), s->path); break;
    case kFaqItem: ShowHelpTopic(kHelpQuestions, s->path); break;
    default: break;  // "Don't Show Again" toggles by itself
  }
  return 1;
}

void Move(QWidget* dlg, int item, int dx, int dy) {
  QRect r;
  if (Ui_Dlg_GetItemBounds(dlg, item, &r) == kOk) Ui_Dlg_MoveItem(dlg, item, r.translated(dx, dy));
}

Status HelpInit(QWidget* dlg) {
  auto* s = StateOf<HelpState>(dlg);
  Ui_Dlg_SetItemHitProc(dlg, HelpHit);
  Ui_Dlg_SetCloseProc(dlg, Finish);
  Ui_Dlg_SetUserItemProcs(dlg, DrawText, nullptr);
  Ui_Dlg_SetItemText(dlg, kHeadingItem, s->topic.title);
  Ui_Dlg_CheckItem(dlg, kDontShowItem, s->dontShow);
  Ui_Dlg_ShowItem(dlg, kDontShowItem, s->topic.number == kHelpStartUpGuide);
  // A topic that is its own guide page, or the questions themselves, need no button to reach it.
  Ui_Dlg_EnableItem(dlg, kGuideItem, HelpGuideTopic(s->topic.number) != s->topic.number);
  Ui_Dlg_EnableItem(dlg, kFaqItem, s->topic.number != kHelpQuestions);
  QWidget* area = nullptr;
  if (Ui_Dlg_GetItem(dlg, kTextAreaItem, &area) != kOk) return kBadArg;
  // The drawn text, for assistive technology.
  QStringList text;
  for (const HelpParagraph& p : s->topic.paragraphs)
    if (!p.picture) text << Q(p.text);
  area->setAccessibleDescription(text.join(QStringLiteral("\n\n")));

  // Grow the area to the topic (and to its widest picture), and everything
  // below or right of it by the same amounts.
  int widest = 0;
  for (const QImage& picture : s->pictures) widest = std::max(widest, picture.width());
  const int dw = std::max(0, widest - kAreaRect.width());
  const int width = kAreaRect.width() + dw;
  const int measured = Walk(*s, QFontMetrics(area->font()), width, nullptr, 0);
  int dh = measured - kAreaRect.height();
  const QScreen* screen = dlg->screen() ? dlg->screen() : QGuiApplication::primaryScreen();
  const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);
  const int room = avail.height() - 2 * kScreenMargin - 30;  // less the frame
  const int visible = std::max(kAreaRect.height(), std::min(measured, kAreaRect.height() + room - kHeight));
  area->resize(width, measured);
  if (visible < measured) {
    // Taller than the screen: the area scrolls.
    auto* scroll = new QScrollArea(dlg);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const int bar = dlg->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    scroll->setGeometry(kAreaRect.left(), kAreaRect.top(), width + bar + kScrollGap, visible);
    scroll->setWidget(area);
    dh = visible - kAreaRect.height();
  }
  Move(dlg, kOkItem, dw, dh);
  Move(dlg, kDontShowItem, dw, dh);
  Move(dlg, kGuideItem, 0, dh);
  Move(dlg, kFaqItem, 0, dh);
  QRect heading;
  if (Ui_Dlg_GetItemBounds(dlg, kHeadingItem, &heading) == kOk)
    Ui_Dlg_MoveItem(dlg, kHeadingItem, QRect(heading.topLeft(), QSize(heading.width() + dw, heading.height())));
  const int scrollBar = visible < measured ? dlg->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + kScrollGap : 0;
  dlg->setFixedSize(kWidth + dw + scrollBar, kHeight + dh);
  dlg->move(avail.center() - QPoint(dlg->width() / 2, dlg->height() / 2));
  return kOk;
}

}  // namespace

int HelpGuideTopic(int topic) {
  switch (topic) {
    case kHelpColourBalance:
    case kHelpBlackWhitePoint:
    case kHelpBrightnessContrast:
    case kHelpHueSelective:
    case kHelpMemoryColour:
    case kHelpPreferences:
    case kHelpBrivioPreferences:
    case kHelpSharpenNoise:
    case kHelpColourManagementPrefs:
    case kHelpUserInterfacePrefs:
    case kHelpAddImagePrefs:
    case kHelpSaveImagePrefs:
    case kHelpSyncPrefs: return topic;  // each its own page of the guide
    case kHelpNeutralPreference:
    case kHelpGrayscale:
    case kHelpSepiaTone:
    case kHelpToningColour: return kHelpNeutralPreference;  // one page for the colour definitions
    default: return kHelpOverview;  // the guide's front page
  }
}

Status ShowHelpTopic(int topic, const std::string& helpPath) {
  std::string path = helpPath;
  if (path.empty()) {
    if (Ui_Path_SetToTempFolder(path) != kOk && Ui_Path_SetToCurrentFolder(path) != kOk) return kSysErr;
    path += ResString(1004);
  }
  auto s = std::make_unique<HelpState>();
  s->path = path;
  Status st = LoadHelpTopic(path, topic, &s->topic);
  if (st != kOk) return st;
  for (const HelpParagraph& p : s->topic.paragraphs) {
    QImage picture;
    if (p.picture && !Ui_HelpPicture(p.pictureId, &picture)) DLog("help topic %d: no picture %d", topic, p.pictureId);
    s->pictures.push_back(picture);
  }
  Prefs& prefs = AppPrefs();
  s->dontShow = prefs.showStartUpGuide == 0;
  Ui_Dlg_RegisterTemplate(kHelpDialog, BuildHelp);
  st = RunModal(kHelpDialog, nullptr, HelpInit, s.get());
  if (st != kOk && st != kCancelled) return st;
  // Only the start-up guide shows the box, so only it can change the preference.
  if (topic == kHelpStartUpGuide) prefs.showStartUpGuide = s->dontShow ? 0 : 1;
  return kOk;
}
