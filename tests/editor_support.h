// Shared by the editor tests: a private X server (Xvfb) for the whole test
// program, a host frame that lends its run loop and records resize requests,
// a component handler that records edit gestures, and a fixture with an
// editor created by a real plug-in instance and attached to an X window.
#pragma once

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// The plug-in object's header first: see editor/create_editor.h.
#include "plugin_host.h"
//
#include "editor/ui_editor.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "vstgui/lib/cbitmap.h"
#include "vstgui/lib/cfont.h"
#include "vstgui/lib/cframe.h"
#include "vstgui/lib/controls/ctextlabel.h"
#include "vstgui/lib/cvstguitimer.h"
#include "vstgui/lib/platform/linux/cairocontext.h"
#include "vstgui/lib/platform/linux/cairoutils.h"
#include "vstgui/lib/vstguidebug.h"
#include "vstgui/lib/vstguiinit.h"

namespace editortest {

// Catches a reordering of the includes above: with the plug-in's header first,
// the controller's state methods carry their renamed names.
template <typename T, typename = void>
struct renamed_state : std::false_type {};
template <typename T>
struct renamed_state<T, std::void_t<decltype(&T::setEditorState)>> : std::true_type {};
static_assert(renamed_state<Steinberg::Vst::IEditController>::value,
              "include plugin_host.h before any editor or VSTGUI header");

using namespace VSTGUI;
using Steinberg::kResultFalse;
using Steinberg::kResultOk;
using Steinberg::kResultTrue;
using Steinberg::tresult;

// ---- the X server -----------------------------------------------------------------

// Starts Xvfb on the first free display (it reports the number through a
// pipe), creates the _XEMBED_INFO atom the toolkit's windows announce
// themselves with, and initialises VSTGUI. Xvfb dies with this process even
// when the process crashes (parent-death signal).
class XServer : public ::testing::Environment {
public:
    void SetUp() override {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const pid_t parent = ::getpid();
        pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (::getppid() != parent) ::_exit(1);
            ::close(fds[0]);
            if (FILE* null = std::fopen("/dev/null", "w")) ::dup2(fileno(null), 2);
            const std::string fd = std::to_string(fds[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-noreset", "-nolisten", "tcp", "-screen", "0",
                     "1280x1600x24", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        char c = 0;
        while (::poll(&p, 1, 10000) == 1 && ::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        ::close(fds[0]);
        ASSERT_FALSE(number.empty()) << "Xvfb did not start";
        display = ":" + number;
        ::setenv("DISPLAY", display.c_str(), 1);
        const std::string atom = "xprop -display " + display + " -root -f _XEMBED_INFO 32c -set _XEMBED_INFO 0";
        ASSERT_EQ(std::system(atom.c_str()), 0);
        setAssertionHandler(&onAssert);
        VSTGUI::init(nullptr);
    }
    void TearDown() override {
        CFontDesc::cleanup();
        VSTGUI::exit();
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    }
    static inline std::string display;

private:
    static void onAssert(const char* file, const char* line, const char* desc) {
        ADD_FAILURE() << "VSTGUI assertion at " << file << ":" << line << ": " << (desc ? desc : "");
    }
    pid_t pid = -1;
};

inline ::testing::Environment* const kXServer = ::testing::AddGlobalTestEnvironment(new XServer);

// A top-level window of the private server to embed the editor in.
class ParentWindow {
public:
    ParentWindow() {
        connection = xcb_connect(nullptr, nullptr);
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        window = xcb_generate_id(connection);
        xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1200, 1500, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        xcb_map_window(connection, window);
        xcb_flush(connection);
    }
    ~ParentWindow() {
        xcb_destroy_window(connection, window);
        xcb_disconnect(connection);
    }
    void* handle() const { return reinterpret_cast<void*>(static_cast<uintptr_t>(window)); }

private:
    xcb_connection_t* connection = nullptr;
    xcb_window_t window = 0;
};

// ---- host objects -----------------------------------------------------------------

// Stack-allocated host objects: reference counting is a no-op.
#define EDITORTEST_NO_REFCOUNT                                   \
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; } \
    Steinberg::uint32 PLUGIN_API release() override { return 1; }

// The host's window frame: its run loop (timers fired by the test, X events
// pumped by the test) and its resize requests.
class HostFrame : public Steinberg::IPlugFrame, public Steinberg::Linux::IRunLoop {
public:
    bool offer_run_loop = true;
    std::vector<Steinberg::ViewRect> resizes;  // every resizeView request
    struct Timer {
        Steinberg::IPtr<Steinberg::Linux::ITimerHandler> handler;
        Steinberg::Linux::TimerInterval interval;
    };
    std::vector<Timer> timers;
    std::vector<Steinberg::IPtr<Steinberg::Linux::IEventHandler>> events;

    bool answers_with_on_size = false;  // a host that resizes its window at once and says so
    bool refuses_resize = false;        // a host that keeps its window as it is

    tresult PLUGIN_API resizeView(Steinberg::IPlugView* view, Steinberg::ViewRect* r) override {
        resizes.push_back(*r);
        if (refuses_resize) return kResultFalse;
        if (answers_with_on_size && view) {
            Steinberg::ViewRect given = *r;
            view->onSize(&given);
        }
        return kResultTrue;
    }
    tresult PLUGIN_API registerEventHandler(Steinberg::Linux::IEventHandler* h,
                                            Steinberg::Linux::FileDescriptor) override {
        events.emplace_back(h);
        return kResultTrue;
    }
    tresult PLUGIN_API unregisterEventHandler(Steinberg::Linux::IEventHandler* h) override {
        for (auto it = events.begin(); it != events.end(); ++it)
            if (*it == h) {
                events.erase(it);
                return kResultTrue;
            }
        return kResultFalse;
    }
    tresult PLUGIN_API registerTimer(Steinberg::Linux::ITimerHandler* h,
                                     Steinberg::Linux::TimerInterval ms) override {
        timers.push_back({h, ms});
        return kResultTrue;
    }
    tresult PLUGIN_API unregisterTimer(Steinberg::Linux::ITimerHandler* h) override {
        for (auto it = timers.begin(); it != timers.end(); ++it)
            if (it->handler == h) {
                timers.erase(it);
                return kResultTrue;
            }
        return kResultFalse;
    }
    // Fires every timer registered with `interval` once; returns how many.
    int fire(Steinberg::Linux::TimerInterval interval) {
        std::vector<Steinberg::IPtr<Steinberg::Linux::ITimerHandler>> due;
        for (auto& t : timers)
            if (t.interval == interval) due.push_back(t.handler);
        for (auto& h : due) h->onTimer();
        return static_cast<int>(due.size());
    }
    int timers_with(Steinberg::Linux::TimerInterval interval) const {
        int n = 0;
        for (auto& t : timers) n += t.interval == interval;
        return n;
    }
    // Lets the toolkit read its pending X events.
    void pump() {
        auto copy = events;
        for (auto& e : copy) e->onFDIsSet(0);
    }

    tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override {
        if (Steinberg::FUnknownPrivate::iidEqual(iid, Steinberg::IPlugFrame::iid) ||
            Steinberg::FUnknownPrivate::iidEqual(iid, Steinberg::FUnknown::iid)) {
            *obj = static_cast<Steinberg::IPlugFrame*>(this);
            return kResultOk;
        }
        if (offer_run_loop && Steinberg::FUnknownPrivate::iidEqual(iid, Steinberg::Linux::IRunLoop::iid)) {
            *obj = static_cast<Steinberg::Linux::IRunLoop*>(this);
            return kResultOk;
        }
        *obj = nullptr;
        return Steinberg::kNoInterface;
    }
    EDITORTEST_NO_REFCOUNT
};

// Records the edit gestures that reach the host.
class RecordingHandler : public Steinberg::Vst::IComponentHandler {
public:
    struct Edit {
        char kind;  // 'b' begin, 'p' perform, 'e' end
        Steinberg::Vst::ParamID id;
        double value;
    };
    std::vector<Edit> edits;

    std::vector<Edit> performs() const {
        std::vector<Edit> out;
        for (auto& e : edits)
            if (e.kind == 'p') out.push_back(e);
        return out;
    }

    tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID id) override {
        edits.push_back({'b', id, 0});
        return kResultOk;
    }
    tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue v) override {
        edits.push_back({'p', id, v});
        return kResultOk;
    }
    tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID id) override {
        edits.push_back({'e', id, 0});
        return kResultOk;
    }
    tresult PLUGIN_API restartComponent(Steinberg::int32) override { return kResultOk; }
    tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override {
        if (Steinberg::FUnknownPrivate::iidEqual(iid, Steinberg::Vst::IComponentHandler::iid) ||
            Steinberg::FUnknownPrivate::iidEqual(iid, Steinberg::FUnknown::iid)) {
            *obj = this;
            return kResultOk;
        }
        *obj = nullptr;
        return Steinberg::kNoInterface;
    }
    EDITORTEST_NO_REFCOUNT
};

// ---- the fixture ------------------------------------------------------------------

class EditorTest : public ::testing::Test {
protected:
    b2test::AdapterPtr adapter = b2test::make_adapter();
    RecordingHandler handler;
    HostFrame host;
    ParentWindow parent;
    Steinberg::IPtr<Steinberg::IPlugView> view;
    b2::ui_editor* editor = nullptr;

    void SetUp() override {
        adapter->setComponentHandler(&handler);
        view = Steinberg::owned(adapter->createView("editor"));
        ASSERT_TRUE(view);
        editor = dynamic_cast<b2::ui_editor*>(view.get());
        ASSERT_NE(editor, nullptr);
        view->setFrame(&host);
    }
    void TearDown() override {
        if (editor && editor->editor_open()) view->removed();
        if (view) view->setFrame(nullptr);
        view = nullptr;
        adapter->setComponentHandler(nullptr);
    }

    b2::engine* engine() const { return adapter->get_engine(); }
    CFrame* frame() const { return editor->getFrame(); }

    bool open() {
        return view->attached(parent.handle(), Steinberg::kPlatformTypeX11EmbedWindowID) == kResultTrue;
    }
    // One 33 ms tick of the editor's own timer, as the host's run loop fires it.
    void tick(int n = 1) {
        for (int i = 0; i < n; ++i) host.fire(b2::kTimerPeriodMs);
    }
    // One process call of the plug-in: the engine takes the pending values.
    void process(int32_t samples = 64, float level = 0.0f) {
        b2test::Block block(samples, level);
        adapter->process(block.data);
    }

    CControl* find(uint32_t kind, uint32_t id) const { return editor->find_view(kind | id); }

    // The point of a view's centre in the frame's window coordinates.
    CPoint window_point(const CControl* control) const {
        CPoint p = control->getViewSize().getCenter();
        frame()->getTransform().transform(p);
        return p;
    }
    // A left click through the frame, as the window system delivers it.
    void click(const CControl* control) {
        CPoint p = window_point(control);
        CButtonState left(kLButton);
        frame()->onMouseDown(p, left);
        p = window_point(control);
        frame()->onMouseUp(p, left);
    }
    // A mouse move over a view (or a point), no button unless given.
    void hover(const CControl* control, CButtonState buttons = CButtonState()) {
        CPoint p = window_point(control);
        frame()->onMouseMoved(p, buttons);
    }
    void hover_at(CPoint window, CButtonState buttons = CButtonState()) { frame()->onMouseMoved(window, buttons); }

    std::string status_text() const {
        auto* line = dynamic_cast<CTextLabel*>(editor->find_view(b2::UI_STATUS));
        return line ? line->getText().getString() : std::string("<no status line>");
    }
    std::string label_text(uint32_t kind, uint32_t id) const {
        auto* label = dynamic_cast<CTextLabel*>(find(kind, id));
        return label ? label->getText().getString() : std::string("<none>");
    }
};

// An editor test whose editor is open from the start.
class OpenEditorTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        ASSERT_TRUE(open());
    }
};

// ---- offscreen pictures -------------------------------------------------------

// The whole frame (at its current zoom) drawn into a cairo image surface.
// (The toolkit's own offscreen contexts on Linux leak their bitmap.)
class Picture {
public:
    explicit Picture(CFrame* frame) {
        const CRect size = frame->getViewSize();
        width = static_cast<int>(size.getWidth());
        height = static_cast<int>(size.getHeight());
        surface.assign(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
        auto context = makeOwned<Cairo::Context>(CRect(0, 0, width, height), surface);
        context->beginDraw();
        frame->drawRect(context, size);
        context->endDraw();
        cairo_surface_flush(surface);
    }
    int width = 0;
    int height = 0;

    // An opaque pixel's colour (the surface stores premultiplied ARGB words).
    CColor pixel(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height) return CColor(0, 0, 0, 0);
        const uint8_t* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
        uint32_t argb;
        std::memcpy(&argb, row + 4 * x, 4);
        return CColor(static_cast<uint8_t>(argb >> 16), static_cast<uint8_t>(argb >> 8), static_cast<uint8_t>(argb),
                      static_cast<uint8_t>(argb >> 24));
    }
    // Writes <build>/test-output/<name>.png for a person to look at.
    bool save(const std::string& name) const {
        std::string dir = RISER_TEST_OUTPUT_DIR;
        ::mkdir(dir.c_str(), 0755);
        return cairo_surface_write_to_png(surface, (dir + "/" + name + ".png").c_str()) == CAIRO_STATUS_SUCCESS;
    }

private:
    Cairo::SurfaceHandle surface;
};

}  // namespace editortest
