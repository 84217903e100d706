// Binding of the controls to the engine: user edits go to the host, engine
// values come back to the controls on every tick.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "editor/ui_editor_base.h"
#include "engine/engine.h"
#include "engine/script_bridge.h"
#include "engine/value_format.h"
#include "vstgui/lib/controls/ctextedit.h"

namespace b2 {

using namespace VSTGUI;

namespace {

uint64_t as_arg(const void* p) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p)); }

int tag_id(const CControl* control) { return static_cast<int>(static_cast<uint32_t>(control->getTag()) & kTagIdMask); }

bool host_param(int id) {
    const ParamDef* def = param_def(id);
    return def && (def->flags & PF_HOST);
}

// The user holds the control: a drag or click in progress, or a text entry
// open for typing.
bool user_holds(CControl* control) {
    if (control->isEditing()) return true;
    auto* entry = dynamic_cast<CTextEdit*>(control);
    return entry && entry->getPlatformTextEdit();
}

// The editor behind a text entry, when its listener is one with an engine.
ui_editor_base* editor_of(CControl* control) {
    auto* editor = dynamic_cast<ui_editor_base*>(control->getListener());
    return editor && editor->get_engine() ? editor : nullptr;
}

}  // namespace

// ---- listener entry points: through the script -----------------------------

void ui_editor_base::valueChanged(CControl* control) { hook(HOOK_VALUE_CHANGED, as_arg(control), 0, 0); }
void ui_editor_base::controlBeginEdit(CControl* control) { hook(HOOK_BEGIN_EDIT, as_arg(control), 0, 0); }
void ui_editor_base::controlEndEdit(CControl* control) { hook(HOOK_END_EDIT, as_arg(control), 0, 0); }

// ---- native reactions --------------------------------------------------------

void ui_editor_base::native_begin_edit(CControl* control) {
    if (!control) return;
    const int id = tag_id(control);
    if (id < kParamCount && host_param(id)) begin_edit(engine_ref, id);
}

void ui_editor_base::native_end_edit(CControl* control) {
    if (!control) return;
    const int id = tag_id(control);
    if (id < kParamCount && host_param(id)) end_edit(engine_ref, id);
}

void ui_editor_base::native_value_changed(CControl* control) {
    if (!control) return;
    const int id = tag_id(control);
    const float value = control->getValueNormalized();
    if (id >= kParamCount || !std::isfinite(value)) return;
    // An entry commit whose text was no number: the value stayed, nothing to report.
    if (ui_element* record = record_of(control); record && record->rejected) {
        record->rejected = 0;
        return;
    }
    // The plug-in takes the value from perform_edit; no bank is written here.
    if (host_param(id)) perform_edit(engine_ref, id, to_plain(id, value));
    for (uint32_t i = 0; i < element_count; ++i) {
        ui_element& el = elements[i];
        if (el.view != control) continue;
        el.held = 0;  // the user's value is newer than a change held meanwhile
        if (el.param && (el.param->flags & PF_UI_WRITE)) el.edited = 1;
    }
}

void ui_editor_base::refresh_controls(bool force) {
    if (!engine_ref) return;
    value_slot* bank = engine_ref->banks[BANK_EDITOR];
    // Take every flag before reading its value: a change the audio thread
    // makes meanwhile sets the flag again and is shown on the next tick
    // instead of being cleared unread.
    bool changed[kParamCount];
    for (int id = 0; id < kParamCount; ++id)
        changed[id] = bank[id].changed.exchange(0, std::memory_order_acquire) != 0;
    for (uint32_t i = 0; i < element_count; ++i) {
        ui_element& el = elements[i];
        if (el.id >= static_cast<uint32_t>(kParamCount) || !el.view) continue;
        const int id = static_cast<int>(el.id);
        if (!force && !changed[id] && !el.held) continue;
        const float value = to_normalized(id, bank[id].get());
        // A control the user holds keeps the user's value (a new value would
        // replace what is being typed or jump under the mouse): the change is
        // held and shown once the user lets go, unless an edit of the user's
        // own came after it (native_value_changed drops the hold).
        if (user_holds(el.view)) {
            el.held = 1;
            continue;
        }
        el.held = 0;
        // An edit that waits to be pushed wins too (an older pending value
        // echoed back would otherwise replace it before the push reads it).
        if (el.edited) continue;
        el.view->setValueNormalized(value);
        el.view->setDirty(true);
    }
}

void ui_editor_base::push_edited_values() {
    if (!engine_ref) return;
    for (uint32_t i = 0; i < element_count; ++i) {
        ui_element& el = elements[i];
        if (el.id >= static_cast<uint32_t>(kParamCount) || !el.edited) continue;
        const int id = static_cast<int>(el.id);
        if (engine_ref->banks[BANK_PENDING][id].is_changed()) continue;  // not consumed yet: next tick
        if (el.param && (el.param->flags & PF_UI_WRITE) && el.view)
            set_slot(engine_ref, BANK_PENDING, id, to_plain(id, el.view->getValueNormalized()));
        el.edited = 0;
    }
}

// Hosts record automation and undo only for values inside a gesture. All
// begins come first, so a command that sets several parameters is one
// gesture (one undo step where the host groups overlapping gestures).
void ui_editor_base::set_params_clamped(const param_edit* edits, uint32_t count) {
    if (!engine_ref || !edits) return;
    for (uint32_t i = 0; i < count; ++i)
        if (host_param(edits[i].id)) begin_edit(engine_ref, edits[i].id);
    for (uint32_t i = 0; i < count; ++i) {
        const ParamDef* def = param_def(edits[i].id);
        if (!def || !std::isfinite(edits[i].value)) continue;
        const float v = std::min(std::max(edits[i].value, def->minValue), def->maxValue);
        set_slot(engine_ref, BANK_PENDING, edits[i].id, v);
        perform_edit(engine_ref, edits[i].id, v);
    }
    for (uint32_t i = 0; i < count; ++i)
        if (host_param(edits[i].id)) end_edit(engine_ref, edits[i].id);
}

void ui_editor_base::set_param_clamped(int id, float value) {
    const param_edit edit{id, value};
    set_params_clamped(&edit, 1);
}

float ui_editor_base::current_param(int id) const { return global_value(engine_ref, id); }

// ---- text entries ----------------------------------------------------------------

void ui_editor_base::install_text_conversions(CTextEdit* edit) {
    edit->setValueToStringFunction([](float value, char text[256], CParamDisplay* display) {
        if (!editor_of(display)) return false;
        const int id = tag_id(display);
        if (id >= kParamCount) return false;  // the toolkit formats it
        format_value(id, to_plain(id, value), text);
        return true;
    });
    edit->setStringToValueFunction([](UTF8StringPtr text, float& result, CTextEdit* entry) {
        ui_editor_base* editor = editor_of(entry);
        if (!editor) return false;
        const int id = tag_id(entry);
        if (id >= kParamCount) {
            result = entry->getValue();
            return false;
        }
        // Text without a finite number keeps the value and shows its text
        // again; the commit that follows reports nothing.
        float plain = 0;
        const bool read = parse_finite_value(id, text ? text : "", &plain);
        if (ui_element* record = editor->record_of(entry)) record->rejected = !read;
        result = read ? to_normalized(id, plain) : entry->getValue();
        return true;
    });
}

}  // namespace b2
