// Safe files: how the application creates and replaces files, so that
// nothing it writes follows a link planted at a name, a half-written file
// never replaces anything, and a replaced file keeps what its owner set on it.
//
// - A temporary file ("Quilo%06d.tmp", the first free number) is created in
//   its target's own folder exclusively and without following links
//   (O_CREAT | O_EXCL | O_NOFOLLOW), with mode 0600, and its creator holds an
//   exclusive lock (flock) on it from creation until it is renamed into place
//   or removed. A temporary file that no process holds was left by a process
//   that was killed: SweepStaleTemps removes such files of the caller's own.
// - ReplaceFile renames a finished temporary file over its target in one step.
//   The rename replaces a symbolic link found at the target's name; it never
//   writes through it. A regular file that is replaced hands its mode, its
//   owner and group (as far as the system lets this process set them; group
//   permissions are dropped when the group cannot be kept, set-id bits when
//   the owner or group cannot) and its extended attributes (ACLs among them)
//   to the new file. A target that has other hard links is refused: renaming
//   over it would part it from its other names, and rewriting it in place
//   would change every name at once and could leave it half written. A
//   target that is not a regular file (a folder, a device) is refused too.
//   A new file gets the mode an ordinary new file gets under the umask.
// - Nothing here reports: a failure comes back as a status and a reason.
#pragma once

#include <functional>
#include <string>

#include "base/status.h"

class TempFile {
 public:
  TempFile() = default;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() { Remove(); }

  // Creates and locks the file in `folder` (ends in '/'). kOpenErr when the
  // folder refuses new files, kSysErr when every name is taken.
  Status Create(const std::string& folder, std::string* why = nullptr);
  // ReplaceFile with this file; afterwards the temporary file is gone
  // (renamed, or removed on failure).
  // `syncFolder` false leaves the folder's sync (the rename's durability) to
  // the caller, who may sync a folder once for many files.
  Status CommitTo(const std::string& target, bool durable, std::string* why = nullptr, bool syncFolder = true);
  // Removes the file and lets go of it (nothing when there is none).
  void Remove();

  bool Active() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }
  // The locked descriptor (read and write), valid while Active().
  int Fd() const { return fd_; }

 private:
  std::string path_;
  int fd_ = -1;
};

// Replaces `target` with the finished file `tempPath` (open as `tempFd`), as
// described above; `durable` also waits for the disk (the data before the
// rename, the folder after it). kUnsupported: the target has other hard
// links; kSysErr: it is not a regular file, or the rename fails; kWriteErr:
// the data cannot be made durable. `why` gets the reason. With `syncFolder`
// false the folder is not waited for: the caller syncs it (SyncFolder), say
// once for a batch of files.
Status ReplaceFile(int tempFd, const std::string& tempPath, const std::string& target, bool durable,
                   std::string* why = nullptr, bool syncFolder = true);

// Waits until the folder's entries are on the disk (the renames into it);
// kOk also when the folder cannot be opened, kWriteErr when the sync fails.
Status SyncFolder(const std::string& folder);

// Whether `leaf` is a temporary file name of TempFile ("Quilo" + six digits
// + ".tmp") or one of the names derived from it by appending "." and a
// letter (the plates of a DCS set written beside it).
bool IsTempLeaf(const std::string& leaf);

// Removes from `folder` every temporary file of TempFile's naming that
// belongs to this user, is a regular file and is held by no process (with
// the plate names derived from it), except those `keep` names (a file that
// is kept on purpose under such a name). Each folder is swept once per
// process.
void SweepStaleTemps(const std::string& folder, const std::function<bool(const std::string& path)>& keep = {});
// SweepStaleTemps for an output folder, unless it is the working folder
// (paths.h), whose "Quilo" files are the copies of embedded profiles.
void SweepOutputFolder(const std::string& folder);

// The mode bits the umask leaves of 0666 (what a new ordinary file gets).
unsigned NewFileMode();
