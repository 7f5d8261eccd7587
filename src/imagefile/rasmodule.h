// What the format modules share: the failure note and the warning, small
// stream helpers and the open of a
// file by a given module. Only the framework and the format modules include
// this header; it is implemented with the records (rasimage.cpp).
//
// The module contract is stated in format.h.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>
#include <vector>

#include "imagefile/format.h"
#include "imagefile/rasimage.h"
#include "base/memory.h"

// Records why an operation failed (printf form) in RasLastFailure() and the
// diagnostics log; returns `status`.
Status RasFail(Status status, const char* format, ...) __attribute__((format(printf, 2, 3)));
void RasClearFailure();
// Presents a gray or CMYK record as RGB when the options ask for it
// (ReadOptions::asRgb): an open record gets the converter and a row of the
// file's own kind. kFormatErr with the reason when no converter is made.
Status RasPresentAsRgb(RasImage& image, const ReadOptions& options);
// Sets RasLastFailure() to a reason noted earlier.
void RasSetFailure(const std::string& why);
// Forgets the warning about the file last read (each read open starts so).
void RasClearWarning();
// Records something wrong with the file being read that it can be read in
// spite of (printf form), in RasLastWarning() and the diagnostics log.
void RasWarn(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The size of the open stream's file (the stream position is kept).
inline Status RasStreamSize(Stream& s, int64_t& size) { return StreamSize(s, size); }
// Seeks to an absolute position only when the stream is elsewhere.
Status RasSeekTo(Stream& s, int64_t position);
// Opens the file state's stream for a reader, measures the file and reads its
// first `headSize` bytes into `head` (none when 0): kOpenErr, kSeekErr, or
// kFormatErr ("too short for <what>"), with the failure noted.
Status RasOpenInput(RasFileState& fs, int64_t& fileSize, void* head = nullptr, size_t headSize = 0,
                    const char* what = nullptr);
// Reads the whole open stream (of `fileSize` bytes) into `bytes`, for
// formats whose libraries decode from memory: kUnsupported ("the <what> of
// N bytes is larger than this program reads") above `limit`, kNoMem, kSeekErr
// or kReadErr, with the failure noted.
Status RasReadWhole(Stream& s, int64_t fileSize, int64_t limit, std::vector<uint8_t>& bytes, const char* what);
// Row `line` of `bytes` bytes at `offset` of the file: read into `row`, or
// written from it. kSeekErr ("cannot reach <format> row <line>"), kReadErr
// ("... is cut short") or kWriteErr ("cannot write ...").
Status RasReadRowAt(Stream& s, int64_t offset, void* row, size_t bytes, const char* formatName, uint32_t line);
Status RasWriteRowAt(Stream& s, int64_t offset, const void* row, size_t bytes, const char* formatName, uint32_t line);
// A writer's check of a record for a format of gray, RGB (Photo CD colour
// too) and CMYK images: colour type, channel count and a size above 0.
// kBadArg with the failure noted ("<files> hold gray, RGB or CMYK images only").
Status RasCheckGrayRgbCmyk(const RasImage& image, const char* files);
// What a read open found: the record's format, size, channels, colour type
// and resolution (-1: none stated).
void RasDescribe(RasImage& image, int32_t format, uint32_t width, uint32_t height, int32_t channels,
                 int32_t colorType, float resolution);
// Opens the file state's stream for a writer: the file is created exclusively
// and without following a link; an existing file is taken only when it is
// this user's own regular file with no other hard link (then truncated), or
// a character device. kOpenErr otherwise.
Status RasCreateOutput(RasFileState& fs);
// Closes a writer's stream after a failed open and deletes the partial file.
void RasAbandonOutput(RasFileState& fs);
// Ends a writer's file after its last row: with `ok`, closes the stream (kOk
// when that succeeds); otherwise, or when the close fails, the partial file is
// deleted and the answer is kWriteErr naming the file.
Status RasFinishOutput(RasFileState& fs, bool ok);
// Creates the writer's file and writes its header; on a failed write the
// partial file is removed and the failure names the format ("the BMP header").
Status RasCreateOutputWithHeader(RasFileState& fs, const void* header, size_t size, const char* formatName);
// A module's open: the read or the write side by the file state's mode; a
// failed read open closes the stream it was given.
Status RasOpenByMode(RasImage& image, Status (*openRead)(RasImage&), Status (*openWrite)(RasImage&));
// Opens the file with the given module: what RasOpen does once it has the
// module of the record's format (a composite format opens its parts so).
// Writing, `finalName` is the path the file is renamed to once complete
// (empty: `path`).
Status RasOpenWith(const FormatModule& module, const std::string& path, char mode, RasImage& image,
                   const std::string& finalName = {}, const ReadOptions& read = {},
                   const WriteOptions& write = {});
