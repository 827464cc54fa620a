#include "app/HelpSections.h"

#include <cctype>
#include <sstream>

namespace talmeru {

const std::vector<HelpSection>& HelpSections() {
    static const std::vector<HelpSection> sections = {
        {"CMainFrame", "main-window"},
        {"CObjectBrowserFrame", "object-browser"},
        {"BrowserObject", "object-browser"},
        {"CBankFrame", "bank-editor"},
        {"BankEditor", "bank-editor"},
        {"CBankFileDialog", "opening-and-saving-banks"},
        {"CBankFileSaveDialog", "opening-and-saving-banks"},
        {"Sf2ImportDialog", "soundfont-import"},
        {"LayerEditorFrame", "program-and-layer-editor"},
        {"LayerEditor", "program-and-layer-editor"},
        {"ProgramTableWindow", "program-and-layer-editor"},
        {"CModulatorEditor", "modulators"},
        {"CEnvelopeCtrl", "envelope-editor"},
        {"KeymapPage", "keymap-editor"},
        {"CKeyMatrix", "keymap-editor"},
        {"SelectSampleDialog", "keymap-editor"},
        {"EditorSample", "sample-editor"},
        {"CWaveFileDialog", "sample-editor"},
        {"SpectrumDialog", "spectrum"},
        {"EditorFrameEffects", "effects-and-tuning"},
        {"CNewProgramDialog", "insert-rename-and-purge"},
        {"CNewKeymapDialog", "insert-rename-and-purge"},
        {"CNewLayerDialog", "insert-rename-and-purge"},
        {"CNewSampleDialog", "insert-rename-and-purge"},
        {"CRenumberDialog", "insert-rename-and-purge"},
        {"CRenameDialog", "insert-rename-and-purge"},
        {"CPurgeDialog", "insert-rename-and-purge"},
        {"DKWiz", "drum-kit-wizard"},
        {"TPWiz", "tonal-program-wizard"},
        {"MTWiz", "microtuning-wizard"},
        {"CMusicKeyboard", "virtual-keyboard"},
        {"CMidiDisplayCtrl", "virtual-keyboard"},
        {"PropertiesSheet", "properties"},
    };
    return sections;
}

std::string HelpAnchor(const std::string& heading) {
    std::string anchor;
    for (const unsigned char c : heading) {
        if (std::isalnum(c)) {
            anchor += char(std::tolower(c));
        } else if (c == ' ' || c == '-' || c == '_') {
            anchor += c == '_' ? '_' : '-';
        }
    }
    return anchor;
}

std::vector<std::string> HelpAnchors(const std::string& markdown) {
    std::vector<std::string> anchors;
    std::istringstream lines(markdown);
    bool fenced = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("```", 0) == 0) fenced = !fenced;
        if (fenced || line.empty() || line[0] != '#') continue;
        const size_t text = line.find_first_not_of('#');
        if (text == std::string::npos || line[text] != ' ') continue;
        anchors.push_back(HelpAnchor(line.substr(text + 1)));
    }
    return anchors;
}

std::string HelpAnchorFor(const std::vector<std::string>& classes) {
    for (const std::string& full : classes) {
        const size_t colon = full.rfind("::");
        const std::string name = colon == std::string::npos ? full : full.substr(colon + 2);
        for (const HelpSection& s : HelpSections())
            if (name == s.windowClass) return s.anchor;
    }
    return kManualStart;
}

}  // namespace talmeru
