#include "session/startup.h"

#include <cstring>

#include "colormgmt/wsprofiles.h"
#include "imagefile/ras.h"
#include "imagefile/tiff.h"
#include "prefs/prefs.h"
#include "base/alert.h"
#include "base/atomicfile.h"
#include "base/debuglog.h"
#include "session/helptext.h"
#include "base/memory.h"
#include "base/stream.h"
#include "base/strings.h"
#include "base/uistate.h"

namespace {

AppSession* gSession = nullptr;


bool FileExists(const std::string& path) {
  Stream s;
  return StreamOpen(s, path, kStreamRead) == kOk;
}

// The preferences at start-up: read the file, or keep a damaged one aside
// and go on with the defaults.
void ReadPreferencesAtStart(AppSession* session) {
  UiState* state = session->state;
  const std::string& path = session->prefsPath;
  const bool existed = FileExists(path);
  Prefs& prefs = *session->prefs;
  Status st = ReadPreferences(state, path, prefs);
  if (st == kOk) return;
  if (!existed) {
    // Neither there nor writable: the run goes on with the defaults in memory.
    ReportError(kOpenErr, Phrase(3011, path.c_str()));
    return;
  }
  const std::string aside = path + ".damaged";
  const bool kept = StreamRename(path, aside) == kOk;
  const std::string explanation = kept ? Phrase(9200, LeafName(aside).c_str()) : ResString(9201);
  ReportError(st, Phrase(3010, path.c_str()).c_str(), explanation.c_str());
  ResetPrefs(&prefs);
  if (kept && WritePreferences(state, path, prefs) != kOk) ReportError(kWriteErr, Phrase(3011, path.c_str()));
  state->appendExtension = prefs.useExtensions;
  state->lowerCaseExtension = prefs.lowerCase;
}

}  // namespace

AppSession* App() { return gSession; }

Status StartUp(const StartUpOptions& options, AppSession* session) {
  if (!session || !session->prefs) return kBadArg;
  session->usePreferencesFile = options.usePreferencesFile;
  Status st = Ui_State_Open(&session->state, 1000, options.diagnostics);
  if (st != kOk) return st;
  gSession = session;
  UiState* state = session->state;
  DLog("StartUp...");

  if (const char* maker = ResText(1114)) state->makerFolder = std::string(maker).substr(0, 100);
  else ReportError(kSysErr, ResString(3000));
  if (Ui_Path_SetToCurrentFolder(session->currentFolder) != kOk) session->currentFolder.clear();

  Prefs& prefs = *session->prefs;
  ResetPrefs(&prefs);
  std::string folder;
  if (Ui_Path_SetToPrefFolder(state, folder) != kOk) folder = session->currentFolder;
  session->prefsPath = folder + ResString(1003);
  if (options.usePreferencesFile) ReadPreferencesAtStart(session);
  state->appendExtension = prefs.useExtensions;
  state->lowerCaseExtension = prefs.lowerCase;

  if (Ui_Path_SetToTempFolder(session->tempFolder) != kOk) session->tempFolder = session->currentFolder;
  session->helpPath = session->tempFolder + ResString(1004);
  if ((st = Ui_Res_WriteCustomToFile(state, kAppResourceType, kHelpResourceId, session->helpPath)) != kOk)
    return ReportError(st, Phrase(3002, session->helpPath.c_str()));

  // The fifteen profiles and the working space with its monitor transform.
  WorkingSpace& ws = session->workingSpace;
  ws.index = prefs.workingSpace;
  ws.gridIndex = prefs.gridIndex;
  if ((st = WorkingSpaceStartUp(ws)) != kOk) return st;  // reported there
  prefs.workingSpace = ws.index;
  prefs.gridIndex = ws.gridIndex;
  RefreshWorkingSpaceRef(prefs);
  DLog("...StartUp");
  return kOk;
}

Status SavePreferencesNow(AppSession* session) {
  if (!session || !session->usePreferencesFile || !session->state || !session->prefs) return kOk;
  Status st = WritePreferences(session->state, session->prefsPath, *session->prefs);
  if (st != kOk) ReportError(st, Phrase(3011, session->prefsPath.c_str()));
  return st;
}

void FinishUp(AppSession* session) {
  if (!session) return;
  const int diag = DiagFlag();
  Ui_Debug_Log(diag, "FinishUp...");
  if (session->state) SavePreferencesNow(session);
  // What the subsystems hold for the whole run.
  session->workingSpace.monitorQX.reset();
  session->commandLineFiles.clear();
  if (session->state) Ui_State_Close(&session->state);
  if (gSession == session) gSession = nullptr;
  const MemCounters counters = MemGetCounters();
  if (counters.blocks != 0) Ui_Debug_LogF(1, "nMallocs = %ld", (long)counters.blocks);
  Ui_Debug_Log(diag, "...FinishUp");
}

Status ParseCommandLine(const std::string& commandLine, std::vector<std::string>* files) {
  if (!files) return kBadArg;
  files->clear();
  size_t quotes = 0;
  for (char c : commandLine) quotes += c == '"';
  const size_t count = quotes / 2;
  DLog("nArgs = %d", (int)count);
  DLog("%s", commandLine.c_str());
  size_t pos = 0;
  for (size_t i = 0; i < count; ++i) {
    const size_t open = commandLine.find('"', pos);
    const size_t close = commandLine.find('"', open + 1);
    std::string path = commandLine.substr(open + 1, close - open - 1);
    if (path.size() > (size_t)kCommandLinePathMax) path.resize(kCommandLinePathMax);
    DLog("%s", path.c_str());
    files->push_back(std::move(path));
    pos = close + 1;
  }
  return kOk;
}

Status Ui_Res_WriteCustomToFile(UiState* state, int type, int id, const std::string& path) {
  if (type != kAppResourceType || id < 128 || id > 32767) return kBadArg;
  std::vector<uint8_t> bytes;
  if (id == kHelpResourceId) {
    const std::string_view help = BuiltInHelpText();
    bytes.assign(help.begin(), help.end());
  } else if (id >= kProfileResourceId && id < kProfileResourceId + kWorkingSpaceCount) {
    if (MakeWorkingSpaceProfile(id - kProfileResourceId, bytes) != kOk) return kReadErr;
  } else {
    return kSeekErr;
  }
  if (bytes.empty()) return kFormatErr;
  AtomicFile file;
  Status st = file.Open(path);
  if (st == kOk) st = StreamWriteAll(file.stream(), bytes.data(), bytes.size());
  if (st == kOk) st = file.Commit();
  Ui_Debug_LogF(state ? state->diagnostics : 0, "Ui_Res_WriteCustomToFile %d status = %d", id, (int)st);
  return st;
}
