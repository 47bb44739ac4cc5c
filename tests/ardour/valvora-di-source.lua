ardour {
	["type"]    = "dsp",
	name        = "Valvora DI Source",
	category    = "Utility",
	license     = "MIT",
	author      = "Kelmo",
	email       = "",
	site        = "",
	description = [[A deterministic stereo guitar DI for the Ardour suite: a plucked chord every second, a function of the transport position only, silent while the transport stands.]]
}

function dsp_ioconfig ()
	return { { audio_in = 2, audio_out = 2 } }
end

local rate = 48000

function dsp_init (r)
	rate = r
end

function dsp_run (ins, outs, n_samples)
	local rolling = Session:transport_rolling ()
	local start = Session:transport_sample ()
	for c = 1, #outs do
		local o = outs[c]:array ()
		for s = 1, n_samples do
			local v = 0.0
			if rolling then
				local t = (start + s - 1) / rate
				local e = math.exp (-3.0 * (t % 1.0))
				v = e * (0.35 * math.sin (2 * math.pi * 82.41 * t) + 0.25 * math.sin (2 * math.pi * 123.47 * t + c)
				         + 0.12 * math.sin (2 * math.pi * 329.63 * t))
			end
			o[s] = v
		end
	end
end
