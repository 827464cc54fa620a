#include "app/Properties.h"

#include "platform/Prompter.h"

namespace talmeru {

PropertyValues ReadProperties(TalmeruApp& app) {
    PropertyValues v;
    ZedoDatabase& bank = app.Bank();
    v.path = bank.Path();
    v.comment = bank.Comment();
    v.mergeWaveData = bank.MergeWaveData();
    v.loadWaveData = bank.LoadWaveData();
    v.purgeUnused = bank.PurgeUnused();
    v.convert15Bit = app.Synth().Link().Convert15Bit();
    v.misc = app.Options();
    v.synthOut = app.Synth().Link().SynthOutIndex();
    v.synthIn = app.Synth().Link().SynthInIndex();
    v.auditionIn = app.Synth().Link().AuditionInIndex();
    v.auditionEnabled = app.Settings().GetInt("Audition", "InEnabled", 1) == 1;
    v.sampleRamMiB = app.Synth().SampleRamMiB();
    return v;
}

bool ApplyProperties(TalmeruApp& app, const PropertyValues& v, bool& ok) {
    ok = true;
    bool changed = false;
    Profile& s = app.Settings();
    ZedoDatabase& bank = app.Bank();
    MidiSynthLink& link = app.Synth().Link();

    bank.SetComment(v.comment);
    if (v.mergeWaveData != bank.MergeWaveData())
        s.WriteBool("Options", "MergeWaveData", v.mergeWaveData);
    if (v.loadWaveData != bank.LoadWaveData())
        s.WriteBool("Options", "LoadWaveData", v.loadWaveData);
    if (v.purgeUnused != bank.PurgeUnused()) s.WriteBool("Options", "PurgeUnused", v.purgeUnused);
    app.ApplyBankOptions();
    link.SetConvert15Bit(v.convert15Bit);

    MiscOptions& misc = app.Options();
    changed |= misc.numberStyle != v.misc.numberStyle || misc.bankPrefix != v.misc.bankPrefix;
    misc = v.misc;
    misc.Write(s);

    const int out = link.SynthOutIndex();
    const int in = link.SynthInIndex();
    if (v.synthOut < 0 || link.SelectSynthOut(v.synthOut) != 0) {
        ShowMessage("Your selection for MA-1 device (play) is invalid");
    } else {
        s.WriteString("Device", "SynthOut", link.SynthOutName());
    }
    if (v.synthIn < 0 || link.SelectSynthIn(v.synthIn) != 0) {
        ShowMessage("Your selection for MA-1 device (return) is invalid");
    } else {
        s.WriteString("Device", "SynthIn", link.SynthInName());
    }
    changed |= out != link.SynthOutIndex() || in != link.SynthInIndex();
    if (link.QueryMemory(0) != 0) {
        ShowMessage(
            "Error communicating with MA-1. Perhaps you have not selected a valid MA-1 device for "
            "BOTH input and output.");
    } else {
        link.QueryMemory(1);
        link.QueryIdentity();
    }
    if (v.auditionIn < 0 || link.SelectAuditionIn(v.auditionIn) != 0) {
        ShowMessage("Your selection for Audition device is invalid");
        ok = false;
    } else {
        s.WriteString("Device", "AuditionIn", link.AuditionInName());
        app.Synth().SetAuditionInEnabled(v.auditionEnabled);
    }
    app.SetSampleRamMiB(v.sampleRamMiB);
    s.Save();
    return changed;
}

}  // namespace talmeru
