// AtomicFile: writes a file whole or not at all. The bytes go to a
// temporary file ("Quilo%06d.tmp") in the target's own folder; Commit makes
// them durable and renames the temporary file over the target in one step,
// so a crash, a full disk or a file-size limit at any moment leaves either
// the old file or the complete new one. An AtomicFile that is destroyed (or
// aborted) without a successful Commit removes its temporary file and leaves
// the target untouched. Reports nothing: callers report.
#pragma once

#include <string>

#include "base/status.h"
#include "base/stream.h"

class AtomicFile {
 public:
  AtomicFile() = default;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  ~AtomicFile() { Abort(); }

  // Creates the temporary file beside `target`: kSysErr when no temporary
  // name is free, kOpenErr when it cannot be created.
  Status Open(const std::string& target);
  // Flushes to the disk, closes and renames over the target: kWriteErr when
  // the bytes cannot be written out, kSysErr when the rename fails. The
  // temporary file is removed on failure. `durable` false skips the wait for
  // the disk (files rebuilt at every start): readers still see the old file
  // or the whole new one.
  Status Commit(bool durable = true);
  // Closes and removes the temporary file (nothing after a Commit).
  void Abort();

  Stream& stream() { return stream_; }
  const std::string& TempPath() const { return temp_; }

 private:
  Stream stream_;
  std::string temp_;
  std::string target_;
};
