// An editor window against the instance's lifetime: the host terminates or
// releases the instance while the window is still open, and asks for a
// second editor while one is open.
#include "tests/editor_support.h"

using namespace editortest;

namespace {

class EditorLifetimeTest : public EditorTest {
protected:
    void TearDown() override {
        if (!adapter) adapter = b2test::make_adapter();  // the fixture's own tear-down needs one
        EditorTest::TearDown();
    }
};

}  // namespace

TEST_F(EditorLifetimeTest, TerminateWithTheEditorOpenLeavesItHarmless) {
    ASSERT_TRUE(open());
    tick(2);
    EXPECT_EQ(adapter->terminate(), kResultOk);
    EXPECT_EQ(editor->get_engine(), nullptr);
    EXPECT_FALSE(editor->editor_open());
    tick(3);  // the host's timer still fires until the window goes
    EXPECT_EQ(view->removed(), kResultOk);
    // A new life of the instance does not reach the old window.
    ASSERT_EQ(adapter->initialize(nullptr), kResultOk);
    tick();
    EXPECT_EQ(editor->get_engine(), nullptr);
}

TEST_F(EditorLifetimeTest, ReleasingTheInstanceWithTheEditorOpenNeverTouchesItsEngine) {
    ASSERT_TRUE(open());
    tick(2);
    adapter.reset();  // terminate and the host's last release: the engine is freed
    EXPECT_EQ(editor->get_engine(), nullptr);
    tick(3);  // under AddressSanitizer, any read of the freed engine fails here
    EXPECT_EQ(view->removed(), kResultOk);
}

TEST_F(EditorLifetimeTest, OneEditorAtATime) {
    ASSERT_TRUE(open());
    EXPECT_EQ(adapter->createView("editor"), nullptr);  // the open one shows every change
    EXPECT_EQ(editor->get_engine(), engine());

    // Once it is closed a new one can be made; the old one lets go of the engine.
    ASSERT_EQ(view->removed(), kResultOk);
    Steinberg::IPtr<Steinberg::IPlugView> second = Steinberg::owned(adapter->createView("editor"));
    ASSERT_TRUE(second);
    EXPECT_EQ(editor->get_engine(), nullptr);
    auto* second_editor = dynamic_cast<b2::ui_editor*>(second.get());
    ASSERT_NE(second_editor, nullptr);
    EXPECT_EQ(second_editor->get_engine(), engine());
    // The old view cannot open any more.
    EXPECT_NE(view->attached(parent.handle(), Steinberg::kPlatformTypeX11EmbedWindowID), kResultTrue);
}
