// Status codes: every operation returns one of these (0 success, negatives
// failures) and hands its results through out-parameters. The set is closed;
// a code outside it is reported as "unknown". -10 (cancelled) is never alerted.
#pragma once

#include <cstdint>

using Status = int32_t;

enum : Status {
  kOk = 0,
  kBadArg = -1,       // bad argument, missing object, impossible request
  kSysErr = -2,       // a system call failed, or nothing stored where asked
  kNoMem = -3,        // out of memory
  kOpenErr = -4,      // a file cannot be opened or created
  kReadErr = -5,      // a file read failed or ended early
  kWriteErr = -6,     // a file write failed
  kSeekErr = -7,      // a file seek or position query failed
  kFormatErr = -8,    // wrong file type, bad header, bad record
  kUnsupported = -9,  // unsupported feature or variant; also "reset to default"
  kCancelled = -10,   // cancelled by the user: silent everywhere
  kTimeout = -11,
};
