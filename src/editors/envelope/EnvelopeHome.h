#pragma once
// Where an edited envelope lives, and what an edit of it changes in the bank: a layer ENV of
// the left half of a stereo pair is copied to the right half with the rest of the layer, a
// natural envelope of a left sample header to its right partner.
namespace talmeru {

class BankEdits;
class Layer;
class Program;
class SampleHeader;

struct EnvelopeHome {
    Program* program = nullptr;      // the program that holds the ENV
    Layer* layer = nullptr;          // the layer of a layer ENV; none for a program ENV
    SampleHeader* header = nullptr;  // the sample header of a natural envelope
};

// Brings the right halves up to date and records every object the edit changed.
void SpreadEnvelopeEdit(const EnvelopeHome& home, BankEdits& edits);

}  // namespace talmeru
