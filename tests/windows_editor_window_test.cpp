// The editor in a real window, as a host opens it: after the window's own
// timer and paint messages have run, the pixels read back from the window
// match the offscreen drawing (Direct2D into a WIC bitmap) of the same meter
// state. Both drawings come from the same Direct2D in the same process, so
// the whole main page is compared, text included.
//
// The window is read from a screenshot of the X server that Wine's windows
// live in (taken by wine_in_xvfb.sh on request): Wine's own screen device
// context does not see what Direct2D presents, and the editor window's own
// device context refuses BitBlt.
//
// The window's pictures are kept in <build>/test-output/windows-window/.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "editor/offscreen_picture.h"
#include "editor/rgba_png.h"
#include "editor_picture_state.h"
#include "picture_compare.h"
#include "pluginterfaces/gui/iplugview.h"
#include "plugin_host.h"
// After the others: the toolkit sets up the Windows headers its own way.
#include <windows.h>

using namespace Steinberg;

namespace {

// Colour channels may differ this much from a colour (or a blend of two)
// found one pixel around: the window's render target and the bitmap's may
// cover edge pixels differently.
constexpr int kTolerance = 32;
// How long the window's messages run before it is read back (the editor's
// timer ticks every few tens of milliseconds).
constexpr DWORD kPaintMs = 600;
// How long the wrapper may take to answer a screenshot request (a busy
// machine slows the screenshot tool down).
constexpr DWORD kScreenshotWaitMs = 30000;

// Runs the thread's messages for `ms`, publishing the meter state as a
// processing host would (without new snapshots the meters would fall). The
// clock is read before every message, not only when the queue is empty: on a
// busy machine a paint takes longer than the editor's timer period, and the
// queue then never empties.
void run_messages(b2::engine* e, DWORD ms) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MSG msg;
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            Sleep(5);
            continue;
        }
        // Before each message: a long first paint (fonts loading) must
        // not look like a stalled host to the next timer tick.
        picturetest::publish_fixed_state(e);
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// A file of this machine as a Windows path (Wine's drive Z: is the root).
std::string wine_path(const std::string& unix_path) {
    std::string p = "Z:" + unix_path;
    for (char& c : p)
        if (c == '/') c = '\\';
    return p;
}

// The X server's screen, taken by the test's wrapper (wine_in_xvfb.sh) while
// the window's messages keep running; empty with `error` set on failure.
b2::rgba_image take_screenshot(b2::engine* e, std::string& error) {
    b2::rgba_image image;
    const char* dir = std::getenv("RISER_X_SCREENSHOTS");
    if (!dir) {
        error = "no screenshot service (run through wine_in_xvfb.sh)";
        return image;
    }
    const std::string base = wine_path(std::string(dir) + "/window");
    std::remove((base + ".png").c_str());
    if (std::FILE* f = std::fopen((base + ".want").c_str(), "w")) {
        std::fclose(f);
    } else {
        error = "cannot ask for a screenshot in " + std::string(dir);
        return image;
    }
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < kScreenshotWaitMs) {
        run_messages(e, 50);
        if (std::FILE* f = std::fopen((base + ".png").c_str(), "rb")) {
            std::fclose(f);
            if (!b2::read_rgba_png(base + ".png", image, error)) image = {};
            return image;
        }
    }
    error = "no screenshot after " + std::to_string(kScreenshotWaitMs / 1000) + " s";
    return image;
}

// The window's client area cut from a screenshot of the whole screen (Wine's
// screen coordinates are the X server's).
b2::rgba_image client_area(HWND window, const b2::rgba_image& screen, std::string& error) {
    b2::rgba_image image;
    RECT r{};
    POINT origin{0, 0};
    if (!GetClientRect(window, &r) || !ClientToScreen(window, &origin)) {
        error = "no client area (error " + std::to_string(GetLastError()) + ")";
        return image;
    }
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (origin.x < 0 || origin.y < 0 || origin.x + w > screen.width || origin.y + h > screen.height) {
        error = "the window lies outside the screen";
        return image;
    }
    image.width = w, image.height = h;
    for (int y = 0; y < h; ++y) {
        const auto row = screen.pixels.begin() + ((static_cast<size_t>(origin.y) + y) * screen.width + origin.x) * 4;
        image.pixels.insert(image.pixels.end(), row, row + static_cast<size_t>(w) * 4);
    }
    return image;
}

// The share of pixels darker than a dim grey in every channel.
double black_share(const b2::rgba_image& image) {
    size_t dark = 0, n = image.pixels.size() / 4;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t* p = &image.pixels[i * 4];
        dark += p[0] < 24 && p[1] < 24 && p[2] < 24;
    }
    return n ? double(dark) / double(n) : 1.0;
}

void save(const b2::rgba_image& image, const std::string& path) {
    std::string error;
    if (!b2::write_rgba_png(path, image, error)) std::printf("%s not written: %s\n", path.c_str(), error.c_str());
}

// A window that never validates what it paints: the system sends it paint
// messages without end, as a queue looks while each paint outlasts a timer.
LRESULT CALLBACK never_validated(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_PAINT) {
        if (auto* paints = reinterpret_cast<int*>(GetWindowLongPtrW(window, GWLP_USERDATA))) ++*paints;
        return 0;
    }
    return DefWindowProcW(window, message, w, l);
}

TEST(WindowsEditorWindow, MessagesRunForTheirTimeWhenTheQueueNeverEmpties) {
    b2test::AdapterPtr adapter = b2test::make_adapter();
    WNDCLASSW wc{};
    wc.lpfnWndProc = never_validated;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"riser_never_validated";
    ASSERT_NE(RegisterClassW(&wc), 0) << "error " << GetLastError();
    HWND window = CreateWindowExW(0, wc.lpszClassName, L"busy", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 200,
                                  nullptr, nullptr, wc.hInstance, nullptr);
    if (!window) {
        if (std::getenv("RISER_TEST_WINDOWS")) FAIL() << "no window (error " << GetLastError() << ")";
        GTEST_SKIP() << "this system gives no window (error " << GetLastError() << ")";
    }
    int paints = 0;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&paints));
    InvalidateRect(window, nullptr, FALSE);
    // A loop that waits for an empty queue never comes back from here (the
    // test's time limit then ends it).
    run_messages(adapter->get_engine(), 200);
    EXPECT_GT(paints, 1) << "the queue emptied: the case was not made";
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
    UnregisterClassW(wc.lpszClassName, wc.hInstance);
}

TEST(WindowsEditorWindow, DrawsTheMainPageOnScreen) {
    const std::string out = std::string(RISER_TEST_OUTPUT_DIR) + "/windows-window";
    std::filesystem::create_directories(out);
    b2test::AdapterPtr adapter = b2test::make_adapter();
    b2::engine* engine = adapter->get_engine();
    ASSERT_NE(engine, nullptr);

    // The offscreen drawing first: it also sets the toolkit and COM up, as a
    // plug-in's module entry does before a host opens the editor.
    picturetest::publish_fixed_state(engine);
    b2::rgba_image expected;
    {
        b2::offscreen_editor offscreen(engine, 1.0);
        ASSERT_TRUE(offscreen.ok());
        offscreen.draw();
        expected = {offscreen.width(), offscreen.height(), offscreen.rgba()};
    }
    ASSERT_FALSE(expected.pixels.empty()) << "no offscreen drawing";
    save(expected, out + "/offscreen.png");
    // The page itself has almost no black: a black window is not a drawing.
    ASSERT_LT(black_share(expected), 0.05);

    // The host's window clips its children, as hosts' windows do: otherwise
    // its own painting covers the editor.
    HWND parent = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0,
                                  400, 800, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!parent) {
        // Under Wine without an X server there are no windows; the test run
        // gives it one and says so.
        if (std::getenv("RISER_TEST_WINDOWS")) FAIL() << "no window (error " << GetLastError() << ")";
        GTEST_SKIP() << "this system gives no window (error " << GetLastError() << ")";
    }
    IPtr<IPlugView> view = owned(adapter->createView("editor"));
    ASSERT_TRUE(view);
    picturetest::publish_fixed_state(engine);
    ASSERT_EQ(view->attached(parent, kPlatformTypeHWND), kResultTrue);
    HWND editor = GetWindow(parent, GW_CHILD);
    ASSERT_NE(editor, nullptr);
    UpdateWindow(parent);
    run_messages(engine, kPaintMs);

    std::string error;
    const b2::rgba_image screen = take_screenshot(engine, error);
    ASSERT_FALSE(screen.pixels.empty()) << "no screenshot: " << error;
    save(screen, out + "/screen.png");
    const b2::rgba_image shown = client_area(editor, screen, error);
    ASSERT_FALSE(shown.pixels.empty()) << "the window was not read: " << error;
    save(shown, out + "/window.png");
    EXPECT_LT(black_share(shown), 0.05) << "the window is black (" << out << "/window.png)";
    const picturetest::comparison c = picturetest::compare_pictures(expected, shown, {}, kTolerance);
    ASSERT_TRUE(c.same_size) << expected.width << " x " << expected.height << " against " << shown.width << " x "
                             << shown.height;
    EXPECT_EQ(c.differing, 0) << c.describe() << " (window: " << out << "/window.png)";
    std::printf("window: %d of %d pixels compared, %d differ\n", c.compared, shown.width * shown.height,
                c.differing);

    EXPECT_EQ(view->removed(), kResultOk);
    DestroyWindow(parent);
}

}  // namespace
