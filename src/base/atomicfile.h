// AtomicFile: writes a file whole or not at all. The bytes go to a locked
// temporary file in the target's own folder (safefile.h); Commit makes them
// durable and renames the temporary file over the target in one step, so a
// crash, a full disk or a file-size limit at any moment leaves either the old
// file or the complete new one. The replaced file's mode, owner and extended
// attributes carry over; a target with other hard links, or one that is not a
// regular file, is refused; a symbolic link at the target's name is replaced,
// never written through. An AtomicFile that is destroyed (or aborted) without
// a successful Commit removes its temporary file and leaves the target
// untouched. Reports nothing: callers report.
#pragma once

#include <functional>
#include <string>

#include "base/safefile.h"
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
  // the bytes cannot be written out, kSysErr when the rename fails, the
  // statuses of ReplaceFile for a target that cannot be replaced. The
  // temporary file is removed on failure. `durable` false skips the wait for
  // the disk (files rebuilt at every start): readers still see the old
  // file or the whole new one.
  Status Commit(bool durable = true);
  // Closes and removes the temporary file (nothing after a Commit).
  void Abort();

  Stream& stream() { return stream_; }
  const std::string& TempPath() const { return temp_.Path(); }
  // Why the last Open or Commit failed.
  const std::string& Why() const { return why_; }

 private:
  Stream stream_;
  TempFile temp_;
  std::string target_;
  std::string why_;
};

// A whole file written by `fill`: a path goes through an AtomicFile (the old
// file stays until the new one is complete and on the disk), a memory block
// is written directly. The status of the first step that fails; `why`, when
// given, says why the file could not be created or replaced.
Status WriteWhole(const StreamLocation& where, const std::function<Status(Stream&)>& fill, std::string* why = nullptr);
