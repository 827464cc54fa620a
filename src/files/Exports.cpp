#include "files/Exports.h"

#include "files/FileWaveData.h"
#include "model/ZedoDatabase.h"
#include "platform/FileUtil.h"
#include "platform/Format.h"
#include "platform/Prompter.h"

namespace talmeru {

namespace {

const char* const kRule70 =
    "; ----------------------------------------------------------------------\n";

std::string Title(const ZedoDatabase& db) {
    return db.Path().empty() ? std::string() : StemOf(db.Path());
}

// Windows tools read these files: every line ends with CR LF.
int WriteText(const std::string& path, const std::string& text) {
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') bytes.push_back('\r');
        bytes.push_back(static_cast<uint8_t>(c));
    }
    if (!WriteFileAtomic(path, bytes)) {
        ShowMessage(Fmt("Could not create \"%s\".", path.c_str()));
        return 1;
    }
    return 0;
}

}  // namespace

std::string InstrumentDefinitionText(ZedoDatabase& db) {
    const std::string title = Title(db);
    std::string t = std::string("\n") + kRule70 + "\n.Patch Names\n\n";
    for (int i = 0; i < kSlotCount; ++i) {
        if (i % 128 == 0) t += "\n[" + title + " Bank " + std::to_string(i / 128) + "]\n";
        if (Program* p = db.GetProgram(i)) t += std::to_string(i) + "=" + p->Name() + "\n";
    }
    t += "\n";
    t += std::string(kRule70) + "\n.Note Names\n\n" + kRule70 + "\n.Controller Names\n\n";
    t += "[MA-1 Controllers]\n0=0-Bank\n1=1-Modulation\n2=2-Breath\n4=4-Foot controller\n"
         "7=7-Volume\n8=8-Balance\n10=10-Pan\n11=11-Expression\n64=64-Pedal (sustain)\n"
         "66=66-Pedal (sostenuto)\n67=67-Pedal (soft)\n91=91-External Effects depth\n"
         "93=93-Chorus depth\n\n";
    t += std::string(kRule70) + "\n.RPN Names\n\n\n" + kRule70 + "\n.NRPN Names\n\n\n" + kRule70 +
         "\n.Instrument Definitions\n\n\n";
    t += "[Kurzweil MA-1 " + title + "]\n";
    t += "Control=MA-1 Controllers\n";
    for (int i = 0; i < 4; ++i)
        t += Fmt("Patch[%d]=%s Bank %d\n", i, title.c_str(), i);
    t += "Patch[*]=0..127\n";
    return t;
}

std::string BankReportText(ZedoDatabase& db) {
    const std::string rule(50, '=');
    std::string t = "Bank:     " + Title(db) + "\n" + "Filename: " + db.Path() + "\n" +
                    "Comments: " + db.Comment() + "\n";
    const char* heads[] = {"\n================== Programs =====================\n",
                           "\n\n\n================== Keymaps =====================\n",
                           "\n\n\n================== Sample Headers =====================\n"};
    const int types[] = {kTypeProgram, kTypeKeymap, kTypeSampleHeader};
    for (int s = 0; s < 3; ++s) {
        t += heads[s];
        t += Fmt("%3s %s\n", "Num", "Name") + rule + "\n";
        for (int n = 0; n < kSlotCount; ++n)
            if (BankObject* o = db.GetObject(types[s], n))
                t += Fmt("%3d %s\n", n, o->Name().c_str());
    }
    t += "\n\n\n================== Wave data =====================\n";
    t += Fmt("%8s %8s %s\n", "Format", "Bytes", "Name") + rule + "\n";
    for (int i = 0; i < db.WaveDataCount(); ++i) {
        WaveData* w = db.GetWaveData(i);
        t += Fmt("%8s %8d %s\n", w->FormatName().c_str(), static_cast<int>(w->Length()),
                 w->DisplayName().c_str());
    }
    return t;
}

int ExportInstrumentDefinition(ZedoDatabase& db, const std::string& path) {
    return WriteText(path, InstrumentDefinitionText(db));
}

int ExportBankReport(ZedoDatabase& db, const std::string& path) {
    return WriteText(path, BankReportText(db));
}

}  // namespace talmeru
