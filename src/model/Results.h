#pragma once
// Result codes shared by the bank model's operations. The numbers are the ones these
// operations have always returned, which callers and tests compare against: a new member
// takes a new number. Families that belong to one class are declared beside it
// (ObjectPackResult, StoreResult, WaveUploadResult, TransferResult, ...).

namespace talmeru {

// Operations that either happen or not: deleting and removing, loading wave data.
enum Result : int { kOk = 0, kFailed = 1 };

// Reading a packed object, layer, control block or modulator.
enum UnpackResult : int {
    kUnpacked = 0,
    kUnpackFailed = 1,   // a bad header, malformed contents, or a corrupt block not to be loaded
    kUnpackTooMany = 2,  // a program of more than 32 layers or 16 program modulators
};

// Writing an object's body, a layer, a control block or a modulator.
enum PackResult : int {
    kPacked = 0,
    kPackFailed = 1,   // a part that cannot be packed (the message has been shown)
    kPackTooMany = 2,  // a program of more than 32 layers or 16 program modulators
};

}  // namespace talmeru
