#include "colormgmt/workspace.h"

#include "colormgmt/wsprofiles.h"
#include "base/alert.h"
#include "base/debuglog.h"
#include "base/strings.h"
#include "base/uihost.h"
#include "base/uistate.h"

Status SetUpWorkingSpace(WorkingSpace& ws, const std::function<Status()>& rebuildImage) {
  if (ws.index < 0 || ws.index >= kWorkingSpaceCount) return kBadArg;
  ws.profilePath = WorkingSpaceProfilePath(ws.tempFolder, ws.index);
  FillRefRGB(ws.index, &ws.refRGB);
  ws.monitorQX.reset();
  Tintmesh* monitor = nullptr;
  Status first = Ui_ICC_MakeTintmeshSrcToMon(ws.profilePath, ws.gridIndex, &monitor);
  ws.monitorQX.reset(monitor);
  if (rebuildImage) {
    const Status st = rebuildImage();
    if (first == kOk) first = st;
  }
  return first;
}

Status WorkingSpaceStartUp(WorkingSpace& ws) {
  if (Ui_Path_SetToTempFolder(ws.tempFolder) != kOk && Ui_Path_SetToCurrentFolder(ws.tempFolder) != kOk)
    ws.tempFolder.clear();
  Status st = WriteWorkingSpaceProfiles(ws.tempFolder);
  if (st != kOk) return st;
  CheckWorkingSpaceIndex(ws.index);
  CheckGridIndex(ws.gridIndex);
  st = SetUpWorkingSpace(ws);
  if (st != kOk) ReportError(st, ResString(3038));
  return kOk;
}

Status ChangeWorkingSpace(WorkingSpace& ws, int32_t newIndex, const WorkingSpaceChange& change) {
  if (newIndex < 0 || newIndex >= kWorkingSpaceCount) return kBadArg;
  if (newIndex == ws.index) return kOk;
  int question = 0;
  if (change.imageOpen) question = 6133;
  else if (change.startWith == 1 || change.startWith == 3) question = 6134;
  if (question) {
    if (AskTableQuestion(question, {6136, 6135}, 0, 1) != 0) return kCancelled;
  }

  ws.index = newIndex;
  Status first = SetUpWorkingSpace(ws, change.imageOpen ? change.rebuildImage : std::function<Status()>());
  if (first != kOk) ReportError(first, ResString(3040));
  if (change.resetPreviousSettings) change.resetPreviousSettings();
  if (change.imageOpen && change.retargetImage) {
    const Status st = change.retargetImage(ws.refRGB);
    if (st != kOk) {
      const RefRGB& r = ws.refRGB;
      DLog("refRGB: %f, %f %f %f, %f %f %f %f %f %f", r.gamma, r.xyzWhite[0], r.xyzWhite[1], r.xyzWhite[2],
           r.primaries[0], r.primaries[1], r.primaries[2], r.primaries[3], r.primaries[4], r.primaries[5]);
      ReportError(st, ResString(3028));
      if (first == kOk) first = st;
    }
  }
  return first;
}
