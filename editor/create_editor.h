// The one entry point the plug-in needs: a new editor window for an engine.
// Kept free of VSTGUI and SDK editor headers on purpose: the SDK's
// single-component effect renames the controller's state methods while it
// includes the controller headers, so a source that saw those headers first
// (through the editor) would disagree with the plug-in object's layout.
#pragma once

namespace Steinberg {
class IPlugView;
}

namespace b2 {

struct engine;

// A new editor (one reference, owned by the caller), or null when memory runs out.
Steinberg::IPlugView* create_editor(engine* e);
// Whether an editor made by create_editor is open in a window.
bool editor_is_open(Steinberg::IPlugView* view);
// Makes an editor made by create_editor let go of its engine for good, before
// the engine goes away: an open window loses its content, and the editor
// (its timer, its controls, a later attach) never touches the engine again.
void detach_editor(Steinberg::IPlugView* view);

}  // namespace b2
