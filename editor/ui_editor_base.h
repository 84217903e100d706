// ui_editor_base: the plug-in window on the SDK's VSTGUIEditor. It routes the
// window's events through the editor-side script hook, owns the frame, the
// page containers, the run-time copy of the element table and the decoded
// images, and binds the views to the engine's parameters.
#pragma once

#include <cstdint>

#include "editor/ui_element.h"
#include "editor/ui_page.h"
#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "public.sdk/source/vst/vstguieditor.h"
#include "views/embedded_images.h"
#include "vstgui/lib/cframe.h"
#include "vstgui/lib/controls/icontrollistener.h"

namespace VSTGUI {
class CViewContainer;
class CTextEdit;
}

namespace b2 {

struct engine;

constexpr int kMaxPages = 8;
constexpr int kTimerPeriodMs = 33;
constexpr int kStatusTextSize = 256;

class ui_editor_base : public Steinberg::Vst::VSTGUIEditor,
                       public Steinberg::IPlugViewContentScaleSupport,
                       public VSTGUI::IControlListener,
                       public VSTGUI::IMouseObserver,
                       public VSTGUI::IKeyboardHook,
                       public wheel_observer {
public:
    using tresult = Steinberg::tresult;
    using ViewRect = Steinberg::ViewRect;

    explicit ui_editor_base(engine* e);
    ~ui_editor_base() override;

    // VSTGUIEditor: both go through the script hook.
    bool PLUGIN_API open(void* parent, const VSTGUI::PlatformType& platformType) override;
    void PLUGIN_API close() override;
    VSTGUI::CMessageResult notify(VSTGUI::CBaseObject* sender, const char* message) override;

    // IPlugView size handling (not through the script).
    tresult PLUGIN_API getSize(ViewRect* size) override;
    tresult PLUGIN_API onSize(ViewRect* newSize) override;
    tresult PLUGIN_API canResize() override;
    tresult PLUGIN_API checkSizeConstraint(ViewRect* rect) override;

    // IPlugViewContentScaleSupport: the host's display scale, 1 to 4. It
    // multiplies the user's own zoom; an open window asks the host for its
    // new size. Other values are refused and change nothing.
    tresult PLUGIN_API setContentScaleFactor(ScaleFactor factor) override;

    DEFINE_INTERFACES
        DEF_INTERFACE(Steinberg::IPlugViewContentScaleSupport)
    END_DEFINE_INTERFACES(VSTGUIEditor)
    REFCOUNT_METHODS(VSTGUIEditor)

    // IControlListener
    void valueChanged(VSTGUI::CControl* control) override;
    void controlBeginEdit(VSTGUI::CControl* control) override;
    void controlEndEdit(VSTGUI::CControl* control) override;

    // IMouseObserver (points in the frame's unzoomed coordinates). Mouse
    // moves and presses first run the resize grip, then the script hook.
    void onMouseEntered(VSTGUI::CView* view, VSTGUI::CFrame* frame) override;
    void onMouseExited(VSTGUI::CView* view, VSTGUI::CFrame* frame) override;
    VSTGUI::CMouseEventResult onMouseMoved(VSTGUI::CFrame* frame, const VSTGUI::CPoint& where,
                                           const VSTGUI::CButtonState& buttons) override;
    VSTGUI::CMouseEventResult onMouseDown(VSTGUI::CFrame* frame, const VSTGUI::CPoint& where,
                                          const VSTGUI::CButtonState& buttons) override;

    // The resize grip, with the point as the frame receives it (zoomed).
    VSTGUI::CMouseEventResult early_mouse(const VSTGUI::CPoint& where, const VSTGUI::CButtonState& buttons);
    // Wheel events reaching a page update the status line.
    void mouse_wheel(const VSTGUI::CPoint& where, const VSTGUI::CButtonState& buttons) override;

    // IKeyboardHook: keys belong to the host.
    int32_t onKeyDown(const VstKeyCode& code, VSTGUI::CFrame* frame) override;
    int32_t onKeyUp(const VstKeyCode& code, VSTGUI::CFrame* frame) override;

    // The native reactions behind the editor services of the script.
    bool native_open(void* parent, const VSTGUI::PlatformType* platformType);
    void native_close();
    VSTGUI::CMessageResult native_notify(VSTGUI::CBaseObject* sender, const char* message);
    void native_begin_edit(VSTGUI::CControl* control);
    void native_end_edit(VSTGUI::CControl* control);
    void native_value_changed(VSTGUI::CControl* control);
    void update_status(VSTGUI::CFrame* frame, const VSTGUI::CPoint* where, const VSTGUI::CButtonState* buttons);
    void status_tick(bool countdown);

    // Pages and views.
    void show_page(uint8_t page);
    VSTGUI::CControl* find_view(uint32_t tag) const;

    // Parameter access for the command buttons. Every call is one gesture for
    // the host: a begin for each parameter, the values, then an end for each.
    struct param_edit {
        int id;
        float value;
    };
    void set_params_clamped(const param_edit* edits, uint32_t count);
    void set_param_clamped(int id, float value);
    float current_param(int id) const;

    // Editor bank -> controls; `force` refreshes every control.
    void refresh_controls(bool force);
    // Controls of editor-owned parameters -> pending bank.
    void push_edited_values();

    // State, for the owner and for tests.
    engine* get_engine() const { return engine_ref; }
    // Closes the window content if open and forgets the engine (see detach_editor).
    void release_engine();
    ui_element* element_records() const { return elements; }
    uint32_t element_records_size() const { return element_count; }
    uint8_t get_current_page() const { return current_page; }
    VSTGUI::CViewContainer* page(uint8_t p) const { return p < page_count ? pages[p] : nullptr; }
    bool editor_open() const { return is_open != 0; }

    // Builds the frame and its content without a window, at `zoom`, for
    // pictures of the pages (no timer, no host). close_offscreen() tears it down.
    bool build_offscreen(double zoom);
    void close_offscreen() { native_close(); }
    // What one timer tick does for the meters: new snapshots into the views.
    void refresh_meters_now() { refresh_meters(); }
    bool grip_in_progress() const { return grip_active != 0; }
    VSTGUI::CCursorType grip_cursor() const { return cursor; }
    const image_slots& get_images() const { return images; }

protected:
    tresult PLUGIN_API attached(void* parent, Steinberg::FIDString type) override;

    virtual void build() = 0;
    virtual void before_close() = 0;
    virtual void refresh_meters() = 0;
    virtual VSTGUI::CControl* create_custom_element(const ui_element& element) = 0;

    // Build steps used by `build`.
    bool copy_element_table();
    void free_element_table();
    void create_pages(uint8_t count);
    void decode_images();
    void release_images();
    void create_views();
    VSTGUI::CControl* create_element(const ui_element& element);
    void install_text_conversions(VSTGUI::CTextEdit* edit);

    // The first record whose view is `view`, or null.
    ui_element* record_of(const VSTGUI::CView* view) const;
    VSTGUI::CControl* status_view() const;

    // Runs the editor-side hook with this editor as the object; 0 without an engine.
    int64_t hook(int64_t code, uint64_t a, uint64_t b, uint64_t c);

    engine* engine_ref;
    image_slots images;
    ui_element* elements = nullptr;
    VSTGUI::CViewContainer* pages[kMaxPages] = {};
    uint8_t page_count = 0;
    uint8_t current_page = 0;
    uint8_t pages_built = 0;
    uint8_t grip_button_down = 0;
    uint8_t grip_active = 0;
    VSTGUI::CPoint grip_start_point;
    VSTGUI::CRect grip_start_rect;
    int32_t grip_start_width = 0;
    int32_t grip_start_height = 0;
    uint8_t host_asked_can_resize = 0;
    uint8_t host_is_element = 0;
    uint32_t element_count = 0;
    uint8_t is_open = 0;
    VSTGUI::CView* capture_view = nullptr;

private:
    VSTGUI::CCursorType cursor = VSTGUI::kCursorDefault;  // last cursor the grip set
    double content_scale = 1.0;  // the host's display scale
    double user_zoom = 1.0;      // the user's zoom at display scale 1 (0.5 to 5 through the limits)
    uint32_t size_calls = 0;     // onSize calls so far (did the host answer a request?)

    // The window's size for the user's zoom at the display scale.
    ViewRect scaled_size() const;
    // The frame at `size`: the pages keep their 214 x 620 layout, the zoom fits them in.
    void fit_frame(const ViewRect& size);

    void on_timer();
    VSTGUI::CMouseEventResult mouse_event(int64_t code, VSTGUI::CFrame* frame, const VSTGUI::CPoint& where,
                                          const VSTGUI::CButtonState& buttons);
    void set_cursor(VSTGUI::CCursorType type);
    void run_grip(const VSTGUI::CPoint& where, bool left);
    bool open_platform_frame(void* parent, VSTGUI::PlatformType type);
};

// Registers the editor's routines with the script services (once per process).
void register_editor_routines();

}  // namespace b2
