// Lifecycle of the editor: open and close through the script hook, the
// 33 ms tick, the pages and the run-time copy of the element table.
#include "editor/ui_editor_base.h"

#include <cstring>
#include <memory>

#include "dsp/tagged_buffer.h"
#include "editor/create_editor.h"
#include "editor/x11_drawing_device.h"
#include "engine/engine.h"
#include "engine/script_bridge.h"
#include "vstgui/lib/cvstguitimer.h"
#include "vstgui/lib/cviewcontainer.h"

#if SMTG_OS_LINUX
#include "editor/host_run_loop.h"
#endif

#if SMTG_OS_LINUX && defined(__GNUC__)
// The SDK's editor base registers VSTGUI's initialisation with the module
// support, which reads the module handle that the module's entry code
// defines. Programs that link the editor without being a module (the tests)
// get this fallback; the module's own definition takes precedence.
__attribute__((weak)) void* moduleHandle = nullptr;
#endif

namespace b2 {

using namespace VSTGUI;
using Steinberg::kResultFalse;
using Steinberg::kResultOk;
using Steinberg::kResultTrue;

namespace {
uint64_t as_arg(const void* p) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)); }
}  // namespace

ui_editor_base::ui_editor_base(engine* e) : VSTGUIEditor(nullptr, nullptr), engine_ref(e) {
    rect = ViewRect(0, 0, kEditorWidth, kEditorHeight);
    register_editor_routines();
}

ui_editor_base::~ui_editor_base() { free_element_table(); }

void ui_editor_base::release_engine() {
    // Taken off the window as the host would: the timer stops while the
    // window's run loop still exists, then the editor closes.
    if (is_open) VSTGUIEditor::removed();
    if (frame) native_close();
    engine_ref = nullptr;  // every hook and binding answers nothing from now on
}

bool editor_is_open(Steinberg::IPlugView* view) {
    return view && static_cast<ui_editor_base*>(view)->editor_open();
}

void detach_editor(Steinberg::IPlugView* view) {
    if (view) static_cast<ui_editor_base*>(view)->release_engine();
}

int64_t ui_editor_base::hook(int64_t code, uint64_t a, uint64_t b, uint64_t c) {
    if (!engine_ref) return 0;
    return call_hook(SIDE_EDITOR, engine_ref, code, as_arg(static_cast<ui_editor_base*>(this)), a, b, c);
}

Steinberg::tresult PLUGIN_API ui_editor_base::attached(void* parent, Steinberg::FIDString type) {
    // The SDK base does not check the window type on every platform.
    if (!type || isPlatformTypeSupported(type) != kResultTrue) return kResultFalse;
    tresult result = VSTGUIEditor::attached(parent, type);
    if (result == kResultOk && !is_open) {
        // The editor did not open: do not tell the host it is attached.
        EditorView::removed();
        return kResultFalse;
    }
    return result;
}

bool PLUGIN_API ui_editor_base::open(void* parent, const PlatformType& platformType) {
    return hook(HOOK_OPEN, as_arg(parent), as_arg(&platformType), 0) != 0;
}

void PLUGIN_API ui_editor_base::close() { hook(HOOK_CLOSE, 0, 0, 0); }

CMessageResult ui_editor_base::notify(CBaseObject* sender, const char* message) {
    int64_t r = hook(HOOK_NOTIFY, as_arg(sender), as_arg(message), 0);
    return r == kMessageNotified ? kMessageNotified : kMessageUnknown;
}

bool ui_editor_base::native_open(void* parent, const PlatformType* platformType) {
    if (frame) return false;  // already open
    host_is_element = engine_ref && std::memcmp(engine_ref->host_name, "Element", 8) == 0;
    // The pages are laid out at 214 x 620 whatever the window's size; the
    // frame's zoom then fits them into the size stored by an earlier onSize,
    // grip drag or display scale.
    if (rect.getHeight() <= 0 || rect.getWidth() <= 0) rect = scaled_size();
    frame = new CFrame(CRect(0, 0, kEditorWidth, kEditorHeight), this);
    frame->setBackgroundColor(palette::kWhite);
    build();
    fit_frame(rect);
    if (!open_platform_frame(parent, platformType ? *platformType : PlatformType::kDefaultNative)) {
        native_close();
        return false;
    }
    x11_window_opened();
    frame->registerMouseObserver(this);
    frame->registerKeyboardHook(this);
    setIdleRate(kTimerPeriodMs);
    is_open = 1;
    return true;
}

bool ui_editor_base::open_platform_frame(void* parent, PlatformType type) {
    IPlatformFrameConfig* config = nullptr;
#if SMTG_OS_LINUX
    // X11 windows need the host's run loop for their events and timers.
    auto loop = host_run_loop::from_plug_frame(plugFrame);
    if (!loop) return false;
    X11::FrameConfig x11;
    x11.runLoop = loop;
    config = &x11;
#endif
    return frame->open(parent, type, config);
}

bool ui_editor_base::build_offscreen(double zoom) {
    if (frame || !(zoom > 0.0)) return false;
    frame = new CFrame(CRect(0, 0, kEditorWidth, kEditorHeight), this);
    frame->setBackgroundColor(palette::kWhite);
    build();
    if (zoom != 1.0) frame->setZoom(zoom);
    return true;
}

void ui_editor_base::native_close() {
    is_open = 0;
    if (frame) {
        before_close();
        frame->unregisterMouseObserver(this);
        frame->unregisterKeyboardHook(this);
        for (uint8_t p = 0; p < page_count; ++p) {
            CViewContainer* container = pages[p];
            if (!container) continue;
            if (frame->isChild(container)) frame->removeView(container, false);
            container->removeAll(true);
            container->forget();  // the editor's own reference, held since create_pages
            pages[p] = nullptr;
        }
        if (frame->isAttached()) x11_window_closing();
        frame->close();  // releases the frame
        frame = nullptr;
    }
    page_count = 0;
    current_page = 0;
    pages_built = 0;
    capture_view = nullptr;  // the views are gone
    grip_active = 0;
    grip_button_down = 0;
    for (auto& slot : images) slot = image_slot{};
    free_element_table();
}

CMessageResult ui_editor_base::native_notify(CBaseObject* sender, const char* message) {
    const char* timer = CVSTGUITimer::kMsgTimer;
    if (message && (message == timer || std::strcmp(message, timer) == 0)) {
        on_timer();
        message = timer;  // the base recognises the timer by its address
    }
    return VSTGUIEditor::notify(sender, message);
}

void ui_editor_base::on_timer() {
    if (!is_open) return;
    // The editor's own edits show now even when the host does not process;
    // a running block loop may have taken them already.
    propagate_pending(engine_ref);
    refresh_controls(false);
    refresh_meters();
    push_edited_values();
    if (engine_ref)
        call_hook(SIDE_EDITOR, engine_ref, HOOK_TICK_END, as_arg(engine_ref), as_arg(static_cast<ui_editor_base*>(this)),
                  0, 0);
}

// ---- pages, records, images -------------------------------------------------

bool ui_editor_base::copy_element_table() {
    free_element_table();
    const uint32_t count = element_table_size();
    void* block = nullptr;
    tagged_buffer_resize(&block, static_cast<uint32_t>(count * sizeof(ui_element)));
    if (!block) return false;
    elements = static_cast<ui_element*>(block);
    std::uninitialized_copy(element_table(), element_table() + count, elements);
    element_count = count;
    return true;
}

void ui_editor_base::free_element_table() {
    if (!elements) return;
    std::destroy(elements, elements + element_count);
    void* block = elements;
    tagged_buffer_resize(&block, 0);
    elements = nullptr;
    element_count = 0;
}

void ui_editor_base::create_pages(uint8_t count) {
    if (count > kMaxPages) count = kMaxPages;
    page_count = count;
    current_page = 0;
    for (uint8_t p = 0; p < count; ++p) pages[p] = new ui_page(frame->getViewSize(), this);
}

void ui_editor_base::show_page(uint8_t p) {
    if (!frame || p >= page_count || !pages[p]) return;
    CViewContainer* shown = current_page < page_count ? pages[current_page] : nullptr;
    if (shown && frame->isChild(shown)) frame->removeView(shown, false);
    current_page = p;
    pages_built = 1;
    frame->addView(pages[p]);
}

CControl* ui_editor_base::find_view(uint32_t tag) const {
    for (uint32_t i = 0; i < element_count; ++i) {
        CControl* v = elements[i].view;
        if (v && static_cast<uint32_t>(v->getTag()) == tag) return v;
    }
    return nullptr;
}

ui_element* ui_editor_base::record_of(const CView* view) const {
    if (!view) return nullptr;
    for (uint32_t i = 0; i < element_count; ++i)
        if (elements[i].view == view) return &elements[i];
    return nullptr;
}

CControl* ui_editor_base::status_view() const {
    for (uint32_t i = 0; i < element_count; ++i) {
        CControl* v = elements[i].view;
        if (v && static_cast<uint32_t>(v->getTag()) == UI_STATUS) return v;
    }
    return nullptr;
}

void ui_editor_base::decode_images() { b2::decode_images(images); }

void ui_editor_base::release_images() {
    const image_entry* table = image_table();
    for (int i = 0; i < image_count(); ++i) {
        const int slot = table[i].slot;
        if (slot >= 0 && slot < IMAGE_SLOT_COUNT) images[static_cast<size_t>(slot)].bitmap = nullptr;
    }
}

}  // namespace b2
