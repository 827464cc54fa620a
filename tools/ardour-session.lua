-- Ardour 7 without a window (ardour7-lua), for tools/ardour-trial.sh. MODE=make: a session
-- on the dummy backend with one MIDI track holding Talmeru MA-1 (two audio outputs, the
-- plugin's own), three notes recorded from the virtual keyboard, saved. MODE=reopen: the
-- session loaded, its plugin named, saved again (the plugin's state written anew).
local dir = assert(os.getenv("SESS_DIR"), "SESS_DIR names no folder")
AudioEngine:set_backend("None (Dummy)", "", "")

local function make()
  assert(create_session(dir, "sess", 44100), "create_session failed")
  local info = ARDOUR.LuaAPI.new_plugin_info("urn:talmeru:ma1", ARDOUR.PluginType.LV2)
  assert(not info:isnil(), "Talmeru MA-1 not found on LV2_PATH")
  local tracks = Session:new_midi_track(ARDOUR.ChanCount(ARDOUR.DataType("midi"), 1),
    ARDOUR.ChanCount(ARDOUR.DataType("audio"), 2), true, info, nil, nil, 1, "Synth",
    ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true)
  local t = nil
  for tr in tracks:iter() do t = tr end
  local _, ports = Session:engine():get_ports(ARDOUR.DataType.midi(), ARDOUR.PortList())
  local keyboard = nil
  for p in ports[2]:iter() do if p:name():find("virtual%-keyboard") then keyboard = p end end
  t:input():disconnect_all(nil)
  t:input():midi(0):connect(keyboard:name())
  local out = keyboard:to_asyncmidiport()
  local function send(b1, b2, b3)
    local parser = ARDOUR.RawMidiParser()
    for _, b in ipairs({b1, b2, b3}) do
      if parser:process_byte(b) then out:write(parser:midi_buffer(), parser:buffer_size(), 0) end
    end
  end
  t:rec_enable_control():set_value(1, PBD.GroupControlDisposition.NoGroup)
  Session:maybe_enable_record(false)
  Session:request_roll(ARDOUR.TransportRequestSource.TRS_UI)
  ARDOUR.LuaAPI.usleep(500000)
  for _, key in ipairs({60, 64, 67}) do
    send(0x90, key, 100); ARDOUR.LuaAPI.usleep(500000)
    send(0x80, key, 0); ARDOUR.LuaAPI.usleep(300000)
  end
  Session:request_stop(false, false, ARDOUR.TransportRequestSource.TRS_UI)
  ARDOUR.LuaAPI.usleep(1000000)
  Session:disable_record(false, false)
  t:rec_enable_control():set_value(0, PBD.GroupControlDisposition.NoGroup)
  for r in t:playlist():region_list():iter() do
    print("region:", r:name(), r:length():samples() .. " frames")
  end
end

local function reopen()
  assert(load_session(dir, "sess"), "load_session failed")
  for r in Session:get_routes():iter() do
    local p = r:nth_plugin(0)
    if not p:isnil() then print("track:", r:name(), "plugin:", p:display_name()) end
  end
end

if os.getenv("MODE") == "reopen" then reopen() else make() end
Session:save_state("", false, false, false, false, false)
close_session()
print("saved")
