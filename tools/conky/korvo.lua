-- Korvo news meters in Conky. korvo.so and libkorvo.so lie beside this file.
-- In the Conky config:
--
--   conky.config = {
--     lua_load = '/path/to/korvo.lua',
--     lua_startup_hook = 'korvo_setup /path/to/host.ini',  -- default: host.ini here
--     lua_shutdown_hook = 'korvo_shutdown',
--     text_buffer_size = 2048,   -- lua_parse shows at most this many bytes
--   }
--   conky.text = [[
--   ${lua_parse korvo SECTION}       the meter of that section of host.ini
--   ${lua_parse korvo_tip SECTION}   its tooltip
--   ]]
--
-- Each section of host.ini is a meter: Function and Param (the plug-in's
-- query and its parameter), the plug-in's settings (NewsSite ...), and
-- Width, the most characters a line of the meter shows: a longer line ends
-- with "…" (Width=52 fits 440 pixels of DejaVu Sans Mono 10). Without Width
-- (or Width=0) lines are shown whole.
local here = debug.getinfo(1, "S").source:match("^@(.*/)") or "./"
-- By its path, not through package.cpath: no other korvo.so can stand in.
local korvo = assert(package.loadlib(here .. "korvo.so", "luaopen_korvo"))()

-- Conky hands the words of a hook or ${lua_parse} one by one; a section
-- name or a path with blanks comes back whole.
local function words(...)
  return table.concat({...}, " ")
end

function conky_korvo_setup(...)
  korvo.setup(words(...))
end

function conky_korvo(...)
  return korvo.text(words(...))
end

function conky_korvo_tip(...)
  return korvo.tooltip(words(...))
end

function conky_korvo_shutdown()
  korvo.shutdown()
end

return korvo
