-- Riser's embedded script.
--
-- The native side raises numbered hooks: `dui` on the editor side and `drt` on
-- the audio side, each called as hook(engine, code, object, a, b, c). This
-- script gives every hook the built-in behaviour by passing it to the native
-- service of the same code through `dlo(table, engine, code, a1, a2, a3, a4)`,
-- where table 1 holds the editor services and table 2 the engine services.
-- Whatever a hook returns goes back to the native caller as an integer.

local EDITOR_SERVICES = 1
local ENGINE_SERVICES = 2

-- Editor-side hooks, all served by the editor service of the same code.
local editor_hooks = {
  [828544] = true, -- open the editor: parent window, platform type
  [373712] = true, -- close the editor
  [705104] = true, -- notification (the 33 ms timer among others): sender, message
  [647392] = true, -- a control begins an edit
  [691072] = true, -- a control ends an edit
  [832944] = true, -- a control's value changed
  [761248] = true, -- mouse entered a view
  [769936] = true, -- mouse left a view
  [775104] = true, -- mouse moved: frame, position, buttons
  [705120] = true, -- mouse pressed: frame, position, buttons
}

-- Hook codes that answer 0 without a service.
local TIMER_TICK_END = 627280 -- end of an editor timer tick
local PROCESS_CALL = 143040   -- start of every audio process call

-- Audio-side hooks and the engine service that answers each.
local engine_hooks = {
  [212016] = 212016, -- write the state into the host stream
  [240976] = 240976, -- read the state from the host stream
  [598544] = 598560, -- a level detector publishes: compute its readouts
}

function dui(engine, code, object, a, b, c)
  if code == TIMER_TICK_END or not editor_hooks[code] then
    return 0
  end
  return dlo(EDITOR_SERVICES, engine, code, object, a, b, c)
end

function drt(engine, code, object, a, b, c)
  if code == PROCESS_CALL then
    return 0
  end
  local service = engine_hooks[code]
  if not service then
    return 0
  end
  return dlo(ENGINE_SERVICES, engine, service, object, a, b, c)
end
