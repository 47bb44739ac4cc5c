-- The Ardour suite's render: a session on the "None (Dummy)" backend with one
-- stereo track whose DI comes from the "Valvora DI Source" Lua processor,
-- exported three times as 32-bit float WAV: the DI alone, through Valvora
-- QX70 with the Default program, and through it with Enable and Oversample
-- off. Environment: VALVORA_ARDOUR_DIR (work folder), VALVORA_MODULE_NAME.
local dir = os.getenv ("VALVORA_ARDOUR_DIR")
local backend = AudioEngine:set_backend ("None (Dummy)", "", "")
assert (AudioEngine:current_backend_name () == "Dummy", "no Dummy backend")
local s = create_session (dir .. "/session", "suite", 48000)
assert (s, "no session")

local tracks = s:new_audio_track (2, 2, nil, 1, "DI", ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true)
local track = tracks:front ()
local source = ARDOUR.LuaAPI.new_luaproc (s, "Valvora DI Source")
assert (not source:isnil (), "no DI source")
track:add_processor_by_index (source, 0, nil, true)

local function export (name)
	local e = s:simple_export ()
	e:set_range (0, 2 * 48000)  -- two seconds
	e:set_name (name)
	e:set_folder (dir)
	assert (e:set_preset ("ce8d88de-3405-5a87-b56e-0f2227f03e33"), "no export preset")
	assert (e:run_export (), "export failed: " .. name)
	-- The preset names the file after the export's label only: export.wav.
	assert (os.rename (dir .. "/export.wav", dir .. "/" .. name .. ".wav"), "no export.wav for " .. name)
	print ("exported " .. name)
end

export ("dry")

local plugin = ARDOUR.LuaAPI.new_plugin (s, "Valvora QX70", ARDOUR.PluginType.LXVST, "")
assert (not plugin:isnil (), "Valvora QX70 not found by Ardour")
track:add_processor_by_index (plugin, 1, nil, true)
local insert = plugin:to_insert ()
print ("plugin " .. insert:plugin (0):name () .. " by " .. insert:plugin (0):maker ()
       .. ", inputs " .. insert:input_streams ():n_audio () .. ", outputs " .. insert:output_streams ():n_audio ())
export ("default")

-- Enable is parameter 0, Oversample 10 (the default program has it off).
ARDOUR.LuaAPI.set_processor_param (plugin, 0, 0.0)
ARDOUR.LuaAPI.set_processor_param (plugin, 10, 0.0)
export ("bypass")

close_session ()
quit ()
