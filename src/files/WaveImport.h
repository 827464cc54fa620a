#pragma once
// Making new samples and programs from WAV files.
#include <string>

namespace talmeru {

class Program;
class SampleHeader;
class ZedoDatabase;

// Options of ImportWaveAsSample.
enum ImportOptions : int {
    kImportSendLater = 0x10000,    // the data is sent with the next synchronisation
    kImportStereoPairs = 0x20000,  // a stereo file becomes a stereo pair of samples
};

// Imports a wave file as a new sample header at `number` (-1: the first free one). The new
// header, or nullptr when no number is free. Raises ZedoException for a full wave-data list
// or a file that cannot be loaded.
SampleHeader* ImportWaveAsSample(ZedoDatabase& db, const std::string& path, int number, int channel,
                                 int options);

// Builds one program playing a wave file (a stereo file as a stereo layer pair). With
// replace set, `current` (when given) is reused with its layers removed. nullptr when the
// program or a keymap cannot be made (the reason has been shown). New objects are marked
// for the next synchronisation.
Program* BuildProgramFromWave(ZedoDatabase& db, const std::string& path, bool replace,
                              Program* current);

}  // namespace talmeru
