// The monitor profile from the X server: on the xcb platform (under Xvfb)
// the root window's _ICC_PROFILE property set here is what the hook reads;
// elsewhere there is no profile and no failure.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <cstdlib>
#include <cstring>

#include "colormgmt/wsprofiles.h"
#include "ui/monitorprofile.h"

#if defined(TAVELIN_HAVE_XCB)
#include <xcb/xcb.h>
#endif

namespace {

TEST(MonitorProfile, TheRootWindowPropertyOrNone) {
  std::vector<uint8_t> profile;
  if (QGuiApplication::platformName() != QStringLiteral("xcb")) {
    EXPECT_EQ(Ui_ReadMonitorProfile(profile), 0);
    EXPECT_TRUE(profile.empty());
    return;
  }
#if defined(TAVELIN_HAVE_XCB)
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  ASSERT_NE(x11, nullptr);
  xcb_connection_t* c = x11->connection();
  const char name[] = "_ICC_PROFILE";
  xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
  ASSERT_NE(atom, nullptr);
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  std::vector<uint8_t> bytes;
  ASSERT_EQ(MakeWorkingSpaceProfile(0, bytes), 0);
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, root, atom->atom, XCB_ATOM_CARDINAL, 8, (uint32_t)bytes.size(),
                      bytes.data());
  xcb_flush(c);
  EXPECT_EQ(Ui_ReadMonitorProfile(profile), 0);
  EXPECT_EQ(profile, bytes);
  xcb_delete_property(c, root, atom->atom);
  xcb_flush(c);
  std::free(atom);
  EXPECT_EQ(Ui_ReadMonitorProfile(profile), 0);
  EXPECT_TRUE(profile.empty());
#endif
}

}  // namespace
