// The Batchline: the list of images the user works through, and every
// operation of its buttons and menu items. Each operation is a plain
// function on the editing context (editcontext.h) that a window calls from
// its button or menu item, that the command-line tool calls for its work, and
// that tests drive; it reaches the user only through UiHost (questions,
// choosers, progress) and the context's hooks (the preference dialogs that
// may come first).
//
// Memory holds the list only: each entry's path and record position, its
// selected flag, and the current index (-1 when empty). The records (image
// path, input profile, correction record, two thumbnails) live in the
// Batchline's data file from the moment an image is added; the header file
// lists their offsets (jobfile.h). Both files are kept consistent at every
// moment: a record is written and flushed before the header that points to
// it is replaced (in one rename), the header is rewritten after every added
// image and every removal, and both files are deleted when the list becomes
// empty or at Exit, so a run that ends any other way leaves a job that
// "Resume unfinished job?" restores.
//
// One process owns the Batchline's files at a time: BatchlineOpen takes an
// exclusive lock ("TavelinJobLock" beside the files: the window's in the
// preferences folder, each command-line run's in its own run folder,
// runfolder.h) that lasts until the context is freed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "colormgmt/profilepolicy.h"
#include "session/jobfile.h"
#include "base/status.h"

struct AppSession;
struct EditContext;
struct HeldImage;
struct Prefs;

struct Batchline {
  BatchlineFiles files;           // header and data file paths
  JobEntryList entries;           // display order: path, record offset and length
  std::vector<uint8_t> selected;  // one flag per entry, 1 = selected
  int32_t current = -1;           // -1 when empty
  int lockFd = -1;                // the lock on the files, while open
  // Opening sweeps the temporary folder of copies left by ended processes;
  // off where that folder is shared with other running processes.
  bool sweepTempFolder = true;
};

// What the window supplies: the preference dialogs that may come before an
// operation (kOk when confirmed, kCancelled; empty: the operation goes on as
// if confirmed without a dialog) and a refresh of the list and its controls.
struct BatchlineHooks {
  std::function<Status()> showAddPrefs;   // preference 112
  std::function<Status()> showSavePrefs;  // preference 113
  std::function<Status()> showSyncPrefs;  // preference 114
  std::function<void()> listChanged;
  // An image added, or a job file resumed or saved (for a list of recent files).
  std::function<void(const std::string& path)> fileOpened;
};

// ---- the list, for drawing ----------------------------------------------------------
int32_t BatchlineCount(const EditContext* ctx);
int32_t BatchlineSelectedCount(const EditContext* ctx);
int32_t BatchlineCurrent(const EditContext* ctx);
bool BatchlineIsSelected(const EditContext* ctx, int32_t index);
// The image path of entry `index` (empty outside the list).
std::string BatchlineImagePath(const EditContext* ctx, int32_t index);
// The entry's corrected thumbnail (what the list shows), read from the data file.
Status BatchlineThumbnail(const EditContext* ctx, int32_t index, Thumbnail* thumb);

// Labels and states of the Batchline's buttons and menu items.
struct ControlLabel {
  std::string text;
  bool enabled = false;
};
struct BatchlineLabels {
  ControlLabel syncButton;    // "Sync %s" (+ "..." with preference 114); "Sync" below 2 selected
  ControlLabel saveButton;    // "Save %s" (+ "..." with preference 113); "Save" with none
  ControlLabel removeButton;  // "Remove %s"; "Remove" with none
  ControlLabel saveMenu;      // "&Save %s image[s][...]"
  ControlLabel removeMenu;    // "Remove %s image[s] from the Batchline"
  ControlLabel addMenu;       // "&Add Images to the Batchline..."
  ControlLabel saveJobMenu;   // "Save Job..."
  ControlLabel resumeJobMenu; // "Resume Job..."
  ControlLabel saveAsMenu;    // "Save Image as..."
  ControlLabel exitMenu;      // "E&xit"
};
BatchlineLabels GetBatchlineLabels(const EditContext* ctx);

// ---- opening ------------------------------------------------------------------------
// Finds the Batchline's files and takes the lock. kSysErr (reported) when
// another process holds it.
Status BatchlineOpen(EditContext* ctx);
// At the window's start: when the header file exists, asks "Resume unfinished
// job?" ("Resume Job" / "New Job"). New Job deletes both files; Resume Job
// reads the entries back (the first becomes current), without the entries
// the run state (runstate.h) marks saved and those whose file is no longer
// the one added (each of these reported, unless `skips` is given to get
// both lists).
struct ResumeSkips {
  std::vector<std::string> saved, changed;
};
Status OfferUnfinishedJob(EditContext* ctx, ResumeSkips* skips);
inline Status OfferUnfinishedJob(EditContext* ctx) { return OfferUnfinishedJob(ctx, nullptr); }

// ---- operations -----------------------------------------------------------------------
// The profile decisions of one add: the preferences' policy, and the default
// answers of the question (op.answers points at `answers`; not copyable).
struct AddProfiles {
  ProfileChoices answers;
  ProfileAddOperation op;
  AddProfiles() = default;
  AddProfiles(const AddProfiles&) = delete;
  AddProfiles& operator=(const AddProfiles&) = delete;
};
// By the session's preferences (the policy and the answers) and its working space.
void StartProfileAdd(const AppSession& app, AddProfiles* profiles);

// Everything adding one file makes before it is stored: the file checked
// (type, RGB, a path the record can hold), its input profile decided, the
// two-pass thumbnail, the start-with record (Brivio on the thumbnail), and
// the whole record with its corrected thumbnail, as the bytes it has in the
// data file. Failures are reported. A temporary profile copy the record
// names belongs to the record from then on.
//
// With `onePass` (the command line, which saves the image at once, from the
// same process): the record holds no thumbnails, and the file is decoded
// only when the start-with record needs the analysis (Brivio): then at full
// size, once, the analysis thumbnail made from those rows (rowthumbnail.h)
// and the rows kept in onePass->held when they fit onePass->holdBytes, for
// SaveImageRecord. Otherwise only the file's header is read.
struct OnePassAdd {
  int64_t holdBytes = 0;
  HeldImage* held = nullptr;
};
Status MakeImageRecord(EditContext* ctx, const std::string& path, ProfileAddOperation& profiles,
                       std::vector<uint8_t>* record, const OnePassAdd* onePass = nullptr);
// Stores a record MakeImageRecord made for `path` as a new entry at the end
// of the list, with the rules of an add (data file flushed, run state, header
// rewritten), for a caller that stores each record as its image is done (the
// command line's add and save). On failure (reported) the record's
// temporary profile copy goes and the list stays as it was.
Status AppendImageRecord(EditContext* ctx, const std::string& path, const std::vector<uint8_t>& record);
// Saves the image at `path` with a record MakeImageRecord made for it and
// that is not (yet) an entry of the list, as SaveBatchEntry saves an entry
// (not in overwrite mode): loaded for saving, output chosen, FilterImage,
// reading the rows from `held` when they were kept. The output path goes to
// ctx->outputPath. Failures are reported.
Status SaveImageRecord(EditContext* ctx, const std::string& path, const std::vector<uint8_t>& record, HeldImage* held);
struct PreparedRecord {
  Status status = kCancelled;  // of MakeImageRecord; kCancelled: not made
  std::vector<uint8_t> record;
};
// Makes the records of `paths` (one PreparedRecord each, in that order),
// for instance in worker processes.
using RecordMaker = std::function<Status(EditContext* ctx, const std::vector<std::string>& paths,
                                         std::vector<PreparedRecord>* records)>;

struct AddImagesRequest {
  // The files to add (dropped on the window, or given to the command-line
  // tool). Empty: the command-line file list when one is pending, else the
  // file chooser.
  std::vector<std::string> paths;
  // A refused or failing file is reported and skipped; the rest are still
  // added (the command-line tool). Otherwise the first one ends the add.
  bool keepGoing = false;
  // Makes the records instead of this process (the records are then stored
  // here, in order, with the same rules).
  RecordMaker maker;
  // Called after each file was tried, with its status (0: added).
  std::function<void(const std::string& path, Status status)> onFile;
};
// What became of each file of an add, in the order tried.
struct AddImagesResult {
  std::vector<std::string> added;
  std::vector<std::pair<std::string, Status>> refused;
};
// "&Add Images to the Batchline...". A single job file resumes that job.
Status AddImages(EditContext* ctx, const AddImagesRequest& request = {}, AddImagesResult* result = nullptr);

// A change of the list's selection or current entry (a click in the list):
// the edits of the image being left are applied without asking, the new
// current entry is loaded. A selection with nothing selected selects the
// current entry again. `selected` has one flag per entry.
Status SelectEntries(EditContext* ctx, const std::vector<uint8_t>& selected, int32_t current);
// Selects every entry (the current one stays current).
Status SelectAll(EditContext* ctx);

// Apply: writes the live record of the open image into its entry (with a new
// corrected thumbnail) when it differs from the stored one; with `ask` first
// asks "Do you want to Apply the changes you made to %s?" (Save / Don't Save /
// Cancel: kCancelled). The live record becomes the previous settings.
Status ApplyCurrent(EditContext* ctx, bool ask);
// Button "Apply": Apply without a question, then the next entry (after the
// last, the first) becomes current and is loaded.
Status ApplyAndAdvance(EditContext* ctx);
// Button "Cancel": the next entry without applying; the live changes are lost.
Status CancelAndAdvance(EditContext* ctx);
// Button "Sync": the live settings onto the selected entries (preferences
// 116, 117). kUnsupported with fewer than two selected.
Status SyncSelected(EditContext* ctx);

// Saves the entries of `indices` (in that order) and fills one status per
// index; the command-line tool spreads them over worker processes. Each entry
// is saved with SaveBatchEntry.
using SaveExecutor =
    std::function<Status(EditContext* ctx, const std::vector<int32_t>& indices, bool overwrite, std::vector<Status>* results)>;
struct SaveSelectedOptions {
  SaveExecutor executor;  // empty: one after the other in this process, with the questions
  // An image the output plan refuses, with the reason ("its output would
  // replace ..."); empty: each is reported as an alert.
  std::function<void(int32_t index, const std::string& reason)> onRefused;
};
// Button "Save": every selected entry through the save pipeline, with the
// progress "Processing %d images...". First the output plan (outputplan.h)
// of the selected entries against every image of the Batchline: an entry
// whose output would overwrite an image of the Batchline or another entry's
// output is not saved, and counts as failed. Saved images leave the
// Batchline at the end when preference 118 is on and nothing failed; in
// overwrite mode (118 off, same folder, same name) each saved entry is reset
// to describe its new file.
Status SaveSelected(EditContext* ctx, const SaveSelectedOptions& options = {});
// One entry of a batch save: loaded for saving, output chosen, FilterImage,
// and in overwrite mode the entry rewritten. Failures are reported.
Status SaveBatchEntry(EditContext* ctx, int32_t index, bool overwrite);
// True when a batch save replaces every input (preferences 118 off, 73 on, naming 2).
bool OverwriteMode(const Prefs& prefs);

// "Save Image as...": the open image through the file-save dialog; a chosen
// name that would overwrite another image of the Batchline is refused.
Status SaveCurrentAs(EditContext* ctx);
// Button "Remove": the selected entries leave the Batchline (asking first
// when any has edits).
Status RemoveSelected(EditContext* ctx);
// "Resume Job...": appends a saved job's entries (only to an empty
// Batchline). An empty path asks with the file chooser.
Status ResumeJob(EditContext* ctx, const std::string& jobPath = {});
// "Save Job...": the Batchline as a job file. An empty path asks with the
// file-save dialog.
Status SaveJob(EditContext* ctx, const std::string& jobPath = {});
// "E&xit": applies the open image's edits (asking; kCancelled stops the
// exit), deletes the entries' temporary profile copies and both job files.
Status ExitEditing(EditContext* ctx);
