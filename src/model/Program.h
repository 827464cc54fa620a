#pragma once
// Programs: up to 32 layers that sound together and up to 16 program modulators they all
// may read. Including this brings in layers, control blocks and modulators as well.
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/BankObject.h"
#include "model/ControlBlock.h"
#include "model/Layer.h"
#include "model/ModSource.h"
#include "model/Modulator.h"
#include "model/ModulatorScope.h"

namespace talmeru {

inline constexpr int kMaxLayers = 32;

struct ProgramNumbering {
    bool bankPrefix = false;
    int style = 0;  // 0 from 0, 1 from 1, 2 bank letter and two digits ("A11")
};

class Program : public BankObject {
  public:
    Program();
    // A deep copy: modulators cloned, layers copied, stereo pairs re-made between the copies.
    Program(const Program& other);
    Program& operator=(const Program&) = delete;
    std::unique_ptr<Program> Clone() const { return std::make_unique<Program>(*this); }

    int KindNumber() const override { return 0; }
    const char* KindName() const override { return "Program"; }
    // kUnpackTooMany for more than 32 layers or 16 program modulators.
    [[nodiscard]] int Unpack(std::span<const uint8_t> block) override;
    int BodySize() const override;
    // kPackTooMany for more than 32 layers or 16 program modulators.
    [[nodiscard]] int PackBody(std::span<uint8_t> body) const override;

    uint8_t programByte = 0;

    int LayerCount() const { return static_cast<int>(layers_.size()); }
    Layer* GetLayer(int index) const;
    const std::vector<std::unique_ptr<Layer>>& Layers() const { return layers_; }
    // Appends a layer playing keymap (and, with stereo, its right half playing keymap's
    // chained partner). nullptr when the program would have more than 32 layers or a stereo
    // layer is asked for a keymap without a partner.
    Layer* AddLayer(const BankObject& keymap, bool stereo);
    // Removes the layer (and the right half of a left half). kFailed for a bad index.
    Result DeleteLayer(int index);
    // Appends a copy of the layer (and of its right half for a left half, the copies
    // paired); nullptr when that would make more than 32 layers.
    Layer* DuplicateLayer(int index);
    void DeleteAllLayers();

    int ModulatorCount() const { return static_cast<int>(modulators_.size()); }
    const std::vector<std::unique_ptr<Modulator>>& Modulators() const { return modulators_; }
    // For reordering; packing refuses more than 16.
    std::vector<std::unique_ptr<Modulator>>& Modulators() { return modulators_; }
    // Gives m the lowest free id, puts it first and checks the order. Its id, or -1 (m
    // dropped) when no id is free.
    int AddModulator(std::unique_ptr<Modulator> m);
    Modulator* FindModulator(int id) const;
    // kFailed when m is not a program modulator of this program.
    Result RemoveModulator(const Modulator* m);
    // Program context: only program references (0xC) resolve.
    Modulator* ResolveSource(int source) const;
    ModulatorScope Scope() const { return {this, nullptr}; }
    // Program modulators, then each layer's. False when a warning was shown.
    bool CheckModulatorOrder();

    std::string DisplayName(const ProgramNumbering& numbering) const;
    static std::string DisplayText(int number, std::string_view name,
                                   const ProgramNumbering& numbering);
    // The number part of DisplayText: "5", "0/6", "A16".
    static std::string NumberText(int number, const ProgramNumbering& numbering);

  private:
    void Renumber();

    std::vector<std::unique_ptr<Layer>> layers_;
    std::vector<std::unique_ptr<Modulator>> modulators_;
};

}  // namespace talmeru
