// The editor's routines behind the script's editor services. The script
// passes the editor back as the object it received with the hook.
#include <mutex>

#include "editor/ui_editor_base.h"
#include "engine/services.h"

namespace b2 {

namespace {

ui_editor_base* as_editor(void* p) { return static_cast<ui_editor_base*>(p); }

template <typename T>
T* as_ptr(uint64_t address) {
    return reinterpret_cast<T*>(static_cast<uintptr_t>(address));
}

int64_t open_routine(void* editor, void* parent, uint64_t platform_type) {
    if (!editor) return 0;
    return as_editor(editor)->native_open(parent, as_ptr<const VSTGUI::PlatformType>(platform_type)) ? 1 : 0;
}

int64_t close_routine(void* editor) {
    if (editor) as_editor(editor)->native_close();
    return 0;
}

int64_t notify_routine(void* editor, void* sender, const char* message) {
    if (!editor) return 0;
    return as_editor(editor)->native_notify(static_cast<VSTGUI::CBaseObject*>(sender), message);
}

int64_t begin_edit_routine(void* editor, void* control) {
    if (editor) as_editor(editor)->native_begin_edit(static_cast<VSTGUI::CControl*>(control));
    return 0;
}

int64_t end_edit_routine(void* editor, void* control) {
    if (editor) as_editor(editor)->native_end_edit(static_cast<VSTGUI::CControl*>(control));
    return 0;
}

int64_t value_changed_routine(void* editor, void* control) {
    if (editor) as_editor(editor)->native_value_changed(static_cast<VSTGUI::CControl*>(control));
    return 0;
}

int64_t update_status_routine(void* editor, void* frame, uint64_t point, uint64_t buttons) {
    if (editor)
        as_editor(editor)->update_status(static_cast<VSTGUI::CFrame*>(frame), as_ptr<const VSTGUI::CPoint>(point),
                                         as_ptr<const VSTGUI::CButtonState>(buttons));
    return 2;
}

void status_tick_routine(void* editor) {
    if (editor) as_editor(editor)->status_tick(true);
}

const editor_routines kRoutines = {
    open_routine,          close_routine,          notify_routine,        begin_edit_routine,
    end_edit_routine,      value_changed_routine,  update_status_routine, status_tick_routine,
};

}  // namespace

void register_editor_routines() {
    static std::once_flag once;
    std::call_once(once, [] { set_editor_routines(&kRoutines); });
}

}  // namespace b2
