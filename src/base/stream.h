// Streams: one interface to files on disk and to blocks of memory. Modes: 1
// read ("rb"), 2 write ("wb", created or truncated), 3 update ("r+b", a
// missing file is created). Every call returns a status.
// A memory stream reads up to its buffer's size; written, its end is the
// high-water mark (the furthest position written). Positions are 64-bit.
// A Stream closes itself when destroyed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "base/status.h"

enum StreamMode : int { kStreamRead = 1, kStreamWrite = 2, kStreamUpdate = 3 };
enum class StreamKind { None, File, Memory };

// Names a memory block instead of a path. The first two bytes are 0 and 'm',
// as in the stored form callers may pass where a path is expected.
struct MemStreamDesc {
  char zero = 0;
  char tag = 'm';
  void* buffer = nullptr;
  int64_t size = 0;  // > 0
};

// Where a stream goes: a path, or a memory block.
class StreamLocation {
 public:
  StreamLocation(const char* path) : path_(path ? path : "") {}
  StreamLocation(const std::string& path) : path_(path) {}
  StreamLocation(const MemStreamDesc& mem) : memory_(true), mem_(mem) {}
  bool IsMemory() const { return memory_; }
  const std::string& Path() const { return path_; }
  const MemStreamDesc& Mem() const { return mem_; }

 private:
  bool memory_ = false;
  std::string path_;
  MemStreamDesc mem_;
};

struct Stream {
  StreamKind kind = StreamKind::None;
  int mode = 0;
  std::string path;
  FILE* file = nullptr;
  uint8_t* buffer = nullptr;
  int64_t size = 0;  // memory: buffer size
  int64_t pos = 0;   // memory: current position
  int64_t high = 0;  // memory: high-water mark

  Stream() = default;
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;
  ~Stream();
  bool IsOpen() const { return kind != StreamKind::None; }
};

// Files opened for writing or update never follow a symbolic link at their
// own name (kOpenErr); update creates a missing file without truncating.
Status StreamOpen(Stream& s, const StreamLocation& where, int mode);
// A file stream over an open descriptor, which the stream then owns (closed
// also when this fails). `path` names the file in messages.
Status StreamAdoptFd(Stream& s, int fd, const std::string& path, int mode);
Status StreamClose(Stream& s);
// Reads up to `count` bytes; `count` becomes the number read. 0 bytes asked
// succeeds at once; none read is kReadErr; fewer than asked with `exact` is kReadErr.
Status StreamRead(Stream& s, void* buffer, size_t& count, bool exact);
// Writes `count` bytes; `count` becomes the number written; fewer is kWriteErr.
Status StreamWrite(Stream& s, const void* buffer, size_t& count);
// Exact forms of the two above.
Status StreamReadExact(Stream& s, void* buffer, size_t count);
Status StreamWriteAll(Stream& s, const void* buffer, size_t count);
// origin 0 start, 1 current, 2 end. File: kSeekErr; memory outside 0..size: kSysErr.
Status StreamSeek(Stream& s, int64_t offset, int origin);
Status StreamTell(Stream& s, int64_t& position);
// Hands buffered bytes of a file stream to the system (kWriteErr when that
// fails: a full disk or a file-size limit shows here, not at the buffered
// write); with `durable` also asks the system to put them on the disk. A
// memory stream has nothing to flush.
Status StreamFlush(Stream& s, bool durable = false);
// Reads one line of at most capacity − 2 characters, ended by a line feed, a
// carriage return, or a pair of them (CR LF or LF CR); the terminator is
// replaced by "\n". Without a terminator in that many bytes the block read is
// the line. kReadErr at the end of the stream.
Status StreamReadLine(Stream& s, std::string& line, size_t capacity);
// Writes text with every line feed turned into CR LF.
Status StreamWriteText(Stream& s, const std::string& text);

Status StreamDelete(const std::string& path);
// A rename onto itself succeeds without action; failure is kSysErr. An existing
// target is replaced atomically.
Status StreamRename(const std::string& from, const std::string& to);
Status StreamFileSize(const std::string& path, int64_t& size);
// The size of an open stream, its position kept.
Status StreamSize(Stream& s, int64_t& size);
