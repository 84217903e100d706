#include "editor/x11_drawing_device.h"

#include "pluginterfaces/base/fplatform.h"

#if SMTG_OS_LINUX
#include <cairo/cairo-xcb.h>
#include <xcb/xcb.h>

#include "vstgui/lib/platform/linux/x11platform.h"
#endif

namespace b2 {

namespace {
int open_windows = 0;  // UI thread only

#if SMTG_OS_LINUX
xcb_visualtype_t* root_visual(xcb_screen_t* screen) {
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d))
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
            if (v.data->visual_id == screen->root_visual) return v.data;
    return nullptr;
}

void finish_device() {
    xcb_connection_t* connection = VSTGUI::X11::RunLoop::instance().getXcbConnection();
    if (!connection || xcb_connection_has_error(connection)) return;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    xcb_visualtype_t* visual = screen ? root_visual(screen) : nullptr;
    if (!visual) return;
    // Any surface on the connection leads to its device.
    cairo_surface_t* probe = cairo_xcb_surface_create(connection, screen->root, visual, 1, 1);
    if (cairo_device_t* device = cairo_surface_get_device(probe)) cairo_device_finish(device);
    cairo_surface_destroy(probe);
}
#endif
}  // namespace

void x11_window_opened() { ++open_windows; }

void x11_window_closing() {
    if (open_windows > 0) --open_windows;
#if SMTG_OS_LINUX
    if (open_windows == 0) finish_device();
#endif
}

}  // namespace b2
