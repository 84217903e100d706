// Binding of the controls to the engine: user edits go to the host, engine
// values come back to the controls on every tick.
#include <algorithm>
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

// A text entry whose platform editor is open: the user is typing into it.
bool entry_open(CControl* control) {
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
    if (id >= kParamCount) return;
    // The host echoes the value back into the banks; nothing is written here.
    if (host_param(id)) perform_edit(engine_ref, id, to_plain(id, value));
    for (uint32_t i = 0; i < element_count; ++i) {
        ui_element& el = elements[i];
        if (el.view != control) continue;
        el.held = 0;  // the user's value is newer than a change held for the entry
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
        // Setting the value of an open entry would replace what the user is
        // typing: the change waits until the entry closes.
        if (entry_open(el.view)) {
            el.held = 1;
            continue;
        }
        el.held = 0;
        // The user's value wins: a control being dragged, or one whose edit
        // waits to be pushed (an older pending value echoed back would
        // otherwise replace it before the push reads it).
        if (el.view->isEditing() || el.edited) continue;
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

void ui_editor_base::set_param_clamped(int id, float value) {
    const ParamDef* def = param_def(id);
    if (!def || !engine_ref) return;
    const float v = std::min(std::max(value, def->minValue), def->maxValue);
    set_slot(engine_ref, BANK_PENDING, id, v);
    perform_edit(engine_ref, id, v);
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
        if (!editor_of(entry)) return false;
        const int id = tag_id(entry);
        if (id >= kParamCount) {
            result = entry->getValue();
            return false;
        }
        float plain = 0;
        parse_value(id, text ? text : "", &plain);
        result = to_normalized(id, plain);
        return true;
    });
}

}  // namespace b2
