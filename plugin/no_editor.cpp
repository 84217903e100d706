// Builds without the editor (no VSTGUI): createView answers no view.
#include "editor/create_editor.h"

namespace b2 {

Steinberg::IPlugView* create_editor(engine*) { return nullptr; }
bool editor_is_open(Steinberg::IPlugView*) { return false; }
void detach_editor(Steinberg::IPlugView*) {}

}  // namespace b2
