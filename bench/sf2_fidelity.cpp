// How close talmeru-cli's rendering of a converted SoundFont comes to FluidSynth's rendering
// of the SoundFont itself, for bench/sf2_fidelity.sh:
//   sf2_fidelity probes OUT.mid          the probe song (see fidelity/Probes.h)
//   sf2_fidelity analyse NAME FLUID_PROBES.wav TALMERU_PROBES.wav FLUID_SONG.wav
//                TALMERU_SONG.wav [--convert SECONDS KB] [--convert-targets]
//                                        one table of figures and PASS/FAIL per target;
//                                        "-" for a render talmeru-cli could not make
//   sf2_fidelity check [SINE440.wav SINE262.wav]   the measures on signals with known answers
// The figures are a benchmark, not a test: the exit status only says whether it could run.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "fidelity/Measures.h"
#include "fidelity/Probes.h"

using namespace fidelity;

int RunSelfCheck(const std::vector<std::string>& sineFiles);  // fidelity/SelfCheck.cpp

namespace {

constexpr double kSoundsDb = -60;  // a probe "sounds" when its peak rises above this

struct Tally {
    int pass = 0, fail = 0;
    const char* Mark(bool ok) {
        ++(ok ? pass : fail);
        return ok ? "PASS" : "FAIL";
    }
};

// The two renders of the probe song, each lined up with the probe table.
struct Renders {
    const Audio* fluid;
    const Audio* talmeru;  // null when talmeru-cli could not render the SoundFont
};

Span Held(const Probe& p) { return SpanMs(p.onMs, p.offMs); }

std::vector<const Probe*> OfKind(const std::vector<Probe>& probes, ProbeKind kind) {
    std::vector<const Probe*> out;
    for (const Probe& p : probes)
        if (p.kind == kind) out.push_back(&p);
    return out;
}

const Probe* ProgramProbe(const std::vector<Probe>& probes, ProbeKind kind, int program) {
    for (const Probe& p : probes)
        if (p.kind == kind && p.program == program) return &p;
    return nullptr;
}

// FluidSynth's file renderer may start a block late; its first piano note tells by how much.
long TimelineOffset(const Audio& a, const Probe& first) {
    const Span s = SpanMs(first.onMs - 50, first.onMs + 200);
    for (size_t i = s.begin; i < std::min(s.end, a.Frames()); ++i)
        if (std::fabs(a.left[i]) > 3e-3f || std::fabs(a.right[i]) > 3e-3f)
            return long(i) - long(SpanMs(0, first.onMs).end);
    return 0;
}

std::string List(const std::vector<int>& v, size_t most = 24) {
    if (v.empty()) return "none";
    std::string s;
    for (size_t i = 0; i < v.size() && i < most; ++i) s += (i ? " " : "") + std::to_string(v[i]);
    if (v.size() > most) s += " ... (" + std::to_string(v.size()) + ")";
    return s;
}

void ReportCoverage(const std::vector<Probe>& probes, const Renders& r, ProbeKind kind,
                    const char* label, Tally& t) {
    int fluidCount = 0, talmeruCount = 0;
    std::vector<int> missing, extra;
    for (const Probe* p : OfKind(probes, kind)) {
        const bool f = PeakDb(*r.fluid, Held(*p)) > kSoundsDb;
        const bool m = r.talmeru && PeakDb(*r.talmeru, Held(*p)) > kSoundsDb;
        fluidCount += f;
        talmeruCount += m;
        const int id = kind == ProbeKind::Drum ? p->key : p->program;
        if (f && !m) missing.push_back(id);
        if (m && !f) extra.push_back(id);
    }
    std::printf("  %-10s fluid %3d  talmeru %3d  silent in talmeru: %s%s%s  %s\n", label,
                fluidCount, talmeruCount, List(missing).c_str(), extra.empty() ? "" : "; only talmeru: ",
                extra.empty() ? "" : List(extra).c_str(), t.Mark(missing.empty()));
}

void ReportBalance(const std::vector<Probe>& probes, const Renders& r, Tally& t) {
    std::vector<int> programs;
    std::vector<double> f, m;
    for (const Probe* p : OfKind(probes, ProbeKind::Program)) {
        if (!r.talmeru || PeakDb(*r.fluid, Held(*p)) <= kSoundsDb ||
            PeakDb(*r.talmeru, Held(*p)) <= kSoundsDb)
            continue;
        programs.push_back(p->program);
        f.push_back(RmsDb(*r.fluid, Held(*p)));
        m.push_back(RmsDb(*r.talmeru, Held(*p)));
    }
    if (programs.empty()) {
        std::printf("  balance    no program sounds on both sides  %s\n", t.Mark(false));
        return;
    }
    // Each side's median is its own 0 dB: the two players' overall gains differ by design.
    const double fMed = Median(f), mMed = Median(m);
    std::vector<std::pair<double, int>> off;
    int within = 0;
    for (size_t i = 0; i < programs.size(); ++i) {
        const double d = (m[i] - mMed) - (f[i] - fMed);
        within += std::fabs(d) <= 4;
        if (std::fabs(d) > 4) off.push_back({d, programs[i]});
    }
    std::sort(off.begin(), off.end(),
              [](auto& a, auto& b) { return std::fabs(a.first) > std::fabs(b.first); });
    const double share = double(within) / double(programs.size());
    std::printf("  balance    %d/%zu programs within 4 dB (%.0f%%, median offset talmeru-fluid "
                "%+.1f dB)  %s\n",
                within, programs.size(), 100 * share, mMed - fMed, t.Mark(share >= 0.9));
    std::string worst;
    for (size_t i = 0; i < off.size() && i < 10; ++i) {
        char b[32];
        std::snprintf(b, sizeof b, "%s%d:%+.1f", i ? " " : "", off[i].second, off[i].first);
        worst += b;
    }
    if (!off.empty()) std::printf("             furthest (program:dB): %s\n", worst.c_str());
}

// The release of one side as the table shows it: seconds, or why there are none.
std::string ReleaseText(const Audio& a, Span s, std::optional<double>& seconds) {
    seconds.reset();
    if (RmsDb(a, {s.begin - std::min(s.begin, size_t(kRate / 50)), s.begin}) < -100)
        return "ended";  // the note died out before its note-off: nothing left to release
    seconds = ReleaseSeconds(a, s.begin, s.end);
    if (!seconds) return ">4s";
    char b[16];
    std::snprintf(b, sizeof b, "%.3f", *seconds);
    return b;
}

void ReportRelease(const std::vector<Probe>& probes, const Renders& r, Tally& t) {
    std::printf("  release    program  fluid s  talmeru s  (to -40 dB after note-off; within "
                "35%% or 60 ms)\n");
    for (int program : ReleasePrograms()) {
        const Probe* p = ProgramProbe(probes, ProbeKind::Release, program);
        const Span s = SpanMs(p->offMs, p->endMs - 30);
        std::optional<double> f, m;
        const std::string fText = ReleaseText(*r.fluid, s, f);
        const std::string mText = r.talmeru ? ReleaseText(*r.talmeru, s, m) : "-";
        const bool silent = r.talmeru && PeakDb(*r.talmeru, Held(*p)) <= kSoundsDb;
        const bool ok = f && m && std::fabs(*m - *f) <= std::max(0.35 * *f, 0.060);
        std::printf("             %7d  %7s  %9s  %s\n", program, fText.c_str(),
                    silent ? "silent" : mText.c_str(), t.Mark(ok));
    }
}

void ReportVelocity(const std::vector<Probe>& probes, const Renders& r, Tally& t) {
    const std::vector<const Probe*> v = OfKind(probes, ProbeKind::Velocity);
    const Probe* loudest = v.back();  // velocity 127
    std::string fl, ml;
    double worst = 0;
    for (const Probe* p : v) {
        const double f = RmsDb(*r.fluid, Held(*p)) - RmsDb(*r.fluid, Held(*loudest));
        const double m =
            r.talmeru ? RmsDb(*r.talmeru, Held(*p)) - RmsDb(*r.talmeru, Held(*loudest)) : NAN;
        worst = std::max(worst, std::fabs(m - f));
        char b[24];
        std::snprintf(b, sizeof b, " %6.1f", f);
        fl += b;
        std::snprintf(b, sizeof b, " %6.1f", m);
        ml += b;
    }
    std::printf("  velocity   piano C4 at 20 40 64 100 127, dB re 127\n");
    std::printf("             fluid  %s\n             talmeru%s\n", fl.c_str(), ml.c_str());
    std::printf("             largest difference %.1f dB (target 2.5)  %s\n", r.talmeru ? worst : NAN,
                t.Mark(r.talmeru && worst <= 2.5));
}

void ReportVibrato(const std::vector<Probe>& probes, const Renders& r, Tally& t) {
    const double hz = 440 * std::pow(2.0, (72 - 69) / 12.0);
    double depth[2][2] = {{NAN, NAN}, {NAN, NAN}};  // [without, with CC1][fluid, talmeru]
    for (const Probe* p : OfKind(probes, ProbeKind::Vibrato)) {
        // From 0.5 s in: past the attack and the LFO's delay; up to just before the note-off.
        const Span s = SpanMs(p->onMs + 500, p->offMs - 100);
        const int row = p->modWheel ? 1 : 0;
        // An empty track (no fundamental near C5: a silent note) stays NAN, shown as "nan".
        const std::vector<double> f = PitchTrack(*r.fluid, s, hz);
        if (!f.empty()) depth[row][0] = VibratoDepthCents(f);
        const std::vector<double> m = r.talmeru ? PitchTrack(*r.talmeru, s, hz) : f;
        if (r.talmeru && !m.empty()) depth[row][1] = VibratoDepthCents(m);
    }
    const double ratio = depth[1][1] / depth[1][0];
    std::printf("  vibrato    flute C5 CC1=127 depth: fluid %.1f c, talmeru %.1f c (ratio %.2f; "
                "CC1=0: %.1f c / %.1f c)  %s\n",
                depth[1][0], depth[1][1], ratio, depth[0][0], depth[0][1],
                t.Mark(ratio >= 0.5 && ratio <= 2));
}

void ReportStereo(const std::vector<Probe>& probes, const Renders& r, Tally& t) {
    std::printf("  stereo     program  fluid bal/corr   talmeru bal/corr  (stereo and centred: "
                "bal within 3 dB of fluid's, corr < 0.99)\n");
    for (int program : StereoPrograms()) {
        const Probe* p = ProgramProbe(probes, ProbeKind::Program, program);
        const Span s = SpanMs(p->onMs + 50, p->offMs);
        const Stereo f = StereoImage(*r.fluid, s);
        const Stereo m = r.talmeru ? StereoImage(*r.talmeru, s) : Stereo{NAN, NAN};
        const bool fluidStereo = f.correlation < 0.99;
        // FluidR3's piano pair itself leans 3 dB left: centred means where FluidSynth puts it.
        const bool ok = std::fabs(m.balanceDb - f.balanceDb) <= 3 && m.correlation < 0.99;
        std::printf("             %7d  %+5.1f dB %5.3f   %+5.1f dB %5.3f     %s\n", program,
                    f.balanceDb, f.correlation, m.balanceDb, m.correlation,
                    fluidStereo ? t.Mark(ok) : "n/a (mono in fluid)");
    }
}

void ReportMusic(const Audio* fluid, const Audio* talmeru, Tally& t) {
    if (!talmeru) {
        std::printf("  music      no talmeru render  %s\n", t.Mark(false));
        return;
    }
    const long lag = AlignmentFrames(*fluid, *talmeru, 500);
    const Audio aligned = Shifted(*talmeru, lag);
    const double env = EnvelopeCorrelation(*fluid, aligned);
    const double chroma = ChromaSimilarity(*fluid, aligned);
    std::printf("  music      64 s GM song (talmeru %+.0f ms): envelope corr %.3f %s, chroma "
                "similarity %.3f %s  (targets 0.85)\n",
                1000.0 * double(lag) / kRate, env, t.Mark(env >= 0.85), chroma,
                t.Mark(chroma >= 0.85));
}

// The figures of `talmeru-cli convert` the script measured: --convert SECONDS KB, and
// --convert-targets for the SoundFont the targets are set for.
void ReportConversion(const std::vector<std::string>& args, Tally& t) {
    const bool targets = args.back() == "--convert-targets";
    for (size_t i = 5; i + 2 < args.size(); ++i) {
        if (args[i] != "--convert") continue;
        const double seconds = std::atof(args[i + 1].c_str());
        const double mb = std::atof(args[i + 2].c_str()) / 1024;
        // "About 10 MB": up to 12 MB passes.
        std::printf("  convert    %.2f s, peak %.1f MB (targets < 1 s, ~10 MB)  %s\n", seconds, mb,
                    targets ? t.Mark(seconds < 1 && mb <= 12)
                            : "n/a (set for FluidR3_GM only)");
        return;
    }
    std::printf("  convert    talmeru-cli convert failed  %s\n", t.Mark(false));
}

std::optional<Audio> Load(const std::string& path) {
    if (path == "-") return std::nullopt;
    std::string why;
    auto a = ReadWav(path, why);
    if (!a) std::fprintf(stderr, "%s: %s\n", path.c_str(), why.c_str());
    return a;
}

int Analyse(const std::vector<std::string>& args) {
    if (args.size() < 5) return 2;
    const std::string& name = args[0];
    std::optional<Audio> fluid = Load(args[1]), talmeru = Load(args[2]);
    std::optional<Audio> fluidSong = Load(args[3]), talmeruSong = Load(args[4]);
    if (!fluid || !fluidSong) return 1;
    const std::vector<Probe> probes = ProbeLayout();
    Tally t;
    // Line both renders up with the probe table: FluidSynth by its first note, talmeru-cli
    // by its envelope against FluidSynth's.
    const long fluidOffset = TimelineOffset(*fluid, probes.front());
    long talmeruLag = 0;
    if (talmeru) {
        talmeruLag = fluidOffset + AlignmentFrames(*fluid, *talmeru, 300);
        *talmeru = Shifted(*talmeru, talmeruLag);
    }
    *fluid = Shifted(*fluid, fluidOffset);
    std::printf("== %s ==  (probe renders: fluidsynth %+.1f ms, talmeru %+.1f ms%s)\n",
                name.c_str(), 1000.0 * double(fluidOffset) / kRate,
                1000.0 * double(talmeruLag) / kRate, talmeru ? "" : "; NO talmeru render");
    const Renders r{&*fluid, talmeru ? &*talmeru : nullptr};
    ReportCoverage(probes, r, ProbeKind::Program, "programs", t);
    ReportCoverage(probes, r, ProbeKind::Drum, "drum keys", t);
    ReportBalance(probes, r, t);
    ReportRelease(probes, r, t);
    ReportVelocity(probes, r, t);
    ReportVibrato(probes, r, t);
    ReportStereo(probes, r, t);
    ReportMusic(&*fluidSong, talmeruSong ? &*talmeruSong : nullptr, t);
    ReportConversion(args, t);
    std::printf("  %d PASS, %d FAIL\n\n", t.pass, t.fail);
    return 0;
}

int WriteProbes(const std::string& path) {
    const std::vector<uint8_t> midi = ProbeMidi(ProbeLayout());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(midi.data()), std::streamsize(midi.size()));
    return out ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + std::min(argc, 2), argv + argc);
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "probes" && args.size() == 1) return WriteProbes(args[0]);
    if (command == "analyse" && args.size() >= 5) return Analyse(args);
    if (command == "check") return RunSelfCheck(args);
    std::fprintf(stderr,
                 "usage: sf2_fidelity probes OUT.mid\n"
                 "       sf2_fidelity analyse NAME FLUID_PROBES TALMERU_PROBES FLUID_SONG "
                 "TALMERU_SONG [--convert SECONDS KB [--convert-targets]]\n"
                 "       sf2_fidelity check [SINE440.wav SINE262.wav]\n");
    return 2;
}
