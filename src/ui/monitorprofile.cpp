#include "ui/monitorprofile.h"

#include <QGuiApplication>
#include <cstdlib>
#include <cstring>

#include "colormgmt/iccxform.h"
#include "base/debuglog.h"

#if defined(TAVELIN_HAVE_XCB) && QT_CONFIG(xcb)
#include <xcb/xcb.h>
#define TAVELIN_X11_PROFILE 1
#endif

Status Ui_ReadMonitorProfile(std::vector<uint8_t>& profile) {
  profile.clear();
#ifdef TAVELIN_X11_PROFILE
  auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  xcb_connection_t* c = x11 ? x11->connection() : nullptr;
  if (!c) return kOk;  // not on X11: no profile
  const char name[] = "_ICC_PROFILE";
  xcb_intern_atom_reply_t* atom =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, (uint16_t)std::strlen(name), name), nullptr);
  if (!atom) return kSysErr;
  const xcb_atom_t property = atom->atom;
  std::free(atom);
  if (property == XCB_ATOM_NONE) return kOk;  // nobody ever set one
  const xcb_setup_t* setup = xcb_get_setup(c);
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
  if (!it.rem) return kSysErr;
  const xcb_window_t root = it.data->root;
  xcb_get_property_reply_t* reply = xcb_get_property_reply(
      c, xcb_get_property(c, 0, root, property, XCB_GET_PROPERTY_TYPE_ANY, 0, kMonitorProfileMax / 4), nullptr);
  if (!reply) return kSysErr;
  Status st = kOk;
  const int length = xcb_get_property_value_length(reply);
  if (reply->format == 8 && length > 0) {
    if (reply->bytes_after > 0) {
      DLog("_ICC_PROFILE larger than %u bytes", (unsigned)kMonitorProfileMax);
      st = kSysErr;
    } else {
      const uint8_t* bytes = static_cast<const uint8_t*>(xcb_get_property_value(reply));
      profile.assign(bytes, bytes + length);
      DLog("_ICC_PROFILE: %d bytes", length);
    }
  } else if (length > 0) {
    st = kSysErr;  // not a byte string
  }
  std::free(reply);
  return st;
#else
  return kOk;
#endif
}

void Ui_InstallMonitorProfileHook() { Ui_ICC_SetMonitorProfileHook(Ui_ReadMonitorProfile); }
