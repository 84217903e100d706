// Builds without the editor (no VSTGUI): createView answers no view.
#include "editor/create_editor.h"

namespace b2 {

Steinberg::IPlugView* create_editor(engine*) { return nullptr; }

}  // namespace b2
