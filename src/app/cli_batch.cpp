#include "app/cli_batch.h"

#include <getopt.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <new>
#include <set>
#include <string>
#include <vector>
#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include <dirent.h>

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
#include "imagefile/format.h"
#include "imagefile/ras.h"
#include "app/cli_options.h"
#include "prefs/prefs.h"
#include "base/alert.h"
#include "base/debuglog.h"
#include "base/outputplan.h"
#include "session/batchline.h"
#include "session/editcontext.h"
#include "session/runfolder.h"
#include "session/pipeline.h"
#include "session/runstate.h"
#include "base/naming.h"
#include "session/startup.h"
#include "base/strings.h"
#include "base/safefile.h"
#include "base/sha256.h"
#include "base/cpus.h"
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
  // A reader that went away (| head) ends the run like Ctrl-C.
  sigaction(SIGPIPE, &sa, nullptr);
}

constexpr int kExitInterrupted = 130;
constexpr int kExitNothingSaved = 3;
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
void WriteImageLine(int fd, const std::string& path, const std::string& rest) {
  WriteLine(fd, PrintablePath(path) + OneLine(rest));
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
      case 1131:  // remove edited images from the Batchline: Remove
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
enum OptionGroup : unsigned { kStartWith = 1, kSave = 2 };

struct Options {
  std::vector<std::string> inputs;  // files and folders as given
  std::vector<std::string> args;    // the options as given (kept in the run folder for --resume)
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
  int compression = 0;  // --compress: 1 none, 5 LZW, 8 Deflate; 0 the preference's default
  bool noExif = false, noEmbed = false, keepGray = false;
  // inputs and run
  int jobs = 0;
  bool keepTree = false;
  bool recursive = false, nulSeparated = false, skipExisting = false, dryRun = false, quiet = false, verbose = false;
  std::string filesFrom, report, resume;
  int shardK = 0, shardN = 1;
  bool help = false;
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

// Parses argv[first..] (getopt_long: short options, --opt=value, "--" ends
// the options) into `o`; only the options of `command` are taken. Returns 0
// or a usage error's exit status.
int ParseOptions(int argc, char** argv, int first, unsigned command, Options& o) {
  std::vector<option> longs;
  std::string shorts = "+:";  // stop at nothing, report a missing value as ':'
  for (int i = 0; i < CliOptionCount(); ++i) {
    const CliOption& c = CliOptions()[i];
    if (!(c.commands & command)) continue;
    longs.push_back(option{c.name, c.argument, nullptr, c.key});
    if (c.key < 256) {
      shorts += (char)c.key;
      if (c.argument == required_argument) shorts += ':';
      if (c.argument == optional_argument) shorts += "::";
    }
  }
  longs.push_back(option{nullptr, 0, nullptr, 0});
  shorts[0] = '-';  // non-options come back in order as key 1
  std::vector<char*> args(argv + first - 1, argv + argc);
  args.push_back(nullptr);
  optind = 0;
  opterr = 0;
  const int count = (int)args.size() - 1;
  int key;
  int index = -1;
  while ((key = getopt_long(count, args.data(), shorts.c_str(), longs.data(), &index)) != -1) {
    const std::string v = optarg ? optarg : "";
    const char* name = index >= 0 ? longs[(size_t)index].name : nullptr;
    index = -1;
    if (key == 1) {
      o.inputs.push_back(v);
      continue;
    }
    if (key == '?') {
      const std::string given = optopt ? (optopt < 256 ? std::string("-") + (char)optopt : "") : args[(size_t)optind - 1];
      return UsageError("unknown option " + (given.empty() ? std::string(args[(size_t)optind - 1]) : given));
    }
    if (key == ':') {
      const std::string given = args[(size_t)optind - 1];
      return UsageError(given + " needs a value");
    }
    (void)name;
    if (key != 274) {  // the options as given, without --resume, for a resume
      for (int i = 0; i < CliOptionCount(); ++i)
        if (CliOptions()[i].key == key) o.args.push_back(std::string("--") + CliOptions()[i].name + (optarg ? "=" + v : ""));
    }
    switch (key) {
      case 'h': o.help = true; break;
      case 'a':
        o.colour = 0;
        if (v == "adaptive") o.analysis = (int)BrivioAnalysis::kAdaptive;
        else if (v == "classic") o.analysis = (int)BrivioAnalysis::kClassic;
        else if (optarg) return UsageError("--auto= takes adaptive or classic (got '" + v + "')");
        break;
      case 256: o.colour = 3; o.settings = Absolute(v); break;
      case 257: o.colour = 2; break;
      case 258: {
        const IntParRange r = kParSharpenStrength;
        if (!ParseInt(v.c_str(), r.min, r.max, o.sharpen))
          return UsageError("--sharpen takes a strength from " + std::to_string(r.min) + " to " + std::to_string(r.max));
        break;
      }
      case 259: o.denoise = true; break;
      case 260: {
        IntParRange r{0, kWorkingSpaceCount - 1, 0};
        PrefsIntRange(70, &r);
        if (!ParseInt(v.c_str(), r.min, r.max, o.workingSpace))
          return UsageError("--working-space takes an index from " + std::to_string(r.min) + " to " + std::to_string(r.max));
        break;
      }
      case 261: o.missingProfile = v == "assign" ? v : Absolute(v); break;
      case 262: o.embeddedProfile = v == "use" || v == "assign" ? v : Absolute(v); break;
      case 'o': o.outDir = Absolute(v); break;
      case 263:
        if (v == "same") o.format = 0;
        else if (v == "tiff") o.format = kRasTiff;
        else if (v == "jpeg") o.format = kRasJpeg;
        else if (v == "bmp") o.format = kRasBmp;
        else return UsageError("--format takes same, tiff, jpeg or bmp (got '" + v + "')");
        break;
      case 264:
        if (v == "suffix") o.naming = kNamingSuffix;
        else if (v == "prefix") o.naming = kNamingPrefix;
        else if (v == "same") o.naming = kNamingSame;
        else return UsageError("--naming takes suffix, prefix or same (got '" + v + "')");
        break;
      case 265:
      case 266: {
        const std::string opt = key == 265 ? "--suffix" : "--prefix";
        if (v.size() > kNameAffixMax || FilterNameAffix(v) != v)
          return UsageError(opt + " takes at most 19 characters, without control characters or '/' (got '" + v + "')");
        (key == 265 ? o.suffix : o.prefix) = v;
        break;
      }
      case 267:
        if (!ParseCliQuality(v.c_str(), &o.quality))
          return UsageError("--quality takes a number from 0 to 100");
        break;
      case 276:
        if (!ParseCliCompression(v.c_str(), &o.compression))
          return UsageError("--compress takes none, lzw or deflate (got '" + v + "')");
        break;
      case 268: o.noExif = true; break;
      case 269: o.noEmbed = true; break;
      case 277: o.keepGray = true; break;
      case 'j':
        if (!ParseInt(v.c_str(), 1, kMaxWorkers, o.jobs)) return UsageError("--jobs takes a number from 1 to 256");
        break;
      case 'r': o.recursive = true; break;
      case 275: o.keepTree = true; break;
      case 270: o.filesFrom = v; break;
      case '0': o.nulSeparated = true; break;
      case 271: o.skipExisting = true; break;
      case 'n': o.dryRun = true; break;
      case 'q': o.quiet = true; break;
      case 'v': o.verbose = true; break;
      case 272: o.report = v; break;
      case 273: {
        const size_t slash = v.find('/');
        int k = -1, n = 0;
        if (slash == std::string::npos || !ParseInt(v.substr(0, slash).c_str(), 0, INT_MAX, k) ||
            !ParseInt(v.substr(slash + 1).c_str(), 1, INT_MAX, n) || k >= n)
          return UsageError("--shard takes K/N with 0 <= K < N (got '" + v + "')");
        o.shardK = k;
        o.shardN = n;
        break;
      }
      case 274: o.resume = v; break;
      default: return UsageError("unknown option");
    }
  }
  for (int i = optind; i < count; ++i) o.inputs.push_back(args[(size_t)i]);
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
    if (o.compression) p.tiffCompression = o.compression;
    if (o.noExif) p.preserveExif = 0;
    if (o.noEmbed) p.embedProfile = 0;
    if (o.keepGray) p.keepGray = 1;
  }
  return 0;
}

// ---- a run ----------------------------------------------------------------------------------------
// Start-up, the editing context and the host for one command; finish-up at the end.
class Run {
 public:
  // `folder`: the run folder to work in (resuming it); empty: a new one.
  // `profilesInFolder`: the temporary profile copies live in the run folder
  // (else in the temporary folder, where a saved job file names them the
  // same way on every run).
  Status Begin(const std::string& folder = {}, bool profilesInFolder = true) {
    InstallSignals();
    previous_ = Ui_SetHost(&host_);
    host_.drawProgress = ::isatty(2) != 0;
    StartUpOptions options;
    options.usePreferencesFile = false;
    if (const char* d = std::getenv("TAVELIN_DIAGNOSTICS")) options.diagnostics = std::strcmp(d, "1") == 0;
    app_.prefs = &AppPrefs();
    Status st = StartUp(options, &app_);
    if (st == kOk) {
      folder_ = folder;
      if (folder_.empty() && CreateRunFolder(&folder_) != kOk) {
        std::fprintf(stderr, "tavelin-cli: %s: cannot create a run folder there\n", RunsRoot().c_str());
        return kOpenErr;
      }
      if (folder_.back() != '/') folder_ += '/';
      // The run's temporary profile copies live in its folder, beside the
      // records that name them, so a resume finds them and no other run
      // sweeps them away.
      if (profilesInFolder) app_.tempFolder = folder_;
      st = InitEditContext(&ctx_, &app_);
      ctx_.batch.sweepTempFolder = profilesInFolder;
    }
    if (st == kOk) {
      ctx_.batch.files = RunFolderFiles(folder_);
      if (!RunFolderFree(folder_)) {
        std::fprintf(stderr, "tavelin-cli: %s: another tavelin-cli process is working in this run folder\n",
                     folder_.c_str());
        return kSysErr;
      }
      st = BatchlineOpen(&ctx_);
    }
    started_ = st == kOk;
    return st;
  }
  // An interrupted run keeps its folder, so that it can be resumed.
  void KeepFolder() { keep_ = true; }
  const std::string& folder() const { return folder_; }
  ~Run() {
    held.Free();
    FreeTavelinPars(&ctx_);
    const bool remove = started_ && !keep_ && !BatchlineJobExists(ctx_.batch.files);
    if (ctx_.batch.lockFd >= 0) ::close(ctx_.batch.lockFd);
    ctx_.batch.lockFd = -1;
    FinishUp(&app_);
    Ui_SetHost(previous_);
    if (remove) RemoveRunFolder(folder_);
  }
  EditContext& ctx() { return ctx_; }
  CliHost& host() { return host_; }
  // The block of decoded rows each image of this process is saved from
  // (decodeonce.h), kept from batch to batch.
  HeldImage held;
  int leftOut = 0;      // entries of a resumed job that are not saved again
  int savedBefore = 0;  // entries of a resumed job that were saved already

 private:
  AppSession app_;
  EditContext ctx_;
  CliHost host_;
  UiHost* previous_ = nullptr;
  std::string folder_;
  bool started_ = false, keep_ = false;
};

std::string StatusWord(Status st) { return st == kCancelled ? "cancelled" : "error " + std::to_string(st); }

int DefaultJobs() { return std::min(UsableCpuCount(), kMaxWorkers); }

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


Status BytesStatus(const std::vector<uint8_t>& b, size_t at = 0) {
  Status st = kCancelled;
  if (b.size() >= at + sizeof st) std::memcpy(&st, b.data() + at, sizeof st);
  return st;
}

// ---- the results: lines, the report, the counts ---------------------------------------------------
std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const unsigned char u = (unsigned char)c;
    if (c == '"' || c == '\\') out += std::string("\\") + c;
    else if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else if (u < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", u);
      out += buf;
    } else out += c;
  }
  return out + "\"";
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

uint64_t FileSize(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? (uint64_t)st.st_size : 0;
}

// What became of one image.
struct ImageResult {
  std::string input, output, status, reason, sha256;  // status: saved, failed, skipped, cancelled
  double seconds = 0;
  uint64_t outputSize = 0;
};

// Prints each image's line as its result arrives (saved ones on the standard
// output, or the standard error when the report goes there; failures on the
// standard error), writes the report, and counts.
class Results {
 public:
  Results(const Options& o) : quiet_(o.quiet), verbose_(o.verbose), lineFd_(o.report == "-" ? 2 : 1) {
    settings_ = "{\"start\":" + JsonString(o.colour == 2 ? "reset" : o.colour == 3 ? "settings" : "auto");
    if (o.colour == 3) settings_ += ",\"settings\":" + JsonString(o.settings);
    if (o.analysis >= 0) settings_ += std::string(",\"analysis\":") + (o.analysis == (int)BrivioAnalysis::kAdaptive ? "\"adaptive\"" : "\"classic\"");
    settings_ += ",\"sharpen\":" + std::to_string(o.sharpen) + ",\"denoise\":" + (o.denoise ? "true" : "false");
    settings_ += ",\"working_space\":" + std::to_string(o.workingSpace >= 0 ? o.workingSpace : PrefsDefaults().workingSpace);
    settings_ += ",\"format\":" + JsonString(o.format == 0 ? "same" : o.format == kRasTiff ? "tiff" : o.format == kRasJpeg ? "jpeg" : "bmp");
    settings_ += ",\"naming\":" + JsonString(o.naming == kNamingSuffix ? "suffix" : o.naming == kNamingPrefix ? "prefix" : "same");
    settings_ += ",\"quality\":" + std::to_string(o.quality >= 0 ? o.quality : CliQualityDefault());
    const int compression = o.compression ? o.compression : PrefsDefaults().tiffCompression;
    settings_ += ",\"compress\":" + JsonString(compression == 5 ? "lzw" : compression == 8 ? "deflate" : "none");
    settings_ += std::string(",\"exif\":") + (o.noExif ? "false" : "true") + ",\"embed_profile\":" + (o.noEmbed ? "false" : "true") + ",\"keep_gray\":" + (o.keepGray ? "true" : "false") + "}";
  }
  ~Results() {
    if (report_ && report_ != stdout) std::fclose(report_);
  }
  // Opens the report; false (printed) when it cannot be written.
  // Whether a report is written (it names each output's SHA-256).
  bool Reporting() const { return report_ != nullptr; }
  bool OpenReport(const std::string& path) {
    if (path.empty()) return true;
    report_ = path == "-" ? stdout : std::fopen(path.c_str(), "w");
    if (!report_) std::fprintf(stderr, "tavelin-cli: %s: cannot write the report: %s\n", path.c_str(), std::strerror(errno));
    return report_ != nullptr;
  }
  void Add(const ImageResult& r, const char* failedVerb = "not saved") {
    if (r.status == "saved") {
      ++saved;
      if (!quiet_) WriteImageLine(lineFd_, r.input, " -> " + PrintablePath(r.output));
    } else if (r.status == "skipped") {
      ++skipped;
      if (verbose_) WriteImageLine(lineFd_, r.input, ": skipped: " + r.reason);
    } else if (r.status == "cancelled") {
      if (!quiet_) WriteImageLine(2, r.input, ": cancelled");
    } else {
      ++failed;
      WriteImageLine(2, r.input, std::string(": ") + failedVerb + ": " + r.reason);
    }
    if (!report_) return;
    std::string line = "{\"input\":" + JsonString(r.input) + ",\"output\":" + (r.output.empty() ? "null" : JsonString(r.output));
    line += ",\"status\":" + JsonString(r.status) + ",\"reason\":" + (r.reason.empty() ? "null" : JsonString(r.reason));
    line += ",\"settings\":" + settings_ + ",\"input_bytes\":" + std::to_string(FileSize(r.input));
    line += ",\"output_bytes\":" + (r.status == "saved" ? std::to_string(r.outputSize) : std::string("null"));
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", r.seconds);
    line += std::string(",\"seconds\":") + seconds;
    line += ",\"sha256\":" + (r.sha256.empty() ? std::string("null") : JsonString(r.sha256)) + "}\n";
    std::fputs(line.c_str(), report_);
    std::fflush(report_);
  }
  int saved = 0, failed = 0, skipped = 0, before = 0;
  bool quiet() const { return quiet_; }
  int lineFd() const { return lineFd_; }

 private:
  bool quiet_, verbose_;
  int lineFd_;
  FILE* report_ = nullptr;
  std::string settings_;
};

// ---- adding and saving -----------------------------------------------------------------------------
// Adds the inputs, their records made in `jobs` workers; a failure line for
// each file that is refused.
Status AddInputs(Run& run, const std::vector<std::string>& inputs, int jobs, Results& results) {
  CliHost& host = run.host();
  AddImagesRequest request;
  for (const std::string& in : inputs) request.paths.push_back(Absolute(in));
  request.keepGoing = true;
  std::vector<std::string> messages;
  AddProfiles profiles;
  request.maker = [&](EditContext* ctx, const std::vector<std::string>& paths, std::vector<PreparedRecord>* records) {
    StartProfileAdd(*ctx->app, &profiles);
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
      ImageResult r;
      r.input = path;
      r.status = "failed";
      r.reason = OneLine(message.empty() ? StatusWord(st) : message);
      results.Add(r, "not added");
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
    WriteLine(2, "tavelin-cli: " + host.lastAlert);
  return st;
}

// A save's result as it travels from a worker: status, seconds, output
// size, then the output path, the reason and the SHA-256 as (length, bytes).
void PutText(std::vector<uint8_t>& b, const std::string& t) {
  const uint32_t n = (uint32_t)t.size();
  b.insert(b.end(), (const uint8_t*)&n, (const uint8_t*)&n + 4);
  b.insert(b.end(), t.begin(), t.end());
}
bool GetText(const std::vector<uint8_t>& b, size_t& at, std::string& t) {
  uint32_t n = 0;
  if (at + 4 > b.size()) return false;
  std::memcpy(&n, b.data() + at, 4);
  if (at + 4 + n > b.size()) return false;
  t.assign((const char*)b.data() + at + 4, n);
  at += 4 + n;
  return true;
}

// Appends the result of a save that took `seconds` to the frame (the output
// is read back for its SHA-256 only with `hash`, for the report).
void PutSaveResult(std::vector<uint8_t>& b, const EditContext* ctx, CliHost& host, Status st, double seconds,
                   bool hash) {
  const uint64_t size = st == kOk ? FileSize(ctx->outputPath) : 0;
  const size_t at = b.size();
  b.resize(at + sizeof st + sizeof seconds + sizeof size);
  std::memcpy(b.data() + at, &st, sizeof st);
  std::memcpy(b.data() + at + sizeof st, &seconds, sizeof seconds);
  std::memcpy(b.data() + at + sizeof st + sizeof seconds, &size, sizeof size);
  PutText(b, st == kOk ? ctx->outputPath : std::string());
  PutText(b, st == kOk || st == kCancelled ? std::string() : (host.lastAlert.empty() ? StatusWord(st) : host.lastAlert));
  PutText(b, st == kOk && hash ? FileSha256Hex(ctx->outputPath) : std::string());
  host.lastAlert.clear();
}
// Reads a save's result from the frame at `at` into `st` and `r` (all but
// its input); false for a frame cut short.
bool GetSaveResult(const std::vector<uint8_t>& b, size_t at, Status& st, ImageResult& r) {
  if (b.size() < at + sizeof st + sizeof r.seconds + sizeof r.outputSize) return false;
  std::memcpy(&st, b.data() + at, sizeof st);
  std::memcpy(&r.seconds, b.data() + at + sizeof st, sizeof r.seconds);
  std::memcpy(&r.outputSize, b.data() + at + sizeof st + sizeof r.seconds, sizeof r.outputSize);
  at += sizeof st + sizeof r.seconds + sizeof r.outputSize;
  if (!GetText(b, at, r.output) || !GetText(b, at, r.reason) || !GetText(b, at, r.sha256)) return false;
  r.reason = OneLine(r.reason);
  r.status = st == kOk ? "saved" : st == kCancelled ? "cancelled" : "failed";
  return true;
}

// Saves the entries in worker processes; each result is printed and
// reported as it arrives.
Status SaveInWorkers(EditContext* ctx, CliHost& host, int jobs, const std::vector<int32_t>& indices, bool overwrite,
                     std::vector<Status>* statuses, Results& results) {
  statuses->assign(indices.size(), kCancelled);
  const bool hash = results.Reporting();  // the outputs are read back only for the report
  const Task task = [&](int32_t k) {
    host.lastAlert.clear();
    const auto t0 = std::chrono::steady_clock::now();
    const Status st = SaveBatchEntry(ctx, indices[k], overwrite);
    std::vector<uint8_t> b;
    PutSaveResult(b, ctx, host, st, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), hash);
    return b;
  };
  const Deliver deliver = [&](int32_t k, std::vector<uint8_t>&& b) {
    ImageResult r;
    Status st = kCancelled;
    if (!GetSaveResult(b, 0, st, r)) return;
    r.input = BatchlineImagePath(ctx, indices[k]);
    (*statuses)[k] = st;
    results.Add(r);
  };
  return RunTasks(host, jobs, (int32_t)indices.size(), task, deliver, Phrase(9234, (int)indices.size()));
}

// The most bytes of decoded rows one worker keeps of an image between its
// analysis and its save: 512 MB, and at most a quarter of the memory
// available (MemAvailable) shared among the workers. TAVELIN_HOLD_MB sets it
// (0: every image is decoded again for its save; for tests). An image that
// does not fit is decoded twice; its pixels are the same either way.
int64_t HoldBudget(int jobs) {
  constexpr int64_t kMB = 1 << 20;
  if (const char* v = std::getenv("TAVELIN_HOLD_MB")) return std::max<int64_t>(0, std::atoll(v)) * kMB;
  int64_t budget = 512 * kMB;
  if (FILE* f = std::fopen("/proc/meminfo", "r")) {
    char line[256];
    long long kb = 0;
    while (std::fgets(line, sizeof line, f))
      if (std::sscanf(line, "MemAvailable: %lld kB", &kb) == 1) break;
    std::fclose(f);
    if (kb > 0) budget = std::min<int64_t>(budget, (int64_t)kb * 1024 / 4 / std::max(1, jobs));
  }
  return budget;
}

// Adds and saves `inputs` (none of which is saved over itself), each image
// in one task of a worker: its record made (the file decoded only when
// Brivio analyses it, then once, at full size), and the image saved at once
// from the rows kept in memory (decodeonce.h). Here, as the results arrive
// (in the inputs' order), each record is stored in the Batchline and marked
// saved when the image was, before its line is printed, so that a resume
// skips it (an image saved whose record had not been stored yet is saved
// again by a resume, to the same bytes). A failure line for each file that
// is refused.
Status AddAndSave(Run& run, const std::vector<std::string>& inputs, int jobs, Results& results) {
  CliHost& host = run.host();
  EditContext& ctx = run.ctx();
  // The output plan (outputplan.h) before anything is written, as a batch
  // save asks it: a refused image is neither added nor saved.
  std::vector<std::string> absolute, paths;
  for (const std::string& in : inputs) absolute.push_back(Absolute(in));
  const std::vector<PlanVerdict> verdicts = PlanBatchOutputs(SaveSettingsOf(AppPrefs()), absolute);
  for (size_t k = 0; k < absolute.size(); ++k) {
    if (verdicts[k].ok) {
      paths.push_back(absolute[k]);
      continue;
    }
    ImageResult r;
    r.input = absolute[k];
    r.status = "failed";
    r.reason = verdicts[k].message;
    results.Add(r);
  }
  if (paths.empty()) return kOk;
  AddProfiles profiles;
  StartProfileAdd(*ctx.app, &profiles);
  const int64_t holdBytes = HoldBudget(jobs);
  const bool hash = results.Reporting();
  // A frame: the add's status, its message and the record; then the save's
  // status, seconds, output size, output path, reason and SHA-256.
  HeldImage& held = run.held;
  const Task task = [&](int32_t k) {
    host.lastAlert.clear();
    const auto t0 = std::chrono::steady_clock::now();
    const OnePassAdd onePass{holdBytes, &held};
    std::vector<uint8_t> record;
    const Status added = MakeImageRecord(&ctx, paths[k], profiles.op, &record, &onePass);
    const std::string message = host.lastAlert;
    host.lastAlert.clear();
    Status st = kCancelled;
    if (added == kOk && !gInterrupted) st = SaveImageRecord(&ctx, paths[k], record, &held);
    held.Drop();
    std::vector<uint8_t> b(sizeof added);
    std::memcpy(b.data(), &added, sizeof added);
    PutText(b, message);
    PutText(b, std::string(record.begin(), record.end()));
    PutSaveResult(b, &ctx, host, st, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), hash);
    return b;
  };
  // The results are taken in the order of the inputs (one that arrives
  // early waits for those before it), so that the Batchline holds the first
  // images of the batch, as a resume expects, and the lines come in order.
  std::vector<std::vector<uint8_t>> arrived(paths.size());
  size_t next = 0;
  auto take = [&](size_t k) {
    const std::vector<uint8_t>& b = arrived[k];
    Status added = kCancelled, st = kCancelled;
    std::string message, record;
    ImageResult r;
    r.input = paths[k];
    size_t at = sizeof added;
    if (b.size() < at) return;
    std::memcpy(&added, b.data(), sizeof added);
    if (!GetText(b, at, message) || !GetText(b, at, record)) return;
    if (added != kOk) {
      if (added == kCancelled) return;
      r.status = "failed";
      r.reason = OneLine(message.empty() ? StatusWord(added) : message);
      results.Add(r, "not added");
      return;
    }
    if (!GetSaveResult(b, at, st, r)) return;
    // The record, and its mark, before the line.
    if (AppendImageRecord(&ctx, paths[k], std::vector<uint8_t>(record.begin(), record.end())) == kOk && st == kOk &&
        RunStateSaved(ctx.batch.files, ctx.batch.entries.back()) != kOk)
      DLog("the run state did not take the save of %s", paths[k].c_str());
    results.Add(r);
  };
  const Deliver deliver = [&](int32_t k, std::vector<uint8_t>&& b) {
    arrived[(size_t)k] = b.empty() ? std::vector<uint8_t>(1) : std::move(b);
    for (; next < paths.size() && !arrived[next].empty(); ++next) take(next);
  };
  host.echoAlerts = false;
  host.lastAlert.clear();
  const Status st = RunTasks(host, jobs, (int32_t)paths.size(), task, deliver, Phrase(9234, (int)paths.size()));
  // After an interruption: those that arrived behind one that never did.
  for (; next < paths.size(); ++next)
    if (!arrived[next].empty()) take(next);
  host.echoAlerts = true;
  host.lastAlert.clear();
  return st;
}

// Saves every entry of the Batchline. kCancelled when interrupted.
Status SaveEntries(Run& run, int jobs, Results& results) {
  EditContext& ctx = run.ctx();
  if (BatchlineCount(&ctx) == 0) return kOk;
  SelectAll(&ctx);
  SaveSelectedOptions options;
  options.executor = [&](EditContext* c, const std::vector<int32_t>& indices, bool overwrite,
                         std::vector<Status>* statuses) {
    run.host().echoAlerts = false;
    const Status st = SaveInWorkers(c, run.host(), jobs, indices, overwrite, statuses, results);
    run.host().echoAlerts = true;
    return st;
  };
  options.onRefused = [&](int32_t index, const std::string& reason) {
    ImageResult r;
    r.input = BatchlineImagePath(&ctx, index);
    r.status = "failed";
    r.reason = reason;
    results.Add(r);
  };
  return SaveSelected(&ctx, options);
}

// The summary line and the exit status: 0 all saved, 1 some failed, 3
// nothing saved, 130 interrupted.
int Finish(Results& results, bool interrupted, std::chrono::steady_clock::time_point start) {
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!results.quiet()) {
    std::string line = std::to_string(results.saved) + " of " +
                       std::to_string(results.saved + results.failed + results.skipped) + " images saved";
    if (results.before) line += " (and " + std::to_string(results.before) + " before)";
    if (results.skipped) line += ", " + std::to_string(results.skipped) + " skipped";
    if (results.failed) line += ", " + std::to_string(results.failed) + " failed";
    if (interrupted) line += ", cancelled (status " + std::to_string((int)kCancelled) + ")";
    char tail[32];
    std::snprintf(tail, sizeof tail, " in %.2f s", seconds);
    WriteLine(results.lineFd(), line + tail);
  }
  if (interrupted) return kExitInterrupted;
  if (results.failed == 0) return 0;
  return results.saved + results.before > 0 ? 1 : kExitNothingSaved;
}

// Resumes the unfinished job of the run's folder, with a line for each entry
// left out: saved already, or changed since it was added (a failure). The
// paths of every entry the job held go into `known`.
void ResumeUnfinished(Run& run, Results& results, std::unordered_set<std::string>* known = nullptr) {
  ResumeSkips skips;
  run.host().unfinishedAnswer = 0;
  OfferUnfinishedJob(&run.ctx(), &skips);
  for (const std::string& path : skips.saved) WriteImageLine(results.lineFd(), path, ": already saved, skipped");
  results.before += (int)skips.saved.size();
  for (const std::string& path : skips.changed) {
    std::string why = ResString(9109);
    why[0] = (char)std::tolower((unsigned char)why[0]);
    ImageResult r;
    r.input = path;
    r.status = "failed";
    r.reason = why.substr(0, why.size() - 1);
    results.Add(r);
  }
  if (!known) return;
  for (int32_t i = 0; i < BatchlineCount(&run.ctx()); ++i) known->insert(BatchlineImagePath(&run.ctx(), i));
  known->insert(skips.saved.begin(), skips.saved.end());
  known->insert(skips.changed.begin(), skips.changed.end());
}

// ---- the inputs ---------------------------------------------------------------------------------------
struct Input {
  std::string path;   // absolute
  std::string key;    // what --shard hashes: the path as given, or relative to its folder
};

// The folder under --out that --keep-tree saves an input in: the folders of
// its key (relative to the folder given, or as given when relative), ""
// for an absolute path or one that climbs with "..".
std::string TreeOf(const std::string& key) {
  const size_t slash = key.rfind('/');
  if (key.empty() || key[0] == '/' || slash == std::string::npos) return {};
  const std::string dir = key.substr(0, slash + 1);
  if (dir == "../" || dir.rfind("../", 0) == 0 || dir.find("/../") != std::string::npos) return {};
  std::string clean;
  for (size_t at = 0; at < dir.size();) {
    const size_t end = dir.find('/', at);
    const std::string part = dir.substr(at, end - at);
    if (!part.empty() && part != ".") clean += part + "/";
    at = end + 1;
  }
  return clean;
}

// mkdir -p.
bool MakeFolders(const std::string& path) {
  for (size_t at = 1; at <= path.size(); ++at) {
    if (at != path.size() && path[at] != '/') continue;
    if (::mkdir(path.substr(0, at).c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  return true;
}

bool IsImageName(const std::string& leaf) {
  return leaf[0] != '.' && FormatRegistry::Builtin().ReadsExtension(leaf);
}

// The image files under `folder` (sorted, depth first), keys relative to `root`.
void WalkFolder(const std::string& folder, const std::string& relative, std::vector<Input>& out) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  std::vector<std::pair<std::string, bool>> leaves;
  while (const dirent* e = ::readdir(dir)) {
    const std::string leaf = e->d_name;
    if (leaf.empty() || leaf[0] == '.') continue;
    struct stat st;
    if (::stat((folder + leaf).c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) leaves.emplace_back(leaf, true);
    else if (S_ISREG(st.st_mode) && IsImageName(leaf)) leaves.emplace_back(leaf, false);
  }
  ::closedir(dir);
  std::sort(leaves.begin(), leaves.end());
  for (const auto& [leaf, isDir] : leaves) {
    if (isDir) WalkFolder(folder + leaf + "/", relative + leaf + "/", out);
    else out.push_back(Input{folder + leaf, relative + leaf});
  }
}

// FNV-1a, 64 bits: the same on every machine.
uint64_t StableHash(const std::string& text) {
  uint64_t h = 1469598103934665603ull;
  for (const char c : text) {
    h ^= (unsigned char)c;
    h *= 1099511628211ull;
  }
  return h;
}

// The images of the options: files, folders (with -r) and --files-from, in
// that order, then this shard's share. A folder without -r, or a list that
// cannot be read, is a usage error (its status returned, else 0).
int CollectInputs(const Options& o, std::vector<Input>& out) {
  std::vector<std::string> given = o.inputs;
  if (!o.filesFrom.empty()) {
    FILE* f = o.filesFrom == "-" ? stdin : std::fopen(o.filesFrom.c_str(), "r");
    if (!f) return UsageError(o.filesFrom + ": cannot read the list of files: " + std::strerror(errno));
    char* line = nullptr;
    size_t capacity = 0;
    ssize_t n;
    while ((n = ::getdelim(&line, &capacity, o.nulSeparated ? '\0' : '\n', f)) > 0) {
      std::string path(line, (size_t)n);
      if (!path.empty() && path.back() == (o.nulSeparated ? '\0' : '\n')) path.pop_back();
      if (!o.nulSeparated && !path.empty() && path.back() == '\r') path.pop_back();
      if (!path.empty()) given.push_back(path);
    }
    std::free(line);
    if (f != stdin) std::fclose(f);
  }
  for (const std::string& g : given) {
    struct stat st;
    if (::stat(g.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      if (!o.recursive) return UsageError(g + ": is a folder (add -r to take the images in it)");
      std::string folder = Absolute(g);
      if (folder.back() != '/') folder += '/';
      WalkFolder(folder, "", out);
    } else {
      out.push_back(Input{Absolute(g), g.compare(0, 2, "./") == 0 ? g.substr(2) : g});
    }
  }
  if (o.shardN > 1) {
    std::vector<Input> mine;
    for (Input& in : out)
      if (StableHash(in.key) % (uint64_t)o.shardN == (uint64_t)o.shardK) mine.push_back(std::move(in));
    out.swap(mine);
  }
  return 0;
}

// ---- the run folder's own files: the options and inputs of a run, and how far it got ------------
const char* const kArgsLeaf = kRunArgsLeaf;
const char* const kInputsLeaf = kRunInputsLeaf;
const char* const kNextLeaf = kRunNextLeaf;
const char* const kTreesLeaf = kRunTreesLeaf;

// Writes `bytes` as `path` in one rename, on the disk first.
bool WriteWhole(const std::string& path, const std::string& bytes) {
  const std::string temp = path + ".new";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const bool ok = WriteAll(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
  ::close(fd);
  return ok && ::rename(temp.c_str(), path.c_str()) == 0;
}

std::vector<std::string> ReadNulList(const std::string& path, bool* ok) {
  std::vector<std::string> out;
  FILE* f = std::fopen(path.c_str(), "r");
  *ok = f != nullptr;
  if (!f) return out;
  char* item = nullptr;
  size_t capacity = 0;
  ssize_t n;
  while ((n = ::getdelim(&item, &capacity, '\0', f)) > 0) out.emplace_back(item, (size_t)n - (item[n - 1] == '\0'));
  std::free(item);
  std::fclose(f);
  return out;
}

std::string NulJoined(const std::vector<std::string>& items) {
  std::string s;
  for (const std::string& i : items) s += i + '\0';
  return s;
}

// ---- the commands ---------------------------------------------------------------------------------
int JobsOf(const Options& o) { return o.jobs > 0 ? o.jobs : DefaultJobs(); }

// --jobs N is the number of CPUs a run takes: N worker processes, each image
// on one thread, unless the run has fewer images than that (one image with
// -j 2 is worked on by two threads).
void SetThreadsPerImage(int jobs, size_t images) {
  SetHelperThreads(images > 0 && (size_t)jobs >= 2 * images ? 2 : 1);
}

// Adds and saves `inputs` from `next` on, a few at a time, so that each image
// is saved soon after it was analysed and the Batchline stays short; the run
// folder records how far the run got.
void StreamInputs(Run& run, const Options& o, const std::vector<std::string>& inputs,
                  const std::vector<std::string>& trees, size_t next, Results& results,
                  const std::unordered_set<std::string>& known) {
  const std::string outRoot = AppPrefs().outputFolder;
  Prefs plan = AppPrefs();  // the save settings the outputs are planned with
  auto treeOf = [&](size_t i) { return o.keepTree && i < trees.size() ? trees[i] : std::string(); };
  const int jobs = JobsOf(o);
  // The first batch is small, so that the first output comes at once; the
  // next ones double up to 64 images (or two a job), so that the Batchline's
  // files and the run's progress are written out rarely.
  size_t chunk = (size_t)std::max(4, 2 * jobs);
  const size_t largest = std::max<size_t>(64, 2 * (size_t)jobs);
  const std::string nextPath = run.folder() + kNextLeaf;
  std::unordered_set<std::string> inputSet(inputs.begin(), inputs.end());
  std::unordered_map<std::string, std::string> claimed;  // output -> the input that writes it
  // Each output is put on the disk before its rename; the folders it was
  // renamed into are synced once a batch, before the run's progress moves on.
  run.ctx().syncOutputFolder = false;
  std::set<std::string> folders;
  const bool overwrite = OverwriteMode(plan);
  while (next < inputs.size() && !gInterrupted) {
    std::vector<std::string> batch;
    bool overOwnInput = false;
    size_t end = next;
    // With --keep-tree a batch holds the images of one folder: the output
    // folder is a setting of the whole save.
    const std::string tree = treeOf(next);
    if (o.keepTree) {
      plan.outputFolder = outRoot + tree;
      if (!MakeFolders(plan.outputFolder) || SetPrefsPath(AppPrefs().outputFolder, plan.outputFolder) != kOk) {
        std::fprintf(stderr, "tavelin-cli: %s: cannot create the folder\n", plan.outputFolder.c_str());
        gInterrupted = 1;
        break;
      }
    }
    for (; end < inputs.size() && batch.size() < chunk && treeOf(end) == tree; ++end) {
      const std::string& in = inputs[end];
      if (known.count(in)) continue;  // an entry of the resumed job
      std::string output;
      if (PlannedOutputPath(SaveSettingsOf(plan), in, output) == kOk) {
        ImageResult r;
        r.input = in;
        r.output = output;
        const auto first = claimed.find(output);
        if (o.skipExisting && FileExists(output)) {
          r.status = "skipped";
          r.reason = "its output " + PrintablePath(output) + " exists";
        } else if (first != claimed.end()) {
          r.status = "failed";
          r.reason = "its output " + PrintablePath(output) + " is also the output of " + PrintablePath(first->second);
          r.output.clear();
        } else if (output != in && inputSet.count(output)) {
          r.status = "failed";
          r.reason = "its output would replace " + PrintablePath(output) + ", an input of this run";
          r.output.clear();
        }
        if (!r.status.empty()) {
          results.Add(r);
          continue;
        }
        if (!overwrite || output != in) claimed.emplace(output, in);
        if (overwrite || SameFile(in, output)) overOwnInput = true;
        folders.insert(FolderOf(output, "./"));
      }
      batch.push_back(in);
    }
    if (!batch.empty()) {
      // An image saved over itself goes the two-step way: its entry is
      // stored before the save, so that a resume never corrects it twice.
      Status saved = kOk;
      if (overOwnInput) {
        AddInputs(run, batch, jobs, results);
        if (gInterrupted) break;
        saved = SaveEntries(run, jobs, results);
      } else {
        saved = AddAndSave(run, batch, jobs, results);
      }
      // Also when the run stops here: the outputs renamed so far stay put.
      for (const std::string& folder : folders) SyncFolder(folder);
      folders.clear();
      if (saved == kCancelled || gInterrupted) break;
    }
    // How far the run got goes on the disk before the saved entries leave
    // the Batchline: a resume never starts before an image that was saved.
    next = end;
    if (!WriteWhole(nextPath, std::to_string(next))) {
      std::fprintf(stderr, "tavelin-cli: %s: cannot write the run's progress\n", nextPath.c_str());
      gInterrupted = 1;
      break;
    }
    SelectAll(&run.ctx());
    RemoveSelected(&run.ctx());
    chunk = std::min(2 * chunk, largest);
  }
}

// What an interrupted run says on its way out.
void KeepForResume(Run& run) {
  run.KeepFolder();
  WriteLine(2, "tavelin-cli: interrupted; the images not saved yet are kept for: tavelin-cli correct --resume '" +
                   run.folder() + "'");
}

// Goes on with the interrupted run in `folder`: its options (with `extra`
// after them, which win), its job's entries, then its inputs not reached.
int ResumeRun(const std::string& folder, const Options& extra, std::chrono::steady_clock::time_point start);

int Correct(const Options& o, std::chrono::steady_clock::time_point start) {
  std::vector<Input> collected;
  if (int r = CollectInputs(o, collected)) return r;
  if (collected.empty() && o.inputs.empty() && o.filesFrom.empty()) return UsageError("correct needs at least one image");
  if (o.keepTree && o.outDir.empty()) return UsageError("--keep-tree needs --out");
  std::vector<std::string> inputs, trees;
  inputs.reserve(collected.size());
  for (Input& in : collected) {
    inputs.push_back(std::move(in.path));
    if (o.keepTree) trees.push_back(TreeOf(in.key));
  }
  collected.clear();

  if (o.dryRun) {
    // The plan alone: the options applied to a copy of the defaults.
    InstallSignals();
    Prefs prefs = PrefsDefaults();
    if (!o.outDir.empty()) prefs.outputFolder = o.outDir.back() == '/' ? o.outDir : o.outDir + "/", prefs.sameFolder = 0;
    prefs.outputFormat = o.format;
    prefs.naming = o.naming;
    prefs.suffix = o.suffix;
    prefs.prefix = o.prefix;
    int failed = 0;
    const std::string outRoot = prefs.outputFolder;
    for (size_t i = 0; i < inputs.size(); ++i) {
      const std::string& in = inputs[i];
      if (o.keepTree) prefs.outputFolder = outRoot + trees[i];
      std::string output;
      if (const Status st = PlannedOutputPath(SaveSettingsOf(prefs), in, output); st != kOk) {
        WriteImageLine(2, in, ": not added: " + OneLine(AlertMessage(st, ("reading file " + LeafName(in)).c_str())));
        ++failed;
      } else if (o.skipExisting && FileExists(output)) {
        if (o.verbose) WriteImageLine(1, in, ": skipped: its output " + PrintablePath(output) + " exists");
      } else {
        WriteImageLine(1, in, " -> " + PrintablePath(output));
      }
    }
    return failed == 0 ? 0 : failed == (int)inputs.size() ? kExitNothingSaved : 1;
  }

  Results results(o);
  if (!results.OpenReport(o.report)) return 2;
  SetThreadsPerImage(JobsOf(o), inputs.size());
  Run run;
  if (run.Begin() != kOk) return 1;
  run.host().drawProgress = run.host().drawProgress && !o.quiet;
  if (int r = ApplyOptions(o, kStartWith | kSave)) return r;
  if (o.verbose) WriteLine(2, "tavelin-cli: run folder " + run.folder());
  if (!WriteWhole(run.folder() + kArgsLeaf, NulJoined(o.args)) ||
      !WriteWhole(run.folder() + kInputsLeaf, NulJoined(inputs)) || !WriteWhole(run.folder() + kTreesLeaf, NulJoined(trees)) ||
      !WriteWhole(run.folder() + kNextLeaf, "0")) {
    std::fprintf(stderr, "tavelin-cli: %s: cannot write the run folder\n", run.folder().c_str());
    return 1;
  }
  StreamInputs(run, o, inputs, trees, 0, results, {});
  const bool interrupted = gInterrupted != 0;
  if (interrupted) KeepForResume(run);
  else ExitEditing(&run.ctx());
  return Finish(results, interrupted, start);
}

int ResumeRun(const std::string& given, const Options& extra, std::chrono::steady_clock::time_point start) {
  std::string folder = Absolute(given);
  if (folder.back() != '/') folder += '/';
  bool ok = false;
  std::vector<std::string> args = ReadNulList(folder + kArgsLeaf, &ok);
  if (!ok && !BatchlineJobExists(RunFolderFiles(folder))) {
    std::fprintf(stderr, "tavelin-cli: %s: not the folder of an unfinished run\n", given.c_str());
    return 2;
  }
  // The run's options, then those given now.
  for (const std::string& a : extra.args) args.push_back(a);
  std::vector<char*> argv = {(char*)"tavelin-cli", (char*)"correct"};
  for (std::string& a : args) argv.push_back(a.data());
  Options o;
  if (int r = ParseOptions((int)argv.size(), argv.data(), 2, kCmdCorrect, o)) return r;
  std::vector<std::string> inputs = ReadNulList(folder + kInputsLeaf, &ok);
  std::vector<std::string> trees = ReadNulList(folder + kTreesLeaf, &ok);
  size_t next = 0;
  {
    FILE* f = std::fopen((folder + kNextLeaf).c_str(), "r");
    unsigned long long n = 0;
    if (f && std::fscanf(f, "%llu", &n) == 1) next = (size_t)std::min<unsigned long long>(n, inputs.size());
    if (f) std::fclose(f);
  }
  // Images given now come after the run's own.
  std::vector<Input> more;
  Options now = extra;
  now.shardN = 1;
  if (int r = CollectInputs(now, more)) return r;
  if (o.keepTree) trees.resize(inputs.size());
  for (Input& in : more) {
    inputs.push_back(std::move(in.path));
    if (o.keepTree) trees.push_back(TreeOf(in.key));
  }

  Results results(o);
  if (!results.OpenReport(o.report)) return 2;
  Run run;
  if (run.Begin(folder) != kOk) return 1;
  run.host().drawProgress = run.host().drawProgress && !o.quiet;
  if (int r = ApplyOptions(o, kStartWith | kSave)) return r;
  std::unordered_set<std::string> known;
  ResumeUnfinished(run, results, &known);
  // The job's entries first; then the inputs the run had not reached.
  if (SaveEntries(run, JobsOf(o), results) != kCancelled && !gInterrupted) {
    SelectAll(&run.ctx());
    RemoveSelected(&run.ctx());
    if (!WriteWhole(folder + kArgsLeaf, NulJoined(o.args)) || !WriteWhole(folder + kInputsLeaf, NulJoined(inputs)) ||
        !WriteWhole(folder + kTreesLeaf, NulJoined(trees)))
      gInterrupted = 1;
    else StreamInputs(run, o, inputs, trees, next, results, known);
  }
  const bool interrupted = gInterrupted != 0;
  if (interrupted) KeepForResume(run);
  else {
    ExitEditing(&run.ctx());
  }
  return Finish(results, interrupted, start);
}

int JobSave(const std::string& jobPath, const Options& o) {
  std::vector<Input> collected;
  if (int r = CollectInputs(o, collected)) return r;
  if (collected.empty()) return UsageError("job save needs a job file and at least one image");
  std::vector<std::string> inputs;
  for (Input& in : collected) inputs.push_back(std::move(in.path));
  Results results(o);
  Run run;
  if (run.Begin({}, false) != kOk) return 1;
  if (int r = ApplyOptions(o, kStartWith)) return r;
  AddInputs(run, inputs, JobsOf(o), results);
  EditContext& ctx = run.ctx();
  Status st = kOk;
  if (gInterrupted) st = kCancelled;
  else if (BatchlineCount(&ctx) == 0) st = kFormatErr;
  else st = SaveJob(&ctx, Absolute(jobPath));
  const int count = BatchlineCount(&ctx);
  ExitEditing(&ctx);
  if (st == kOk) {
    if (!o.quiet) std::printf("%s: job of %d images saved\n", jobPath.c_str(), count);
  } else if (gInterrupted) return kExitInterrupted;
  else std::fprintf(stderr, "%s: no job saved\n", jobPath.c_str());
  return st != kOk ? kExitNothingSaved : results.failed == 0 ? 0 : 1;
}

int JobRun(const std::string& jobPath, const Options& o, std::chrono::steady_clock::time_point start) {
  Results results(o);
  Run run;
  if (run.Begin() != kOk) return 1;
  if (int r = ApplyOptions(o, kSave)) return r;
  run.host().echoAlerts = true;
  const Status st = ResumeJob(&run.ctx(), Absolute(jobPath));
  if (st != kOk && BatchlineCount(&run.ctx()) == 0) {
    std::fprintf(stderr, "tavelin-cli: %s: %s\n", jobPath.c_str(),
                 run.host().lastAlert.empty() ? StatusWord(st).c_str() : run.host().lastAlert.c_str());
    return 1;
  }
  SetThreadsPerImage(JobsOf(o), BatchlineCount(&run.ctx()));
  SaveEntries(run, JobsOf(o), results);
  const bool interrupted = gInterrupted != 0;
  if (interrupted) KeepForResume(run);
  else ExitEditing(&run.ctx());
  return Finish(results, interrupted, start);
}

// Lists the unfinished runs; --resume or --discard them (all, or the one given).
int JobUnfinished(const Options& o, bool resume, bool discard, std::chrono::steady_clock::time_point start) {
  std::vector<std::string> folders;
  if (!o.inputs.empty()) {
    for (const std::string& f : o.inputs) folders.push_back(Absolute(f).back() == '/' ? Absolute(f) : Absolute(f) + "/");
  } else {
    folders = UnfinishedRunFolders();
  }
  if (folders.empty()) {
    std::printf("No unfinished job.\n");
    return 0;
  }
  if (resume) {
    int status = 0;
    for (const std::string& f : folders) {
      const int r = ResumeRun(f, o, start);
      if (r == kExitInterrupted) return r;
      status = std::max(status, r);
    }
    return status;
  }
  int status = 0;
  for (const std::string& folder : folders) {
    Run run;
    if (run.Begin(folder) != kOk) {
      status = 1;
      continue;
    }
    EditContext& ctx = run.ctx();
    if (discard) {
      run.host().unfinishedAnswer = 1;
      OfferUnfinishedJob(&ctx);
      ExitEditing(&ctx);
        std::printf("%s: unfinished job discarded.\n", folder.c_str());
      continue;
    }
    // What a resume saves; then what it skips, as saved already.
    JobEntryList entries;
    const Status st = BatchlineJobExists(ctx.batch.files) ? ReadBatchlineJob(ctx.batch.files, entries) : kOk;
    ResolveLongImagePaths(ctx.batch.files, entries);
    const std::vector<EntryRunState> states = ReadRunState(ctx.batch.files, entries);
    std::vector<std::string> pending, saved;
    for (size_t i = 0; i < entries.size(); ++i) (states[i].saved ? saved : pending).push_back(entries[i].imagePath);
    std::printf("%s\n%s %d images:\n", folder.c_str(), ResText(9237), (int)pending.size());
    for (const std::string& p : pending) std::printf("%s\n", PrintablePath(p).c_str());
    if (!saved.empty()) std::printf("Already saved, %d images:\n", (int)saved.size());
    for (const std::string& p : saved) std::printf("%s\n", PrintablePath(p).c_str());
    run.KeepFolder();
    if (st != kOk) status = 1;
  }
  return status;
}

}  // namespace

void PrintBatchUsage(FILE* out) {
  std::fprintf(out,
      "  correct [options] [--] IN...  correct the images and save them: each is added (thumbnail, profile\n"
      "                               decision, start-with settings) and saved through the save pipeline\n"
      "                               soon after; IN may be a folder (with -r). A line per image, a summary.\n"
      "  job save JOBFILE IN... [start-with options]\n"
      "                               add the images as 'correct' does and save the Batchline as a job file\n"
      "  job run JOBFILE [save options]\n"
      "                               save every image of a job file\n"
      "  job unfinished [--resume [save options] | --discard] [RUNDIR...]\n"
      "                               list the runs that were interrupted (killed or crashed);\n"
      "                               --resume saves their images not saved yet, --discard deletes them\n"
      "\n"
      "Options ('tavelin-cli correct --help' lists those of one command):\n");
  PrintBatchOptions(out, 0);
  std::fprintf(out,
      "\n"
      "Each run keeps its state in a run folder of its own (under $XDG_STATE_HOME/tavelin-marvet/runs/),\n"
      "so any number of runs, and the window, work at once. The command-line tool starts from the\n"
      "default preferences and never changes the preferences file. Every output is written to a\n"
      "temporary file first; Ctrl-C, SIGTERM or a closed pipe stop cleanly (exit status 130, no partial\n"
      "output, the inputs untouched, the run folder kept for --resume). An image whose output would\n"
      "overwrite another image of the run or another output is not saved (its line says which file); a\n"
      "file with other hard links is not replaced. A resumed run skips the images already saved.\n"
      "Exit status: 0 every image saved, 1 some refused or failed, 2 usage error, 3 nothing saved,\n"
      "130 interrupted.\n");
}


int RunCorrect(int argc, char** argv) {
  const auto start = std::chrono::steady_clock::now();
  Options o;
  if (int r = ParseOptions(argc, argv, 2, kCmdCorrect, o)) return r;
  if (o.help) {
    std::printf("Usage: tavelin-cli correct [options] [--] IN...\n\n");
    PrintBatchOptions(stdout, kCmdCorrect);
    return 0;
  }
  if (!o.resume.empty()) return ResumeRun(o.resume, o, start);
  return Correct(o, start);
}

int RunJob(int argc, char** argv) {
  const auto start = std::chrono::steady_clock::now();
  if (argc < 3) return UsageError("job needs save, run or unfinished");
  const std::string sub = argv[2];
  if (sub == "--help" || sub == "-h") {
    std::printf("Usage: tavelin-cli job save|run|unfinished ...\n\n"
                "  job save JOBFILE IN... [start-with options]\n"
                "  job run JOBFILE [save options]\n"
                "  job unfinished [--resume [save options] | --discard] [RUNDIR...]\n\n"
                "'tavelin-cli job save --help' lists the options of one.\n");
    return 0;
  }
  const bool help = argc == 4 && (std::strcmp(argv[3], "--help") == 0 || std::strcmp(argv[3], "-h") == 0);
  Options o;
  if ((sub == "save" || sub == "run") && help) {
    const unsigned command = sub == "save" ? kCmdJobSave : kCmdJobRun;
    std::printf("Usage: tavelin-cli job %s JOBFILE [options]%s\n\n", sub.c_str(), sub == "save" ? " IN..." : "");
    PrintBatchOptions(stdout, command);
    return 0;
  }
  if (sub == "unfinished" && help) {
    std::printf("Usage: tavelin-cli job unfinished [--resume [save options] | --discard] [RUNDIR...]\n\n"
                "List the runs that were interrupted (killed or crashed), all or those given;\n"
                "--resume saves their images not saved yet, --discard deletes them.\n\n");
    PrintBatchOptions(stdout, kCmdJobRun);
    return 0;
  }
  if (sub == "save" || sub == "run") {
    if (argc < 4 || argv[3][0] == '-') return UsageError("job " + sub + " needs a job file");
    const unsigned command = sub == "save" ? kCmdJobSave : kCmdJobRun;
    if (int r = ParseOptions(argc, argv, 4, command, o)) return r;
    if (o.help) {
      std::printf("Usage: tavelin-cli job %s JOBFILE [options]%s\n\n", sub.c_str(), sub == "save" ? " IN..." : "");
      PrintBatchOptions(stdout, command);
      return 0;
    }
    if (sub == "run" && !o.inputs.empty()) return UsageError("job run takes one job file");
    return sub == "save" ? JobSave(argv[3], o) : JobRun(argv[3], o, start);
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
    if (int r = ParseOptions((int)rest.size(), rest.data(), 2, kCmdJobRun, o)) return r;
    if (!resume && o.args.size() > 0) return UsageError("job unfinished takes options only with --resume");
    return JobUnfinished(o, resume, discard, start);
  }
  return UsageError("unknown job command '" + sub + "' (save, run, unfinished)");
}
