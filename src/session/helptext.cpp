#include "session/helptext.h"

#include <cstdio>
#include <cstdlib>

#include "base/alert.h"
#include "base/debuglog.h"
#include "base/strings.h"

namespace {

const unsigned char kHelpBytes[] = {
#include "helptext_bytes.inc"
};

// Line reader that knows where the stream ends (StreamReadLine cannot tell
// the end of the file from a failing read).
class LineReader {
 public:
  explicit LineReader(Stream& s) : s_(s) {}

  Status Open() {
    Status st = StreamSeek(s_, 0, 2);
    if (st == kOk) st = StreamTell(s_, size_);
    if (st == kOk) st = StreamSeek(s_, 0, 0);
    return st;
  }

  // kOk with the next line (its terminator dropped); *end at the end of the file.
  Status Next(std::string& line, bool* end) {
    *end = false;
    int64_t pos = 0;
    Status st = StreamTell(s_, pos);
    if (st == kOk && pos >= size_) {
      *end = true;
      return kOk;
    }
    ++number_;
    if (st == kOk) st = StreamReadLine(s_, line, kHelpLineCapacity);
    if (st != kOk) return st;
    if (!line.empty() && line.back() == '\n') line.pop_back();
    return kOk;
  }

  int Number() const { return number_; }

 private:
  Stream& s_;
  int64_t size_ = 0;
  int number_ = 0;
};

bool Starts(const std::string& line, char c) { return !line.empty() && line[0] == c; }

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

void FinishParagraph(std::string text, HelpTopic* topic) {
  text = Trimmed(text);
  if (text.empty()) return;
  HelpParagraph p;
  if (text[0] == ')') {
    p.picture = true;
    p.pictureId = std::atoi(text.c_str() + 1);
  } else {
    p.text = std::move(text);
  }
  topic->paragraphs.push_back(std::move(p));
}

// The number of a "#" line, read as "%d" after the '#'; false when none.
bool TopicNumber(const std::string& line, int* number, size_t* end) {
  const char* start = line.c_str() + 1;
  char* stop = nullptr;
  const long n = std::strtol(start, &stop, 10);
  if (stop == start) return false;
  *number = (int)n;
  *end = (size_t)(stop - line.c_str());
  return true;
}

}  // namespace

std::string_view BuiltInHelpText() {
  return std::string_view(reinterpret_cast<const char*>(kHelpBytes), sizeof kHelpBytes);
}

Status ReadHelpTopic(Stream& s, int number, HelpTopic* topic, int* failedLine) {
  if (!topic || !failedLine) return kBadArg;
  *topic = HelpTopic();
  *failedLine = 0;
  LineReader reader(s);
  Status st = reader.Open();
  if (st != kOk) return st;
  std::string line;
  bool end = false;
  auto next = [&]() {
    const Status r = reader.Next(line, &end);
    if (r != kOk) *failedLine = reader.Number();
    return r;
  };

  // The topic's "#" line.
  for (;;) {
    if ((st = next()) != kOk) return st;
    if (end) return kFormatErr;
    if (!Starts(line, '#')) continue;
    if (line.size() > 1 && line[1] == '#') return kFormatErr;
    int n = 0;
    size_t after = 0;
    if (TopicNumber(line, &n, &after) && n == number) {
      topic->number = n;
      topic->title = Trimmed(line.substr(after));
      break;
    }
  }

  // Its paragraphs: "?" text... "*", and on only while a "?" follows the "*".
  if ((st = next()) != kOk) return st;
  if (end || !Starts(line, '?')) return kOk;
  for (;;) {
    std::string text;
    for (;;) {
      if ((st = next()) != kOk) return st;
      if (end || Starts(line, '#')) {
        FinishParagraph(std::move(text), topic);
        return kOk;
      }
      if (Starts(line, '*')) break;
      if (!text.empty()) text += ' ';
      text += line;
    }
    FinishParagraph(std::move(text), topic);
    if ((st = next()) != kOk) return st;
    if (end || !Starts(line, '?')) return kOk;
  }
}

Status LoadHelpTopic(const std::string& path, int number, HelpTopic* topic) {
  if (!topic) return kBadArg;
  Stream s;
  Status st = StreamOpen(s, path, kStreamRead);
  if (st != kOk) return ReportError(st, Phrase(3003, path.c_str()));
  int line = 0;
  st = ReadHelpTopic(s, number, topic, &line);
  if (st == kFormatErr) {
    DLog("help topic %d not found in %s", number, path.c_str());
    return st;
  }
  if (st != kOk) return ReportError(st, Phrase(3007, line, path.c_str()));
  return kOk;
}
