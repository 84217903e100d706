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

}  // namespace b2
