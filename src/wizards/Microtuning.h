#pragma once
// The microtuning wizard without its window: the temperaments (built in, or read from tuning
// files), the choices made on the wizard's pages, and the build of a program that plays a
// template program's sound in a temperament, one layer per pitch class.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/NoteNames.h"

namespace talmeru {

class BankEdits;
class Program;
class ZedoDatabase;

inline constexpr int kNotInScale = -1;
inline constexpr int kMaxCents = 1300;
inline constexpr size_t kMaxTemperamentName = 255;
// Tuning files are a few lines of text; anything bigger is refused before it is read.
inline constexpr uint64_t kMaxTuningFileSize = uint64_t(1) << 20;
// Base keymap names are cut so that "%s-%s" with a class name fits in 16 characters.
inline constexpr size_t kKeymapBaseLength = 13;

struct Temperament {
    std::string name;
    // Pitch of C, C#, ... B in cents above C, or kNotInScale.
    std::array<int, kPitchClasses> cents{};
    // The pitch classes that are part of the scale.
    int Notes() const;
};

// The built-in temperaments, "Equal" first.
const std::vector<Temperament>& BuiltInTemperaments();

// A layer's tuning: semitones and fine steps (127 steps to the semitone).
struct Tune {
    int coarse = 0;
    int fine = 0;
    bool operator==(const Tune&) const = default;
};

// How far pitch class c at `cents` above C lies from its equal-tempered pitch.
Tune DetuneFor(int cents, int pitchClass);
// base moved by `by`, a whole semitone carried when the fine steps run past one.
Tune AddTune(Tune base, Tune by);

struct TuningFileRead {
    std::vector<Temperament> records;  // every complete record before an error
    bool ok = true;
    // On an error, the offset in the text where the offending item starts.
    long position = 0;
};

// Reads the records of a tuning file's text: twelve integers (-1..1300) separated by white
// space, then, after white space, the rest of that line as the name.
TuningFileRead ParseTuningText(std::string_view text);

class Microtuning {
  public:
    Microtuning();

    const std::vector<Temperament>& Temperaments() const { return temperaments_; }
    // Appends the records of a tuning file. An unreadable, oversized or malformed file is
    // reported; the records read before a fault stay. Returns the count added.
    int LoadTuningFile(const std::string& path);

    // A template must have one or two layers.
    static bool TemplateUsable(const Program& program);
    // The name proposed for a program made from this template.
    static std::string ProposedName(const ZedoDatabase& db, const Program& templateProgram);

    // Why the first page's choices cannot be used, or empty.
    std::string ProgramProblem(const ZedoDatabase& db) const;
    // Why the program cannot be built as chosen, or empty.
    std::string Problem(const ZedoDatabase& db) const;
    // Builds the program and its keymaps, marked for upload, and marks the bank unsaved.
    // When Problem() is not empty its text is shown, nothing in the bank changes and the
    // result is nullptr.
    Program* Build(BankEdits& edits) const;

    // The choices.
    int templateNumber = -1;
    std::string name;
    int number = 0;
    int temperament = -1;  // index into Temperaments()

  private:
    std::vector<Temperament> temperaments_;
};

}  // namespace talmeru
