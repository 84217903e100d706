// The editor's display scale as a host reaches it before the window exists:
// createView, the content-scale interface, the size to open at and the size
// limits. Needs no window, so it runs in the Windows build too.
#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <string>

#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "tests/plugin_host.h"

#if RISER_HAS_EDITOR && SMTG_OS_WINDOWS
#include <windows.h>

#include <vector>

#include "vstgui/lib/vstguiinit.h"
#endif

using namespace Steinberg;
using b2test::make_adapter;

namespace {

#if RISER_HAS_EDITOR

std::string dims(const ViewRect& r) { return std::to_string(r.getWidth()) + " x " + std::to_string(r.getHeight()); }

class ViewScale : public ::testing::Test {
protected:
    b2test::AdapterPtr adapter = make_adapter();
    IPtr<IPlugView> view;
    IPtr<IPlugViewContentScaleSupport> scale;

    void SetUp() override {
        view = owned(adapter->createView("editor"));
        ASSERT_TRUE(view);
        void* obj = nullptr;
        ASSERT_EQ(view->queryInterface(IPlugViewContentScaleSupport::iid, &obj), kResultOk);
        ASSERT_NE(obj, nullptr);
        scale = owned(static_cast<IPlugViewContentScaleSupport*>(obj));
    }
    std::string size() const {
        ViewRect r;
        EXPECT_EQ(view->getSize(&r), kResultTrue);
        return dims(r);
    }
    std::string constrained(int32 height) const {
        ViewRect r(0, 0, 1, height);
        EXPECT_EQ(view->checkSizeConstraint(&r), kResultOk);
        return dims(r);
    }
};

TEST_F(ViewScale, TheInterfaceLeadsBackToTheSameView) {
    void* back = nullptr;
    ASSERT_EQ(scale->queryInterface(IPlugView::iid, &back), kResultOk);
    EXPECT_EQ(back, static_cast<void*>(view.get()));
    static_cast<IPlugView*>(back)->release();
}

TEST_F(ViewScale, FactorBeforeAttachSizesTheWindowToOpen) {
    EXPECT_EQ(size(), "214 x 620");
    EXPECT_EQ(scale->setContentScaleFactor(2.0f), kResultTrue);
    EXPECT_EQ(size(), "428 x 1240");
    // A host's onSize before the window exists gets the size to open at.
    ViewRect asked(0, 0, 214, 620);
    EXPECT_EQ(view->onSize(&asked), kResultTrue);
    EXPECT_EQ(dims(asked), "428 x 1240");
    EXPECT_EQ(size(), "428 x 1240");

    // The user's zoom runs from 0.5 to 5 at every display scale.
    EXPECT_EQ(constrained(100), "214 x 620");
    EXPECT_EQ(constrained(1000), "345 x 1000");
    EXPECT_EQ(constrained(1860), "642 x 1860");
    EXPECT_EQ(constrained(99999), "2140 x 6200");

    EXPECT_EQ(scale->setContentScaleFactor(1.5f), kResultTrue);
    EXPECT_EQ(size(), "321 x 930");
    EXPECT_EQ(constrained(100), "160 x 465");
    EXPECT_EQ(scale->setContentScaleFactor(1.0f), kResultTrue);
    EXPECT_EQ(size(), "214 x 620");
    EXPECT_EQ(constrained(100), "107 x 310");
    EXPECT_EQ(scale->setContentScaleFactor(4.0f), kResultTrue);
    EXPECT_EQ(size(), "856 x 2480");
}

TEST_F(ViewScale, RefusesFactorsOutsideOneToFourAndKeepsTheSize) {
    ASSERT_EQ(scale->setContentScaleFactor(1.5f), kResultTrue);
    for (float bad : {0.0f, -2.0f, 0.5f, 0.99f, 4.001f, 8.0f, std::numeric_limits<float>::quiet_NaN(),
                      std::numeric_limits<float>::infinity()}) {
        EXPECT_EQ(scale->setContentScaleFactor(bad), kResultFalse) << bad;
        EXPECT_EQ(size(), "321 x 930") << bad;
    }
    EXPECT_EQ(constrained(100), "160 x 465");
}

#if SMTG_OS_WINDOWS
// The host's window frame: records what the editor asks for.
class RecordingFrame : public IPlugFrame {
public:
    std::vector<ViewRect> resizes;
    tresult PLUGIN_API resizeView(IPlugView*, ViewRect* r) override {
        resizes.push_back(*r);
        return kResultTrue;
    }
    tresult PLUGIN_API queryInterface(const TUID iid, void** obj) override {
        if (FUnknownPrivate::iidEqual(iid, IPlugFrame::iid) || FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
            *obj = this;
            return kResultOk;
        }
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }
};

std::string client_size(HWND window) {
    RECT r{};
    if (!window || !GetClientRect(window, &r)) return "no window";
    return std::to_string(r.right - r.left) + " x " + std::to_string(r.bottom - r.top);
}

// In a real window: the factor reaches the host as a resize request and the
// editor's own window follows it.
TEST_F(ViewScale, AttachedTheFactorResizesTheWindowThroughTheHost) {
    // What a host has done before it loads a plug-in: COM (the toolkit's
    // image factory) and, in the module's entry, the toolkit itself.
    static const bool toolkit =
        (CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), VSTGUI::init(GetModuleHandleW(nullptr)), true);
    (void)toolkit;
    HWND parent = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 1200, 1500, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (!parent) {
        // Under Wine without an X server there are no windows; the test run
        // gives it one and says so.
        if (std::getenv("RISER_TEST_WINDOWS")) FAIL() << "no window (error " << GetLastError() << ")";
        GTEST_SKIP() << "this system gives no window (error " << GetLastError() << ")";
    }
    RecordingFrame host;
    view->setFrame(&host);
    ASSERT_EQ(view->attached(parent, kPlatformTypeHWND), kResultTrue);
    HWND editor = GetWindow(parent, GW_CHILD);
    EXPECT_EQ(client_size(editor), "214 x 620");

    EXPECT_EQ(scale->setContentScaleFactor(2.0f), kResultTrue);
    ASSERT_FALSE(host.resizes.empty());
    EXPECT_EQ(dims(host.resizes.back()), "428 x 1240");
    EXPECT_EQ(size(), "428 x 1240");
    EXPECT_EQ(client_size(editor), "428 x 1240");
    EXPECT_EQ(scale->setContentScaleFactor(1.5f), kResultTrue);
    EXPECT_EQ(client_size(editor), "321 x 930");

    EXPECT_EQ(view->removed(), kResultOk);
    EXPECT_EQ(size(), "321 x 930");
    view->setFrame(nullptr);
    DestroyWindow(parent);
}
#endif

#else

TEST(ViewScale, NoEditorInThisBuild) { EXPECT_EQ(make_adapter()->createView("editor"), nullptr); }

#endif

}  // namespace
