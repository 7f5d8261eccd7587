#include "session/batchline.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "colormgmt/profilepolicy.h"
#include "correct/brivio.h"
#include "filters/decodeonce.h"
#include "filters/preview.h"
#include "filters/rowthumbnail.h"
#include "imagefile/format.h"
#include "imagefile/metadata.h"
#include "prefs/prefs.h"
#include "base/alert.h"
#include "base/debuglog.h"
#include "base/outputplan.h"
#include "base/strings.h"
#include "base/uihost.h"
#include "base/uistate.h"
#include "session/editcontext.h"
#include "session/pipeline.h"
#include "session/runstate.h"
#include "session/startup.h"

namespace {

UiHost& Host() { return Ui_GetHost(); }

void Changed(EditContext* ctx) {
  if (ctx->hooks.listChanged) ctx->hooks.listChanged();
}

const std::string& TempFolder(const EditContext* ctx) { return ctx->app->tempFolder; }
const std::string& WorkingProfile(const EditContext* ctx) { return ctx->app->workingSpace.profilePath; }
// The session's preferences (the record its caller handed it).
Prefs& SessionPrefs(const EditContext* ctx) { return *ctx->app->prefs; }

// The selected entries in list order.
std::vector<int32_t> SelectedIndices(const Batchline& b) {
  std::vector<int32_t> out;
  for (size_t i = 0; i < b.selected.size(); ++i)
    if (b.selected[i]) out.push_back((int32_t)i);
  return out;
}

// A reason as a sentence of its own: "Its output ...".
std::string Sentence(std::string text) {
  if (!text.empty()) text[0] = (char)std::toupper((unsigned char)text[0]);
  return text + ".";
}

// The output plan of one image against every image of the Batchline; a
// refusal is reported.
Status PlanOneOutput(const EditContext* ctx, const std::string& input, const std::string& output) {
  OutputPlan plan;
  for (const JobEntry& e : ctx->batch.entries) plan.AddInput(e.imagePath);
  const PlanVerdict verdict = plan.Claim(input, {output});
  if (verdict.ok) return kOk;
  return ReportError(kBadArg, Phrase(9107, LeafName(input).c_str()).c_str(), Sentence(verdict.message).c_str());
}

// Shows the current entry in the window (when the window has a view).
Status ShowCurrentEntry(EditContext* ctx) {
  if (ctx->viewWidth < 2 || ctx->batch.current < 0) return kOk;
  return LoadEntryForEditing(ctx);
}

// The header file after a change of the list: rewritten, or both files
// deleted when the list is empty.
Status StoreList(EditContext* ctx) {
  Batchline& b = ctx->batch;
  if (b.entries.empty()) return DeleteBatchlineFiles(b.files);
  return WriteBatchlineHeader(b.files, b.entries);
}

// ---- sorting the chosen files -------------------------------------------------------

// Name and extension of a path's leaf (extension: after the last '.').
void SplitLeaf(const std::string& path, std::string& name, std::string& ext) {
  const std::string leaf = LeafName(path);
  const size_t dot = leaf.rfind('.');
  name = dot == std::string::npos ? leaf : leaf.substr(0, dot);
  ext = dot == std::string::npos ? std::string() : leaf.substr(dot + 1);
}

int CompareExact(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return (unsigned char)a[i] < (unsigned char)b[i] ? -1 : 1;
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// By name without extension, letters folded to upper case first and then
// exactly (an upper-case letter before its lower-case form), a shorter name
// before a longer one; equal names by extension, exactly.
bool AddOrder(const std::string& a, const std::string& b) {
  std::string na, ea, nb, eb;
  SplitLeaf(a, na, ea);
  SplitLeaf(b, nb, eb);
  const size_t n = std::min(na.size(), nb.size());
  for (size_t i = 0; i < n; ++i) {
    const int ca = std::toupper((unsigned char)na[i]), cb = std::toupper((unsigned char)nb[i]);
    if (ca != cb) return ca < cb;
  }
  if (na.size() != nb.size()) return na.size() < nb.size();
  if (int c = CompareExact(na, nb); c != 0) return c < 0;
  return CompareExact(ea, eb) < 0;
}

// ---- adding one file ----------------------------------------------------------------

ICCImage ThumbnailImage(Thumbnail& t) {
  ICCImage img;
  img.width = (int32_t)t.width;
  img.height = (int32_t)t.height;
  img.pixelStep = 3;
  img.rowStep = (int32_t)t.rowStep;
  img.chan[0] = t.Red();
  img.chan[1] = t.Green();
  img.chan[2] = t.Blue();
  return img;
}

// The record an added image starts with (colour and filter start-with).
// Linear data (camera raw) are flagged linear whatever the start, before
// Brivio looks at them.
Status StartRecord(EditContext* ctx, const Thumbnail& thumbnail, bool linearData, TavelinPars* rec) {
  const Prefs& prefs = SessionPrefs(ctx);
  Status st = kOk;
  switch (prefs.colourStartWith) {
    case 1: *rec = prefs.previous; break;
    case 3: *rec = prefs.custom; break;
    case 0: {
      if ((st = NewRecordInWorkingSpace(ctx, rec)) != kOk) return st;
      if (linearData) rec->linear = 1;
      BrivioContext brivio;
      brivio.pars = rec;
      brivio.settings.analysis = (BrivioAnalysis)prefs.brivioAnalysis;
      brivio.settings.setMask = (ToolMask)prefs.brivioMask;
      brivio.settings.preferredSaturation = prefs.brivioSaturation;
      brivio.settings.analysisIndex = PrefsGridIndex(prefs);
      brivio.settings.gridIndex = PrefsGridIndex(prefs);
      ToolMask mask = TOOL_ALL;
      BrivioMask(BrivioOccasion::kMasterButton, 0, false, &mask);
      const RasterView view = ThumbnailView(thumbnail);
      RunBrivio(&brivio, mask, &view);  // a failure is reported there; the steps done stay
      break;
    }
    default: st = NewRecordInWorkingSpace(ctx, rec); break;
  }
  if (st != kOk) return st;
  if (linearData) rec->linear = 1;
  if (prefs.filterStartWith == 1) CopyFilterSettings(prefs.previous, rec);
  else if (prefs.filterStartWith == 3) CopyFilterSettings(prefs.custom, rec);
  else SetFilterDefaults(rec);
  return kOk;
}

bool AcceptedFormat(int32_t format) {
  return format == kRasTiff || format == kRasTiff16 || format == kRasJpeg || format == kRasBmp || format == kRasTarga ||
         format == kRasPng || format == kRasPng16 || format == kRasWebp || format == kRasHeif || format == kRasHeif16 ||
         format == kRasCameraRaw;
}

}  // namespace

Status MakeImageRecord(EditContext* ctx, const std::string& path, ProfileAddOperation& profiles,
                       std::vector<uint8_t>* record, const OnePassAdd* onePass) {
  if (!ctx || !ctx->app || !record) return kBadArg;
  const std::string leaf = LeafName(path);
  if (path.find('\0') != std::string::npos) return ReportError(kBadArg, Phrase(3012, leaf.c_str()));

  RasImage image;
  Status st = RasQuery(path, image);
  if (st != kOk) {
    if (IsJobFile(path)) return ReportError(st, nullptr, ResText(9221));
    // The reader's reason, as `info` gives it, after the file's name.
    return ReportError(st, RasWithReason(Phrase(3012, leaf.c_str())));
  }
  if (!AcceptedFormat(image.format)) return ReportError(kFormatErr, nullptr, Phrase(9222, leaf.c_str()).c_str());
  // Gray and CMYK files are read as RGB in the working space, camera raw is
  // rendered in it, linear (CorrectionReadOptions).
  const bool readAsRgb = image.colorType == kRasGray || image.colorType == kRasCMYK;
  const bool cameraRaw = image.format == kRasCameraRaw;
  if (image.colorType != kRasRGB && !readAsRgb)
    return ReportError(kFormatErr, nullptr, Phrase(9223, leaf.c_str()).c_str());

  std::string profile;
  if (readAsRgb || cameraRaw) profile = WorkingProfile(ctx);
  else if ((st = DecideInputProfile(profiles, path, profile)) != kOk) return st;  // reported there
  // From here on a temporary profile copy belongs to this attempt until the entry exists.
  auto dropProfile = [&]() {
    if (Ui_Path_IsTempName(TempFolder(ctx), profile)) StreamDelete(profile);
  };

  // The thumbnail: what the list shows and what Brivio analyses.
  Thumbnail original, converted;
  bool haveConverted = false;
  if (!onePass || SessionPrefs(ctx).colourStartWith == 0) {
    PixelBuffer pb;
    if (onePass) {
      // The save reads the file as this decode does.
      const ReadOptions read = CorrectionReadOptions(profile.empty() ? WorkingProfile(ctx) : profile, SessionPrefs(ctx));
      IPRowThumbnail rows;
      HeldImage scratch;
      HeldImage& held = onePass->held ? *onePass->held : scratch;
      st = IPDecodeOnce(path, read, onePass->held ? onePass->holdBytes : 0, rows, held);
      if (st == kOk) st = rows.Finish(pb);
    } else {
      st = IPMakeThumbnail(path.c_str(), pb, kThumbnailBox, CorrectionReadOptions(profile, SessionPrefs(ctx)));
    }
    if (st != kOk) {
      dropProfile();
      return ReportError(st, RasWithReason(Phrase(3012, leaf.c_str())));
    }
    // The thumbnail stands upright as the file's orientation says (the pixels
    // saved are not turned; the tag goes with them).
    MetaReadExtras(path, image.format, image.meta);
    if ((st = IPOrient(pb, image.meta.orientation)) != kOk) {
      dropProfile();
      return ReportError(st, Phrase(3012, leaf.c_str()));
    }
    if ((st = ThumbnailFromRgb(static_cast<const uint8_t*>(pb.chan[0]), (uint32_t)pb.width, (uint32_t)pb.height,
                               (int64_t)pb.rowStep * pb.bytesPerSample, &original)) != kOk) {
      dropProfile();
      return ReportError(st, Phrase(3012, leaf.c_str()));
    }
    // The thumbnail in the working space, for the analysis and the corrected thumbnail.
    if (!profile.empty() && profile != WorkingProfile(ctx) && CopyThumbnail(original, &converted) == kOk) {
      ICCImage img = ThumbnailImage(converted);
      haveConverted = ConvertThumbnailToWorkingSpace(profile, WorkingProfile(ctx), path, img) == kOk;
    }
  }

  TavelinPars rec;
  if ((st = StartRecord(ctx, haveConverted ? converted : original, cameraRaw, &rec)) != kOk) {
    dropProfile();
    return ReportError(st, Phrase(3012, leaf.c_str()));
  }

  // The record is made in memory at offset 0; it holds no position of its own.
  std::vector<uint8_t> bytes(kJobMaxRecord);
  MemStreamDesc mem;
  mem.buffer = bytes.data();
  mem.size = (int64_t)bytes.size();
  Stream out;
  if ((st = StreamOpen(out, mem, kStreamUpdate)) != kOk) {
    dropProfile();
    return ReportError(st, "loading images");
  }
  JobEntry made;
  JobRecordWrite parts;
  parts.imagePath = &path;
  parts.markLongImagePath = true;  // the run state keeps a long path
  parts.profilePath = &profile;
  parts.pars = &rec;
  parts.original = onePass ? nullptr : &original;
  parts.gridIndex = ContextGridIndex(ctx);
  if (haveConverted && !onePass)
    parts.convertProfile = [&converted](const std::string&, Thumbnail& t) { return CopyThumbnail(converted, &t); };
  if ((st = WriteJobRecord(out, made, parts)) != kOk) {
    dropProfile();
    return st;  // reported by the job file
  }
  bytes.resize(made.length);
  *record = std::move(bytes);
  return kOk;
}

void StartProfileAdd(const AppSession& app, AddProfiles* p) {
  const Prefs& prefs = *app.prefs;
  p->answers.missingAction = prefs.noProfileAnswer;
  p->answers.missingPath = prefs.noProfileAnswerPath;
  p->answers.embeddedAction = prefs.embeddedAnswer;
  p->answers.embeddedPath = prefs.embeddedAnswerPath;
  CheckProfileAnswers(p->answers);
  p->op.actions.missingAction = prefs.noProfileAction;
  p->op.actions.missingPath = prefs.noProfilePath;
  p->op.actions.embeddedAction = prefs.embeddedAction;
  p->op.actions.embeddedPath = prefs.embeddedPath;
  CheckProfilePolicy(p->op.actions);
  p->op.answers = &p->answers;
  p->op.workingSpaceProfile = app.workingSpace.profilePath;
  p->op.tempFolder = app.tempFolder;
}

namespace {

// The input profile path a record holds (its second field).
std::string RecordProfile(const std::vector<uint8_t>& record) {
  if (record.size() < 2 * kJobPathField) return {};
  const char* field = reinterpret_cast<const char*>(record.data() + kJobOffsetProfilePath);
  return std::string(field, strnlen(field, kJobPathField - 1));
}

// A record that will not be stored: its temporary profile copy goes.
void DropRecord(EditContext* ctx, const std::vector<uint8_t>& record) {
  const std::string profile = RecordProfile(record);
  if (Ui_Path_IsTempName(TempFolder(ctx), profile)) StreamDelete(profile);
}

// Appends a made record to the data file (after the furthest record of the
// list) and flushes it; the entry describes it.
Status StoreRecord(EditContext* ctx, Stream& data, const std::string& path, const std::vector<uint8_t>& record,
                   JobEntry& entry) {
  if (ctx->batch.entries.size() >= kJobMaxEntries) {
    DropRecord(ctx, record);
    return ReportError(kBadArg, "loading images", Phrase(9101, (int)kJobMaxEntries).c_str());
  }
  JobEntry made;
  made.offset = JobEntriesEnd(ctx->batch.entries);
  made.length = (uint32_t)record.size();
  made.imagePath = path;
  Status st = (uint64_t)made.offset + made.length > UINT32_MAX ? kBadArg : StreamSeek(data, made.offset, 0);
  if (st == kOk) st = StreamWriteAll(data, record.data(), record.size());
  if (st == kOk) st = StreamFlush(data);
  // The run state knows the file as it is now (and its whole path), before
  // the header lists it.
  FileIdentity id;
  FileIdentityOf(path, &id);
  if (st == kOk && RunStateAdded(ctx->batch.files, made, id) != kOk) st = kWriteErr;
  if (st != kOk) {
    DropRecord(ctx, record);
    return ReportError(st, "writing image data");
  }
  entry = std::move(made);
  return kOk;
}

// Rewrites one entry's record with `pars` and a corrected thumbnail made
// from its original thumbnail (through `transform` when given).
Status RewriteRecord(EditContext* ctx, int32_t index, const TavelinPars& pars, TintmeshHandle* transform) {
  Batchline& b = ctx->batch;
  JobEntry& entry = b.entries[index];
  std::string profile;
  Thumbnail original;
  JobRecordRead in;
  in.profilePath = &profile;
  in.original = &original;
  Status st = ReadJobRecord(b.files.data, entry, in);
  if (st != kOk) return st;
  Thumbnail converted;
  bool haveConverted = false;
  if (!profile.empty() && profile != WorkingProfile(ctx) && !original.Empty() &&
      CopyThumbnail(original, &converted) == kOk) {
    ICCImage img = ThumbnailImage(converted);
    haveConverted = ConvertThumbnailToWorkingSpace(profile, WorkingProfile(ctx), entry.imagePath, img) == kOk;
  }
  JobRecordWrite out;
  out.pars = &pars;
  out.profilePath = &profile;
  out.original = original.Empty() ? nullptr : &original;
  out.transform = transform;
  out.gridIndex = ContextGridIndex(ctx);
  if (haveConverted)
    out.convertProfile = [&converted](const std::string&, Thumbnail& t) { return CopyThumbnail(converted, &t); };
  if (Status st = WriteJobRecord(b.files.data, entry, out); st != kOk) return st;
  // New edits: the entry is to be saved again, should the run end before.
  FileIdentity id;
  FileIdentityOf(entry.imagePath, &id);
  if (RunStateAdded(b.files, entry, id) != kOk) DLog("the run state did not take the edits of %s", entry.imagePath.c_str());
  return kOk;
}

// Deletes an entry's temporary profile copy.
void DeleteTempProfile(EditContext* ctx, JobEntry entry) {
  std::string profile;
  JobRecordRead in;
  in.profilePath = &profile;
  if (ReadJobRecord(ctx->batch.files.data, entry, in) == kOk && Ui_Path_IsTempName(TempFolder(ctx), profile))
    StreamDelete(profile);
}

// Removes entries (indices ascending): their temporary profile copies are
// deleted, the list closes up, the header is rewritten (or both files go).
Status RemoveEntries(EditContext* ctx, const std::vector<int32_t>& indices) {
  Batchline& b = ctx->batch;
  for (auto it = indices.rbegin(); it != indices.rend(); ++it) {
    const int32_t i = *it;
    if (i < 0 || i >= (int32_t)b.entries.size()) continue;
    DeleteTempProfile(ctx, b.entries[i]);
    b.entries.erase(b.entries.begin() + i);
    b.selected.erase(b.selected.begin() + i);
  }
  const int32_t n = (int32_t)b.entries.size();
  if (n == 0) b.current = -1;
  else if (b.current >= n) b.current = n - 1;
  else if (b.current < 0) b.current = 0;
  if (b.current >= 0 && std::find(b.selected.begin(), b.selected.end(), 1) == b.selected.end())
    b.selected[b.current] = 1;
  Status st = StoreList(ctx);
  Changed(ctx);
  return st;
}

// Removes what killed processes left: temporary files in the preferences
// folder, and in the working folder the temporary files and the copies of
// embedded profiles that no entry of the Batchline names. Runs once the
// Batchline is this process's and its entries are known.
void SweepLeftovers(EditContext* ctx) {
  Batchline& b = ctx->batch;
  SweepStaleTemps(FolderOf(b.files.header));
  std::vector<std::string> named;
  for (JobEntry e : b.entries) {
    std::string profile;
    JobRecordRead in;
    in.profilePath = &profile;
    if (ReadJobRecord(b.files.data, e, in) == kOk && !profile.empty()) named.push_back(profile);
  }
  if (TempFolder(ctx).empty() || !b.sweepTempFolder) return;
  SweepStaleTemps(TempFolder(ctx), [&named](const std::string& path) {
    return std::find(named.begin(), named.end(), path) != named.end();
  });
}

// Deletes the temporary profile copies of every entry.
void DeleteTempProfiles(EditContext* ctx) {
  for (const JobEntry& e : ctx->batch.entries) DeleteTempProfile(ctx, e);
}

// The list after entries were appended: when it was empty, the first entry
// becomes current and selected.
void AfterAppend(Batchline& b, bool wasEmpty) {
  b.selected.resize(b.entries.size(), 0);
  if (wasEmpty && !b.entries.empty()) {
    b.current = 0;
    b.selected[0] = 1;
  }
}

Status MoveTo(EditContext* ctx, int32_t index) {
  Batchline& b = ctx->batch;
  std::fill(b.selected.begin(), b.selected.end(), 0);
  b.current = index;
  b.selected[index] = 1;
  Changed(ctx);
  return ShowCurrentEntry(ctx);
}

Status ConfirmPrefsDialog(EditContext* ctx, bool wanted, const std::function<Status()>& dialog) {
  if (!wanted || !dialog) return kOk;
  Status st = dialog();
  if (st != kOk) return st;
  return SavePreferencesNow(ctx->app);
}

}  // namespace

// ---- the list -----------------------------------------------------------------------------

int32_t BatchlineCount(const EditContext* ctx) { return ctx ? (int32_t)ctx->batch.entries.size() : 0; }

int32_t BatchlineSelectedCount(const EditContext* ctx) {
  return ctx ? (int32_t)std::count(ctx->batch.selected.begin(), ctx->batch.selected.end(), 1) : 0;
}

int32_t BatchlineCurrent(const EditContext* ctx) { return ctx ? ctx->batch.current : -1; }

bool BatchlineIsSelected(const EditContext* ctx, int32_t index) {
  return ctx && index >= 0 && index < (int32_t)ctx->batch.selected.size() && ctx->batch.selected[index];
}

std::string BatchlineImagePath(const EditContext* ctx, int32_t index) {
  if (!ctx || index < 0 || index >= (int32_t)ctx->batch.entries.size()) return {};
  return ctx->batch.entries[index].imagePath;
}

Status BatchlineThumbnail(const EditContext* ctx, int32_t index, Thumbnail* thumb) {
  if (!ctx || !thumb || index < 0 || index >= (int32_t)ctx->batch.entries.size()) return kBadArg;
  JobEntry e = ctx->batch.entries[index];
  JobRecordRead in;
  in.corrected = thumb;
  return ReadJobRecord(ctx->batch.files.data, e, in);
}

BatchlineLabels GetBatchlineLabels(const EditContext* ctx) {
  BatchlineLabels l;
  static const Prefs& defaults = PrefsDefaults();
  const Prefs& prefs = ctx && ctx->app && ctx->app->prefs ? SessionPrefs(ctx) : defaults;
  const int32_t count = BatchlineCount(ctx), selected = BatchlineSelectedCount(ctx);
  const bool all = count > 0 && selected == count;
  const std::string amount = all ? ResString(9246) : Fmt("%d", (int)selected);
  const std::string dots = ResString(1132);
  const bool open = ctx && ctx->imageOpen;

  l.syncButton.enabled = selected >= 2;
  l.syncButton.text = selected >= 2 ? Fmt(ResText(9240), amount.c_str()) + (prefs.showSyncPrefs ? dots : "")
                                    : ResString(9243);
  l.saveButton.enabled = selected >= 1;
  l.saveButton.text = selected >= 1 ? Fmt(ResText(9241), amount.c_str()) + (prefs.showSavePrefs ? dots : "")
                                    : ResString(9244);
  l.removeButton.enabled = selected >= 1;
  l.removeButton.text = selected >= 1 ? Fmt(ResText(9242), amount.c_str()) : ResString(9245);

  const std::string plural = (selected >= 2 || all) ? "s" : "";
  l.saveMenu.enabled = selected >= 1;
  l.saveMenu.text = selected >= 1 ? Fmt(ResText(9247), amount.c_str()) + plural + (prefs.showSavePrefs ? dots : "")
                                  : ResString(9244);
  l.removeMenu.enabled = selected >= 1;
  l.removeMenu.text =
      selected >= 1 ? Fmt(ResText(9248), amount.c_str()) + plural + ResString(9249) : ResString(9245);
  l.addMenu = {ResString(9253), true};
  l.saveJobMenu = {ResString(9250), open};
  // A job is resumed into an empty Batchline, where no image can be open.
  l.resumeJobMenu = {ResString(9251), count == 0};
  l.saveAsMenu = {ResString(9252), open};
  l.exitMenu = {ResString(9256), true};
  return l;
}

// ---- opening --------------------------------------------------------------------------------

Status BatchlineOpen(EditContext* ctx) {
  if (!ctx || !ctx->app) return kBadArg;
  Batchline& b = ctx->batch;
  if (b.lockFd >= 0) return kOk;
  if (b.files.header.empty()) {
    if (Status st = GetBatchlineFiles(ctx->app->state, &b.files); st != kOk) return ReportError(st, "loading images");
  }
  const size_t slash = b.files.header.rfind('/');
  const std::string lockPath = b.files.header.substr(0, slash + 1) + "TavelinJobLock";
  const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0)
    return ReportError(kOpenErr, Phrase(3002, lockPath.c_str()).c_str(), Phrase(9111, FolderOf(lockPath).c_str()).c_str());
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return ReportError(kSysErr, nullptr, ResText(9202));
  }
  b.lockFd = fd;
  // With an unfinished job, its entries are known only once it is resumed.
  if (!BatchlineJobExists(b.files)) SweepLeftovers(ctx);
  return kOk;
}

Status OfferUnfinishedJob(EditContext* ctx, ResumeSkips* skips) {
  if (!ctx) return kBadArg;
  Batchline& b = ctx->batch;
  if (Status st = BatchlineOpen(ctx); st != kOk) return st;
  if (!BatchlineJobExists(b.files)) return kOk;
  UiQuestion q;
  q.id = 9237;
  q.text = ResString(9237);
  q.buttons = {ResString(9238), ResString(9239)};
  q.defaultButton = 0;
  if (Host().Ask(q) != 0) {
    const Status st = DeleteBatchlineFiles(b.files);
    SweepLeftovers(ctx);
    return st;
  }
  JobEntryList entries;
  Status st = ReadBatchlineJob(b.files, entries);  // reported there
  ResolveLongImagePaths(b.files, entries);
  // Entries already saved are done; an entry whose file is no longer the one
  // added (saved over itself just before the run ended, or changed since)
  // is left out rather than corrected again.
  const std::vector<EntryRunState> states = ReadRunState(b.files, entries);
  JobEntryList kept;
  bool dropped = false;
  for (size_t i = 0; i < entries.size(); ++i) {
    FileIdentity now;
    const bool changed = states[i].known && FileIdentityOf(entries[i].imagePath, &now) && now != states[i].added;
    if (!states[i].saved && !changed) {
      kept.push_back(std::move(entries[i]));
      continue;
    }
    dropped = true;
    if (skips) (states[i].saved ? skips->saved : skips->changed).push_back(entries[i].imagePath);
    DeleteTempProfile(ctx, entries[i]);
    if (!states[i].saved && !skips)
      ReportError(kUnsupported, Phrase(9108, LeafName(entries[i].imagePath).c_str()).c_str(), ResText(9109));
  }
  b.entries = std::move(kept);
  b.selected.assign(b.entries.size(), 0);
  b.current = b.entries.empty() ? -1 : 0;
  if (b.current == 0) b.selected[0] = 1;
  // What could not be read or is done is dropped, so the files describe the list again.
  if (st != kOk || dropped) StoreList(ctx);
  SweepLeftovers(ctx);
  Changed(ctx);
  if (st == kOk) st = ShowCurrentEntry(ctx);
  return st;
}

// ---- add ------------------------------------------------------------------------------------

Status AddImages(EditContext* ctx, const AddImagesRequest& request, AddImagesResult* result) {
  if (!ctx || !ctx->app) return kBadArg;
  Prefs& prefs = SessionPrefs(ctx);
  Batchline& b = ctx->batch;
  if (Status st = BatchlineOpen(ctx); st != kOk) return st;
  if (Status st = ConfirmPrefsDialog(ctx, prefs.showAddPrefs, ctx->hooks.showAddPrefs); st != kOk) return st;

  std::vector<std::string> paths = request.paths;
  if (paths.empty()) {
    if (!ctx->app->commandLineFiles.empty()) {
      paths = std::move(ctx->app->commandLineFiles);
      ctx->app->commandLineFiles.clear();
    } else {
      UiFileRequest r;
      r.title = Phrase(1080, ResText(1007));
      r.folder = prefs.addFolder;
      r.multiple = true;
      if (Status st = Host().ChooseOpenFiles(r, paths); st != kOk) return st;
      if (paths.empty()) return kCancelled;
      SetPrefsPath(prefs.addFolder, FolderOf(paths.front()));
    }
  }

  if (paths.size() == 1 && IsJobFile(paths.front())) {
    if (!b.entries.empty()) return ReportError(kUnsupported, nullptr, ResText(9220));
    return ResumeJob(ctx, paths.front());
  }

  std::stable_sort(paths.begin(), paths.end(), AddOrder);
  const size_t chosen = paths.size();
  std::vector<std::string> fresh;
  for (const std::string& p : paths) {
    const bool loaded = std::any_of(b.entries.begin(), b.entries.end(), [&](const JobEntry& e) { return e.imagePath == p; }) ||
                        std::find(fresh.begin(), fresh.end(), p) != fresh.end();
    if (!loaded) fresh.push_back(p);
  }
  if (fresh.empty()) {
    Host().ShowMessage(ResString(1000), ResString(chosen == 1 ? 9224 : 9225));
    return kCancelled;
  }
  if (fresh.size() < chosen) {
    if (!Ui_AskGoOnOrCancel(9226, 9227)) return kCancelled;
  }

  Stream data;
  Status st = StreamOpen(data, b.files.data, kStreamUpdate);
  if (st != kOk)
    return ReportError(st, Phrase(3002, b.files.data.c_str()).c_str(), Phrase(9111, FolderOf(b.files.data).c_str()).c_str());

  AddProfiles profiles;
  StartProfileAdd(*ctx->app, &profiles);

  const bool wasEmpty = b.entries.empty();
  const std::string text = ResString(9228);
  Host().ProgressOpen(text, (int64_t)fresh.size());
  // Records made elsewhere (the command-line tool's workers) are stored here in order.
  std::vector<PreparedRecord> prepared;
  if (request.maker) {
    prepared.assign(fresh.size(), PreparedRecord{});
    request.maker(ctx, fresh, &prepared);
  }
  Status first = kOk;
  size_t i = 0;
  for (; i < fresh.size(); ++i) {
    JobEntry entry;
    std::vector<uint8_t> record;
    if (request.maker) {
      st = prepared[i].status;
      record = std::move(prepared[i].record);
    } else {
      st = MakeImageRecord(ctx, fresh[i], profiles.op, &record);
    }
    if (st == kOk) st = StoreRecord(ctx, data, fresh[i], record, entry);
    if (st == kOk) {
      b.entries.push_back(std::move(entry));
      b.selected.push_back(0);
      // The header follows every added image, so a crash keeps what was added.
      if ((st = WriteBatchlineHeader(b.files, b.entries)) != kOk) {
        b.entries.pop_back();
        b.selected.pop_back();
        DropRecord(ctx, record);
      }
    }
    if (request.onFile) request.onFile(fresh[i], st);
    if (st == kOk) {
      if (ctx->hooks.fileOpened) ctx->hooks.fileOpened(fresh[i]);
      if (result) result->added.push_back(fresh[i]);
    } else {
      if (result) result->refused.emplace_back(fresh[i], st);
      if (first == kOk) first = st;
      if (!request.keepGoing || st == kCancelled) break;
    }
    if (Host().ProgressStep((int64_t)i + 1, text) == kCancelled) {
      if (first == kOk) first = kCancelled;
      ++i;
      break;
    }
  }
  for (; i < prepared.size(); ++i)
    if (prepared[i].status == kOk) DropRecord(ctx, prepared[i].record);
  Host().ProgressClose();
  StreamClose(data);
  prefs.noProfileAnswer = profiles.answers.missingAction;
  prefs.noProfileAnswerPath = profiles.answers.missingPath;
  prefs.embeddedAnswer = profiles.answers.embeddedAction;
  prefs.embeddedAnswerPath = profiles.answers.embeddedPath;

  AfterAppend(b, wasEmpty);
  Changed(ctx);
  if (wasEmpty && !ctx->imageOpen && b.current >= 0) {
    const Status shown = ShowCurrentEntry(ctx);
    if (first == kOk) first = shown;
  }
  return first;
}

// ---- select, apply, advance, sync ---------------------------------------------------------

Status SelectEntries(EditContext* ctx, const std::vector<uint8_t>& selected, int32_t current) {
  if (!ctx) return kBadArg;
  Batchline& b = ctx->batch;
  const int32_t n = (int32_t)b.entries.size();
  if ((int32_t)selected.size() != n || current < 0 || current >= n) return kBadArg;
  if (current != b.current && ctx->imageOpen) {
    if (Status st = ApplyCurrent(ctx, false); st != kOk) return st;
  }
  const bool moved = current != b.current;
  b.selected = selected;
  for (uint8_t& s : b.selected) s = s ? 1 : 0;
  if (std::find(b.selected.begin(), b.selected.end(), 1) == b.selected.end()) b.selected[current] = 1;
  b.current = current;
  Changed(ctx);
  return moved || !ctx->imageOpen ? ShowCurrentEntry(ctx) : kOk;
}

Status SelectAll(EditContext* ctx) {
  if (!ctx) return kBadArg;
  std::fill(ctx->batch.selected.begin(), ctx->batch.selected.end(), 1);
  Changed(ctx);
  return kOk;
}

Status ApplyCurrent(EditContext* ctx, bool ask) {
  if (!ctx) return kBadArg;
  if (!ctx->imageOpen) return kOk;
  Batchline& b = ctx->batch;
  const int32_t index = ctx->loadedIndex;
  if (index < 0 || index >= (int32_t)b.entries.size()) return ReportError(kSysErr, "applying settings");
  TavelinPars stored;
  JobRecordRead in;
  in.pars = &stored;
  JobEntry probe = b.entries[index];
  Status st = ReadJobRecord(b.files.data, probe, in);
  if (st != kOk) return st;
  if (!ParsDiffer(ctx->pars, stored)) return kOk;
  if (ask) {
    UiQuestion q;
    q.id = 9230;
    q.caption = ResString(9231);
    q.text = Phrase(9230, ctx->displayName.c_str());
    q.buttons = {ResString(9232), ResString(9233), ResString(1111)};
    q.defaultButton = 0;
    q.cancelButton = 2;
    const int answer = Host().Ask(q);
    if (answer == 2) return kCancelled;
    if (answer == 1) return kOk;
  }
  if ((st = MakeFullTransform(ctx)) != kOk) return st;
  if ((st = RewriteRecord(ctx, index, ctx->pars, ctx->fullQX)) != kOk) return st;
  SessionPrefs(ctx).previous = ctx->pars;
  SavePreferencesNow(ctx->app);
  Changed(ctx);
  return kOk;
}

Status ApplyAndAdvance(EditContext* ctx) {
  if (!ctx) return kBadArg;
  const int32_t n = BatchlineCount(ctx);
  if (n == 0) return kOk;
  if (Status st = ApplyCurrent(ctx, false); st != kOk) return st;
  CloseImage(ctx);
  return MoveTo(ctx, (ctx->batch.current + 1) % n);
}

Status CancelAndAdvance(EditContext* ctx) {
  if (!ctx) return kBadArg;
  const int32_t n = BatchlineCount(ctx);
  if (n == 0) return kOk;
  CloseImage(ctx);
  return MoveTo(ctx, (ctx->batch.current + 1) % n);
}

Status SyncSelected(EditContext* ctx) {
  if (!ctx) return kBadArg;
  if (BatchlineSelectedCount(ctx) < 2) return kUnsupported;
  Prefs& prefs = SessionPrefs(ctx);
  if (Status st = ConfirmPrefsDialog(ctx, prefs.showSyncPrefs, ctx->hooks.showSyncPrefs); st != kOk) return st;
  Batchline& b = ctx->batch;
  Status first = kOk;
  for (int32_t i : SelectedIndices(b)) {
    const bool isCurrent = i == b.current;
    if (!prefs.syncColour && !isCurrent && !prefs.syncFilters) continue;
    TavelinPars stored;
    JobRecordRead in;
    in.pars = &stored;
    JobEntry probe = b.entries[i];
    Status st = ReadJobRecord(b.files.data, probe, in);
    if (st == kOk) {
      TavelinPars result = stored;
      if (!prefs.syncColour && !isCurrent) {
        CopyFilterSettings(ctx->pars, &result);
      } else {
        result = ctx->pars;
        if (!prefs.syncFilters && !isCurrent) CopyFilterSettings(stored, &result);
      }
      if (ParsDiffer(result, stored)) st = RewriteRecord(ctx, i, result, nullptr);
    }
    if (st != kOk && first == kOk) first = st;
  }
  prefs.previous = ctx->pars;
  Changed(ctx);
  return first;
}

// ---- save -------------------------------------------------------------------------------------

bool OverwriteMode(const Prefs& prefs) {
  return !prefs.removeSaved && prefs.sameFolder && prefs.naming == kNamingSame;
}

Status SaveBatchEntry(EditContext* ctx, int32_t index, bool overwrite) {
  if (!ctx || !ctx->app || index < 0 || index >= BatchlineCount(ctx)) return kBadArg;
  const SaveSettings settings = SaveSettingsOf(SessionPrefs(ctx));
  Status st = LoadEntryForSaving(ctx, index);
  if (st == kOk) st = ChooseOutput(ctx, settings);
  if (st == kOk) st = FilterImage(ctx, settings);
  if (st == kOk) SessionPrefs(ctx).previous = ctx->pars;
  // The entry now describes the saved file, when that replaced the input.
  if (st == kOk && overwrite && SameFile(ctx->imagePath, ctx->outputPath)) {
    Batchline& b = ctx->batch;
    JobEntry& entry = b.entries[index];
    Thumbnail corrected;
    JobRecordRead in;
    in.corrected = &corrected;
    TavelinPars reset;
    const std::string profile = WorkingProfile(ctx);
    std::string oldProfile;
    in.profilePath = &oldProfile;
    st = ReadJobRecord(b.files.data, entry, in);
    if (st == kOk) st = NewRecordInWorkingSpace(ctx, &reset);
    if (st == kOk) {
      JobRecordWrite out;
      out.profilePath = &profile;
      out.pars = &reset;
      out.original = corrected.Empty() ? nullptr : &corrected;
      out.corrected = corrected.Empty() ? nullptr : &corrected;
      st = WriteJobRecord(b.files.data, entry, out);
    }
    if (st == kOk && Ui_Path_IsTempName(TempFolder(ctx), oldProfile)) StreamDelete(oldProfile);
    // The entry describes the new file from now on.
    FileIdentity id;
    if (st == kOk && FileIdentityOf(entry.imagePath, &id)) RunStateAdded(b.files, entry, id);
  } else if (st == kOk) {
    // Done: a resumed job skips it. (Should the mark not be written, its
    // output is made again from the same input; an input saved over itself
    // is a new file, which a resume leaves out.)
    if (RunStateSaved(ctx->batch.files, ctx->batch.entries[index]) != kOk)
      DLog("the run state did not take the save of %s", ctx->imagePath.c_str());
  }
  CloseImage(ctx);
  return st;
}

Status AppendImageRecord(EditContext* ctx, const std::string& path, const std::vector<uint8_t>& record) {
  if (!ctx || !ctx->app) return kBadArg;
  Batchline& b = ctx->batch;
  Stream data;
  Status st = StreamOpen(data, b.files.data, kStreamUpdate);
  if (st != kOk) {
    DropRecord(ctx, record);
    return ReportError(st, Phrase(3002, b.files.data.c_str()).c_str(), Phrase(9111, FolderOf(b.files.data).c_str()).c_str());
  }
  const bool wasEmpty = b.entries.empty();
  JobEntry entry;
  st = StoreRecord(ctx, data, path, record, entry);
  StreamClose(data);
  if (st != kOk) return st;
  b.entries.push_back(std::move(entry));
  if ((st = WriteBatchlineHeader(b.files, b.entries)) != kOk) {
    b.entries.pop_back();
    DropRecord(ctx, record);
    return st;
  }
  AfterAppend(b, wasEmpty);
  Changed(ctx);
  return kOk;
}

Status SaveImageRecord(EditContext* ctx, const std::string& path, const std::vector<uint8_t>& record, HeldImage* held) {
  if (!ctx || !ctx->app) return kBadArg;
  const SaveSettings settings = SaveSettingsOf(SessionPrefs(ctx));
  Status st = LoadRecordForSaving(ctx, path, record);
  if (st == kOk) st = ChooseOutput(ctx, settings);
  if (st == kOk) {
    ctx->held = held;
    st = FilterImage(ctx, settings);
    ctx->held = nullptr;
  }
  if (st == kOk) SessionPrefs(ctx).previous = ctx->pars;
  CloseImage(ctx);
  return st;
}

Status SaveSelected(EditContext* ctx, const SaveSelectedOptions& options) {
  if (!ctx || !ctx->app) return kBadArg;
  Prefs& prefs = SessionPrefs(ctx);
  if (Status st = ConfirmPrefsDialog(ctx, prefs.showSavePrefs, ctx->hooks.showSavePrefs); st != kOk) return st;
  if (ctx->imageOpen) {
    if (Status st = ApplyCurrent(ctx, true); st != kOk) return st;
  }
  const bool overwrite = OverwriteMode(prefs);
  const SaveSettings settings = SaveSettingsOf(prefs);
  const std::vector<int32_t> selected = SelectedIndices(ctx->batch);
  if (selected.empty()) return kOk;
  CloseImage(ctx);

  // The output plan, before anything is written.
  Status batch = kOk;
  std::vector<int32_t> indices;
  {
    std::vector<std::string> entries, images;
    for (const JobEntry& e : ctx->batch.entries) entries.push_back(e.imagePath);
    for (int32_t i : selected) images.push_back(BatchlineImagePath(ctx, i));
    const std::vector<PlanVerdict> verdicts = PlanBatchOutputs(settings, images, entries);
    for (size_t k = 0; k < selected.size(); ++k) {
      if (verdicts[k].ok) {
        indices.push_back(selected[k]);
        continue;
      }
      batch = kBadArg;
      if (options.onRefused) options.onRefused(selected[k], verdicts[k].message);
      else ReportError(kBadArg, Phrase(9107, LeafName(images[k]).c_str()).c_str(), Sentence(verdicts[k].message).c_str());
    }
  }

  if (!indices.empty() && options.executor) {
    std::vector<Status> results;
    const Status run = batch;
    batch = options.executor(ctx, indices, overwrite, &results);
    for (size_t k = 0; batch == kOk && k < results.size(); ++k)
      if (results[k] != kOk) batch = results[k];
    if (batch == kOk) batch = run;
  } else if (!indices.empty()) {
    UiHost& host = Host();
    const std::string text = Phrase(9234, (int)indices.size());
    host.ProgressOpen(text, (int64_t)indices.size() * 100);
    ctx->batchSaving = true;
    for (size_t k = 0; k < indices.size(); ++k) {
      ctx->progressBase = (int64_t)k * 100;
      Status st = host.ProgressStep(ctx->progressBase, text);
      if (st == kOk) st = SaveBatchEntry(ctx, indices[k], overwrite);
      if (st == kCancelled) {
        batch = kCancelled;
        break;
      }
      if (st != kOk) {
        if (batch == kOk) batch = st;
        if (k + 1 < indices.size()) {
          if (!Ui_AskGoOnOrCancel(9235, 9232)) break;
        }
      }
    }
    ctx->batchSaving = false;
    ctx->progressBase = 0;
    host.ProgressClose();
  }

  if (batch == kOk && prefs.removeSaved) batch = RemoveEntries(ctx, indices);
  Changed(ctx);
  const Status shown = ShowCurrentEntry(ctx);
  return batch != kOk ? batch : shown;
}

Status SaveCurrentAs(EditContext* ctx) {
  if (!ctx) return kBadArg;
  if (!ctx->imageOpen || !ctx->app) return kBadArg;
  Prefs& prefs = SessionPrefs(ctx);
  const SaveSettings settings = SaveSettingsOf(prefs);
  Status st = ChooseOutput(ctx, settings);
  if (st != kOk) return st;
  std::string proposed = ctx->outputPath;
  if (!prefs.saveAsFolder.empty()) {
    std::string folder = prefs.saveAsFolder;
    if (folder.back() != '/') folder += '/';
    proposed = folder + LeafName(proposed);
  }
  UiFileRequest r;
  r.title = ResString(1041);
  r.prompt = ResString(1041);
  r.folder = FolderOf(proposed);
  r.name = LeafName(proposed);
  const ImageInfo& in = ctx->input;
  if (in.colorType == kRasRGB || in.colorType == kRasGray) r.filters = {"BMP (*.bmp)", "JPEG (*.jpg)", "TIFF (*.tif)"};
  else if (in.colorType == kRasCMYK) r.filters = {"JPEG (*.jpg)", "TIFF (*.tif)"};
  else r.filters = {"TIFF (*.tif)"};
  std::string chosen;
  if ((st = Host().ChooseSaveFile(r, chosen)) != kOk) return st;

  // The chosen type, by the name's extension; otherwise the format chosen above.
  int32_t format = ctx->output.format;
  const FormatModule* byName = FormatRegistry::Builtin().ByExtension(chosen);
  if (byName && AcceptedFormat(byName->traits.code)) format = byName->traits.code;
  if (!AcceptedFormat(format)) format = kRasTiff;
  if (chosen.size() >= kJobPathField) return ReportError(kBadArg, ResString(3033).c_str(), Phrase(9100, LeafName(chosen).c_str()).c_str());
  if ((st = PlanOneOutput(ctx, ctx->imagePath, chosen)) != kOk) return st;
  SetOutput(ctx, format, chosen);
  const bool overwritesInput = SameFile(ctx->imagePath, chosen);
  if ((st = FilterImage(ctx, settings)) != kOk) return st;
  prefs.previous = ctx->pars;
  SetPrefsPath(prefs.saveAsFolder, FolderOf(chosen));
  if (overwritesInput) {
    Host().ShowMessage(ResString(1000), Phrase(9236, LeafName(chosen).c_str()));
    const int32_t index = ctx->loadedIndex;
    CloseImage(ctx);
    if (index >= 0) st = RemoveEntries(ctx, {index});
    if (st == kOk) st = ShowCurrentEntry(ctx);
  }
  return st;
}

// ---- remove, jobs, exit ----------------------------------------------------------------------

Status RemoveSelected(EditContext* ctx) {
  if (!ctx) return kBadArg;
  Batchline& b = ctx->batch;
  const std::vector<int32_t> indices = SelectedIndices(b);
  if (indices.empty()) return kOk;
  bool edited = false;
  for (int32_t i : indices) {
    TavelinPars stored;
    JobRecordRead in;
    in.pars = &stored;
    JobEntry probe = b.entries[i];
    if (ReadJobRecord(b.files.data, probe, in) != kOk) continue;
    if (!ParsAtDefaults(stored) || stored.sharpenOn || stored.denoiseOn ||
        (ctx->imageOpen && i == ctx->loadedIndex && ParsDiffer(ctx->pars, stored))) {
      edited = true;
      break;
    }
  }
  if (edited) {
    if (!Ui_AskGoOnOrCancel(1131, 6136)) return kCancelled;
  }
  CloseImage(ctx);
  Status st = RemoveEntries(ctx, indices);
  if (st == kOk) st = ShowCurrentEntry(ctx);
  return st;
}

Status ResumeJob(EditContext* ctx, const std::string& jobPath) {
  if (!ctx || !ctx->app) return kBadArg;
  Batchline& b = ctx->batch;
  if (Status st = BatchlineOpen(ctx); st != kOk) return st;
  if (!b.entries.empty()) return ReportError(kUnsupported, nullptr, ResText(9220));
  Prefs& prefs = SessionPrefs(ctx);
  std::string path = jobPath;
  if (path.empty()) {
    UiFileRequest r;
    r.title = ResString(9260);
    r.folder = prefs.resumeFolder.empty() ? FolderOf(ctx->imagePath) : prefs.resumeFolder;
    std::vector<std::string> chosen;
    if (Status st = Host().ChooseOpenFiles(r, chosen); st != kOk) return st;
    if (chosen.empty()) return kCancelled;
    path = chosen.front();
    SetPrefsPath(prefs.resumeFolder, FolderOf(path));
  }
  JobResumeOptions options;
  options.tempFolder = TempFolder(ctx);
  const size_t before = b.entries.size();
  Status st = ResumeJobFile(path, b.files, b.entries, options);  // reported there
  for (size_t i = before; i < b.entries.size(); ++i) {
    FileIdentity id;
    if (FileIdentityOf(b.entries[i].imagePath, &id)) RunStateAdded(b.files, b.entries[i], id);
  }
  if (st == kOk && ctx->hooks.fileOpened) ctx->hooks.fileOpened(path);
  AfterAppend(b, true);
  Changed(ctx);
  const Status shown = ShowCurrentEntry(ctx);
  return st != kOk ? st : shown;
}

Status SaveJob(EditContext* ctx, const std::string& jobPath) {
  if (!ctx) return kBadArg;
  Batchline& b = ctx->batch;
  if (b.entries.empty()) return kBadArg;
  if (ctx->imageOpen) {
    if (Status st = ApplyCurrent(ctx, true); st != kOk) return st;
  }
  std::string path = jobPath;
  if (path.empty()) {
    UiFileRequest r;
    r.title = ResString(9261);
    r.folder = SessionPrefs(ctx).resumeFolder;
    if (Status st = Host().ChooseSaveFile(r, path); st != kOk) return st;
  }
  const Status st = SaveJobFile(path, b.files.data, b.entries);
  if (st == kOk && ctx->hooks.fileOpened) ctx->hooks.fileOpened(path);
  return st;
}

Status ExitEditing(EditContext* ctx) {
  if (!ctx) return kBadArg;
  if (ctx->imageOpen) {
    if (Status st = ApplyCurrent(ctx, true); st != kOk) return st;
  }
  CloseImage(ctx);
  Batchline& b = ctx->batch;
  DeleteTempProfiles(ctx);
  // Only the process that owns the files deletes them.
  const Status st = b.lockFd >= 0 ? DeleteBatchlineFiles(b.files) : kOk;
  b.entries.clear();
  b.selected.clear();
  b.current = -1;
  Changed(ctx);
  return st;
}
