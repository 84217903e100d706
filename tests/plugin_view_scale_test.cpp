// The editor's display scale as a host reaches it before the window exists:
// createView, the content-scale interface, the size to open at and the size
// limits. Needs no window, so it runs in the Windows build too.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "tests/plugin_host.h"

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

#else

TEST(ViewScale, NoEditorInThisBuild) { EXPECT_EQ(make_adapter()->createView("editor"), nullptr); }

#endif

}  // namespace
