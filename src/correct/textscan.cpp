#include "correct/textscan.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

namespace textscan {

namespace {
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
}  // namespace

int ScanNumbers(const char* line, const char* kinds, double* out) {
  if (!line || !kinds || !out) return 0;
  const char* p = line;
  int n = 0;
  for (; kinds[n]; ++n) {
    while (IsSpace(*p)) ++p;
    // Locale-independent: '.' is the decimal point whatever the GUI's locale.
    const bool negative = *p == '-';
    const char* q = (*p == '+' || *p == '-') ? p + 1 : p;
    const char* stop = q + std::strlen(q);
    if (kinds[n] == 'd') {
      if (*q < '0' || *q > '9') break;
      const char* e = q;
      long long v = 0;
      while (*e >= '0' && *e <= '9') {
        if (v <= (long long)INT_MAX + 1) v = v * 10 + (*e - '0');
        ++e;
      }
      if (negative) v = -v;
      if (v > INT_MAX) v = INT_MAX;
      if (v < INT_MIN) v = INT_MIN;
      out[n] = (double)v;
      p = e;
    } else {
      if (*q == '-' || *q == '+') break;  // one sign only
      double v = 0.0;
      const auto r = std::from_chars(q, stop, v, std::chars_format::general);
      if (r.ec == std::errc::invalid_argument || r.ptr == q) break;
      if (r.ec == std::errc::result_out_of_range) {
        // Overflow saturates to infinity, underflow to zero, as the C scan does.
        const char* e = q;
        while (e < r.ptr && *e != 'e' && *e != 'E') ++e;
        v = (e < r.ptr && e[1] == '-') ? 0.0 : HUGE_VAL;
      }
      out[n] = negative ? -v : v;
      p = r.ptr;
    }
  }
  return n;
}

Status ReadLine(Stream& s, std::string& line) {
  Status st = StreamReadLine(s, line, kLineCapacity);
  if (st != kOk) return st;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return kOk;
}

Status WriteText(Stream& s, const std::string& text) { return StreamWriteAll(s, text.data(), text.size()); }

std::string Fixed(double v, int decimals, int width) {
  char buf[400];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  std::string text = r.ec == std::errc() ? std::string(buf, r.ptr) : std::string("0");
  if ((int)text.size() < width) text.insert(0, (size_t)width - text.size(), ' ');
  return text;
}

}  // namespace textscan
