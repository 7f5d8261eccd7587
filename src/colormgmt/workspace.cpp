#include "colormgmt/workspace.h"

#include "colormgmt/wsprofiles.h"
#include "shell/alert.h"
#include "shell/debuglog.h"
#include "shell/strings.h"
#include "shell/uistate.h"

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
