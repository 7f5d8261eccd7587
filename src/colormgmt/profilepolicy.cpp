#include "colormgmt/profilepolicy.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "colormgmt/iccprofile.h"
#include "imagefile/ras.h"
#include "base/alert.h"
#include "base/debuglog.h"
#include "base/strings.h"
#include "base/uihost.h"
#include "base/uistate.h"

namespace {

constexpr int kDialogProfile = 6007;
constexpr int kTextUnusable = 6126;

bool IsFolder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A temporary copy of the image's embedded profile that deletes itself
// unless kept.
struct TempCopy {
  std::string path;
  ~TempCopy() {
    if (!path.empty()) StreamDelete(path);
  }
  std::string Keep() {
    std::string p = path;
    path.clear();
    return p;
  }
};

// Saves the embedded profile under a unique temporary name and checks it as
// an RGB input profile (and reads its description when asked). On failure the
// copy is gone again.
Status SaveCheckedCopy(const std::string& imagePath, const std::string& tempFolder, TempCopy& copy,
                       std::string* description, const std::string& workingSpaceProfile) {
  std::string path;
  // Taken by creating the file, so processes adding images side by side never share a name.
  Status st = Ui_Path_CreateUniqueTempFile(tempFolder, path);
  if (st != kOk) return st;
  copy.path = path;
  st = Ui_ICC_SaveEmbeddedProfile(imagePath, path);
  if (st == kOk && description) st = Ui_ICC_GetProfileDesc(path, *description);
  if (st == kOk) st = workingSpaceProfile.empty() ? Ui_ICC_CheckRgbInputProfile(path)
                                                  : Ui_ICC_CheckUsableInputProfile(path, workingSpaceProfile);
  if (st != kOk) {
    DLog("embedded profile of %s cannot be used, status = %d", LeafName(imagePath).c_str(), (int)st);
    StreamDelete(copy.Keep());
  }
  return st;
}

// "The color profile that is embedded in the image cannot be used." with
// "Discard it" and Cancel: 0 to go on, kCancelled.
Status AskDiscardUnusable() {
  return AskTableQuestion(kTextUnusable, {6130, 1111}, 0, 1) == 0 ? kOk : kCancelled;
}

}  // namespace

Status Ui_ICC_HasEmbeddedProfile(const std::string& imagePath, bool& has) {
  RasImage image;
  Status st = RasQuery(imagePath, image);
  if (st != kOk) return st;
  has = image.meta.HasIcc();
  return kOk;
}

Status Ui_ICC_SaveEmbeddedProfile(const std::string& imagePath, const std::string& profilePath) {
  RasImage image;
  Status st = RasQuery(imagePath, image);
  if (st != kOk) return st;
  if (!image.meta.HasIcc()) return kBadArg;
  return MetaSaveIcc(image.meta, profilePath);
}

Status Ui_ICC_CheckUsableInputProfile(const std::string& path, const std::string& workingSpaceProfile) {
  if (Status st = Ui_ICC_CheckRgbInputProfile(path); st != kOk) return st;
  ICCXform* xform = nullptr;
  const Status st = Ui_ICC_XformMakeSrcToDst(path, workingSpaceProfile, &xform);
  Ui_ICC_XformDispose(&xform);
  return st;
}

std::string ICCColorFolder() {
  std::vector<std::string> candidates;
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) candidates.push_back(std::string(data) + "/icc/");
  if (const char* home = std::getenv("HOME"); home && *home) candidates.push_back(std::string(home) + "/.local/share/icc/");
  candidates.push_back("/usr/share/color/icc/");
  for (const std::string& c : candidates)
    if (IsFolder(c)) return c;
  return std::string();
}

Status Ui_ICC_ChooseProfile(std::string& path) {
  UiFileRequest request;
  request.title = ResString(6131);
  request.prompt = request.title;
  request.folder = path.empty() ? ICCColorFolder() : FolderOf(path);
  request.name = LeafName(path);
  request.filters = {"ICC profiles (*.icc *.icm *.ICC *.ICM)", "All files (*)"};
  std::vector<std::string> chosen;
  Status st = Ui_GetHost().ChooseOpenFiles(request, chosen);
  if (st == kOk && chosen.empty()) st = kCancelled;
  if (st != kOk) return st;
  st = Ui_ICC_CheckRgbInputProfile(chosen.front());
  if (st != kOk) {
    DLog("Ui_ICC_ChooseProfile: %s refused, status = %d", LeafName(chosen.front()).c_str(), (int)st);
    return st;
  }
  path = chosen.front();
  return kOk;
}

Status Ui_ICC_AskProfileAction(ProfileQuestion& q) {
  q.action = 0;
  q.profilePath.clear();
  bool embedded = false;
  Status st = kOk;
  if (q.embeddedAction != 0 && (st = Ui_ICC_HasEmbeddedProfile(q.imagePath, embedded)) != kOk) return st;
  std::string wsDescription;
  if ((st = Ui_ICC_GetProfileDesc(q.workingSpaceProfile, wsDescription)) != kOk) return st;

  TempCopy copy;
  std::string embeddedDescription;
  if (embedded && SaveCheckedCopy(q.imagePath, q.tempFolder, copy, &embeddedDescription, q.workingSpaceProfile) != kOk) {
    if (AskDiscardUnusable() != kOk) return kCancelled;
    embedded = false;
  }

  // The options in display order with their actions, then Cancel.
  UiQuestion ask;
  ask.id = kDialogProfile;
  ask.caption = ResString(embedded ? 6121 : 6120);
  ask.text = ResString(embedded ? 6123 : 6122) + "\n" + ResString(6129) + " " + LeafName(q.imagePath);
  std::vector<int32_t> actions;
  if (embedded) {
    ask.buttons.push_back(ResString(6124) + " " + embeddedDescription);
    actions.push_back(kProfileEmbedded);
  }
  ask.buttons.push_back(ResString(6125) + " " + wsDescription);
  actions.push_back(kProfileAssign);
  ask.buttons.push_back(ResString(6127));
  actions.push_back(kProfileConvert);
  ask.buttons.push_back(ResString(1111));
  ask.cancelButton = (int)actions.size();
  const int32_t preset = embedded ? q.embeddedAction : q.missingAction;
  std::string path = embedded ? q.embeddedPath : q.missingPath;
  ask.defaultButton = 0;
  for (size_t i = 0; i < actions.size(); ++i)
    if (actions[i] == preset) ask.defaultButton = (int)i;

  for (;;) {
    const int answer = Ui_GetHost().Ask(ask);
    if (answer < 0 || answer >= (int)actions.size()) return kCancelled;
    const int32_t action = actions[answer];
    if (action == kProfileConvert) {
      st = Ui_ICC_ChooseProfile(path);
      if (st != kOk) {
        if (st != kCancelled) Ui_GetHost().ShowMessage(ResString(1000), ResString(6132));
        ask.defaultButton = ask.cancelButton;  // a host that answers by default must not loop
        continue;
      }
    }
    q.action = action;
    if (action == kProfileEmbedded) q.profilePath = copy.Keep();
    else if (action == kProfileConvert) q.profilePath = path;
    return kOk;
  }
}

Status CheckProfilePolicy(ProfileChoices& policy) {
  Status st = kOk;
  if (policy.missingAction < 0 || policy.missingAction > 2) policy.missingAction = kProfileAssign, st = kUnsupported;
  if (policy.embeddedAction < 0 || policy.embeddedAction > 3) policy.embeddedAction = kProfileEmbedded, st = kUnsupported;
  return st;
}

Status CheckProfileAnswers(ProfileChoices& answers) {
  Status st = kOk;
  if (answers.missingAction < 1 || answers.missingAction > 2) answers.missingAction = kProfileAssign, st = kUnsupported;
  if (answers.embeddedAction < 1 || answers.embeddedAction > 3)
    answers.embeddedAction = kProfileEmbedded, st = kUnsupported;
  return st;
}

Status DecideInputProfile(ProfileAddOperation& add, const std::string& imagePath, std::string& inputProfile) {
  inputProfile.clear();
  if (!add.answers) return kBadArg;
  bool embedded = false;
  Status st = Ui_ICC_HasEmbeddedProfile(imagePath, embedded);
  if (st != kOk) return ReportError(st, Phrase(3012, LeafName(imagePath).c_str()));

  int32_t action = embedded ? add.actions.embeddedAction : add.actions.missingAction;
  bool discarded = false;  // an unusable embedded profile: asked as an image without one
  switch (action) {
    case kProfileAssign:
      return kOk;
    case kProfileConvert: {
      const std::string& chosen = embedded ? add.actions.embeddedPath : add.actions.missingPath;
      if (!add.workingSpaceProfile.empty() && (st = Ui_ICC_CheckUsableInputProfile(chosen, add.workingSpaceProfile)) != kOk) {
        if (st == kSysErr || st == kOpenErr) st = kOpenErr;
        else st = kFormatErr;
        return ReportError(st, Phrase(3004, LeafName(chosen).c_str()).c_str(), Phrase(9110, LeafName(chosen).c_str()).c_str());
      }
      inputProfile = chosen;
      return kOk;
    }
    case kProfileEmbedded: {
      if (!embedded) return kUnsupported;
      TempCopy copy;
      if (SaveCheckedCopy(imagePath, add.tempFolder, copy, nullptr, add.workingSpaceProfile) == kOk) {
        inputProfile = copy.Keep();
        return kOk;
      }
      if (AskDiscardUnusable() != kOk) return kCancelled;
      discarded = true;
      embedded = false;
      break;
    }
    case kProfileAsk:
      break;
    default:
      return kUnsupported;
  }

  ProfileQuestion q;
  q.imagePath = imagePath;
  q.workingSpaceProfile = add.workingSpaceProfile;
  q.tempFolder = add.tempFolder;
  q.missingAction = add.answers->missingAction;
  q.missingPath = add.answers->missingPath;
  q.embeddedAction = discarded ? 0 : add.answers->embeddedAction;
  q.embeddedPath = add.answers->embeddedPath;
  st = Ui_ICC_AskProfileAction(q);
  if (st == kCancelled) return st;
  if (st != kOk) return ReportError(st, ResString(3039));

  inputProfile = q.profilePath;
  // The answer holds for the rest of this add; a path chosen with action 2
  // is the one later images of the case use.
  int32_t& caseAction = embedded ? add.actions.embeddedAction : add.actions.missingAction;
  std::string& casePath = embedded ? add.actions.embeddedPath : add.actions.missingPath;
  caseAction = q.action;
  if (q.action == kProfileConvert) casePath = q.profilePath;
  if (discarded) {
    add.answers->missingAction = q.action;
    if (q.action == kProfileConvert) add.answers->missingPath = q.profilePath;
  }
  return kOk;
}

Status ConvertThumbnailToWorkingSpace(const std::string& inputProfile, const std::string& workingSpaceProfile,
                                      const std::string& imagePath, const ICCImage& thumbnail) {
  ICCXform* xform = nullptr;
  Status st = Ui_ICC_XformMakeSrcToDst(inputProfile, workingSpaceProfile, &xform);
  if (st == kOk) st = Ui_ICC_XformRgbImage(xform, thumbnail, thumbnail);
  Ui_ICC_XformDispose(&xform);
  if (st != kOk) return ReportError(st, Phrase(3012, LeafName(imagePath).c_str()));
  return kOk;
}
