#include "files/K2000Import.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "files/ConversionLog.h"
#include "files/ImportSupport.h"
#include "files/K2000WaveData.h"
#include "model/ZedoDatabase.h"
#include "model/ZedoException.h"
#include "platform/ByteIO.h"
#include "platform/FileUtil.h"
#include "platform/Format.h"
#include "platform/Prompter.h"
#include "platform/Riff.h"

namespace talmeru {

namespace {

constexpr uint64_t kFileHeaderSize = 32;
// Length word, type, a word we do not use, and the offset from that field to the body.
constexpr size_t kObjectHeaderSize = 10;
constexpr size_t kBodyOffsetField = 8;
// K2000 objects are a few kilobytes at most; anything far bigger is not one.
constexpr uint64_t kMaxObjectSize = 1 << 20;

constexpr int kProgramSegmentsStart = 16;
constexpr size_t kKeyTableStart = 28;
constexpr size_t kSampleHeadersStart = 12;
constexpr size_t kSampleHeaderSize = 32;
// The second sample header of a sample object is known by the object's number plus this.
constexpr int kSecondHeaderOffset = 200;

constexpr int kLayerTag = 9;
constexpr int kPreLayerTag = 15;
constexpr int kFirstEnvelopeTag = 16;
constexpr int kFirstLfoTag = 20;
constexpr int kFirstFunctionTag = 24;
constexpr int kFirstKeymapTag = 64;
constexpr int kLevelsTag = 80;
// Modulator ids follow the segment tags from the first envelope on.
constexpr int kTagToId = 16;

struct K2000Function {
    int code;
    const char* name;
    int ma1;  // kNotOnMa1 when the MA-1 has no such function
};
constexpr int kNotOnMa1 = -1;

constexpr K2000Function kFunctions[] = {
    {1, "a+b", 0},
    {2, "a-b", 2},
    {3, "(a+b)/2", 1},
    {4, "a/2+b", 3},
    {5, "a/4+b/2", kNotOnMa1},
    {6, "(a+2b)/3", kNotOnMa1},
    {9, "a*b", 3},
    {10, "-a*b", 4},
    {13, "a*10^b", kNotOnMa1},
    {16, "|a+b|", kNotOnMa1},
    {18, "min(a,b)", 21},
    {19, "max(a,b)", 20},
    {20, "quantize", 14},
    {22, "lowpass", kNotOnMa1},
    {23, "hipass", kNotOnMa1},
    {25, "b/(1-a)", kNotOnMa1},
    {27, "a(b-y)", kNotOnMa1},
    {29, "(a+b)^2", kNotOnMa1},
    {31, "sin(a+b)", kNotOnMa1},
    {32, "cos(a+b)", 16},
    {33, "tri(a+b)", kNotOnMa1},
    {35, "warp1(a,b)", kNotOnMa1},
    {36, "warp2(a,b)", kNotOnMa1},
    {37, "warp3(a,b)", kNotOnMa1},
    {38, "warp4(a,b)", kNotOnMa1},
    {39, "warp8(a,b)", kNotOnMa1},
    {41, "a AND b", 17},
    {42, "a OR b", 18},
    {43, "b>a", 10},
    {61, "Sample b on A", 11},
};

struct RomKeymap {
    int k2000;
    int ma1;
    const char* name;
};

constexpr RomKeymap kRomKeymaps[] = {
    {1, 0, "grand piano"},           {2, 2, "dual elec piano"},  {3, 2, "hard elec piano"},
    {4, 72, "soft elec piano"},      {5, 68, "voices"},          {6, 1, "ensemble strings"},
    {7, 4, "elec jazz guitar"},      {8, 5, "acoustic guitar"},  {9, 3, "5 string guitar"},
    {10, 95, "dual e bass"},         {11, 7, "elec pick bass"},  {12, 8, "elec slap bass"},
    {13, 9, "finger atk bass"},      {14, 10, "flute"},          {15, 50, "tenor sax"},
    {16, 50, "sax no altissimo"},    {17, 16, "trumpet"},        {18, 17, "trombone"},
    {19, 16, "trombone/trumpet"},    {88, 87, "chiff"},          {110, 18, "solo strings"},
    {111, 3, "six string mutes"},    {112, 11, "oboe wave"},     {113, 27, "clav wave"},
    {114, 2, "elec piano wave"},     {117, 67, "drawbars 1-3"},  {118, 67, "drawbars 1-4"},
    {119, 67, "drawbars 1-3 dist"},  {120, 67, "full drawbars"}, {121, 67, "drawbars 1-4,8"},
    {122, 44, "organ wave 1"},       {123, 44, "organ wave 2"},  {124, 44, "organ wave 3"},
    {125, 44, "organ wave 4"},       {126, 44, "organ wave 5"},  {127, 44, "organ wave 6"},
    {128, 44, "organ wave 7"},       {151, 55, "sawtooth"},      {152, 90, "dull sawtooth"},
    {153, 90, "very dull sawtooth"}, {154, 56, "square wave"},   {155, 56, "dull square"},
    {156, 56, "very dull square"},   {157, 56, "buzzy square"},  {158, 56, "buzz square"},
    {161, 54, "triangle wave"},      {162, 54, "third wave"},    {163, 54, "sine wave"},
    {167, 69, "mellow vox"},         {170, 45, "flute breath"},  {172, 69, "voices 2"},
    {173, 46, "pluck2stack"},        {176, 21, "ext dual bass"},
};

const K2000Function* FindFunction(int code) {
    for (const auto& f : kFunctions)
        if (f.code == code) return &f;
    return nullptr;
}

const RomKeymap* FindRomKeymap(int k2000) {
    for (const auto& k : kRomKeymaps)
        if (k.k2000 == k2000) return &k;
    return nullptr;
}

// The size of a program segment by its tag; 0 for a tag that no segment has.
size_t SegmentSize(int tag) {
    if (tag == kLayerTag) return 16;
    if (tag == kPreLayerTag) return 8;
    if (tag >= kFirstEnvelopeTag && tag < kFirstFunctionTag) return 8;  // envelopes, LFOs
    if (tag >= kFirstFunctionTag && tag < kFirstFunctionTag + 4) return 4;
    if (tag >= 32 && tag < kFirstKeymapTag) return 16;
    if (tag >= kFirstKeymapTag && tag < kLevelsTag) return 32;
    if (tag >= kLevelsTag && tag < 96) return 16;
    return 0;
}

// Walks the segments of a program body, never past its end.
class Segments {
  public:
    Segments(std::span<const uint8_t> body, size_t start) : body_(body), pos_(start) {}
    int Peek() const { return pos_ < body_.size() ? body_[pos_] : -1; }
    // The next segment when its tag is in first..last; a segment that runs past the body
    // ends the walk.
    std::optional<std::span<const uint8_t>> Take(int first, int last) {
        int tag = Peek();
        if (tag < first || tag > last) return std::nullopt;
        size_t n = SegmentSize(tag);
        if (n == 0) return std::nullopt;
        if (n > body_.size() - pos_) {
            cut_ = true;
            pos_ = body_.size();
            return std::nullopt;
        }
        auto s = body_.subspan(pos_, n);
        pos_ += n;
        return s;
    }
    void SkipByte() {
        if (pos_ < body_.size()) ++pos_;
    }
    bool Cut() const { return cut_; }

  private:
    std::span<const uint8_t> body_;
    size_t pos_;
    bool cut_ = false;
};

struct Mapping {
    int k2000;
    int ma1;
};

std::optional<int> Lookup(const std::vector<Mapping>& list, int k2000) {
    for (const auto& m : list)
        if (m.k2000 == k2000) return m.ma1;
    return std::nullopt;
}

// A K2000 control source written into a modulator input. K2000 codes are not MA-1 codes
// and may name modulators in any order, so they are written only after every modulator of
// the program is in place, where the order check cannot trip over them.
struct DeferredInput {
    Modulator* modulator;
    int input;
    uint8_t source;
};

class K2000Importer {
  public:
    K2000Importer(const std::string& path, ZedoDatabase& db, const ZedoDatabase& rom,
                  ConversionLog& log)
        : path_(path), db_(db), rom_(rom), log_(log) {}
    int Run();

  private:
    void Log(const std::string& line) { log_.Add(line); }
    int Convert();
    void CopyRom();
    void ReadObjects(const FileSource& src);
    void ConvertObject(uint64_t at, std::span<const uint8_t> object);
    void ConvertProgram(const std::string& name, std::span<const uint8_t> body);
    void ConvertLayer(Segments& segments, Layer& layer, const std::string& program);
    void ConvertKeymap(int number, const std::string& name, std::span<const uint8_t> body);
    std::vector<KeymapEntry> ReadKeyTable(const std::string& name, std::span<const uint8_t> body);
    void ConvertSample(int number, const std::string& name, std::span<const uint8_t> body);
    void ConvertSampleHeader(int k2000, const std::string& name, std::span<const uint8_t> h);
    void TranslateKeymaps();
    void TranslatePrograms();

    template <typename Owner>
    Modulator* Add(Owner& owner, std::unique_ptr<Modulator> m, int tag, const std::string& program);
    template <typename Owner>
    void AddFunction(Owner& owner, std::span<const uint8_t> segment, const std::string& program);
    template <typename Owner>
    void AddLfo(Owner& owner, std::span<const uint8_t> segment, int shape,
                const std::string& program);

    const std::string& path_;
    ZedoDatabase& db_;
    const ZedoDatabase& rom_;
    ConversionLog& log_;
    uint64_t fileSize_ = 0;
    uint64_t blockOffset_ = 0;
    std::vector<Mapping> samples_;
    std::vector<Mapping> keymaps_;
    std::vector<int> programs_;
    std::vector<DeferredInput> deferred_;
};

void K2000Importer::CopyRom() {
    WaveData* romWave = db_.GetWaveData(0);
    for (int n = 0; n < kSlotCount; ++n) {
        if (const SampleHeader* s = rom_.GetSampleHeader(n)) {
            auto copy = std::make_unique<SampleHeader>();
            copy->CopyFrom(*s);
            copy->AttachWave(romWave, kAttachReference);
            db_.PutSampleHeader(std::move(copy));
        }
        if (const Keymap* k = rom_.GetKeymap(n)) {
            auto copy = std::make_unique<Keymap>();
            copy->CopyFrom(*k);
            db_.PutKeymap(std::move(copy));
        }
    }
    // Stereo halves chain to each other within their own bank.
    for (int n = 0; n < kSlotCount; ++n) {
        for (int type : {kTypeSampleHeader, kTypeKeymap}) {
            const BankObject* o = rom_.GetObject(type, n);
            BankObject* left = db_.GetObject(type, n);
            BankObject* right =
                o && o->chained ? db_.GetObject(type, o->chained->Number()) : nullptr;
            if (left && right) PairStereo(*left, *right);
        }
    }
}

template <typename Owner>
Modulator* K2000Importer::Add(Owner& owner, std::unique_ptr<Modulator> m, int tag,
                              const std::string& program) {
    Modulator* raw = m.get();
    if (owner.AddModulator(std::move(m)) < 0) {
        Log(Fmt("X Program \"%s\" has no room for another modulator\r\n", program.c_str()));
        return nullptr;
    }
    // The id the K2000 gave it, unless another modulator holds that one already.
    int id = tag - kTagToId;
    if (!owner.FindModulator(id)) raw->SetId(id);
    return raw;
}

template <typename Owner>
void K2000Importer::AddFunction(Owner& owner, std::span<const uint8_t> segment,
                                const std::string& program) {
    int code = segment[1];
    if (code == 0) return;
    const K2000Function* f = FindFunction(code);
    if (!f) {
        Log(Fmt("X Prg-Fun:can't make sense of %d\r\n", code));
        return;
    }
    if (f->ma1 == kNotOnMa1) {
        Log(Fmt("X Prg-Fun:can't make sense of %s\r\n", f->name));
        return;
    }
    auto fun = std::make_unique<FunModulator>();
    fun->SetOperator(f->ma1);
    Add(owner, std::move(fun), segment[0], program);
}

template <typename Owner>
void K2000Importer::AddLfo(Owner& owner, std::span<const uint8_t> segment, int shape,
                           const std::string& program) {
    auto lfo = std::make_unique<LfoModulator>();
    lfo->SetShape(shape);
    lfo->SetBaseRate(segment[4]);
    lfo->SetAdjustedRate(segment[3]);
    if (Modulator* m = Add(owner, std::move(lfo), segment[0], program))
        deferred_.push_back({m, 0, segment[5]});
}

void K2000Importer::ConvertProgram(const std::string& name, std::span<const uint8_t> body) {
    int number = db_.FirstFreeProgram();
    if (number < 0) {
        Log(Fmt("Could not create program \"%s\"\r\n", name.c_str()));
        return;
    }
    auto created = std::make_unique<Program>();
    created->SetNumber(number);
    created->SetName(name);
    Program& program = *created;
    db_.PutProgram(std::move(created));
    programs_.push_back(number);
    if (body.size() < static_cast<size_t>(kProgramSegmentsStart)) {
        Log(Fmt("X Program \"%s\" is cut short\r\n", name.c_str()));
        return;
    }
    const int layerCount = body[2];
    Segments segments(body, kProgramSegmentsStart);
    deferred_.clear();

    if (auto s = segments.Take(kFirstEnvelopeTag, kFirstLfoTag - 1)) {
        auto env = std::make_unique<EnvModulator>();
        env->SetSegment(0, 127, (*s)[5]);
        env->SetSegment(1, 63, (*s)[4]);
        env->SetSegment(2, 0, (*s)[7]);
        if (Modulator* m = Add(program, std::move(env), (*s)[0], name))
            deferred_.push_back({m, 0, (*s)[2]});
    }
    if (auto s = segments.Take(kFirstFunctionTag, kFirstFunctionTag + 3))
        AddFunction(program, *s, name);
    if (auto s = segments.Take(kFirstLfoTag, kFirstFunctionTag - 1); s && (*s)[6] != 0)
        AddLfo(program, *s, 1, name);
    if (auto s = segments.Take(kFirstFunctionTag, kFirstFunctionTag + 3))
        AddFunction(program, *s, name);
    segments.Take(kPreLayerTag, kPreLayerTag);

    // Layers start on the keymap of number 0 until their keymap segment names one.
    Keymap noKeymap;
    for (int i = 0; i < layerCount; ++i) {
        Layer* layer = program.AddLayer(noKeymap, false);
        if (!layer) {
            Log("X More than 32 layers requested\r\n");
            break;
        }
        if (auto s = segments.Take(kLayerTag, kLayerTag)) {
            const auto& seg = *s;
            layer->keyLow = static_cast<uint8_t>(std::min<int>(seg[4], 127));
            layer->keyHigh = static_cast<uint8_t>(std::min<int>(seg[5], 127));
            if (seg[8] & 0x01) layer->SetIgnoreNoteOff(true);
            if (seg[9] & 0x10) layer->flags |= Layer::kFlagDirection;
            ConvertLayer(segments, *layer, name);
        } else {
            segments.SkipByte();
        }
    }
    if (segments.Cut()) Log(Fmt("X Program \"%s\" is cut short\r\n", name.c_str()));
    for (const auto& d : deferred_)
        if (uint8_t* input = d.modulator->Input(d.input)) *input = d.source;
    deferred_.clear();
    program.DropPackedCopy();
}

// The segments after a layer segment, up to the next layer segment.
void K2000Importer::ConvertLayer(Segments& segments, Layer& layer, const std::string& program) {
    for (int tag = segments.Peek(); tag >= kFirstEnvelopeTag; tag = segments.Peek()) {
        auto s = segments.Take(tag, tag);
        if (!s) return;
        const auto& seg = *s;
        if (tag >= kFirstFunctionTag && tag < kFirstFunctionTag + 4) {
            AddFunction(layer, seg, program);
        } else if (tag >= kFirstLfoTag && tag < kFirstFunctionTag) {
            if (seg[6] != 0) AddLfo(layer, seg, seg[6], program);
        } else if (tag >= kFirstKeymapTag && tag < kLevelsTag) {
            layer.keymap = static_cast<uint16_t>((seg[12] << 8) | seg[13]);
            layer.Pitch().SetCoarseTune(-static_cast<int8_t>(seg[2]));
            layer.Pitch().SetByte(4, seg[18]);
            layer.Pitch().SetByte(5, seg[19]);
        } else if (tag == kLevelsTag) {
            layer.Amp().SetByte(4, 232);
            layer.Amp().SetByte(5, 32);
            layer.Amp().SetByte(6, 0);
        }
        // Envelope segments and tags 32-63 and 81-95 hold nothing an MA-1 layer has.
    }
}

std::vector<KeymapEntry> K2000Importer::ReadKeyTable(const std::string& name,
                                                     std::span<const uint8_t> body) {
    const char* n = name.c_str();
    if (body.size() < 4) {
        Log(Fmt("X Keymap \"%s\" is cut short\r\n", n));
        return {};
    }
    ByteReader r(body);
    const int single = r.U16BE();
    const int flags = r.U16BE();
    if (!(flags & 0x02)) return {{127, 0, single}};
    if (body.size() < kKeyTableStart) {
        Log(Fmt("X Keymap \"%s\" is cut short\r\n", n));
        return {};
    }
    r.Seek(8);
    const size_t count = size_t{r.U16BE()} + 1;
    const size_t entrySize = r.U16BE();
    const size_t at =
        ((flags & 0x04) ? 1 : 0) + ((flags & 0x08) ? 1 : 0) + ((flags & 0x10) ? 2 : 0);
    if (entrySize < at + 2) {
        Log(Fmt("X Keymap \"%s\" has key entries too small for their sample numbers\r\n", n));
        return {};
    }
    size_t keys = std::min<size_t>(count, 128);
    const size_t fit = (body.size() - kKeyTableStart) / entrySize;
    if (keys > fit) {
        Log(Fmt("X Keymap \"%s\": its key table runs past the object\r\n", n));
        keys = fit;
    }
    std::vector<KeymapEntry> entries;
    for (size_t key = 0; key < keys; ++key) {
        r.Seek(kKeyTableStart + key * entrySize + at);
        int sample = r.U16BE();
        if (!entries.empty() && entries.back().sample == sample)
            entries.back().topKey = static_cast<int>(key);
        else
            entries.push_back({static_cast<int>(key), 0, sample});
    }
    return entries;
}

void K2000Importer::ConvertKeymap(int number, const std::string& name,
                                  std::span<const uint8_t> body) {
    int n = db_.FirstFreeKeymap();
    if (n < 0) {
        Log(Fmt("X Could not create keymap \"%s\"\r\n", name.c_str()));
        return;
    }
    auto keymap = std::make_unique<Keymap>();
    keymap->SetNumber(n);
    keymap->SetName(name);
    // The entries play K2000 sample numbers until every sample has been read.
    keymap->entries = ReadKeyTable(name, body);
    db_.PutKeymap(std::move(keymap));
    keymaps_.push_back({number, n});
}

void K2000Importer::ConvertSampleHeader(int k2000, const std::string& name,
                                        std::span<const uint8_t> h) {
    const char* n = name.c_str();
    const int root = h[0];
    const int flags = h[1];
    if (!(flags & 0x10)) {
        Log("X Sample is ROM based!\r\n");
        return;
    }
    ByteReader fields(h);
    fields.Seek(8);
    const uint32_t start = fields.U32BE();
    fields.Seek(16);
    const uint32_t loop = fields.U32BE();
    const uint32_t end = fields.U32BE();
    fields.Seek(28);
    const uint32_t period = fields.U32BE();
    // The stretch is read up to the first byte of its last word.
    const uint64_t bytes = 2 * uint64_t{end - start} + 1;
    if (end < start || blockOffset_ > fileSize_ ||
        2 * uint64_t{end} + 1 > fileSize_ - blockOffset_ || bytes > INT32_MAX) {
        Log(Fmt("X Sample \"%s\" lies outside the sample data, skipped\r\n", n));
        return;
    }
    const bool loopInside = loop >= start && loop <= end;
    const uint32_t loopFrames = loopInside ? loop - start : end - start;
    const int number = db_.FirstFreeSampleHeader();
    if (number < 0) {
        Log(Fmt("X Could not create sample \"%s\"\r\n", n));
        return;
    }
    K2000Stretch stretch{2 * uint64_t{start}, bytes, static_cast<int32_t>(loopFrames),
                         static_cast<int32_t>(end - start)};
    auto created = std::make_unique<K2000WaveData>(path_, number, kWholeFile, true, stretch);
    if (!created->valid || created->FormatTag() == -1) {
        Log("X Could not load file\r\n");
        return;
    }
    WaveData* wave = nullptr;
    try {
        wave = db_.AddWaveData(std::move(created));
    } catch (const ZedoException& e) {
        Log(Fmt("X %s\r\n", e.what()));
        return;
    }
    wave->uploadPending[0] = wave->uploadPending[1] = true;
    auto header = std::make_unique<SampleHeader>();
    header->SetNumber(number);
    header->SetName(name);
    header->SetDefaults();
    header->start = 0;
    header->loopStart = static_cast<int32_t>(2 * loopFrames);
    header->end = static_cast<int32_t>(2 * (end - start));
    SetPitchAtRate(*header, root, period ? 1e9 / period : 0.0);
    header->AttachWave(wave, kAttachReference);
    db_.PutSampleHeader(std::move(header));
    samples_.push_back({k2000, number});
    if (!loopInside) Log(Fmt("? Sample \"%s\" has its loop outside the sample, not looped\r\n", n));
    if (flags & 0x03) Log("X Sample is not forward looped!\r\n");
}

void K2000Importer::ConvertSample(int number, const std::string& name,
                                  std::span<const uint8_t> body) {
    if (body.size() < 4) {
        Log(Fmt("X Sample \"%s\" is cut short\r\n", name.c_str()));
        return;
    }
    const size_t count = size_t{static_cast<uint16_t>((body[2] << 8) | body[3])} + 1;
    for (size_t d = 0; d < count; ++d) {
        const size_t at = kSampleHeadersStart + kSampleHeaderSize * d;
        if (at + kSampleHeaderSize > body.size()) {
            Log(Fmt("X Sample \"%s\": sample header %d runs past the object\r\n", name.c_str(),
                    static_cast<int>(d)));
            return;
        }
        ConvertSampleHeader(number + kSecondHeaderOffset * static_cast<int>(d), name,
                            body.subspan(at, kSampleHeaderSize));
    }
}

void K2000Importer::ConvertObject(uint64_t at, std::span<const uint8_t> object) {
    const auto offset = static_cast<unsigned long long>(at);
    const size_t offsetToBody =
        object.size() >= kObjectHeaderSize ? static_cast<size_t>((object[8] << 8) | object[9]) : 0;
    const size_t bodyAt = kBodyOffsetField + offsetToBody;
    if (offsetToBody < 2 || bodyAt > object.size()) {
        Log(Fmt("X Object at offset %llu is malformed, skipped\r\n", offset));
        return;
    }
    const int type = (object[4] << 8) | object[5];
    std::string name;
    for (size_t i = kObjectHeaderSize; i < bodyAt && object[i] != 0; ++i)
        name += static_cast<char>(object[i]);
    const char* n = name.c_str();
    const auto body = object.subspan(bodyAt);
    if (type & 0x8000) {
        const int number = type & 0x3FF;
        switch (type & 0xFC00) {
            case 0x9000:
                Log(Fmt("+ Program \"%s\"\r\n", n));
                ConvertProgram(name, body);
                return;
            case 0x9400:
                Log(Fmt("+ Keymap \"%s\"\r\n", n));
                ConvertKeymap(number, name, body);
                return;
            case 0x9800:
                Log(Fmt("+ Sample \"%s\"\r\n", n));
                ConvertSample(number, name, body);
                return;
            default:
                break;
        }
    } else {
        switch (type & 0x7F00) {
            case 0x7100:
                Log(Fmt("X Effect \"%s\" skipped\r\n", n));
                return;
            case 0x7200:
                Log(Fmt("X LFO Shape \"%s\" skipped\r\n", n));
                return;
            case 0x7300:
                Log(Fmt("X Function Proc \"%s\" skipped\r\n", n));
                return;
            default:
                break;
        }
    }
    Log(Fmt("X Unknown Object \"%s\" (type %x) skipped\r\n", n, type));
}

void K2000Importer::ReadObjects(const FileSource& src) {
    const uint64_t objectsEnd = std::min(blockOffset_, fileSize_);
    std::vector<uint8_t> object;
    for (uint64_t pos = kFileHeaderSize; pos + 4 < objectsEnd;) {
        const auto offset = static_cast<unsigned long long>(pos);
        uint8_t word[4];
        if (src.ReadAt(pos, word, 4) != 4) return;
        const auto length = static_cast<int32_t>(ByteReader(word, sizeof word).U32BE());
        // A length that is not negative ends the objects.
        if (length >= 0) return;
        const uint64_t size = static_cast<uint64_t>(-static_cast<int64_t>(length));
        if (size > objectsEnd - pos) {
            Log(Fmt("X Object at offset %llu runs past the end of the objects, reading stopped\r\n",
                    offset));
            return;
        }
        if (size > kMaxObjectSize) {
            Log(Fmt("X Object at offset %llu is too large, skipped\r\n", offset));
        } else {
            object.resize(static_cast<size_t>(size));
            if (src.ReadAt(pos, object.data(), object.size()) != object.size()) return;
            ConvertObject(pos, object);
        }
        pos += size;
    }
}

void K2000Importer::TranslateKeymaps() {
    for (const auto& k : keymaps_) {
        Keymap* keymap = db_.GetKeymap(k.ma1);
        for (auto& e : keymap->entries) {
            if (auto ma1 = Lookup(samples_, e.sample)) {
                e.sample = *ma1;
            } else {
                Log(Fmt("X K2000 ROM Sample #%d not found.\r\n", e.sample));
                e.sample = kNoSample;
            }
        }
        keymap->DropPackedCopy();
    }
}

void K2000Importer::TranslatePrograms() {
    for (int number : programs_) {
        Program* program = db_.GetProgram(number);
        for (int i = 0; i < program->LayerCount();) {
            Layer* layer = program->GetLayer(i);
            const int k2000 = layer->keymap;
            if (auto ma1 = Lookup(keymaps_, k2000)) {
                layer->keymap = static_cast<uint16_t>(*ma1);
                ++i;
                continue;
            }
            // A ROM keymap that this ROM bank lacks cannot stand in for the K2000's.
            const RomKeymap* rom = FindRomKeymap(k2000);
            const Keymap* target = rom ? db_.GetKeymap(rom->ma1) : nullptr;
            if (target) {
                layer->keymap = static_cast<uint16_t>(rom->ma1);
                Log(Fmt("+ ROM Keymap: K2000 #%d \"%s\" -> MA-1 #%d \"%s\"\r\n", k2000, rom->name,
                        rom->ma1, target->Name().c_str()));
                ++i;
                continue;
            }
            Log(Fmt("X K2000 ROM keymap #%d not found, deleting layer from Program \"%s\"\r\n",
                    k2000, program->Name().c_str()));
            program->DeleteLayer(i);
        }
        program->DropPackedCopy();
    }
}

int K2000Importer::Convert() {
    CopyRom();
    Log(Fmt("+ Opening file %s\r\n", path_.c_str()));
    FileSource src(path_);
    if (!src.Ok()) {
        ShowMessage(OpeningProblem(path_, src.Error()));
        return 1;
    }
    auto block = src.Size() >= kFileHeaderSize ? K2000SampleBlockOffset(src) : std::nullopt;
    if (!block) {
        Log(Fmt("X File \"%s\" is too short for a K2000 file\r\n", path_.c_str()));
        return 1;
    }
    blockOffset_ = *block;
    fileSize_ = src.Size();
    ReadObjects(src);
    TranslateKeymaps();
    TranslatePrograms();
    return 0;
}

int K2000Importer::Run() {
    log_.Clear();
    int result = Convert();
    Log("*** Done ***\r\n");
    return result;
}

}  // namespace

int ImportK2000(const std::string& path, ZedoDatabase& db, const ZedoDatabase& rom,
                ConversionLog& log) {
    return K2000Importer(path, db, rom, log).Run();
}

}  // namespace talmeru
