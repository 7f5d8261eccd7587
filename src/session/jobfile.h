// Job files: the persistent form of the Batchline. One byte layout, three
// uses: the Batchline's own pair of files in the preferences folder (the
// header file "TavelinJobHdr" with the offsets, the data file
// "TavelinJobData" with the records), and the job files the user saves and
// resumes (header and records in one file). All numbers are big-endian.
//
//   header:  tag 0x5443444A ("TCDJ"), N (u32), N record offsets (u32); in
//            the header file they count from the start of the data file, in
//            a job file from the start of the job file. N <= kJobMaxEntries.
//   record:  image path (256), profile path (256; empty = working space),
//            the 629-value parameter vector (binary float form, 2516 bytes),
//            L (u32) = 2 × (20 + D), original thumbnail, corrected thumbnail
//            (each 20 header bytes + D pixel bytes, see thumbnail.h).
//            Record length = 3032 + L.
//
// Long paths: in the Batchline's own data file (not in a job file) a record
// whose image path does not fit its field holds kJobLongPathMark there
// instead; the path itself is kept by the Batchline's run state
// (runstate.h). Saving such an entry as a job file is refused.
//
// Data safety: a record is written (and flushed) before any header that
// points to it; the header file and saved job files are written to a
// temporary file beside the target and renamed over it, so a crash at any
// moment leaves either the old or the new header, each pointing only at
// records that are complete. A path that the 256-byte fields cannot hold is
// refused with a message, never cut.
//
// Failures are reported here, once, with the fixed phrases of the job file
// ("reading edits", "writing thumbnail", ...), and then passed up. The entry
// list belongs to the caller (the Batchline); these calls only read and set
// its offsets and lengths.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "correct/tavelinpars.h"
#include "base/status.h"
#include "base/stream.h"
#include "session/thumbnail.h"
#include "transform/tintmesh.h"

struct UiState;

constexpr uint32_t kJobTag = 0x5443444A;
// The offset table's size is a 16-bit byte count: at most 16383 entries.
constexpr uint32_t kJobMaxEntries = 16383;
constexpr uint32_t kJobPathField = 256;
// What a Batchline record holds for an image path longer than its field (no
// path starts with this byte).
constexpr char kJobLongPathMark[] = "\x01";
constexpr uint32_t kJobOffsetProfilePath = 256;
constexpr uint32_t kJobOffsetVector = 512;
constexpr uint32_t kJobOffsetThumbLength = 3028;
constexpr uint32_t kJobOffsetThumbs = 3032;  // also the length of a record without thumbnails
constexpr uint32_t kJobMaxThumbBlock = kThumbnailHeaderSize + kThumbnailMaxSide * ThumbnailRowStep(kThumbnailMaxSide);
constexpr uint32_t kJobMaxRecord = kJobOffsetThumbs + 2 * kJobMaxThumbBlock;

// One Batchline entry as the job files see it.
struct JobEntry {
  std::string imagePath;  // what the record holds (filled by reads that ask for it)
  uint32_t offset = 0;    // of its record, in the data file
  uint32_t length = 0;    // of its record; 0 until the record was written or read
};
using JobEntryList = std::vector<JobEntry>;

// The record length of an entry whose thumbnails are w × h.
constexpr uint32_t JobRecordLength(uint32_t width, uint32_t height) {
  return kJobOffsetThumbs + 2 * (kThumbnailHeaderSize + height * ThumbnailRowStep(width));
}
// Where the next record goes: the end of the furthest record of the list (0 when empty).
uint32_t JobEntriesEnd(const JobEntryList& entries);

// ---- header ------------------------------------------------------------------
// Seek to 0, write the tag and N. kBadArg above kJobMaxEntries.
Status WriteJobHeader(Stream& s, uint32_t count);
// Seek to 8, write the N offsets.
Status WriteJobOffsetTable(Stream& s, const JobEntryList& entries);
// Read the tag (kFormatErr when it differs) and N (kFormatErr above kJobMaxEntries).
Status ReadJobHeader(Stream& s, uint32_t& count);
// Read `count` offsets following the header.
Status ReadJobOffsetTable(Stream& s, uint32_t count, std::vector<uint32_t>& offsets);
// The file opens for reading and its header reads with the right tag.
bool IsJobFile(const std::string& path);

// ---- records -----------------------------------------------------------------
// Converts a thumbnail from an input profile into the working space, in place.
using ThumbnailProfileConverter = std::function<Status(const std::string& profilePath, Thumbnail& thumb)>;

// The parts of a record to write; a null part is skipped (its old bytes stay).
struct JobRecordWrite {
  const std::string* imagePath = nullptr;
  // An image path longer than the field is written as kJobLongPathMark
  // (the Batchline keeps it elsewhere); otherwise it is refused.
  bool markLongImagePath = false;
  const std::string* profilePath = nullptr;
  const TavelinPars* pars = nullptr;
  // The full correction transform of the open image. Its data paths are
  // switched to 8 bits for the thumbnail and put back afterwards.
  TintmeshHandle* transform = nullptr;
  const Thumbnail* original = nullptr;
  const Thumbnail* corrected = nullptr;

  // Making the corrected thumbnail when none is given (from a copy of the
  // original; the original itself is never changed):
  //  1. a non-empty profile path converts the copy into the working space,
  //     through `profileTransform` (3 × 8-bit in and out) or else
  //     `convertProfile`; a failure is reported and the copy stays unconverted;
  //  2. then `transform` when given (a failure ends the write);
  //  3. else `pars` when it is not at its defaults, through a correction
  //     transform built at `gridIndex` (a failure ends the write).
  const Tintmesh* profileTransform = nullptr;
  ThumbnailProfileConverter convertProfile;
  int gridIndex = 7;
  // Receives the corrected thumbnail that was written (made or given).
  Thumbnail* correctedOut = nullptr;
};

// The parts of a record to read; a null part is skipped.
struct JobRecordRead {
  std::string* imagePath = nullptr;
  std::string* profilePath = nullptr;
  TavelinPars* pars = nullptr;  // decoded, checked, working-space fields derived
  Thumbnail* original = nullptr;
  Thumbnail* corrected = nullptr;
};

// Writes the given parts of the entry's record at entry.offset and flushes.
// With an original thumbnail the entry's length becomes 3032 + L; a record
// that already has a length may not grow (it would run into the next one:
// kBadArg). A new record written without thumbnails gets L = 0.
// The path form opens the file for update (created when missing).
Status WriteJobRecord(Stream& s, JobEntry& entry, const JobRecordWrite& parts);
Status WriteJobRecord(const std::string& path, JobEntry& entry, const JobRecordWrite& parts);
// Reads the wanted parts of the entry's record; always reads L and sets the
// entry's length. A record whose correction record fails the check is
// refused (kFormatErr); the out record is changed only on success. L = 0
// means no thumbnails: wanted thumbnails come back empty.
Status ReadJobRecord(Stream& s, JobEntry& entry, const JobRecordRead& parts);
Status ReadJobRecord(const std::string& path, JobEntry& entry, const JobRecordRead& parts);

// ---- the Batchline's pair of files ----------------------------------------------
struct BatchlineFiles {
  std::string header;  // preferences folder + "TavelinJobHdr"
  std::string data;    // preferences folder + "TavelinJobData"
  std::string state;   // preferences folder + "TavelinJobState" (runstate.h)
  // Each rewrite put on the disk before the next step (the window's
  // Batchline). A command-line run's folder does without: its list of inputs
  // and its progress are what a resume goes by, and an entry lost with the
  // machine is added again (each rewrite stays whole, by rename, either way).
  bool durable = true;
};
Status GetBatchlineFiles(const UiState* state, BatchlineFiles* files);
// True when the header file exists (start-up then offers "Resume unfinished job?").
bool BatchlineJobExists(const BatchlineFiles& files);
// Rewrites the header file from the list (after every add and remove): the
// data file's records are made durable first (files.durable), then the new
// header replaces the old one in one rename.
Status WriteBatchlineHeader(const BatchlineFiles& files, const JobEntryList& entries);
// "Resume unfinished job?": one entry per stored offset, each with its image
// path and length read from the data file. On a failure `entries` holds the
// entries read before it.
Status ReadBatchlineJob(const BatchlineFiles& files, JobEntryList& entries);
// Deletes both files and the run state (the Batchline became empty, or
// Exit). Missing files are fine.
Status DeleteBatchlineFiles(const BatchlineFiles& files);

// ---- job files ---------------------------------------------------------------
// Saves the image's embedded profile to `profilePath`; kSysErr when it has none.
using EmbeddedProfileSaver = std::function<Status(const std::string& imagePath, const std::string& profilePath)>;
// 0 when the profile file can be used.
using ProfileChecker = std::function<Status(const std::string& profilePath)>;

struct JobResumeOptions {
  std::string tempFolder;                   // empty: the temporary folder
  EmbeddedProfileSaver saveEmbeddedProfile;  // empty: the image file framework's input profile slot
  ProfileChecker checkProfile;              // empty: the file must look like an RGB ICC profile
};

// "Resume Job...": appends the job file's entries to `entries`, copying every
// record into the Batchline's data file after the furthest record of the
// list, then rewrites the header file. A stored profile path that names one
// of the application's temporary files is replaced by a fresh copy of the
// image's embedded profile when there is one. On a failure the entries
// copied before it stay (and are in the header file); the status is returned.
Status ResumeJobFile(const std::string& jobPath, const BatchlineFiles& files, JobEntryList& entries,
                     const JobResumeOptions& options = {});
// "Save Job...": the header, the offsets counted from the start of the job
// file, and every entry's record copied from the data file, written to a
// temporary file beside `jobPath` and renamed over it once complete. An
// entry whose image path the record cannot hold is refused (kBadArg,
// reported).
Status SaveJobFile(const std::string& jobPath, const std::string& dataPath, const JobEntryList& entries);
