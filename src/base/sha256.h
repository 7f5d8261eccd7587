// SHA-256 of a file's bytes (libcrypto), as 64 lower-case hex digits.
#pragma once

#include <string>

// Empty when the file cannot be read.
std::string FileSha256Hex(const std::string& path);
