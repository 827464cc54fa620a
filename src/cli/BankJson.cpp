#include "cli/BankJson.h"

#include "model/Modulator.h"
#include "model/ZedoDatabase.h"
#include "platform/Format.h"

namespace talmeru {

namespace {

using Json = nlohmann::ordered_json;

Json ModulatorsToJson(const std::vector<std::unique_ptr<Modulator>>& mods) {
    Json list = Json::array();
    for (const auto& m : mods) {
        Json inputs = Json::array();
        for (int i = 0; i < m->InputCount(); ++i)
            inputs.push_back(m->InputSource(i));
        list.push_back({{"id", m->Id()},
                        {"kind", m->KindName()},
                        {"subtype", m->SubtypeName()},
                        {"inputs", inputs}});
    }
    return list;
}

// JSON is UTF-8. A name, comment or path that is UTF-8 already (a bank built here from file
// names) stays as it is; anything else is a bank text in the Windows code page.
std::string Text(const std::string& bankText) {
    return IsUtf8(bankText) ? bankText : Cp1252ToUtf8(bankText);
}
std::string PathText(const std::string& path) {
    return IsUtf8(path) ? path : Cp1252ToUtf8(path);
}

// Wave data is referred to by its index in the bank's list.
Json WaveIndex(const ZedoDatabase& db, const WaveData* w) {
    int i = db.IndexOfWaveData(w);
    return i < 0 ? Json(nullptr) : Json(i);
}

}  // namespace

nlohmann::ordered_json BankToJson(ZedoDatabase& db) {
    Json j;
    j["path"] = PathText(db.Path());
    j["comment"] = Text(db.Comment());
    Json programs = Json::array(), keymaps = Json::array(), samples = Json::array(),
         waves = Json::array();
    for (int n = 0; n < kSlotCount; ++n) {
        if (Program* p = db.GetProgram(n)) {
            Json layers = Json::array();
            for (const auto& l : p->Layers())
                layers.push_back({{"index", l->Index()},
                                  {"keymap", l->keymap},
                                  {"keyLow", l->keyLow},
                                  {"keyHigh", l->keyHigh},
                                  {"velLow", l->velocityLow},
                                  {"velHigh", l->velocityHigh},
                                  {"pan", l->Pan()},
                                  {"stereo", l->StereoState()},
                                  {"modulators", ModulatorsToJson(l->Modulators())}});
            programs.push_back({{"number", n},
                                {"name", Text(p->Name())},
                                {"layers", layers},
                                {"modulators", ModulatorsToJson(p->Modulators())}});
        }
        if (Keymap* k = db.GetKeymap(n)) {
            Json entries = Json::array();
            for (const auto& e : k->entries)
                entries.push_back({{"top", e.topKey}, {"amp", e.amp}, {"sample", e.sample}});
            keymaps.push_back({{"number", n},
                               {"name", Text(k->Name())},
                               {"stereo", k->stereoRole},
                               {"entries", entries}});
        }
        if (SampleHeader* s = db.GetSampleHeader(n)) {
            samples.push_back({{"number", n},
                               {"name", Text(s->Name())},
                               {"stereo", s->stereoRole},
                               {"start", s->start},
                               {"loopStart", s->loopStart},
                               {"end", s->end},
                               {"pitch", s->pitch},
                               {"flags", s->flags},
                               {"waveData", WaveIndex(db, s->Wave())}});
        }
    }
    for (int i = 0; i < db.WaveDataCount(); ++i) {
        WaveData* w = db.GetWaveData(i);
        Json links = Json::array();
        for (const auto& l : w->links)
            links.push_back(l.number);
        waves.push_back({{"kind", w->Kind()},
                         {"base", w->base},
                         {"links", links},
                         {"path", PathText(w->path)},
                         {"channel", w->channel},
                         {"valid", w->valid}});
    }
    j["programs"] = programs;
    j["keymaps"] = keymaps;
    j["samples"] = samples;
    j["waveData"] = waves;
    return j;
}

}  // namespace talmeru
