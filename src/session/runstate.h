// The run state of the Batchline: which file each entry was added as, and
// which entries have been saved. It lives beside the Batchline's two files
// ("TavelinJobState" in the preferences folder) and goes with them, so that
// resuming an unfinished job knows what is already done:
//
// - when an entry is stored, and again when its edits are applied, its image
//   file's identity is recorded: device, inode, size and modification time
//   (links resolved); this also makes a saved entry one to save again;
// - when an entry's save has renamed its output into place, the entry is
//   marked saved (an entry saved over its input that stays in the Batchline
//   is recorded again as the new file it now describes);
// - resuming skips the entries marked saved, and leaves out an entry whose
//   file is no longer the one recorded: a file saved over itself is a new
//   file, so it is never corrected a second time, even when the process
//   was killed between the rename and the mark.
//
// The file is an append-only log (one write per record, so worker processes
// of one run may append side by side); all numbers big-endian:
//   kind (u8: 'A' added, 'S' saved), record offset (u32), path length
//   (u32), the image path, and for 'A' the identity: device, inode, size,
//   modification time in nanoseconds (u64 each).
// The 'A' records also keep the whole path of an image whose path is too
// long for its Batchline record (jobfile.h); an identity of zeros means the
// file could not be looked at. A later 'A' for the same record offset and
// path starts that entry afresh;
// records of another path at that offset (an entry removed, its place
// taken) do not count. A record cut short at the end is ignored.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "session/jobfile.h"
#include "base/status.h"

struct FileIdentity {
  uint64_t dev = 0, ino = 0, size = 0, mtimeNs = 0;
  bool operator==(const FileIdentity& o) const {
    return dev == o.dev && ino == o.ino && size == o.size && mtimeNs == o.mtimeNs;
  }
  bool operator!=(const FileIdentity& o) const { return !(*this == o); }
};
// The identity of the file at `path` (links resolved); false when it cannot be read.
bool FileIdentityOf(const std::string& path, FileIdentity* id);

// Appends a record; kWriteErr (or kOpenErr) when the file refuses it.
Status RunStateAdded(const BatchlineFiles& files, const JobEntry& entry, const FileIdentity& id);
Status RunStateSaved(const BatchlineFiles& files, const JobEntry& entry);

struct EntryRunState {
  bool known = false;  // an identity was recorded
  FileIdentity added;
  bool saved = false;
};
// Gives the entries whose record holds kJobLongPathMark instead of the image
// path the path recorded for their record offset (left as it is when none is).
void ResolveLongImagePaths(const BatchlineFiles& files, JobEntryList& entries);

// The state of each entry of `entries` (by offset and path), in that order.
// A missing file means nothing is known.
std::vector<EntryRunState> ReadRunState(const BatchlineFiles& files, const JobEntryList& entries);
