#include "base/strings.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "base/debuglog.h"

namespace {
struct StringEntry {
  int id;
  const char* text;
};

// Sorted by id.
constexpr StringEntry kStrings[] = {
#include "base/string_table.inc"
};

constexpr bool IsSorted() {
  for (size_t i = 1; i < std::size(kStrings); ++i)
    if (kStrings[i - 1].id >= kStrings[i].id) return false;
  return true;
}
static_assert(IsSorted(), "the string table must be sorted by id, without duplicates");

char gSharedBuffer[kResTextCapacity];
}  // namespace

const char* ResText(int id) {
  auto it = std::lower_bound(std::begin(kStrings), std::end(kStrings), id,
                             [](const StringEntry& e, int key) { return e.id < key; });
  return (it != std::end(kStrings) && it->id == id) ? it->text : nullptr;
}

const char* Ui_ResToCString(int diagnostics, int id, char* buffer) {
  if (!buffer) buffer = gSharedBuffer;
  const char* text = ResText(id);
  if (!text) {
    Ui_Debug_LogF(diagnostics, "Ui_ResToCString, LoadString error = %ld", (long)id);
    text = "?";
  }
  std::snprintf(buffer, kResTextCapacity, "%s", text);
  return buffer;
}

std::string ResString(int id) { return Ui_ResToCString(DiagFlag(), id, nullptr); }

static std::string VFormat(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (n <= 0) return std::string();
  std::string out((size_t)n, '\0');
  std::vsnprintf(out.data(), (size_t)n + 1, format, args);
  return out;
}

std::string Fmt(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string out = VFormat(format, args);
  va_end(args);
  return out;
}

std::string Phrase(int id, ...) {
  std::string form = ResString(id);
  va_list args;
  va_start(args, id);
  std::string out = VFormat(form.c_str(), args);
  va_end(args);
  return out;
}

std::string LeafName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string PrintablePath(const std::string& path) {
  std::string out;
  out.reserve(path.size());
  for (const char ch : path) {
    const unsigned char c = (unsigned char)ch;
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else if (c == '\r') out += "\\r";
    else if (c < 0x20 || c == 0x7F) out += Fmt("\\x%02X", c);
    else out += ch;
  }
  return out;
}

int TextCompare(const char* a, const char* b) {
  if (!a || !b) return -1000;
  return std::strcmp(a, b);
}

void TextCopyN(char* dst, const char* src, size_t n) {
  if (!dst || n == 0) return;
  size_t i = 0;
  for (; src && src[i] && i + 1 < n; ++i) dst[i] = src[i];
  dst[i] = '\0';
}

std::string FolderOf(const std::string& path, const char* none) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(none) : path.substr(0, slash + 1);
}
