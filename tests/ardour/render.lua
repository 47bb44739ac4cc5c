-- One render of the Ardour suite: a session on the "None (Dummy)" backend
-- with one stereo track whose DI comes from the "Valvora DI Source" Lua
-- processor (a function of the transport position, so every session renders
-- the same DI), exported as 32-bit float WAV to VALVORA_ARDOUR_DIR/NAME.wav.
-- VALVORA_RENDER names it: "dry" (the DI alone), "default" (through Valvora
-- QX70 with its Default program) or "bypass" (through it with Enable and
-- Oversample off). VALVORA_PLUGIN_TYPE says which build: "LXVST" (the VST
-- module, found by its name) or "LV2" (the bundle, found by its URI,
-- VALVORA_PLUGIN). One export per session: Ardour 7.3 corrupts its heap when
-- a second SimpleExport runs in the same process (seen under gdb), so the
-- suite starts one ardour7-lua per render.
local dir = os.getenv ("VALVORA_ARDOUR_DIR")
local name = os.getenv ("VALVORA_RENDER")
local lv2 = os.getenv ("VALVORA_PLUGIN_TYPE") == "LV2"
local wanted = lv2 and os.getenv ("VALVORA_PLUGIN") or "Valvora QX70"
local kind = lv2 and ARDOUR.PluginType.LV2 or ARDOUR.PluginType.LXVST
local backend = AudioEngine:set_backend ("None (Dummy)", "", "")
assert (AudioEngine:current_backend_name () == "Dummy", "no Dummy backend")
local s = create_session (dir .. "/session-" .. name, "suite", 48000)
assert (s, "no session")

tracks = s:new_audio_track (2, 2, nil, 1, "DI", ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true)
track = tracks:front ()
source = ARDOUR.LuaAPI.new_luaproc (s, "Valvora DI Source")
assert (not source:isnil (), "no DI source")
track:add_processor_by_index (source, 0, nil, true)

if name ~= "dry" then
	plugin = ARDOUR.LuaAPI.new_plugin (s, wanted, kind, "")
	assert (not plugin:isnil (), wanted .. " not found by Ardour")
	track:add_processor_by_index (plugin, 1, nil, true)
	insert = plugin:to_insert ()
	print ("plugin " .. insert:plugin (0):name () .. " by " .. insert:plugin (0):maker ()
	       .. ", inputs " .. insert:input_streams ():n_audio () .. ", outputs " .. insert:output_streams ():n_audio ())
	if name == "bypass" then
		-- Enable is parameter 0, Oversample 10 (in both builds: the LV2
		-- build's control ports come in parameter order).
		ARDOUR.LuaAPI.set_processor_param (plugin, 0, 0.0)
		ARDOUR.LuaAPI.set_processor_param (plugin, 10, 0.0)
	end
end

export = s:simple_export ()
export:set_range (0, 2 * 48000)  -- two seconds
export:set_name (name)
export:set_folder (dir)
assert (export:set_preset ("ce8d88de-3405-5a87-b56e-0f2227f03e33"), "no export preset")
assert (export:run_export (), "export failed: " .. name)
-- The preset names the file after the export's label only: export.wav.
assert (os.rename (dir .. "/export.wav", dir .. "/" .. name .. ".wav"), "no export.wav for " .. name)
print ("exported " .. name)

-- Every reference into the session goes before the session does: Lua would
-- otherwise collect the track list after close_session () had freed what it
-- points into.
tracks, track, source, plugin, insert = nil, nil, nil, nil, nil
collectgarbage ()
close_session ()
quit ()
