#include "session/jobfile.h"

#include <algorithm>
#include <cstring>

#include "correct/correctiontransform.h"
#include "imagefile/ras.h"
#include "base/atomicfile.h"
#include "base/alert.h"
#include "base/bytes.h"
#include "base/debuglog.h"
#include "base/elements.h"
#include "base/strings.h"
#include "base/uistate.h"
#include "transform/tintmesh_eval.h"

namespace {

// ---- small helpers -------------------------------------------------------------

// Flushes before seeking, so a write that the system refuses shows as a
// write error here and not as a seek error later.
Status SeekTo(Stream& s, int64_t position) {
  if (s.mode != kStreamRead) {
    if (Status st = StreamFlush(s); st != kOk) return st;
  }
  return StreamSeek(s, position, 0);
}

Status Report(Status st, const char* phrase) {
  if (st != kOk) ReportError(st, phrase);
  return st;
}

// A path longer than the 256-byte field is refused, never cut.
Status CheckPathFits(const std::string& path, const char* phrase) {
  if (path.size() < kJobPathField && path.find('\0') == std::string::npos) return kOk;
  ReportError(kBadArg, phrase, Phrase(9100, LeafName(path).c_str()).c_str());
  return kBadArg;
}

Status WritePathField(Stream& s, const std::string& path) {
  uint8_t field[kJobPathField] = {};
  std::memcpy(field, path.data(), path.size());
  return StreamWriteAll(s, field, sizeof field);
}

Status ReadPathField(Stream& s, std::string& path) {
  char field[kJobPathField];
  if (Status st = StreamReadExact(s, field, sizeof field); st != kOk) return st;
  field[kJobPathField - 1] = 0;
  path = field;
  return kOk;
}

Status WriteThumbnailBlock(Stream& s, const Thumbnail& t) {
  uint8_t head[kThumbnailHeaderSize];
  StoreBE32(head, t.dataSize);
  StoreBE32(head + 4, t.width);
  StoreBE32(head + 8, t.height);
  StoreBE32(head + 12, t.pixelStep);
  StoreBE32(head + 16, t.rowStep);
  if (Status st = StreamWriteAll(s, head, sizeof head); st != kOk) return st;
  return StreamWriteAll(s, t.data.get(), t.dataSize);
}

// Reads a thumbnail whose block (header + data) must be `blockSize` bytes.
Status ReadThumbnailBlock(Stream& s, uint32_t blockSize, Thumbnail* out) {
  uint8_t head[kThumbnailHeaderSize];
  if (Status st = StreamReadExact(s, head, sizeof head); st != kOk) return st;
  const uint32_t size = LoadBE32(head), width = LoadBE32(head + 4), height = LoadBE32(head + 8);
  const uint32_t pixelStep = LoadBE32(head + 12), rowStep = LoadBE32(head + 16);
  if (width < 1 || width > kThumbnailMaxSide || height < 1 || height > kThumbnailMaxSide || pixelStep != 3 ||
      rowStep != ThumbnailRowStep(width) || size != rowStep * height || size + kThumbnailHeaderSize != blockSize)
    return kFormatErr;
  Thumbnail t;
  if (Status st = MakeThumbnail(width, height, &t); st != kOk) return st;
  if (Status st = StreamReadExact(s, t.data.get(), size); st != kOk) return st;
  *out = std::move(t);
  return kOk;
}

bool ParsAtDefaults(const TavelinPars& pars) {
  ToolMask mask = TOOL_ALL;
  return PruneToolMask(&pars, &mask) == kOk && mask == 0;
}

// Runs the thumbnail through a transform whose data paths are switched to 8
// bits for the purpose and put back afterwards.
Status TransformThumbnailWith(TintmeshHandle* handle, Thumbnail* thumb) {
  if (!handle || !handle->tintmesh) return kBadArg;
  const int32_t inPath = handle->inPath, outPath = handle->outPath;
  Status st = kOk;
  if (inPath != kQX8Bit) st = QXHandleSetDataPath(handle, kQXInputSide, kQX8Bit);
  if (st == kOk && outPath != kQX8Bit) st = QXHandleSetDataPath(handle, kQXOutputSide, kQX8Bit);
  if (st == kOk) st = TransformThumbnail(handle->tintmesh, thumb);
  if (handle->inPath != inPath) QXHandleSetDataPath(handle, kQXInputSide, inPath);
  if (handle->outPath != outPath) QXHandleSetDataPath(handle, kQXOutputSide, outPath);
  return st;
}

// Step 4 of writing a record: the corrected thumbnail from a copy of the original.
Status MakeCorrectedThumbnail(const JobRecordWrite& parts, Thumbnail* corrected) {
  if (Status st = CopyThumbnail(*parts.original, corrected); st != kOk) return Report(st, "correcting thumbnail");
  if (parts.profilePath && !parts.profilePath->empty()) {
    Status st = kOk;
    if (parts.profileTransform) st = TransformThumbnail(parts.profileTransform, corrected);
    else if (parts.convertProfile) st = parts.convertProfile(*parts.profilePath, *corrected);
    else DLog("thumbnail of %s left in its input profile: no conversion given", parts.profilePath->c_str());
    if (st != kOk) {
      // The conversion may have stopped half way: start again from the original.
      ReportError(st, "correcting thumbnail");
      if ((st = CopyThumbnail(*parts.original, corrected)) != kOk) return Report(st, "correcting thumbnail");
    }
  }
  if (parts.transform) return Report(TransformThumbnailWith(parts.transform, corrected), "correcting thumbnail");
  if (parts.pars && !ParsAtDefaults(*parts.pars)) {
    TavelinPars pars = *parts.pars;
    TintmeshHandle* handle = nullptr;
    Status st = MakeCorrectionTransform(&pars, TOOL_ALL, parts.gridIndex, 1, &handle);
    if (st == kOk) st = TransformThumbnail(handle->tintmesh, corrected);
    FreeCorrectionTransform(&handle);
    return Report(st, "correcting thumbnail");
  }
  return kOk;
}

// Binary float vector <-> bytes.
Status WriteVector(Stream& s, const TavelinPars& pars) {
  float v[kParVectorCount];
  if (Status st = EncodeTavelinPars(&pars, v, kParVectorCount); st != kOk) return st;
  uint8_t bytes[kParVectorCount * 4];
  for (int i = 0; i < kParVectorCount; ++i) StoreBE32(bytes + 4 * i, EncodeBinaryFloat(v[i]));
  return StreamWriteAll(s, bytes, sizeof bytes);
}

bool LooksLikeRgbProfile(const std::string& path) {
  Stream s;
  if (StreamOpen(s, path, kStreamRead) != kOk) return false;
  uint8_t head[128];
  if (StreamReadExact(s, head, sizeof head) != kOk) return false;
  int64_t size = 0;
  if (StreamSeek(s, 0, 2) != kOk || StreamTell(s, size) != kOk) return false;
  return LoadBE32(head) == (uint32_t)size && std::memcmp(head + 16, "RGB ", 4) == 0 &&
         std::memcmp(head + 36, "acsp", 4) == 0;
}

Status SaveEmbeddedProfileFromImage(const std::string& imagePath, const std::string& profilePath) {
  RasImage image;
  if (Status st = RasQuery(imagePath, image); st != kOk) return st;
  return MetaSaveIcc(image.meta, profilePath);
}

// Writes a whole file through a temporary file beside it, which replaces
// the target only once complete (see atomicfile.h).
Status WriteFileAtomically(const std::string& target, const std::function<Status(Stream&)>& fill,
                           const char* phrase, bool durable = true) {
  AtomicFile file;
  if (Status st = file.Open(target); st != kOk) return ReportError(st, phrase, Phrase(9111, FolderOf(target, "./").c_str()).c_str());
  if (Status st = fill(file.stream()); st != kOk) return st;  // reported by `fill`
  return Report(file.Commit(durable), phrase);
}

// Asks the system to put a file's bytes on the disk.
Status SyncFile(const std::string& path) {
  Stream s;
  if (StreamOpen(s, path, kStreamRead) != kOk) return kOk;  // nothing there to protect
  Status st = StreamFlush(s, true);
  StreamClose(s);
  return st == kOk ? kOk : kWriteErr;
}

}  // namespace

uint32_t JobEntriesEnd(const JobEntryList& entries) {
  uint32_t end = 0;
  for (const JobEntry& e : entries) end = std::max(end, e.offset + e.length);
  return end;
}

// ---- header ----------------------------------------------------------------------

Status WriteJobHeader(Stream& s, uint32_t count) {
  if (count > kJobMaxEntries) return kBadArg;
  if (Status st = SeekTo(s, 0); st != kOk) return st;
  uint8_t head[8];
  StoreBE32(head, kJobTag);
  StoreBE32(head + 4, count);
  return StreamWriteAll(s, head, sizeof head);
}

Status WriteJobOffsetTable(Stream& s, const JobEntryList& entries) {
  if (entries.size() > kJobMaxEntries) return kBadArg;
  if (Status st = SeekTo(s, 8); st != kOk) return st;
  std::vector<uint8_t> table(entries.size() * 4);
  for (size_t i = 0; i < entries.size(); ++i) StoreBE32(table.data() + 4 * i, entries[i].offset);
  return StreamWriteAll(s, table.data(), table.size());
}

Status ReadJobHeader(Stream& s, uint32_t& count) {
  uint8_t head[8];
  if (Status st = StreamReadExact(s, head, sizeof head); st != kOk) return st;
  if (LoadBE32(head) != kJobTag) return kFormatErr;
  const uint32_t n = LoadBE32(head + 4);
  if (n > kJobMaxEntries) return kFormatErr;
  count = n;
  return kOk;
}

Status ReadJobOffsetTable(Stream& s, uint32_t count, std::vector<uint32_t>& offsets) {
  if (count > kJobMaxEntries) return kFormatErr;
  std::vector<uint8_t> table((size_t)count * 4);
  if (Status st = StreamSeek(s, 8, 0); st != kOk) return st;
  if (count && StreamReadExact(s, table.data(), table.size()) != kOk) return kReadErr;
  offsets.resize(count);
  for (uint32_t i = 0; i < count; ++i) offsets[i] = LoadBE32(table.data() + 4 * i);
  return kOk;
}

bool IsJobFile(const std::string& path) {
  Stream s;
  if (StreamOpen(s, path, kStreamRead) != kOk) return false;
  uint32_t count = 0;
  return ReadJobHeader(s, count) == kOk;
}

// ---- records -----------------------------------------------------------------------

Status WriteJobRecord(Stream& s, JobEntry& entry, const JobRecordWrite& parts) {
  const bool marked = parts.imagePath && parts.markLongImagePath && parts.imagePath->size() >= kJobPathField &&
                      parts.imagePath->find('\0') == std::string::npos;
  if (parts.imagePath && !marked && CheckPathFits(*parts.imagePath, "writing image path") != kOk) return kBadArg;
  if (parts.profilePath && CheckPathFits(*parts.profilePath, "writing ICC profile path") != kOk) return kBadArg;
  if ((parts.original && CheckThumbnail(*parts.original) != kOk) ||
      (parts.corrected && CheckThumbnail(*parts.corrected) != kOk))
    return Report(kBadArg, "writing thumbnail");

  // The record's length after this write, and where the corrected thumbnail goes.
  uint32_t length = entry.length;
  const Thumbnail* shape = parts.original ? parts.original : parts.corrected;
  if (parts.original) {
    length = JobRecordLength(parts.original->width, parts.original->height);
    if (parts.corrected && (parts.corrected->width != parts.original->width ||
                            parts.corrected->height != parts.original->height))
      return Report(kBadArg, "writing thumbnail");
    // A record in the middle of the data file must not run into the next one.
    if (entry.length != 0 && length > entry.length) return Report(kBadArg, "writing thumbnail");
  } else if (parts.corrected && (entry.length == 0 || length != JobRecordLength(shape->width, shape->height))) {
    return Report(kBadArg, "writing thumbnail");
  } else if (length == 0) {
    length = kJobOffsetThumbs;  // a new record without thumbnails: L = 0
  }
  if ((uint64_t)entry.offset + length > UINT32_MAX) return Report(kBadArg, "writing image data");

  // The corrected thumbnail is made before anything is written, so a failure
  // leaves the record as it was.
  Thumbnail made;
  const Thumbnail* corrected = parts.corrected;
  if (!corrected && parts.original) {
    if (Status st = MakeCorrectedThumbnail(parts, &made); st != kOk) return st;
    corrected = &made;
  }

  const int64_t base = entry.offset;
  Status st = SeekTo(s, base);
  if (st != kOk) return Report(st, "writing image path");
  if (parts.imagePath) {
    if ((st = WritePathField(s, marked ? std::string(kJobLongPathMark) : *parts.imagePath)) != kOk)
      return Report(st, "writing image path");
  }
  if (parts.profilePath) {
    if (!parts.imagePath && (st = SeekTo(s, base + kJobOffsetProfilePath)) != kOk)
      return Report(st, "writing ICC profile path");
    if ((st = WritePathField(s, *parts.profilePath)) != kOk) return Report(st, "writing ICC profile path");
  }
  if (parts.pars) {
    if ((st = SeekTo(s, base + kJobOffsetVector)) != kOk) return Report(st, "writing edits");
    if ((st = WriteVector(s, *parts.pars)) != kOk) return Report(st, "writing edits");
  }
  const uint32_t thumbs = length - kJobOffsetThumbs;  // L
  if (parts.original || entry.length == 0) {
    if ((st = SeekTo(s, base + kJobOffsetThumbLength)) != kOk) return Report(st, "writing thumbnail");
    if ((st = StreamWriteU32(s, thumbs)) != kOk) return Report(st, "writing thumbnail");
    if (parts.original && (st = WriteThumbnailBlock(s, *parts.original)) != kOk) return Report(st, "writing thumbnail");
  }
  if (corrected) {
    if ((st = SeekTo(s, base + kJobOffsetThumbs + thumbs / 2)) != kOk) return Report(st, "writing thumbnail");
    if ((st = WriteThumbnailBlock(s, *corrected)) != kOk) return Report(st, "writing thumbnail");
  }
  if ((st = StreamFlush(s)) != kOk) return Report(st, "writing image data");
  entry.length = length;
  if (parts.imagePath) entry.imagePath = *parts.imagePath;
  if (parts.correctedOut && corrected) {
    if (corrected == &made) *parts.correctedOut = std::move(made);
    else if ((st = CopyThumbnail(*corrected, parts.correctedOut)) != kOk) return Report(st, "writing thumbnail");
  }
  return kOk;
}

Status WriteJobRecord(const std::string& path, JobEntry& entry, const JobRecordWrite& parts) {
  Stream s;
  if (Status st = StreamOpen(s, path, kStreamUpdate); st != kOk) return Report(st, "writing image data");
  Status st = WriteJobRecord(s, entry, parts);
  const Status closed = StreamClose(s);
  if (st == kOk && closed != kOk) st = Report(closed, "writing image data");
  return st;
}

Status ReadJobRecord(Stream& s, JobEntry& entry, const JobRecordRead& parts) {
  const int64_t base = entry.offset;
  Status st = StreamSeek(s, base, 0);
  if (st != kOk) return Report(st, "reading image path");
  std::string imagePath, profilePath;
  if (parts.imagePath && (st = ReadPathField(s, imagePath)) != kOk) return Report(st, "reading image path");
  if (parts.profilePath) {
    if ((st = StreamSeek(s, base + kJobOffsetProfilePath, 0)) != kOk) return Report(st, "reading ICC profile path");
    if ((st = ReadPathField(s, profilePath)) != kOk) return Report(st, "reading ICC profile path");
  }
  TavelinPars pars;
  if (parts.pars) {
    uint8_t bytes[kParVectorCount * 4];
    if ((st = StreamSeek(s, base + kJobOffsetVector, 0)) != kOk) return Report(st, "reading edits 3");
    if ((st = StreamReadExact(s, bytes, sizeof bytes)) != kOk) return Report(st, "reading edits 3");
    float v[kParVectorCount];
    for (int i = 0; i < kParVectorCount; ++i) v[i] = DecodeBinaryFloat(LoadBE32(bytes + 4 * i));
    InitTavelinPars(&pars);
    // Out-of-range groups come back reset (and logged); the record must then pass the check.
    st = DecodeTavelinPars(v, kParVectorCount, &pars);
    if (st != kOk && st != kUnsupported) return Report(st, "reading edits");
    if (ValidateTavelinPars(&pars) != kOk || SetRefRGB(&pars, &pars.refRGB) != kOk)
      return Report(kFormatErr, "reading edits");
  }
  uint32_t thumbs = 0;
  if ((st = StreamSeek(s, base + kJobOffsetThumbLength, 0)) != kOk) return Report(st, "reading edits");
  if ((st = StreamReadU32(s, thumbs)) != kOk) return Report(st, "reading edits");
  if (thumbs % 2 != 0 || thumbs > 2 * kJobMaxThumbBlock || (thumbs != 0 && thumbs / 2 <= kThumbnailHeaderSize))
    return Report(kFormatErr, "reading edits");
  Thumbnail original, corrected;
  if (thumbs != 0 && parts.original && (st = ReadThumbnailBlock(s, thumbs / 2, &original)) != kOk)
    return Report(st, "reading original thumbnail");
  if (thumbs != 0 && parts.corrected) {
    if ((st = StreamSeek(s, base + kJobOffsetThumbs + thumbs / 2, 0)) != kOk)
      return Report(st, "reading corrected thumbnail");
    if ((st = ReadThumbnailBlock(s, thumbs / 2, &corrected)) != kOk) return Report(st, "reading corrected thumbnail");
  }
  entry.length = kJobOffsetThumbs + thumbs;
  if (parts.imagePath) *parts.imagePath = std::move(imagePath);
  if (parts.profilePath) *parts.profilePath = std::move(profilePath);
  if (parts.pars) *parts.pars = pars;
  if (parts.original) *parts.original = std::move(original);
  if (parts.corrected) *parts.corrected = std::move(corrected);
  return kOk;
}

Status ReadJobRecord(const std::string& path, JobEntry& entry, const JobRecordRead& parts) {
  Stream s;
  if (Status st = StreamOpen(s, path, kStreamRead); st != kOk) return Report(st, "reading image data");
  return ReadJobRecord(s, entry, parts);
}

// ---- the Batchline's pair of files ----------------------------------------------------

Status GetBatchlineFiles(const UiState* state, BatchlineFiles* files) {
  if (!files) return kBadArg;
  std::string folder;
  if (Status st = Ui_Path_SetToPrefFolder(state, folder); st != kOk) return st;
  files->header = folder + "TavelinJobHdr";
  files->data = folder + "TavelinJobData";
  files->state = folder + "TavelinJobState";
  return kOk;
}

bool BatchlineJobExists(const BatchlineFiles& files) {
  Stream s;
  return StreamOpen(s, files.header, kStreamRead) == kOk;
}

Status WriteBatchlineHeader(const BatchlineFiles& files, const JobEntryList& entries) {
  if (entries.size() > kJobMaxEntries) {
    ReportError(kBadArg, "writing job data queue", Phrase(9101, (int)kJobMaxEntries).c_str());
    return kBadArg;
  }
  // Every record the new header points to must be on the disk before it.
  if (files.durable)
    if (Status st = SyncFile(files.data); st != kOk) return Report(st, "writing image data");
  return WriteFileAtomically(
      files.header,
      [&](Stream& s) {
        if (Status st = WriteJobHeader(s, (uint32_t)entries.size()); st != kOk) return Report(st, "writing job data header");
        return Report(WriteJobOffsetTable(s, entries), "writing job data queue");
      },
      "writing job data header", files.durable);
}

Status ReadBatchlineJob(const BatchlineFiles& files, JobEntryList& entries) {
  entries.clear();
  Stream header;
  uint32_t count = 0;
  std::vector<uint32_t> offsets;
  Status st = StreamOpen(header, files.header, kStreamRead);
  if (st == kOk) st = ReadJobHeader(header, count);
  if (st == kOk) st = ReadJobOffsetTable(header, count, offsets);
  if (st != kOk) return Report(st, "reading image queue");
  StreamClose(header);
  if (count == 0) return kOk;
  Stream data;
  if ((st = StreamOpen(data, files.data, kStreamRead)) != kOk) return Report(st, "reading image data");
  for (uint32_t offset : offsets) {
    JobEntry entry;
    entry.offset = offset;
    JobRecordRead want;
    want.imagePath = &entry.imagePath;
    if ((st = ReadJobRecord(data, entry, want)) != kOk) return st;
    entries.push_back(std::move(entry));
  }
  return kOk;
}

Status DeleteBatchlineFiles(const BatchlineFiles& files) {
  Status st = kOk;
  for (const std::string* path : {&files.header, &files.data, &files.state}) {
    if (path->empty()) continue;
    Stream probe;
    if (StreamOpen(probe, *path, kStreamRead) != kOk) continue;
    StreamClose(probe);
    if (StreamDelete(*path) != kOk) st = kSysErr;
  }
  return st;
}

// ---- job files ------------------------------------------------------------------------

Status ResumeJobFile(const std::string& jobPath, const BatchlineFiles& files, JobEntryList& entries,
                     const JobResumeOptions& options) {
  Stream job;
  uint32_t count = 0;
  Status st = StreamOpen(job, jobPath, kStreamRead);
  if (st == kOk) st = ReadJobHeader(job, count);
  if (st != kOk) return Report(st, "reading job data");
  std::vector<uint32_t> offsets;
  if ((st = ReadJobOffsetTable(job, count, offsets)) != kOk) return Report(st, "reading image queue");
  if (entries.size() + count > kJobMaxEntries) {
    ReportError(kBadArg, "reading image queue", Phrase(9101, (int)kJobMaxEntries).c_str());
    return kBadArg;
  }

  std::string tempFolder = options.tempFolder;
  if (tempFolder.empty() && (st = Ui_Path_SetToTempFolder(tempFolder)) != kOk) return Report(st, "reading job data");
  const EmbeddedProfileSaver save = options.saveEmbeddedProfile ? options.saveEmbeddedProfile : SaveEmbeddedProfileFromImage;
  const ProfileChecker check = options.checkProfile ? options.checkProfile
                                                    : ProfileChecker([](const std::string& p) {
                                                        return LooksLikeRgbProfile(p) ? kOk : kFormatErr;
                                                      });

  Stream data;
  if ((st = StreamOpen(data, files.data, kStreamUpdate)) != kOk) return Report(st, "writing image data");
  const size_t before = entries.size();
  for (uint32_t i = 0; i < count && st == kOk; ++i) {
    JobEntry stored;
    stored.offset = offsets[i];
    std::string imagePath, profilePath;
    TavelinPars pars;
    Thumbnail original, corrected;
    JobRecordRead in;
    in.imagePath = &imagePath;
    in.profilePath = &profilePath;
    in.pars = &pars;
    in.original = &original;
    in.corrected = &corrected;
    if ((st = ReadJobRecord(job, stored, in)) != kOk) break;

    // A profile that the application extracted into a temporary file may be
    // gone by now: extract the image's embedded profile again.
    if (!profilePath.empty() && Ui_Path_IsTempName(tempFolder, profilePath)) {
      std::string fresh;
      if (Ui_Path_UniqueTempName(tempFolder, fresh) != kOk) {
        st = Report(kSysErr, ResString(3039).c_str());
        break;
      }
      if (save(imagePath, fresh) == kOk) {
        if (check(fresh) == kOk) profilePath = fresh;
        else StreamDelete(fresh);
      } else {
        StreamDelete(fresh);  // a half-written file
        DLog("ResumeJobFile: no embedded profile in %s, keeping %s", imagePath.c_str(), profilePath.c_str());
      }
    }

    JobEntry entry;
    entry.offset = JobEntriesEnd(entries);
    JobRecordWrite out;
    out.imagePath = &imagePath;
    out.profilePath = &profilePath;
    out.pars = &pars;
    out.original = original.Empty() ? nullptr : &original;
    out.corrected = corrected.Empty() ? nullptr : &corrected;
    if ((st = WriteJobRecord(data, entry, out)) != kOk) break;
    entries.push_back(std::move(entry));
  }
  const Status closed = StreamClose(data);
  if (st == kOk && closed != kOk) st = Report(closed, "writing image data");
  if (entries.size() != before) {
    // The entries copied so far are complete on disk: make the header say so.
    const Status header = WriteBatchlineHeader(files, entries);
    if (st == kOk) st = header;
  }
  return st;
}

Status SaveJobFile(const std::string& jobPath, const std::string& dataPath, const JobEntryList& entries) {
  if (entries.size() > kJobMaxEntries) {
    ReportError(kBadArg, "writing job data queue", Phrase(9101, (int)kJobMaxEntries).c_str());
    return kBadArg;
  }
  Stream data;
  Status st = entries.empty() ? kOk : StreamOpen(data, dataPath, kStreamRead);
  if (st != kOk) return Report(st, "reading image data");
  // Every record's length, and the offset it gets in the job file.
  for (const JobEntry& e : entries)
    if (CheckPathFits(e.imagePath, "writing image path") != kOk) return kBadArg;
  JobEntryList placed(entries);
  uint64_t position = 8 + 4 * (uint64_t)entries.size();
  for (JobEntry& e : placed) {
    if (e.length == 0 && (st = ReadJobRecord(data, e, JobRecordRead{})) != kOk) return st;
    if (e.length < kJobOffsetThumbs || e.length > kJobMaxRecord) return Report(kFormatErr, "reading edits");
    if (position + e.length > UINT32_MAX) return Report(kBadArg, "writing job data queue");
    e.offset = (uint32_t)position;
    position += e.length;
  }
  return WriteFileAtomically(
      jobPath,
      [&](Stream& job) {
        std::vector<uint8_t> record;
        Status s = SeekTo(job, 8 + 4 * (int64_t)placed.size());
        for (size_t i = 0; i < placed.size() && s == kOk; ++i) {
          record.resize(placed[i].length);
          if ((s = StreamSeek(data, entries[i].offset, 0)) != kOk ||
              (s = StreamReadExact(data, record.data(), record.size())) != kOk)
            return Report(s, "reading image data");
          s = StreamWriteAll(job, record.data(), record.size());
        }
        if (s != kOk) return Report(s, "writing image data");
        // The header last: it only ever points at records already written.
        if ((s = WriteJobHeader(job, (uint32_t)placed.size())) != kOk) return Report(s, "writing job data header");
        return Report(WriteJobOffsetTable(job, placed), "writing job data queue");
      },
      "writing job data header");
}
