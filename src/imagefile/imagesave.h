// ImageSave: the one way an image file is saved, shared by the save pipeline
// and the command-line `convert`. The image is written to a locked temporary
// file created exclusively in the target's own folder (safefile.h), named
// inside as the target; Commit makes it durable and renames it over the
// target in one step, companions first (the plates of a DCS set, by the
// format's companion suffixes). Until Commit succeeds the target, and every
// companion's target, is untouched, so an input saved over itself survives
// any failure.
//
// Ownership: an ImageSave owns its temporary file (and the companion files
// the writer makes beside it) until Commit or Abort; destroying it without a
// Commit removes them. It never owns the image record: the caller opens
// (Open), writes and closes it. Reports nothing: statuses and reasons.
#pragma once

#include <string>
#include <vector>

#include "base/safefile.h"
#include "imagefile/rasimage.h"

class ImageSave {
 public:
  ImageSave() = default;
  ImageSave(const ImageSave&) = delete;
  ImageSave& operator=(const ImageSave&) = delete;
  ~ImageSave() { RemoveFiles(); }

  // Removes stale temporary files from the target's folder and creates this
  // save's temporary file there: kOpenErr when the folder refuses new files,
  // kSysErr when no name is free; `why` says which.
  Status Prepare(const std::string& target, std::string* why = nullptr);
  // Opens the writer of image.format (described by rasInit, image.meta holding
  // what to embed) on the temporary file with the options: RasCreate's status.
  Status Open(RasImage& image, const WriteOptions& options);
  // Puts the finished file in place; the image record must be closed. The
  // statuses of ReplaceFile (kWriteErr: the bytes could not be made durable).
  // On failure the temporary files are removed. With `syncFolder` false the
  // target's folder is left for the caller to sync (SyncFolder).
  Status Commit(std::string* why = nullptr, bool syncFolder = true);
  // Closes the record when it is open and removes the temporary files.
  void Abort(RasImage& image);

  const std::string& TempPath() const { return temp_.Path(); }
  const std::string& Target() const { return target_; }

 private:
  void RemoveFiles();

  TempFile temp_;
  std::string target_;
  const std::vector<std::string>* companions_ = nullptr;  // of the opened format
};
