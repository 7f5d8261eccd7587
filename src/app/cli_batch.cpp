#include "app/cli_batch.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "colormgmt/iccprofile.h"
#include "colormgmt/profilepolicy.h"
#include "colormgmt/workingspaces.h"
#include "correct/brivio.h"
#include "correct/customsettings.h"
#include "imagefile/ras.h"
#include "imagefile/tiff.h"
#include "prefs/prefs.h"
#include "base/alert.h"
#include "session/batchline.h"
#include "session/editcontext.h"
#include "session/runstate.h"
#include "base/naming.h"
#include "session/startup.h"
#include "base/strings.h"
#include "base/uihost.h"

namespace {

// ---- interruption ------------------------------------------------------------------------
volatile sig_atomic_t gInterrupted = 0;
void OnSignal(int) { gInterrupted = 1; }

void InstallSignals() {
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
}

constexpr int kExitInterrupted = 130;
constexpr int kMaxWorkers = 256;

// What the workers share with the parent.
struct SharedBatch {
  std::atomic<int32_t> next{0};
  std::atomic<int32_t> done{0};
  std::atomic<int32_t> percent[kMaxWorkers];
};

// Writes a whole line in one call, so lines of several processes never mix.
void WriteLine(int fd, const std::string& line) {
  std::string text = line + "\n";
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    p += n;
    left -= (size_t)n;
  }
}

// A message on one line: its line breaks become spaces.
std::string OneLine(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c != '\n' && c != '\r') out += c;
    else if (!out.empty() && out.back() != ' ') out += ' ';
  }
  return out;
}

// One line of the per-image report on the standard output, starting with the
// image's path: a name with a line feed in it cannot split it.
void WriteImageLine(const std::string& path, const std::string& rest) {
  WriteLine(1, PrintablePath(path) + OneLine(rest));
}

// ---- the host: questions answered by options ---------------------------------------------------
class CliHost : public UiHost {
 public:
  void ShowAlert(const std::string& message, const std::string& explanation) override {
    lastAlert = message;
    if (!explanation.empty()) lastAlert += (message.empty() || message.back() == '.' ? " " : ". ") + explanation;
    if (echoAlerts) WriteLine(2, "tavelin-cli: " + lastAlert);
  }
  void ShowMessage(const std::string&, const std::string& text) override {
    lastAlert = text;
    if (echoAlerts) WriteLine(2, "tavelin-cli: " + text);
  }
  int Ask(const UiQuestion& q) override {
    switch (q.id) {
      case 9237:  // Resume unfinished job? (Resume Job / New Job)
        return unfinishedAnswer == 1 ? 1 : 0;
      case 9211:  // cancel the saving process? (Cancel / Continue)
        return gInterrupted ? 0 : 1;
      case 9210:  // another working space: Use Anyway
        WriteLine(2, "tavelin-cli: " + q.text + " (used anyway)");
        return 0;
      case 9226:  // Load Others
      case 9235:  // Save remaining images
        return 0;
      default:
        return q.defaultButton;
    }
  }
  Status ChooseOpenFiles(const UiFileRequest&, std::vector<std::string>&) override { return kCancelled; }
  Status ChooseSaveFile(const UiFileRequest&, std::string&) override { return kCancelled; }
  Status ChooseFolder(const UiFileRequest&, std::string&) override { return kCancelled; }
  void ProgressOpen(const std::string& text, int64_t total) override {
    total_ = total > 0 ? total : 1;
    text_ = text;
  }
  Status ProgressStep(int64_t done, const std::string& text) override {
    if (slot) slot->store((int32_t)(done * 100 / total_), std::memory_order_relaxed);
    if (drawProgress) {
      std::fprintf(stderr, "\r%s %3d%%\033[K", text.empty() ? text_.c_str() : text.c_str(), (int)(done * 100 / total_));
      std::fflush(stderr);
    }
    return gInterrupted ? kCancelled : kOk;
  }
  void ProgressClose() override {
    if (drawProgress) {
      std::fprintf(stderr, "\r\033[K");
      std::fflush(stderr);
    }
  }

  bool echoAlerts = true;
  bool drawProgress = false;
  int unfinishedAnswer = 0;          // 0 Resume Job, 1 New Job
  std::atomic<int32_t>* slot = nullptr;  // a worker's progress, for the parent
  std::string lastAlert;

 private:
  int64_t total_ = 1;
  std::string text_;
};

// ---- options -------------------------------------------------------------------------------------
enum OptionGroup : unsigned { kStartWith = 1, kSave = 2, kRun = 4, kUnfinished = 8 };

struct Options {
  std::vector<std::string> inputs;
  // start-with
  int colour = 0;  // 0 Brivio, 2 reset, 3 custom settings
  int analysis = -1;  // --auto=adaptive|classic: BrivioAnalysis; -1 the preference
  std::string settings;
  int sharpen = 0;
  bool denoise = false;
  int workingSpace = -1;
  std::string missingProfile;   // "assign" or a profile
  std::string embeddedProfile;  // "use", "assign" or a profile
  // save
  std::string outDir;
  int format = 0;  // 0 same, 1 TIFF, 7 BMP, 9 JPEG
  int naming = kNamingSuffix;
  std::string suffix = "-zV", prefix = "zV-";
  int quality = -1;
  int compression = 1;  // TIFF: 1 none, 5 LZW, 8 Deflate
  bool noExif = false, noEmbed = false;
  // run
  int jobs = 0;
  int unfinished = -1;  // 0 resume, 1 new
};

int UsageError(const std::string& text) {
  std::fprintf(stderr, "tavelin-cli: %s\n(see 'tavelin-cli --help')\n", text.c_str());
  return 2;
}

bool ParseInt(const char* text, long low, long high, int& out) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (errno || end == text || *end || v < low || v > high) return false;
  out = (int)v;
  return true;
}

std::string Absolute(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  char buffer[PATH_MAX];
  if (!::getcwd(buffer, sizeof buffer)) return path;
  std::string cwd = buffer;
  if (cwd.back() != '/') cwd += '/';
  return path.compare(0, 2, "./") == 0 ? cwd + path.substr(2) : cwd + path;
}

// Parses argv[first..] into `o`; only options of `groups` are accepted. Returns 0 or a usage error code.
int ParseOptions(int argc, char** argv, int first, unsigned groups, Options& o) {
  for (int i = first; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](const char* what) -> const char* {
      if (i + 1 >= argc) return nullptr;
      (void)what;
      return argv[++i];
    };
    auto need = [&](unsigned group) { return (groups & group) != 0; };
    if (a.rfind("--", 0) != 0) {
      o.inputs.push_back(a);
      continue;
    }
    const char* v = nullptr;
    if (need(kStartWith) && a == "--auto") o.colour = 0;
    else if (need(kStartWith) && a.rfind("--auto=", 0) == 0) {
      const std::string m = a.substr(7);
      if (m == "adaptive") o.analysis = (int)BrivioAnalysis::kAdaptive;
      else if (m == "classic") o.analysis = (int)BrivioAnalysis::kClassic;
      else return UsageError("--auto= takes adaptive or classic (got '" + m + "')");
      o.colour = 0;
    }
    else if (need(kStartWith) && a == "--reset") o.colour = 2;
    else if (need(kStartWith) && a == "--settings") {
      if (!(v = value("file"))) return UsageError("--settings needs a custom settings file");
      o.colour = 3;
      o.settings = Absolute(v);
    } else if (need(kStartWith) && a == "--sharpen") {
      if (!(v = value("n")) || !ParseInt(v, 1, 24, o.sharpen))
        return UsageError("--sharpen takes a strength from 1 to 24");
    } else if (need(kStartWith) && a == "--denoise") o.denoise = true;
    else if (need(kStartWith) && a == "--missing-profile") {
      if (!(v = value("p"))) return UsageError("--missing-profile takes 'assign' or an ICC profile");
      o.missingProfile = std::string(v) == "assign" ? std::string(v) : Absolute(v);
    } else if (need(kStartWith) && a == "--embedded-profile") {
      if (!(v = value("p"))) return UsageError("--embedded-profile takes 'use', 'assign' or an ICC profile");
      const std::string s = v;
      o.embeddedProfile = s == "use" || s == "assign" ? s : Absolute(s);
    } else if ((need(kStartWith) || need(kSave)) && a == "--working-space") {
      if (!(v = value("n")) || !ParseInt(v, 0, kWorkingSpaceCount - 1, o.workingSpace))
        return UsageError("--working-space takes an index from 0 to 14");
    } else if (need(kSave) && a == "--out") {
      if (!(v = value("dir"))) return UsageError("--out needs a folder");
      o.outDir = Absolute(v);
    } else if (need(kSave) && a == "--format") {
      const std::string f = (v = value("f")) ? v : "";
      if (f == "same") o.format = 0;
      else if (f == "tiff") o.format = kRasTiff;
      else if (f == "jpeg") o.format = kRasJpeg;
      else if (f == "bmp") o.format = kRasBmp;
      else return UsageError("--format takes same, tiff, jpeg or bmp (got '" + f + "')");
    } else if (need(kSave) && a == "--naming") {
      const std::string n = (v = value("n")) ? v : "";
      if (n == "suffix") o.naming = kNamingSuffix;
      else if (n == "prefix") o.naming = kNamingPrefix;
      else if (n == "same") o.naming = kNamingSame;
      else return UsageError("--naming takes suffix, prefix or same (got '" + n + "')");
    } else if (need(kSave) && (a == "--suffix" || a == "--prefix")) {
      if (!(v = value("s"))) return UsageError(a + " needs a text");
      const std::string s = v;
      if (s.size() > kNameAffixMax || FilterNameAffix(s) != s)
        return UsageError(a + " takes at most 19 characters, without control characters or '/' (got '" + s + "')");
      (a == "--suffix" ? o.suffix : o.prefix) = s;
    } else if (need(kSave) && a == "--quality") {
      if (!(v = value("q")) || !ParseInt(v, 0, 100, o.quality)) return UsageError("--quality takes a number from 0 to 100");
    } else if (need(kSave) && a == "--compress") {
      const std::string c = (v = value("c")) ? v : "";
      if (c == "none") o.compression = 1;
      else if (c == "lzw") o.compression = 5;
      else if (c == "deflate") o.compression = 8;
      else return UsageError("--compress takes none, lzw or deflate (got '" + c + "')");
    } else if (need(kSave) && a == "--no-exif") o.noExif = true;
    else if (need(kSave) && a == "--no-embed-profile") o.noEmbed = true;
    else if (need(kRun) && a == "--jobs") {
      if (!(v = value("n")) || !ParseInt(v, 1, kMaxWorkers, o.jobs)) return UsageError("--jobs takes a number from 1 to 256");
    } else if (need(kUnfinished) && a == "--unfinished") {
      const std::string u = (v = value("u")) ? v : "";
      if (u == "resume") o.unfinished = 0;
      else if (u == "new") o.unfinished = 1;
      else return UsageError("--unfinished takes resume or new (got '" + u + "')");
    } else {
      return UsageError("unknown option " + a);
    }
  }
  return 0;
}

// The options into the preference record (the run starts from the defaults;
// the preferences file is neither read nor written). 0 or an error printed.
int ApplyOptions(const Options& o, unsigned groups) {
  Prefs& p = AppPrefs();
  auto fail = [](const std::string& text) {
    std::fprintf(stderr, "tavelin-cli: %s\n", text.c_str());
    return 1;
  };
  if (o.workingSpace >= 0 && o.workingSpace != p.workingSpace) {
    p.workingSpace = o.workingSpace;
    if (SetUpWorkingSpaceFor(nullptr) != kOk) return fail("cannot set up working space " + std::to_string(o.workingSpace));
  }
  if (groups & kStartWith) {
    p.colourStartWith = o.colour;
    if (o.analysis >= 0) p.brivioAnalysis = o.analysis;
    if (o.colour == 3) {
      TavelinPars custom;
      InitTavelinPars(&custom);
      const Status st = ReadCustomSettings(&custom, StreamLocation(o.settings));
      if (st != kOk) return fail(o.settings + ": " + AlertMessage(st, ("reading file " + LeafName(o.settings)).c_str()));
      p.custom = custom;
    }
    SetFilterDefaults(&p.custom);
    p.filterStartWith = 2;
    if (o.sharpen > 0 || o.denoise) {
      p.filterStartWith = 3;
      if (o.sharpen > 0) {
        p.custom.sharpenOn = 1;
        p.custom.sharpenStrength = o.sharpen;
      }
      if (o.denoise) p.custom.denoiseOn = 1;
    }
    auto profileOption = [&](const std::string& value, int32_t& action, std::string& path, bool embedded) -> int {
      if (value.empty()) return 0;
      if (value == "assign") action = kProfileAssign;
      else if (value == "use" && embedded) action = kProfileEmbedded;
      else {
        // Checked as the colour service will use it, so that a profile it
        // refuses stops the run here instead of leaving images unconverted.
        const AppSession* app = App();
        const Status usable = app ? Ui_ICC_CheckUsableInputProfile(value, app->workingSpace.profilePath)
                                  : Ui_ICC_CheckRgbInputProfile(value);
        if (usable != kOk) return fail(value + ": not an RGB input or monitor profile that the colour service can use");
        if (SetPrefsPath(path, value) != kOk) return 1;
        action = kProfileConvert;
      }
      return 0;
    };
    if (int r = profileOption(o.missingProfile, p.noProfileAction, p.noProfilePath, false)) return r;
    if (int r = profileOption(o.embeddedProfile, p.embeddedAction, p.embeddedPath, true)) return r;
  }
  if (groups & kSave) {
    if (!o.outDir.empty()) {
      struct stat st;
      if (::stat(o.outDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return fail(o.outDir + ": no such folder");
      std::string folder = o.outDir;
      if (folder.back() != '/') folder += '/';
      if (SetPrefsPath(p.outputFolder, folder) != kOk) return 1;
      p.sameFolder = 0;
    }
    p.outputFormat = o.format;
    p.naming = o.naming;
    p.suffix = o.suffix;
    p.prefix = o.prefix;
    if (o.quality >= 0) p.jpegQuality = (float)o.quality / 100.0f;
    TiffSetOption(9, o.compression);
    TiffSetOption(11, o.compression == 1 ? 1 : 2);
    if (o.noExif) p.preserveExif = 0;
    if (o.noEmbed) p.embedProfile = 0;
  }
  return 0;
}

// ---- a run ----------------------------------------------------------------------------------------
// Start-up, the editing context and the host for one command; finish-up at the end.
class Run {
 public:
  Status Begin() {
    InstallSignals();
    previous_ = Ui_SetHost(&host_);
    host_.drawProgress = ::isatty(2) != 0;
    StartUpOptions options;
    options.usePreferencesFile = false;
    if (const char* d = std::getenv("TAVELIN_DIAGNOSTICS")) options.diagnostics = std::strcmp(d, "1") == 0;
    Status st = StartUp(options, &app_);
    if (st == kOk) st = InitEditContext(&ctx_, &app_);
    if (st == kOk) st = BatchlineOpen(&ctx_);
    started_ = st == kOk;
    return st;
  }
  ~Run() {
    FreeTavelinPars(&ctx_);
    FinishUp(&app_);
    Ui_SetHost(previous_);
  }
  EditContext& ctx() { return ctx_; }
  CliHost& host() { return host_; }
  int leftOut = 0;      // entries of a resumed job that are not saved again
  int savedBefore = 0;  // entries of a resumed job that were saved already

 private:
  AppSession app_;
  EditContext ctx_;
  CliHost host_;
  UiHost* previous_ = nullptr;
  bool started_ = false;
};

std::string StatusWord(Status st) { return st == kCancelled ? "cancelled" : "error " + std::to_string(st); }

int DefaultJobs() {
  const long n = ::sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? (int)std::min<long>(n, kMaxWorkers) : 1;
}

// ---- worker processes ---------------------------------------------------------------------------
// A task's result travels from a worker to the parent as one frame:
// index (int32), length (uint32), then the bytes.
using Task = std::function<std::vector<uint8_t>(int32_t k)>;
using Deliver = std::function<void(int32_t k, std::vector<uint8_t>&& bytes)>;

bool WriteAll(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= (size_t)n;
  }
  return true;
}

// Reads exactly `size` bytes; false at the end of the pipe.
bool ReadAll(int fd, void* data, size_t size) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t n = ::read(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= (size_t)n;
  }
  return true;
}

[[noreturn]] void WorkerMain(CliHost& host, SharedBatch* shared, int worker, int fd, int32_t count, const Task& task,
                             pid_t parent) {
  // The worker ends with the parent (a clean stop, like Ctrl-C). Its copy of
  // the Batchline's lock stays open: the Batchline is taken until the parent
  // and every worker have ended.
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (::getppid() != parent) _exit(0);
  host.drawProgress = false;
  host.slot = &shared->percent[worker];
  for (;;) {
    const int32_t k = shared->next.fetch_add(1);
    if (k >= count || gInterrupted) break;
    const std::vector<uint8_t> bytes = task(k);
    const uint32_t head[2] = {(uint32_t)k, (uint32_t)bytes.size()};
    if (!WriteAll(fd, head, sizeof head) || !WriteAll(fd, bytes.data(), bytes.size())) break;
    shared->done.fetch_add(1);
    shared->percent[worker].store(0);
  }
  ::close(fd);
  _exit(0);
}

// Runs task(k) for k = 0 .. count − 1 in up to `jobs` worker processes, which
// take the next task as they become free; each result reaches `deliver` in
// this process. One worker (or a failed fork) runs the tasks here. Tasks not
// run because of an interruption deliver nothing; kCancelled then.
Status RunTasks(CliHost& host, int jobs, int32_t count, const Task& task, const Deliver& deliver,
                const std::string& text) {
  const int workers = std::min<int>(jobs, count);
  auto here = [&]() {
    for (int32_t k = 0; k < count && !gInterrupted; ++k) deliver(k, task(k));
    return gInterrupted ? kCancelled : kOk;
  };
  if (workers <= 1) return here();
  void* memory = ::mmap(nullptr, sizeof(SharedBatch), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) return here();
  SharedBatch* shared = new (memory) SharedBatch;
  for (auto& p : shared->percent) p.store(0);

  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t parent = ::getpid();
  std::vector<pid_t> pids;
  std::vector<pollfd> pipes;
  for (int w = 0; w < workers; ++w) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) break;
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(fds[0]);
      for (const pollfd& other : pipes) ::close(other.fd);
      WorkerMain(host, shared, w, fds[1], count, task, parent);
    }
    ::close(fds[1]);
    if (pid < 0) {
      ::close(fds[0]);
      break;
    }
    pids.push_back(pid);
    pipes.push_back(pollfd{fds[0], POLLIN, 0});
  }
  if (pids.empty()) {
    ::munmap(memory, sizeof(SharedBatch));
    return here();
  }
  bool forwarded = false;
  size_t open = pipes.size();
  while (open > 0) {
    if (gInterrupted && !forwarded) {
      for (pid_t p : pids) ::kill(p, SIGINT);
      forwarded = true;
    }
    const int ready = ::poll(pipes.data(), pipes.size(), 100);
    for (size_t i = 0; ready > 0 && i < pipes.size(); ++i) {
      if (pipes[i].fd < 0 || !(pipes[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      uint32_t head[2];
      std::vector<uint8_t> bytes;
      bool ok = ReadAll(pipes[i].fd, head, sizeof head);
      if (ok) {
        bytes.resize(head[1]);
        ok = ReadAll(pipes[i].fd, bytes.data(), bytes.size());
      }
      if (ok && (int32_t)head[0] >= 0 && (int32_t)head[0] < count) {
        deliver((int32_t)head[0], std::move(bytes));
      } else {
        ::close(pipes[i].fd);
        pipes[i].fd = -1;
        --open;
      }
    }
    if (host.drawProgress) {
      int64_t sum = (int64_t)shared->done.load() * 100;
      for (int w = 0; w < workers; ++w) sum += shared->percent[w].load();
      std::fprintf(stderr, "\r%s %d/%d, %3d%%\033[K", text.c_str(), (int)shared->done.load(), (int)count,
                   (int)(sum / count));
      std::fflush(stderr);
    }
  }
  for (pid_t p : pids) {
    int status = 0;
    while (::waitpid(p, &status, 0) < 0 && errno == EINTR) {
    }
  }
  if (host.drawProgress) std::fprintf(stderr, "\r\033[K");
  ::munmap(memory, sizeof(SharedBatch));
  return gInterrupted ? kCancelled : kOk;
}

std::vector<uint8_t> StatusBytes(Status st) {
  std::vector<uint8_t> b(sizeof st);
  std::memcpy(b.data(), &st, sizeof st);
  return b;
}

Status BytesStatus(const std::vector<uint8_t>& b, size_t at = 0) {
  Status st = kCancelled;
  if (b.size() >= at + sizeof st) std::memcpy(&st, b.data() + at, sizeof st);
  return st;
}

// ---- adding and saving -----------------------------------------------------------------------------
// Adds the inputs, their records made in `jobs` workers; one line for each
// file that is refused.
Status AddInputs(Run& run, const std::vector<std::string>& inputs, int jobs, int& refused) {
  CliHost& host = run.host();
  AddImagesRequest request;
  for (const std::string& in : inputs) request.paths.push_back(Absolute(in));
  request.keepGoing = true;
  std::vector<std::string> messages;
  AddProfiles profiles;
  request.maker = [&](EditContext* ctx, const std::vector<std::string>& paths, std::vector<PreparedRecord>* records) {
    StartProfileAdd(&profiles);
    messages.assign(paths.size(), std::string());
    // A frame: status, message length, message, record.
    const Task task = [&](int32_t k) {
      host.lastAlert.clear();
      std::vector<uint8_t> record;
      const Status st = MakeImageRecord(ctx, paths[k], profiles.op, &record);
      const uint32_t n = (uint32_t)host.lastAlert.size();
      std::vector<uint8_t> out(8 + n + record.size());
      std::memcpy(out.data(), &st, 4);
      std::memcpy(out.data() + 4, &n, 4);
      if (n) std::memcpy(out.data() + 8, host.lastAlert.data(), n);
      if (!record.empty()) std::memcpy(out.data() + 8 + n, record.data(), record.size());
      return out;
    };
    const Deliver deliver = [&](int32_t k, std::vector<uint8_t>&& bytes) {
      if (bytes.size() < 8) return;
      uint32_t n = 0;
      std::memcpy(&n, bytes.data() + 4, sizeof n);
      if (8 + (size_t)n > bytes.size()) return;
      (*records)[k].status = BytesStatus(bytes);
      messages[k].assign(reinterpret_cast<const char*>(bytes.data() + 8), n);
      (*records)[k].record.assign(bytes.begin() + 8 + n, bytes.end());
    };
    return RunTasks(host, jobs, (int32_t)paths.size(), task, deliver, ResString(9228));
  };
  size_t tried = 0;
  request.onFile = [&](const std::string& path, Status st) {
    std::string message = tried < messages.size() ? messages[tried] : std::string();
    ++tried;
    if (message.empty()) message = host.lastAlert;
    if (st != kOk && st != kCancelled) {
      WriteImageLine(path, ": not added: " + (message.empty() ? StatusWord(st) : message));
      ++refused;
    }
    host.lastAlert.clear();
  };
  host.echoAlerts = false;
  host.lastAlert.clear();
  AddImagesResult result;
  const Status st = AddImages(&run.ctx(), request, &result);
  host.echoAlerts = true;
  // A request whose files were all in the list already shows a message only.
  if (st == kCancelled && result.added.empty() && result.refused.empty() && !gInterrupted && !host.lastAlert.empty())
    WriteLine(1, "tavelin-cli: " + host.lastAlert);
  return st;
}

void SaveLine(EditContext* ctx, CliHost& host, int32_t index, Status st) {
  const std::string input = BatchlineImagePath(ctx, index);
  if (st == kOk) WriteImageLine(input, " -> " + PrintablePath(ctx->outputPath));
  else if (st == kCancelled) WriteImageLine(input, ": cancelled");
  else WriteImageLine(input, ": not saved: " + (host.lastAlert.empty() ? StatusWord(st) : host.lastAlert));
  host.lastAlert.clear();
}

// Saves the entries in worker processes; each prints its own line.
Status SaveInWorkers(EditContext* ctx, CliHost& host, int jobs, const std::vector<int32_t>& indices, bool overwrite,
                     std::vector<Status>* results) {
  results->assign(indices.size(), kCancelled);
  const Task task = [&](int32_t k) {
    host.lastAlert.clear();
    const Status st = SaveBatchEntry(ctx, indices[k], overwrite);
    SaveLine(ctx, host, indices[k], st);
    return StatusBytes(st);
  };
  const Deliver deliver = [&](int32_t k, std::vector<uint8_t>&& bytes) { (*results)[k] = BytesStatus(bytes); };
  return RunTasks(host, jobs, (int32_t)indices.size(), task, deliver, Phrase(9234, (int)indices.size()));
}


// Saves every entry of the Batchline; prints the summary. The exit code.
int SaveAll(Run& run, int jobs, int refused, std::chrono::steady_clock::time_point start) {
  EditContext& ctx = run.ctx();
  refused += run.leftOut;
  SelectAll(&ctx);
  const int32_t count = BatchlineCount(&ctx);
  int saved = 0, failed = 0;
  SaveSelectedOptions options;
  options.executor = [&](EditContext* c, const std::vector<int32_t>& indices, bool overwrite,
                         std::vector<Status>* results) {
    run.host().echoAlerts = false;
    const Status st = SaveInWorkers(c, run.host(), jobs, indices, overwrite, results);
    run.host().echoAlerts = true;
    for (Status r : *results) {
      if (r == kOk) ++saved;
      else if (r != kCancelled) ++failed;
    }
    return st;
  };
  options.onRefused = [&](int32_t index, const std::string& reason) {
    WriteImageLine(BatchlineImagePath(&ctx, index), ": not saved: " + reason);
    ++failed;
  };
  Status st = count > 0 ? SaveSelected(&ctx, options) : kOk;
  ExitEditing(&ctx);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%d of %d images saved", saved, count + refused);
  if (run.savedBefore) std::printf(" (and %d before)", run.savedBefore);
  if (failed + refused) std::printf(", %d failed", failed + refused);
  if (gInterrupted || st == kCancelled) std::printf(", cancelled (status %d)", (int)kCancelled);
  std::printf(" in %.2f s\n", seconds);
  std::fflush(stdout);
  if (gInterrupted || st == kCancelled) return kExitInterrupted;
  return saved == count + refused && count + refused + run.savedBefore > 0 ? 0 : 1;
}

// Resumes the unfinished job, with a line for each entry left out: saved
// already, or changed since it was added (counted as not saved).
void ResumeUnfinished(Run& run) {
  ResumeSkips skips;
  OfferUnfinishedJob(&run.ctx(), &skips);
  for (const std::string& path : skips.saved) WriteImageLine(path, ": already saved, skipped");
  run.savedBefore += (int)skips.saved.size();
  for (const std::string& path : skips.changed) {
    std::string why = ResString(9109);
    why[0] = (char)std::tolower((unsigned char)why[0]);
    WriteImageLine(path, ": not saved: " + why.substr(0, why.size() - 1));
    ++run.leftOut;
  }
}

// An unfinished job blocks a new run until the user says what becomes of it.
bool UnfinishedJobHandled(Run& run, int answer) {
  EditContext& ctx = run.ctx();
  if (!BatchlineJobExists(ctx.batch.files)) return true;
  JobEntryList entries;
  ReadBatchlineJob(ctx.batch.files, entries);
  if (answer < 0) {
    std::fprintf(stderr,
                 "tavelin-cli: %s An unfinished job with %d images is waiting.\n"
                 "Add --unfinished resume to save its images too, or --unfinished new to discard it;\n"
                 "'tavelin-cli job unfinished' lists them.\n",
                 ResText(9237), (int)entries.size());
    return false;
  }
  run.host().unfinishedAnswer = answer;
  if (answer == 0) ResumeUnfinished(run);
  else OfferUnfinishedJob(&ctx);
  return true;
}

int Correct(const Options& o) {
  const auto start = std::chrono::steady_clock::now();
  if (o.inputs.empty()) return UsageError("correct needs at least one image");
  Run run;
  if (run.Begin() != kOk) return 1;
  if (int r = ApplyOptions(o, kStartWith | kSave)) return r;
  if (!UnfinishedJobHandled(run, o.unfinished)) return 1;
  int refused = 0;
  const Status added = AddInputs(run, o.inputs, o.jobs > 0 ? o.jobs : DefaultJobs(), refused);
  if (gInterrupted || added == kCancelled) {
    if (gInterrupted) {
      ExitEditing(&run.ctx());
      std::printf("cancelled (status %d)\n", (int)kCancelled);
      return kExitInterrupted;
    }
  }
  return SaveAll(run, o.jobs > 0 ? o.jobs : DefaultJobs(), refused, start);
}

int JobSave(const std::string& jobPath, const Options& o) {
  if (o.inputs.empty()) return UsageError("job save needs a job file and at least one image");
  Run run;
  if (run.Begin() != kOk) return 1;
  if (int r = ApplyOptions(o, kStartWith)) return r;
  if (!UnfinishedJobHandled(run, o.unfinished)) return 1;
  int refused = 0;
  AddInputs(run, o.inputs, o.jobs > 0 ? o.jobs : DefaultJobs(), refused);
  EditContext& ctx = run.ctx();
  Status st = kOk;
  if (gInterrupted) st = kCancelled;
  else if (BatchlineCount(&ctx) == 0) st = kFormatErr;
  else st = SaveJob(&ctx, Absolute(jobPath));
  const int count = BatchlineCount(&ctx);
  ExitEditing(&ctx);
  if (st == kOk) std::printf("%s: job of %d images saved\n", jobPath.c_str(), count);
  else if (gInterrupted) return kExitInterrupted;
  else std::printf("%s: no job saved\n", jobPath.c_str());
  return st == kOk && refused == 0 ? 0 : 1;
}

int JobRun(const std::string& jobPath, const Options& o) {
  const auto start = std::chrono::steady_clock::now();
  Run run;
  if (run.Begin() != kOk) return 1;
  if (int r = ApplyOptions(o, kSave)) return r;
  if (!UnfinishedJobHandled(run, o.unfinished)) return 1;
  run.host().echoAlerts = true;
  const Status st = ResumeJob(&run.ctx(), Absolute(jobPath));
  if (st != kOk && BatchlineCount(&run.ctx()) == 0) {
    std::fprintf(stderr, "tavelin-cli: %s: %s\n", jobPath.c_str(),
                 run.host().lastAlert.empty() ? StatusWord(st).c_str() : run.host().lastAlert.c_str());
    return 1;
  }
  return SaveAll(run, o.jobs > 0 ? o.jobs : DefaultJobs(), 0, start);
}

int JobUnfinished(const Options& o, bool resume, bool discard) {
  const auto start = std::chrono::steady_clock::now();
  Run run;
  if (run.Begin() != kOk) return 1;
  EditContext& ctx = run.ctx();
  if (!BatchlineJobExists(ctx.batch.files)) {
    std::printf("No unfinished job.\n");
    return 0;
  }
  if (!resume && !discard) {
    // What a resume saves; then what it skips, as saved already.
    JobEntryList entries;
    const Status st = ReadBatchlineJob(ctx.batch.files, entries);
    ResolveLongImagePaths(ctx.batch.files, entries);
    const std::vector<EntryRunState> states = ReadRunState(ctx.batch.files, entries);
    std::vector<std::string> pending, saved;
    for (size_t i = 0; i < entries.size(); ++i) (states[i].saved ? saved : pending).push_back(entries[i].imagePath);
    std::printf("%s %d images:\n", ResText(9237), (int)pending.size());
    for (const std::string& p : pending) std::printf("%s\n", PrintablePath(p).c_str());
    if (!saved.empty()) std::printf("Already saved, %d images:\n", (int)saved.size());
    for (const std::string& p : saved) std::printf("%s\n", PrintablePath(p).c_str());
    return st == kOk ? 0 : 1;
  }
  if (int r = ApplyOptions(o, kSave)) return r;
  run.host().unfinishedAnswer = 0;
  if (discard) OfferUnfinishedJob(&ctx);
  else ResumeUnfinished(run);
  if (discard) {
    ExitEditing(&ctx);
    std::printf("Unfinished job discarded.\n");
    return 0;
  }
  return SaveAll(run, o.jobs > 0 ? o.jobs : DefaultJobs(), 0, start);
}

}  // namespace

void PrintBatchUsage(FILE* out) {
  std::fprintf(out,
      "  correct IN... [options]      correct the images and save them: each is added to the Batchline\n"
      "                               (thumbnail, profile decision, start-with settings), then saved\n"
      "                               through the save pipeline; one line per image and a summary.\n"
      "                               Exit status 0 only when every image was saved.\n"
      "  job save JOBFILE IN... [start-with options]\n"
      "                               add the images as 'correct' does and save the Batchline as a job file\n"
      "  job run JOBFILE [save options]\n"
      "                               save every image of a job file\n"
      "  job unfinished [--resume [save options] | --discard]\n"
      "                               list the unfinished job a run left behind (killed or crashed);\n"
      "                               --resume saves its images, --discard deletes it\n"
      "\n"
      "Start-with options (correct, job save):\n"
      "  --auto                       start every image with Brivio, the automatic correction (default)\n"
      "                                 e.g. tavelin-cli correct --auto photo.jpg\n"
      "  --auto=adaptive|classic      the same with the chosen analysis (default: the preference, adaptive\n"
      "                                 or classic); e.g. tavelin-cli correct --auto=classic photo.jpg\n"
      "  --settings FILE              start with a custom settings file (\"Save Custom...\")\n"
      "                                 e.g. tavelin-cli correct --settings warm.txt a.jpg b.jpg\n"
      "  --reset                      start with every tool neutral (only filters and conversions apply)\n"
      "                                 e.g. tavelin-cli correct --reset --sharpen 8 scan.tif\n"
      "  --sharpen N                  sharpen with strength N (1..24)\n"
      "                                 e.g. tavelin-cli correct --sharpen 6 photo.jpg\n"
      "  --denoise                    remove noise (chrominance, the default radii and thresholds)\n"
      "                                 e.g. tavelin-cli correct --denoise night.jpg\n"
      "  --working-space N            working space 0..14 (13 sRGB, the default; 0 Adobe RGB (1998))\n"
      "                                 e.g. tavelin-cli correct --working-space 0 photo.tif\n"
      "  --missing-profile assign|PROFILE\n"
      "                               an image without a profile is assigned the working space (default)\n"
      "                               or converted from PROFILE\n"
      "                                 e.g. tavelin-cli correct --missing-profile camera.icc raw.tif\n"
      "  --embedded-profile use|assign|PROFILE\n"
      "                               an embedded profile is used to convert (default), discarded, or\n"
      "                               replaced by PROFILE\n"
      "                                 e.g. tavelin-cli correct --embedded-profile assign photo.jpg\n"
      "\n"
      "Save options (correct, job run, job unfinished --resume):\n"
      "  --out DIR                    save into DIR (default: beside each image)\n"
      "                                 e.g. tavelin-cli correct --out corrected/ *.jpg\n"
      "  --format same|tiff|jpeg|bmp  output format (default same; tiff is 16-bit for 16-bit images)\n"
      "                                 e.g. tavelin-cli correct --format tiff photo.jpg\n"
      "  --naming suffix|prefix|same  the name: NAME-zV.EXT (default), zV-NAME.EXT, or NAME.EXT, which\n"
      "                               replaces the image itself when saved beside it in its format\n"
      "                                 e.g. tavelin-cli correct --naming same --out done/ photo.jpg\n"
      "  --suffix S, --prefix P       the suffix or prefix (at most 19 characters; defaults -zV, zV-)\n"
      "                                 e.g. tavelin-cli correct --suffix _fixed photo.jpg\n"
      "  --quality Q                  JPEG quality 0..100 (default 100)\n"
      "                                 e.g. tavelin-cli correct --format jpeg --quality 90 scan.tif\n"
      "  --compress none|lzw|deflate  TIFF compression (default none; lzw and deflate with the predictor)\n"
      "                                 e.g. tavelin-cli correct --compress lzw scan.tif\n"
      "  --no-exif                    do not carry the EXIF data over (default: carried, without thumbnail)\n"
      "                                 e.g. tavelin-cli correct --no-exif photo.jpg\n"
      "  --no-embed-profile           do not embed the working-space profile (default: embedded)\n"
      "                                 e.g. tavelin-cli correct --no-embed-profile photo.jpg\n"
      "  --jobs N                     save with N worker processes (default: one per core)\n"
      "                                 e.g. tavelin-cli correct --jobs 2 *.jpg\n"
      "  --unfinished resume|new      what becomes of an unfinished job found at start: its images are\n"
      "                               saved too, or it is discarded (without it the run stops)\n"
      "                                 e.g. tavelin-cli correct --unfinished new photo.jpg\n"
      "\n"
      "The command-line tool starts from the default preferences and never changes the preferences\n"
      "file; the Batchline's job files are the application's own (one run at a time). Every output is\n"
      "written to a temporary file first; Ctrl-C stops cleanly (exit status 130, no partial output,\n"
      "the inputs untouched). An image whose output would overwrite another image of the run or\n"
      "another output is not saved (its line says which file); a file with other hard links is not\n"
      "replaced. A resumed job skips the images already saved.\n");
}

int RunCorrect(int argc, char** argv) {
  Options o;
  if (int r = ParseOptions(argc, argv, 2, kStartWith | kSave | kRun | kUnfinished, o)) return r;
  return Correct(o);
}

int RunJob(int argc, char** argv) {
  if (argc < 3) return UsageError("job needs save, run or unfinished");
  const std::string sub = argv[2];
  Options o;
  if (sub == "save" || sub == "run") {
    if (argc < 4 || argv[3][0] == '-') return UsageError("job " + sub + " needs a job file");
    const unsigned groups = sub == "save" ? (kStartWith | kUnfinished) : (kSave | kRun | kUnfinished);
    if (int r = ParseOptions(argc, argv, 4, groups, o)) return r;
    if (sub == "run" && !o.inputs.empty()) return UsageError("job run takes one job file");
    return sub == "save" ? JobSave(argv[3], o) : JobRun(argv[3], o);
  }
  if (sub == "unfinished") {
    bool resume = false, discard = false;
    std::vector<char*> rest = {argv[0], argv[1]};
    for (int i = 3; i < argc; ++i) {
      if (std::strcmp(argv[i], "--resume") == 0) resume = true;
      else if (std::strcmp(argv[i], "--discard") == 0) discard = true;
      else rest.push_back(argv[i]);
    }
    if (resume && discard) return UsageError("job unfinished takes --resume or --discard, not both");
    if (int r = ParseOptions((int)rest.size(), rest.data(), 2, kSave | kRun, o)) return r;
    if (!o.inputs.empty() || (!resume && rest.size() > 2)) return UsageError("job unfinished takes no images");
    return JobUnfinished(o, resume, discard);
  }
  return UsageError("unknown job command '" + sub + "' (save, run, unfinished)");
}
