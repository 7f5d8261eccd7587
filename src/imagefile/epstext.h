// Text reading shared by the EPS and DCS modules: a line reader over an open
// stream that keeps the file offset of the next line, so binary data that
// follows a line can be found exactly, and the reader of an EPS header's
// comment lines. Only eps.cpp and dcs.cpp include this header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/stream.h"

inline constexpr const char* kEpsFirstLine = "%!PS-Adobe-3.0 EPSF-3.0";

// Lines end at a line feed; a carriage return before it is dropped. A line
// longer than kMaxLine characters is cut to that length (the rest is skipped).
// Reads from the stream's current position, which must be `start`.
class EpsLineReader {
 public:
  static constexpr size_t kMaxLine = 4096;
  explicit EpsLineReader(Stream& s, int64_t start = 0) : s_(s), base_(start) {}
  // False at the end of the stream (a last line without a line feed still counts).
  bool Next(std::string& line);
  // The offset of the byte after the last line returned.
  int64_t Offset() const { return base_ + (int64_t)pos_; }

 private:
  Stream& s_;
  uint8_t buf_[4096];
  size_t have_ = 0, pos_ = 0;
  int64_t base_ = 0;  // file offset of buf_[0]
};

// From offset 0: the first line must be kEpsFirstLine (else kFormatErr); then
// collects the following lines that begin with '%', up to the first that does
// not or `maxLines` of them.
Status EpsReadComments(Stream& s, std::vector<std::string>& comments, size_t maxLines);
