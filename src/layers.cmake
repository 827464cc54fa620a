# The layers: every folder under src/, each with the folders it uses directly. A folder may use
# those and, through them, everything further down; nothing else. src/CMakeLists.txt builds one
# library per folder linking exactly these, and tools/check-layers.sh reads this list to judge
# every include, so the build and the check hold the same rule.
set(TALMERU_LAYERS
  "platform:"
  "model: platform"
  "synth: model"
  "files: synth"
  "voice: model"
  "emulator: voice"
  "cli: emulator files"
  "plugin: emulator files"
  "application: emulator files"
  "widgets: application"
  "editors: widgets"
  "wizards: widgets"
  "app: editors wizards")

# The folders with windows, the only ones that include Qt. Each keeps its windows' logic in
# classes without Qt, built into a library of its own with no Qt on its include path.
set(TALMERU_QT_LAYERS widgets editors wizards app)
