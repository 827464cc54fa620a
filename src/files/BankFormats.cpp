#include "files/BankFormats.h"

#include <filesystem>

#include "files/Apex.h"
#include "files/BankFile.h"
#include "files/ConversionLog.h"
#include "files/K2000Import.h"
#include "files/Pbf.h"
#include "files/Sf2Export.h"
#include "files/Sf2Import.h"
#include "files/SyxBank.h"
#include "files/Tmb.h"
#include "model/Keymap.h"
#include "model/Program.h"
#include "model/SampleHeader.h"
#include "model/ZedoDatabase.h"
#include "platform/ByteIO.h"
#include "platform/ByteSink.h"
#include "platform/FileUtil.h"
#include "platform/Format.h"
#include "platform/Prompter.h"
#include "platform/Riff.h"

namespace talmeru {

int WriteBankImage(const BankWrite& write, std::vector<uint8_t>& image) {
    std::vector<uint8_t> bytes;
    VectorSink out(bytes);
    bool shown = false;
    if (!write(out, shown)) return 1;
    image = std::move(bytes);
    return 0;
}

namespace {

// Every reader and writer in the table's shape.

int ReadPbfFile(ZedoDatabase& db, const std::string& path, ConversionLog& log) {
    FileSource file(path);
    if (!file.Ok()) {
        ShowMessage(OpeningProblem(path, file.Error()));
        return 1;
    }
    return ReadPbf(file, db, db.OpenOptions(), path, &log);
}

int ImportK2000File(ZedoDatabase& db, const std::string& path, ConversionLog& log) {
    const ZedoDatabase* rom = RomBankForFiles();
    if (!rom) {
        ShowMessage("A K2000 file can only be converted once the MA-1 ROM bank is loaded.");
        return 1;
    }
    return ImportK2000(path, db, *rom, log);
}

int ImportSf2File(ZedoDatabase& db, const std::string& path, ConversionLog& log) {
    return ImportSf2(path, db, log);
}

int ReadTmbFile(ZedoDatabase& db, const std::string& path, ConversionLog&) {
    return ReadTmb(path, db);
}

int ReadSyxFile(ZedoDatabase& db, const std::string& path, ConversionLog&) {
    return ReadSyx(path, db, RomBankForFiles());
}

// A writer of an image built whole.
BankWrite WriteImage(std::vector<uint8_t> image) {
    return [bytes = std::move(image)](ByteSink& out, bool&) { return out.Write(bytes); };
}

// The number of stereo pairs (of sample headers, keymaps and layers) in the bank.
int StereoPairs(const ZedoDatabase& db) {
    int pairs = 0;
    for (int n = 0; n < kSlotCount; ++n) {
        if (const SampleHeader* s = db.GetSampleHeader(n); s && s->stereoRole == kStereoLeft)
            ++pairs;
        if (const Keymap* k = db.GetKeymap(n); k && k->stereoRole == kStereoLeft) ++pairs;
        if (const Program* p = db.GetProgram(n))
            for (const auto& l : p->Layers())
                if (l->StereoState() == kStereoLeft) ++pairs;
    }
    return pairs;
}

int BuildPbfFile(ZedoDatabase& db, const std::string& path, int options, ConversionLog& log,
                 BankWrite& write) {
    // WAV files written for the bank go beside it.
    std::string folder = Utf8FromPath(PathFromUtf8(path).parent_path());
    std::vector<uint8_t> image;
    int rc = BuildPbf(db, options, image, folder.empty() ? "." : folder);
    if (rc == 0) write = WriteImage(std::move(image));
    // The format has no place for stereo pairs: a bank read back from it has their halves
    // apart, so the loss is said rather than left to be found.
    if (int pairs = StereoPairs(db); rc == 0 && pairs > 0)
        log.Add(Fmt("? A .pbf file does not keep stereo pairs: the %d here come back as their "
                    "halves apart (a .tmb file keeps them)\r\n",
                    pairs));
    return rc;
}

int BuildTmbFile(ZedoDatabase& db, const std::string&, int, ConversionLog&, BankWrite& write) {
    return PrepareTmb(db, write);
}

int BuildSyxFile(ZedoDatabase& db, const std::string&, int, ConversionLog&, BankWrite& write) {
    return PrepareSyx(db, RomBankForFiles(), write);
}

int BuildSf2File(ZedoDatabase& db, const std::string& path, int, ConversionLog& log,
                 BankWrite& write) {
    return PrepareSf2(db, path, log, write);
}

int ReadApexFile(ZedoDatabase& db, const std::string& path, ConversionLog&) {
    return ReadApex(path, db);
}

// Only the header is read, whatever the file's size.
std::string PbfVersion(const std::string& path) {
    FileSource src(path);
    uint8_t header[66];
    if (!src.Ok() || src.ReadAt(0, header, sizeof header) != sizeof header) return {};
    ByteReader r(header, sizeof header);
    std::string magic = r.FixedString(32);
    std::string kind = r.FixedString(32);
    if (!EqualsNoCase(magic, "pinnacle") || kind != "Bank") return {};
    return Fmt("format 0x%04x", r.U16());
}

// The SoundFont's "ifil" chunk: major and minor version.
std::string Sf2Version(const std::string& path) {
    FileSource src(path);
    if (!src.Ok()) return {};
    RiffReader r(src);
    auto riff = r.Riff(0, FourCC("sfbk"));
    auto info = riff ? r.FindList(*riff, FourCC("INFO")) : std::nullopt;
    auto ifil = info ? r.Find(*info, FourCC("ifil")) : std::nullopt;
    uint8_t v[4];
    if (!ifil || !r.Read(*ifil, 0, v, sizeof v)) return {};
    ByteReader b(v, sizeof v);
    int major = b.U16();
    int minor = b.U16();
    return Fmt("version %d.%02d", major, minor);
}

constexpr BankFormat kFormats[] = {
    {.extension = ".pbf",
     .openLabel = "Pinnacle Bank File (*.pbf)",
     .saveLabel = "Pinnacle Bank File (*.pbf)",
     .read = ReadPbfFile,
     .build = BuildPbfFile,
     .wavFilesBeside = true,
     .version = PbfVersion},
    {.extension = ".krz",
     .openLabel = "Kurzweil K2000 File(*.krz)",
     .read = ImportK2000File,
     .import = true,
     .startsFromRom = true},
    {.extension = ".sf2",
     .openLabel = "Soundfont 2 Bank(*.sf2)",
     .read = ImportSf2File,
     .import = true,
     .version = Sf2Version},
    // A SoundFont whose samples are Ogg Vorbis streams; the import decodes them.
    {.extension = ".sf3",
     .openLabel = "SoundFont 3 Bank(*.sf3)",
     .read = ImportSf2File,
     .import = true,
     .version = Sf2Version},
    // Sample data read from the file just replaced now lies elsewhere in the new one: every
    // format that keeps sample data inside the bank file points it there after a save.
    {.extension = ".tmb",
     .openLabel = "Talmeru MA-1 Bank (*.tmb)",
     .saveLabel = "Talmeru MA-1 Bank (*.tmb)",
     .read = ReadTmbFile,
     .build = BuildTmbFile,
     .afterSave = RepointTmbWaveData},
    {.extension = ".syx",
     .openLabel = "Sysex Banks (*.syx)",
     .saveLabel = "Sysex File (*.syx)",
     .read = ReadSyxFile,
     .build = BuildSyxFile,
     .startsFromRom = true,
     .afterSave = RepointSyxWaveData},
    {.extension = ".apex", .openLabel = "Apex Banks (*.apex)", .read = ReadApexFile},
    // Written for other programs, after the bank's own formats; reading one is the import
    // above.
    {.extension = ".sf2",
     .saveLabel = "SoundFont 2 (*.sf2)",
     .build = BuildSf2File,
     .exportOnly = true},
};

// The save dialog's entries and the written formats are one list.
constexpr bool SaveLabelsOnlyForWriters() {
    for (const BankFormat& f : kFormats)
        if ((f.saveLabel != nullptr) != (f.build != nullptr)) return false;
    return true;
}
static_assert(SaveLabelsOnlyForWriters());

constexpr const char* kAllFilesFilter = "All Files (*)";

const BankFormat* FirstInPath(const std::string& path, bool written) {
    const std::string lower = ToLower(path);
    for (const BankFormat& f : kFormats)
        if ((written ? f.build != nullptr : f.read != nullptr) &&
            lower.find(f.extension) != std::string::npos)
            return &f;
    return nullptr;
}

}  // namespace

std::span<const BankFormat> BankFormats() {
    return kFormats;
}

const BankFormat& PinnacleBankFormat() {
    return kFormats[0];
}

const BankFormat* BankFormatToOpen(const std::string& path) {
    return FirstInPath(path, false);
}

const BankFormat* BankFormatToSave(const std::string& path) {
    return FirstInPath(path, true);
}

const BankFormat* WrittenBankFormat(int index) {
    for (const BankFormat& f : kFormats)
        if (f.build && index-- == 0) return &f;
    return nullptr;
}

int WrittenBankFormatCount() {
    int count = 0;
    for (const BankFormat& f : kFormats)
        count += f.build != nullptr;
    return count;
}

std::string OpenBankFilter() {
    std::string patterns, each;
    for (const BankFormat& f : kFormats) {
        if (!f.read) continue;
        patterns += (patterns.empty() ? "*" : " *") + std::string(f.extension);
        each += std::string(f.openLabel) + ";;";
    }
    return "All Patch Banks (" + patterns + ");;" + each + kAllFilesFilter;
}

std::string SaveBankFilter() {
    std::string each;
    for (const BankFormat& f : kFormats)
        if (f.build) each += std::string(f.saveLabel) + ";;";
    return each + kAllFilesFilter;
}

std::string BankFormatName(const BankFormat& format) {
    std::string name(format.openLabel);
    name.erase(name.find('('));
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    return name;
}

std::string DescribeBankFile(const std::string& path) {
    const BankFormat* format = BankFormatToOpen(path);
    if (!format) return "unknown";
    std::string text = BankFormatName(*format);
    if (std::string version = format->version ? format->version(path) : ""; !version.empty())
        text += " (" + version + ")";
    return text;
}

}  // namespace talmeru
