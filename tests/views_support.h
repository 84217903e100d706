// Shared by the view tests: VSTGUI set-up without a window system, an
// offscreen draw context that records the calls made on it, pixel reads and
// PNG output into the build tree.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "vstgui/lib/cbitmap.h"
#include "vstgui/lib/cfont.h"
#include "vstgui/lib/cgradient.h"
#include "vstgui/lib/controls/ccontrol.h"
#include "vstgui/lib/controls/icontrollistener.h"
#include "vstgui/lib/platform/iplatformfont.h"
#include "vstgui/lib/platform/linux/cairobitmap.h"
#include "vstgui/lib/platform/linux/cairocontext.h"
#include "vstgui/lib/platform/linux/linuxstring.h"
#include "vstgui/lib/vstguidebug.h"
#include "vstgui/lib/vstguiinit.h"

// fontconfig keeps its configuration caches until the process ends; the
// toolkit's font list never releases them. Not ours to fix.
extern "C" __attribute__((visibility("default"), used)) const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace viewtest {
using namespace VSTGUI;

// VSTGUI on Linux needs the module handle only to find a bundle's resource
// folder; the tests have none, so null. No X server is touched: drawing goes
// to cairo image surfaces and fonts come from fontconfig.
class Environment : public ::testing::Environment {
public:
    void SetUp() override {
        setAssertionHandler(&onAssert);
        VSTGUI::init(nullptr);
    }
    void TearDown() override {
        CFontDesc::cleanup();
        VSTGUI::exit();
    }

private:
    // Timers need the host's run loop, which a test does not have; every
    // other assertion of the toolkit is a test failure.
    static void onAssert(const char* file, const char* line, const char* desc) {
        if (desc && std::strstr(desc, "run loop")) return;
        ADD_FAILURE() << "VSTGUI assertion at " << file << ":" << line << ": " << (desc ? desc : "");
    }
};

inline ::testing::Environment* const kEnvironment = ::testing::AddGlobalTestEnvironment(new Environment);

struct DrawCall {
    enum Kind { kRect, kText, kGradient, kPath, kBitmap } kind;
    explicit DrawCall(Kind kind) : kind(kind) {}
    CRect rect;                       // kRect: the rectangle; kBitmap: destination
    CDrawStyle style = kDrawFilled;   // kRect
    CColor color;                     // kRect: fill or frame colour; kText: font colour
    std::string text;                 // kText
    CPoint point;                     // kText: where the painter puts the string
    CCoord textWidth = 0;             // kText
    CCoord lineWidth = 0;             // kPath, kRect
    int pathMode = 0;                 // kPath
    const void* object = nullptr;     // kGradient: the gradient; kBitmap: the bitmap
};

class RecordingContext;

// Font painter that records each string and hands it to the real painter.
class RecordingPainter : public IFontPainter {
public:
    RecordingPainter(const IFontPainter* inner, RecordingContext* owner) : inner(inner), owner(owner) {}
    void drawString(CDrawContext* context, IPlatformString* string, const CPoint& p,
                    bool antialias) const override;
    CCoord getStringWidth(CDrawContext* context, IPlatformString* string, bool antialias) const override {
        return inner->getStringWidth(context, string, antialias);
    }

private:
    const IFontPainter* inner;
    RecordingContext* owner;
};

// A font that draws with the real platform font through a recording painter.
class RecordingFont : public CFontDesc {
public:
    RecordingFont(CFontDesc* font, RecordingContext* owner)
        : CFontDesc(*font), inner(font), painter(inner->getFontPainter(), owner) {}
    const PlatformFontPtr getPlatformFont() const override { return inner->getPlatformFont(); }
    const IFontPainter* getFontPainter() const override {
        return inner->getFontPainter() ? &painter : nullptr;
    }

private:
    SharedPointer<CFontDesc> inner;
    RecordingPainter painter;
};

// A cairo offscreen context of w x h pixels (scale 1) that records fills,
// strokes, strings, gradients, paths and bitmaps.
class RecordingContext : public Cairo::Context {
public:
    static SharedPointer<RecordingContext> make(int width, int height) {
        auto bitmap = makeOwned<Cairo::Bitmap>(CPoint(width, height));
        return owned(new RecordingContext(bitmap));
    }

    std::vector<DrawCall> calls;
    int saves = 0;
    int restores = 0;
    int pathsCreated = 0;

    std::vector<DrawCall> callsOf(DrawCall::Kind kind) const {
        std::vector<DrawCall> out;
        for (const auto& c : calls)
            if (c.kind == kind) out.push_back(c);
        return out;
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& c : calls)
            if (c.kind == DrawCall::kText) out.push_back(c.text);
        return out;
    }

    void drawRect(const CRect& rect, const CDrawStyle style) override {
        DrawCall c(DrawCall::kRect);
        c.rect = rect;
        c.style = style;
        c.color = style == kDrawStroked ? getFrameColor() : getFillColor();
        c.lineWidth = getLineWidth();
        calls.push_back(c);
        Cairo::Context::drawRect(rect, style);
    }
    void setFont(const CFontRef font, const CCoord& size, const int32_t& style) override {
        Cairo::Context::setFont(font, size, style);
        auto& current = getCurrentState().font;
        if (current && !dynamic_cast<RecordingFont*>(current.get()))
            current = makeOwned<RecordingFont>(current.get(), this);
    }
    void fillLinearGradient(CGraphicsPath* path, const CGradient& gradient, const CPoint& start,
                            const CPoint& end, bool evenOdd, CGraphicsTransform* transform) override {
        DrawCall c(DrawCall::kGradient);
        c.rect = CRect(start, CPoint(end.x - start.x, end.y - start.y));
        c.object = &gradient;
        calls.push_back(c);
        Cairo::Context::fillLinearGradient(path, gradient, start, end, evenOdd, transform);
    }
    void drawGraphicsPath(CGraphicsPath* path, PathDrawMode mode, CGraphicsTransform* transform) override {
        DrawCall c(DrawCall::kPath);
        c.pathMode = mode;
        c.lineWidth = getLineWidth();
        c.color = getFrameColor();
        calls.push_back(c);
        Cairo::Context::drawGraphicsPath(path, mode, transform);
    }
    void drawBitmap(CBitmap* bitmap, const CRect& dest, const CPoint& offset, float alpha) override {
        DrawCall c(DrawCall::kBitmap);
        c.rect = dest;
        c.object = bitmap;
        calls.push_back(c);
        Cairo::Context::drawBitmap(bitmap, dest, offset, alpha);
    }
    CGraphicsPath* createGraphicsPath() override {
        ++pathsCreated;
        return Cairo::Context::createGraphicsPath();
    }
    void saveGlobalState() override {
        ++saves;
        Cairo::Context::saveGlobalState();
    }
    void restoreGlobalState() override {
        ++restores;
        Cairo::Context::restoreGlobalState();
    }

    void recordText(IPlatformString* string, const CPoint& p, CCoord width) {
        DrawCall c(DrawCall::kText);
        if (auto s = dynamic_cast<LinuxString*>(string)) c.text = s->get();
        c.point = p;
        c.textWidth = width;
        c.color = getFontColor();
        calls.push_back(c);
    }

    // The colour of pixel (x, y), straight from the surface.
    CColor pixel(int x, int y) {
        CColor color;
        if (auto access = owned(CBitmapPixelAccess::create(getBitmap()))) {
            if (access->setPosition(static_cast<uint32_t>(x), static_cast<uint32_t>(y)))
                access->getColor(color);
        }
        return color;
    }

    // Writes the surface to <build>/test-output/<name>.png for a person to look at.
    void save(const std::string& name) {
        std::string dir = RISER_TEST_OUTPUT_DIR;
        ::mkdir(dir.c_str(), 0755);
        cairo_surface_flush(getSurface());
        cairo_surface_write_to_png(getSurface(), (dir + "/" + name + ".png").c_str());
    }

private:
    // Cairo::Context wraps the bitmap in a `new CBitmap` that its shared
    // pointer then remembers a second time; drop the extra reference, or
    // every context leaks its surface.
    explicit RecordingContext(Cairo::Bitmap* bitmap) : Cairo::Context(bitmap) {
        if (getBitmap()) getBitmap()->forget();
    }
};

inline void RecordingPainter::drawString(CDrawContext* context, IPlatformString* string, const CPoint& p,
                                         bool antialias) const {
    owner->recordText(string, p, inner->getStringWidth(context, string, antialias));
    inner->drawString(context, string, p, antialias);
}

// Draws a view into a fresh recording context of the given size.
template <typename View>
SharedPointer<RecordingContext> render(View* view, int width, int height) {
    auto context = RecordingContext::make(width, height);
    context->beginDraw();
    view->draw(context);
    context->endDraw();
    return context;
}

// Records what a control reports to its listener.
struct ListenerLog : IControlListener {
    std::vector<float> values;
    int begins = 0;
    int ends = 0;
    void valueChanged(CControl* control) override { values.push_back(control->getValue()); }
    void controlBeginEdit(CControl*) override { ++begins; }
    void controlEndEdit(CControl*) override { ++ends; }
};

// Colour channels within `tolerance` of each other (cairo rounds blends).
inline ::testing::AssertionResult near(const CColor& actual, const CColor& expected, int tolerance = 1) {
    auto off = [tolerance](int a, int b) { return std::abs(a - b) > tolerance; };
    if (off(actual.red, expected.red) || off(actual.green, expected.green) || off(actual.blue, expected.blue) ||
        off(actual.alpha, expected.alpha))
        return ::testing::AssertionFailure()
               << "(" << int(actual.red) << ", " << int(actual.green) << ", " << int(actual.blue) << ", "
               << int(actual.alpha) << ") is not (" << int(expected.red) << ", " << int(expected.green) << ", "
               << int(expected.blue) << ", " << int(expected.alpha) << ")";
    return ::testing::AssertionSuccess();
}

}  // namespace viewtest
