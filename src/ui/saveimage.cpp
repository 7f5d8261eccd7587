// Save Image Preferences (1014) and "Save Image as...": the output folder,
// format and name, the extensions and their case, profile and EXIF, the TIFF
// compression, the JPEG quality bar with its label, and the file-save chooser
// of a single image.
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QPainter>
#include <QValidator>
#include <QVBoxLayout>

#include "prefs/prefs.h"
#include "base/alert.h"
#include "session/helptext.h"
#include "base/naming.h"
#include "base/strings.h"
#include "base/uistate.h"
#include "ui/dialogkit.h"
#include "ui/dialogs.h"
#include "ui/dlgitems.h"
#include "ui/uiapp.h"
#include "ui/useritem.h"

using namespace UiKit;

namespace {

constexpr int kSaveImageDialog = 1014;
constexpr int kTextMustChooseFolder = 9510;
constexpr int kTextChooseFolder = 9511;

constexpr int kFolderItem = 4;
constexpr int kFolderTextItem = 5;
constexpr int kFormatItem = 6;
constexpr int kNamingItem = 7;
constexpr int kAffixItem = 8;
constexpr int kUseExtensionsItem = 9;
constexpr int kLowerCaseItem = 10;
constexpr int kEmbedItem = 11;
constexpr int kExifItem = 12;
constexpr int kQualityBarItem = 13;
constexpr int kQualityLabelItem = 14;
constexpr int kShowSaveItem = 15;
constexpr int kRemoveSavedItem = 16;
constexpr int kSaveRestoreItem = 17;
constexpr int kTiffCompressionItem = 18;
constexpr int kKeepGrayItem = 19;

constexpr int32_t kFormatValues[] = {0, 7, 9, 1};  // Same as original, BMP, JPEG, TIFF
constexpr int32_t kCompressionValues[] = {1, 5, 8};  // None, LZW, Deflate
constexpr int kFolderTextWidth = 260;
constexpr int kBarWidth = 240;
constexpr int kBarHeight = 16;

// The save preferences the dialog edits.
struct SaveState {
  uint8_t sameFolder = 1;
  std::string folder;
  int32_t format = 0;
  int32_t naming = 0;
  std::string suffix, prefix;
  uint8_t useExtensions = 1, lowerCase = 1, embed = 1, exif = 1, keepGray = 0;
  float quality = 1.0f;
  int32_t tiffCompression = 1;
  uint8_t showSave = 1, removeSaved = 1;
};

SaveState FromPrefs(const Prefs& p) {
  SaveState s;
  s.sameFolder = p.sameFolder;
  s.folder = p.outputFolder;
  s.format = p.outputFormat;
  s.naming = p.naming;
  s.suffix = p.suffix;
  s.prefix = p.prefix;
  s.useExtensions = p.useExtensions;
  s.lowerCase = p.lowerCase;
  s.embed = p.embedProfile;
  s.exif = p.preserveExif;
  s.keepGray = p.keepGray;
  s.quality = p.jpegQuality;
  s.tiffCompression = p.tiffCompression;
  s.showSave = p.showSavePrefs;
  s.removeSaved = p.removeSaved;
  return s;
}

void ToPrefs(const SaveState& s, Prefs& p) {
  p.sameFolder = s.sameFolder;
  p.outputFolder = s.folder;
  p.outputFormat = s.format;
  p.naming = s.naming;
  p.suffix = s.suffix;
  p.prefix = s.prefix;
  p.useExtensions = s.useExtensions;
  p.lowerCase = s.lowerCase;
  p.embedProfile = s.embed;
  p.preserveExif = s.exif;
  p.keepGray = s.keepGray;
  p.jpegQuality = s.quality;
  p.tiffCompression = s.tiffCompression;
  p.showSavePrefs = s.showSave;
  p.removeSaved = s.removeSaved;
}

// Typing into the suffix or prefix: refused characters (control characters,
// DEL, folder separators) are dropped, and the text stays within the 19
// bytes its preference field holds.
class AffixValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int& pos) const override {
    QString kept;
    int cursor = pos;
    for (int i = 0; i < input.size(); ++i) {
      const QChar c = input.at(i);
      const bool refused = c.unicode() < 128 && !IsNameAffixChar((unsigned char)c.unicode());
      if (refused) {
        if (i < pos) --cursor;
        continue;
      }
      kept += c;
    }
    while (kept.toUtf8().size() > (qsizetype)kNameAffixMax) kept.chop(1);
    input = kept;
    pos = std::clamp(cursor, 0, (int)kept.size());
    return Acceptable;
  }
};

QLabel* Caption(QWidget* parent, const char* text, Qt::Alignment align) {
  auto* l = new QLabel(QString::fromUtf8(text), parent);
  l->setAlignment(align);
  QFont f = l->font();
  f.setPointSizeF(f.pointSizeF() * 0.85);
  l->setFont(f);
  return l;
}

// The captions above or below the bar: "less Quality more" / "more Compression less".
QHBoxLayout* BarCaptions(QWidget* parent, const char* left, const char* middle, const char* right) {
  auto* row = new QHBoxLayout;
  row->setSpacing(0);
  row->addWidget(Caption(parent, left, Qt::AlignLeft));
  row->addWidget(Caption(parent, middle, Qt::AlignHCenter), 1);
  row->addWidget(Caption(parent, right, Qt::AlignRight));
  return row;
}

Status BuildSaveImage(QDialog* d) {
  d->setWindowTitle(QStringLiteral("Save Image Preferences"));
  auto* root = new QVBoxLayout(d);
  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("Output Folder:"), d), 0, 0);
  grid->addWidget(Combo(d, kFolderItem, {"Same as original", "Use this folder..."}), 0, 1);
  auto* folder = Text(d, kFolderTextItem, QString());
  folder->setFixedWidth(kFolderTextWidth);
  grid->addWidget(folder, 0, 2);
  grid->addWidget(new QLabel(QStringLiteral("Output Format:"), d), 1, 0);
  grid->addWidget(Combo(d, kFormatItem, {"Same as original", "BMP", "JPEG", "TIFF"}), 1, 1);
  grid->addWidget(new QLabel(QStringLiteral("File Name:"), d), 2, 0);
  grid->addWidget(Combo(d, kNamingItem, {"Append Suffix", "Prepend Prefix", "Same as original"}), 2, 1);
  auto* affix = new QLineEdit(d);
  affix->setProperty("itemId", kAffixItem);
  affix->setValidator(new AffixValidator(affix));
  affix->setMaxLength((int)kNameAffixMax);
  affix->setFixedWidth(120);
  grid->addWidget(affix, 2, 2, Qt::AlignLeft);
  // "Use File Extensions" stays hidden; "Lower Case Extensions" takes its place.
  auto* useExtensions = Check(d, kUseExtensionsItem, QStringLiteral("Use File Extensions"));
  useExtensions->hide();
  grid->addWidget(Check(d, kLowerCaseItem, QStringLiteral("Lower Case Extensions")), 3, 1, 1, 2);
  grid->addWidget(Check(d, kEmbedItem, QStringLiteral("Embed Working Space Profile")), 4, 1, 1, 2);
  grid->addWidget(Check(d, kExifItem, QStringLiteral("Preserve JPEG EXIF Data")), 5, 1, 1, 2);
  grid->addWidget(Check(d, kKeepGrayItem, QStringLiteral("Save Grayscale Images as Grayscale")), 6, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("TIFF Compression:"), d), 7, 0);
  grid->addWidget(Combo(d, kTiffCompressionItem, {"None", "LZW", "Deflate"}), 7, 1);
  grid->setColumnStretch(2, 1);
  root->addLayout(grid);

  auto* quality = new QGroupBox(QStringLiteral("JPEG Quality"), d);
  auto* q = new QGridLayout(quality);
  q->addLayout(BarCaptions(quality, "less", "Quality", "more"), 0, 0);
  auto* bar = new UiUserItem(kQualityBarItem, quality);
  bar->setAccessibleName(QStringLiteral("JPEG quality"));
  bar->setFixedSize(kBarWidth, kBarHeight);
  bar->setCursor(Qt::PointingHandCursor);
  q->addWidget(bar, 1, 0);
  q->addLayout(BarCaptions(quality, "more", "Compression", "less"), 2, 0);
  auto* label = Text(quality, kQualityLabelItem, QString());
  label->setMinimumWidth(QFontMetrics(label->font()).horizontalAdvance(QStringLiteral("100 (PS:12)")) + 8);
  q->addWidget(label, 1, 1);
  q->setColumnStretch(2, 1);
  root->addWidget(quality);

  root->addWidget(Check(d, kShowSaveItem, QStringLiteral("Show these Preferences with Every Save")));
  root->addWidget(Check(d, kRemoveSavedItem, QStringLiteral("Remove Saved Images from the Batchline")));
  root->addSpacing(6);
  root->addLayout(BottomRow(d, Button(d, kSaveRestoreItem, QStringLiteral("Restore Defaults"))));
  return kOk;
}

template <size_t N>
int IndexOf(const int32_t (&values)[N], int32_t value) {
  for (int i = 0; i < (int)N; ++i)
    if (values[i] == value) return i;
  return 0;
}

// The chosen folder without its trailing '/', or only its last part when
// the whole path does not fit the field.
std::string FolderShown(QWidget* dlg, const std::string& folder) {
  std::string shown = folder;
  while (shown.size() > 1 && shown.back() == '/') shown.pop_back();
  QWidget* field = nullptr;
  if (Ui_Dlg_GetItem(dlg, kFolderTextItem, &field) != kOk) return shown;
  const QFontMetrics metrics(field->font());
  if (metrics.horizontalAdvance(QPath(shown)) <= field->width()) return shown;
  const std::string last = LeafName(shown);
  return last.empty() ? shown : last;
}

void ShowAffix(QWidget* dlg, const SaveState& s) {
  Ui_Dlg_ShowItem(dlg, kAffixItem, s.naming != kNamingSame);
  Ui_Dlg_SetItemText(dlg, kAffixItem, s.naming == kNamingPrefix ? s.prefix : s.suffix);
}

void ShowQuality(QWidget* dlg, const SaveState& s) {
  Ui_Dlg_SetItemText(dlg, kQualityLabelItem, JpegQualityLabel(s.quality));
  Ui_Dlg_InvalidateItem(dlg, kQualityBarItem);
}

void ShowSaveValues(QWidget* dlg, const SaveState& s) {
  Ui_Dlg_SelectListEntry(dlg, kFolderItem, s.sameFolder ? 0 : 1);
  Ui_Dlg_SetItemText(dlg, kFolderTextItem, s.sameFolder ? std::string() : FolderShown(dlg, s.folder));
  Ui_Dlg_SelectListEntry(dlg, kFormatItem, IndexOf(kFormatValues, s.format));
  Ui_Dlg_SelectListEntry(dlg, kTiffCompressionItem, IndexOf(kCompressionValues, s.tiffCompression));
  Ui_Dlg_SelectListEntry(dlg, kNamingItem, std::clamp((int)s.naming, 0, 2));
  ShowAffix(dlg, s);
  Ui_Dlg_CheckItem(dlg, kUseExtensionsItem, s.useExtensions != 0);
  Ui_Dlg_CheckItem(dlg, kLowerCaseItem, s.lowerCase != 0);
  Ui_Dlg_EnableItem(dlg, kLowerCaseItem, s.useExtensions != 0);
  Ui_Dlg_CheckItem(dlg, kEmbedItem, s.embed != 0);
  Ui_Dlg_CheckItem(dlg, kExifItem, s.exif != 0);
  Ui_Dlg_CheckItem(dlg, kKeepGrayItem, s.keepGray != 0);
  Ui_Dlg_CheckItem(dlg, kShowSaveItem, s.showSave != 0);
  Ui_Dlg_CheckItem(dlg, kRemoveSavedItem, s.removeSaved != 0);
  ShowQuality(dlg, s);
}

void ReadChecks(QWidget* dlg, SaveState& s) {
  s.useExtensions = IsChecked(dlg, kUseExtensionsItem);
  s.lowerCase = IsChecked(dlg, kLowerCaseItem);
  s.embed = IsChecked(dlg, kEmbedItem);
  s.exif = IsChecked(dlg, kExifItem);
  s.keepGray = IsChecked(dlg, kKeepGrayItem);
  s.showSave = IsChecked(dlg, kShowSaveItem);
  s.removeSaved = IsChecked(dlg, kRemoveSavedItem);
}

// "Use this folder...": the folder chooser; cancelled with no folder chosen
// before, "You must choose a folder" and back to "Same as original".
void ChooseFolder(QWidget* dlg, SaveState& s) {
  if (Selection(dlg, kFolderItem) == 0) {
    s.sameFolder = 1;
  } else {
    UiFileRequest request;
    request.title = ResString(kTextChooseFolder);
    request.folder = s.folder;
    std::string chosen;
    const Status st = Ui_GetHost().ChooseFolder(request, chosen);
    if (st == kOk && !chosen.empty() && chosen.back() != '/') chosen += '/';
    if (st == kOk && SetPrefsPath(s.folder, chosen) == kOk) {
      s.sameFolder = 0;
    } else if (!s.folder.empty()) {
      s.sameFolder = 0;  // the folder chosen before stays
    } else {
      if (st == kCancelled) Ui_GetHost().ShowMessage(ResString(1000), ResString(kTextMustChooseFolder));
      s.sameFolder = 1;
    }
  }
  Ui_Dlg_SelectListEntry(dlg, kFolderItem, s.sameFolder ? 0 : 1);
  Ui_Dlg_SetItemText(dlg, kFolderTextItem, s.sameFolder ? std::string() : FolderShown(dlg, s.folder));
}

uint8_t SaveImageHit(QWidget* dlg, int item) {
  auto* s = StateOf<SaveState>(dlg);
  if (!s) return 1;
  switch (item) {
    case kOkItem:
      ReadChecks(dlg, *s);
      RequestClose(dlg);
      break;
    case kCancelItem: RequestClose(dlg); break;
    case kHelpItem: ShowHelpTopic(kHelpSaveImagePrefs); break;
    case kFolderItem: ChooseFolder(dlg, *s); break;
    case kFormatItem: {
      const int entry = Selection(dlg, kFormatItem);
      if (entry >= 0 && entry < (int)std::size(kFormatValues)) s->format = kFormatValues[entry];
      break;
    }
    case kTiffCompressionItem: {
      const int entry = Selection(dlg, kTiffCompressionItem);
      if (entry >= 0 && entry < (int)std::size(kCompressionValues)) s->tiffCompression = kCompressionValues[entry];
      break;
    }
    case kNamingItem:
      s->naming = std::clamp(Selection(dlg, kNamingItem), 0, 2);
      ShowAffix(dlg, *s);
      break;
    case kAffixItem: {
      std::string text;
      Ui_Dlg_GetItemText(dlg, kAffixItem, &text);
      text = FilterNameAffix(text);
      (s->naming == kNamingPrefix ? s->prefix : s->suffix) = text;
      break;
    }
    case kSaveRestoreItem: {
      Prefs defaults;
      ResetPrefs(&defaults);
      *s = FromPrefs(defaults);
      ShowSaveValues(dlg, *s);
      break;
    }
    default: break;
  }
  return 1;
}

// The quality bar: filled up to the quality, with a mark at its position.
void DrawQualityBar(QWidget* dlg, int item, QPainter& painter) {
  auto* s = StateOf<SaveState>(dlg);
  QRect bounds;
  if (!s || Ui_Dlg_GetItemBounds(dlg, item, &bounds) != kOk) return;
  const QRect r(0, 0, bounds.width(), bounds.height());
  painter.fillRect(r, dlg->palette().color(QPalette::Base));
  const int span = r.width() - 1;
  const int x = (int)(s->quality * span + 0.5f);
  QLinearGradient fill(0, 0, r.width(), 0);
  fill.setColorAt(0, QColor(150, 170, 200));
  fill.setColorAt(1, QColor(40, 90, 170));
  painter.fillRect(QRect(0, 0, x, r.height()), fill);
  painter.setPen(dlg->palette().color(QPalette::WindowText));
  painter.drawLine(x, 0, x, r.height() - 1);
  painter.setPen(dlg->palette().color(QPalette::Mid));
  painter.drawRect(r.adjusted(0, 0, -1, -1));
}

// A click or drag in the bar sets the quality from the mouse position.
uint8_t TrackQualityBar(QWidget* dlg, int item, int phase) {
  auto* s = StateOf<SaveState>(dlg);
  Ui_Dlg_Info* info = nullptr;
  QRect bounds;
  if (!s || Ui_Dlg_Info_Get(dlg, &info) != kOk || Ui_Dlg_GetItemBounds(dlg, item, &bounds) != kOk) return 0;
  s->quality = QualityFromBar(info->mouseH, bounds.left(), bounds.left() + bounds.width());
  ShowQuality(dlg, *s);
  return 1;  // tracked; the release is handled here too
}

Status SaveImageInit(QWidget* dlg) {
  Ui_Dlg_SetItemHitProc(dlg, SaveImageHit);
  Ui_Dlg_SetUserItemProcs(dlg, DrawQualityBar, TrackQualityBar);
  ShowSaveValues(dlg, *StateOf<SaveState>(dlg));
  return kOk;
}

// ---- Save Image as ------------------------------------------------------------------

struct FileType {
  int32_t format;
  const char* filter;
};
constexpr FileType kBmpType{7, "BMP (*.bmp)"};
constexpr FileType kJpegType{9, "JPEG (*.jpg)"};
constexpr FileType kTiffType{1, "TIFF (*.tif)"};

std::vector<FileType> TypesFor(int32_t colorType) {
  switch (colorType) {
    case 1:  // RGB
    case 5:  // gray
      return {kBmpType, kJpegType, kTiffType};
    case 4:  // CMYK
      return {kJpegType, kTiffType};
    default:  // CIE L*a*b* and the rest: TIFF only
      return {kTiffType};
  }
}

QString WithExtension(const QString& name, const QString& ext) {
  const qsizetype dot = name.lastIndexOf('.');
  const qsizetype slash = name.lastIndexOf('/');
  const QString stem = (dot > slash + 1) ? name.left(dot) : name;
  return stem + '.' + ext;
}

bool HasExtension(const QString& path) {
  const qsizetype dot = path.lastIndexOf('.');
  return dot > path.lastIndexOf('/') + 1;
}

Status ChooseSaveAs(QWidget* owner, const SaveAsRequest& request, SaveAsChoice* choice) {
  const Prefs& prefs = AppPrefs();
  std::string proposed = request.outputPath;
  if (!prefs.saveAsFolder.empty()) {
    std::string folder = prefs.saveAsFolder;
    if (folder.back() != '/') folder += '/';
    proposed = folder + LeafName(request.outputPath);
  }
  const std::vector<FileType> types = TypesFor(request.colorType);
  const int32_t current = request.outputFormat == 10 ? 1 : request.outputFormat;
  size_t preselected = types.size() - 1;  // TIFF, the last of every list
  for (size_t i = 0; i < types.size(); ++i)
    if (types[i].format == current) preselected = i;

  QFileDialog dialog(owner ? owner : Ui_Dlg_OwnerWindow());
  dialog.setWindowTitle(Q(ResString(1041)));
  if (!NativeChoosers()) dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setLabelText(QFileDialog::FileName, Q(ResString(1041)));
  QStringList filters;
  for (const FileType& t : types) filters << QString::fromUtf8(t.filter);
  dialog.setNameFilters(filters);
  dialog.selectNameFilter(filters.at((int)preselected));
  const std::string folder = FolderOf(proposed);
  if (!folder.empty()) dialog.setDirectory(QPath(folder));
  dialog.selectFile(QPath(LeafName(proposed)));

  const bool lower = prefs.lowerCase != 0;
  auto extensionOf = [&](const QString& filter) {
    for (const FileType& t : types)
      if (filter == QString::fromUtf8(t.filter)) return Q(FormatExtension(t.format, lower));
    return QString();
  };
  // Another type swaps the extension of the name being typed.
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
    const QString ext = extensionOf(filter);
    auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (name && !ext.isEmpty() && !name->text().isEmpty()) name->setText(WithExtension(name->text(), ext));
    if (prefs.useExtensions) dialog.setDefaultSuffix(ext);
  });
  if (prefs.useExtensions) dialog.setDefaultSuffix(extensionOf(filters.at((int)preselected)));

  const UiBusyPause pause;
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return kCancelled;
  const QString chosenFilter = dialog.selectedNameFilter();
  int32_t format = types[preselected].format;
  for (const FileType& t : types)
    if (chosenFilter == QString::fromUtf8(t.filter)) format = t.format;
  QString path = dialog.selectedFiles().first();
  if (prefs.useExtensions && !HasExtension(path)) path = WithExtension(path, extensionOf(chosenFilter));
  choice->path = SPath(path);
  choice->format = (format == 1 && request.maxValue >= 256) ? 10 : format;
  return kOk;
}

}  // namespace

Status ShowSaveImagePrefs(QWidget* owner, PrefsOpening opening) {
  Ui_Dlg_RegisterTemplate(kSaveImageDialog, BuildSaveImage);
  Prefs& prefs = AppPrefs();
  SaveState s = FromPrefs(prefs);
  const Status st = RunModal(kSaveImageDialog, owner, SaveImageInit, &s);
  if (st != kOk) return st;
  ToPrefs(s, prefs);
  if (UiState* state = AppState()) {
    state->appendExtension = prefs.useExtensions;
    state->lowerCaseExtension = prefs.lowerCase;
  }
  if (opening == PrefsOpening::kBeforeOperation) SavePreferencesFile();
  return kOk;
}

Status SaveImageAsDialog(QWidget* owner, const SaveAsRequest& request, SaveAsChoice* choice) {
  Status st = choice ? ChooseSaveAs(owner, request, choice) : kBadArg;
  if (st != kOk && st != kCancelled) ReportError(st, ResString(3033));
  return st;
}

Status SaveImageAsDone(const std::string& path, const TavelinPars& record) {
  Prefs& prefs = AppPrefs();
  Status st = SetPrefsPath(prefs.saveAsFolder, FolderOf(path));
  prefs.previous = record;
  return st;
}
