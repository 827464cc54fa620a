#include "editors/program/ModulatorEditing.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "application/BankEdits.h"
#include "model/ZedoDatabase.h"
#include "platform/Format.h"

namespace talmeru {

namespace {

// Modulator inputs are shown this many levels deep at most; a cycle stops earlier.
constexpr int kMaxTreeDepth = 16;
constexpr const char* kPromptText = "<-- Double click a layer number";

int KindSlot(ModulatorKind kind) {
    switch (kind) {
        case ModulatorKind::kEnv:
            return 0;
        case ModulatorKind::kLfo:
            return 1;
        case ModulatorKind::kFun:
            return 2;
    }
    return 0;
}

const char* KindText(ModulatorKind kind) {
    switch (kind) {
        case ModulatorKind::kEnv:
            return "ENV";
        case ModulatorKind::kLfo:
            return "LFO";
        case ModulatorKind::kFun:
            return "FUN";
    }
    return "?";
}

const char* OwnerPrefix(const Modulator& m) {
    return m.ownerKind == kProgramModulator ? "P" : "L";
}

ModRef RefOf(const Modulator& m) {
    return {m.ownerKind, m.Id()};
}

Modulator* ResolveIn(const Layer& layer, const Modulator* holder, uint8_t code) {
    if (holder) return layer.Scope().Resolve(*holder, code);
    return layer.ResolveSource(code);
}

int ImageOf(uint8_t code, const Modulator* resolved) {
    if (IsModulatorSource(code)) {
        if (!resolved) return kImageInvalid;
        switch (resolved->Kind()) {
            case ModulatorKind::kEnv:
                return kImageEnv;
            case ModulatorKind::kLfo:
                return kImageLfo;
            case ModulatorKind::kFun:
                return kImageFun;
        }
    }
    return ClassifySource(code) == SourceClass::kConstant ? kImageConstant : kImageSource;
}

std::string Offered(const Modulator& m) {
    std::string sub = m.SubtypeName();
    return sub.empty() ? m.KindName() : sub;
}

struct TreeBuilder {
    const Layer& layer;
    std::vector<const Modulator*> path;

    ModTreeItem Source(const std::string& label, uint8_t code, const Modulator* holder,
                       const SourceSlot& slot, int block, int entry) {
        ModTreeItem item;
        Modulator* m = IsModulatorSource(code) ? ResolveIn(layer, holder, code) : nullptr;
        item.text = SourceItemText(label, code, layer, holder);
        item.image = ImageOf(code, m);
        item.role = TreeRole::kSource;
        item.block = block;
        item.entry = entry;
        item.source = slot;
        if (!m) return item;
        item.names = RefOf(*m);
        // A modulator already on the way down is not expanded again: a cycle would not end.
        if (std::find(path.begin(), path.end(), m) != path.end() ||
            static_cast<int>(path.size()) >= kMaxTreeDepth)
            return item;
        path.push_back(m);
        for (int i = 0; i < m->InputCount(); ++i) {
            const int input = m->InputSource(i);
            if (input < 0) continue;
            SourceSlot inSlot;
            inSlot.kind = SourceSlot::kModulatorInput;
            inSlot.holder = RefOf(*m);
            inSlot.input = i;
            item.children.push_back(
                Source(m->InputName(i), static_cast<uint8_t>(input), m, inSlot, block, entry));
        }
        path.pop_back();
        return item;
    }

    ModTreeItem Block(int b) {
        const ControlBlock& block = layer.Block(b);
        ModTreeItem item;
        item.role = TreeRole::kBlock;
        item.image = kImageBlock;
        item.block = b;
        item.text = block.IsFilter() ? Fmt("%s (%s) Modulators", block.DisplayName(),
                                           FilterTypeName(block.FilterType()))
                                     : Fmt("%s Modulators", block.DisplayName());
        const auto& entries = block.Entries();
        for (int i = 0; i < static_cast<int>(entries.size()); ++i) {
            const ModulationEntry& e = entries[static_cast<size_t>(i)];
            SourceSlot control{SourceSlot::kEntryControl, b, i, {}, -1};
            ModTreeItem entry = Source("", e.controlSource, nullptr, control, b, i);
            entry.entryItem = true;
            ModTreeItem base;
            base.text = Fmt("Base Depth = %d", e.baseDepth);
            base.image = kImageBaseDepth;
            base.role = TreeRole::kBaseDepth;
            base.block = b;
            base.entry = i;
            ModTreeItem adjusted = base;
            adjusted.text = Fmt("Adjusted Depth = %d", e.adjustedDepth);
            adjusted.image = kImageAdjustedDepth;
            adjusted.role = TreeRole::kAdjustedDepth;
            SourceSlot adjust{SourceSlot::kEntryDepthAdjust, b, i, {}, -1};
            std::vector<ModTreeItem> head;
            head.push_back(std::move(base));
            head.push_back(std::move(adjusted));
            head.push_back(Source("Depth Adjust", e.depthAdjustSource, nullptr, adjust, b, i));
            entry.children.insert(entry.children.begin(), std::make_move_iterator(head.begin()),
                                  std::make_move_iterator(head.end()));
            item.children.push_back(std::move(entry));
        }
        return item;
    }

    ModTreeItem Fixed(int b) {
        const ControlBlock& block = layer.Block(b);
        SourceSlot slot{SourceSlot::kFixedControl, b, -1, {}, -1};
        return Source(block.FixedControlName(), static_cast<uint8_t>(block.FixedControlSource()),
                      nullptr, slot, b, -1);
    }
};

bool IsNew(int command) {
    const int high = command >> 8;
    return high == 0x25 || high == 0x26;
}

void CollectPaths(const std::vector<ModTreeItem>& items, const ModRef& ref, std::vector<int>& at,
                  std::vector<std::vector<int>>& out) {
    for (size_t i = 0; i < items.size(); ++i) {
        at.push_back(static_cast<int>(i));
        if (items[i].names == ref) out.push_back(at);
        CollectPaths(items[i].children, ref, at, out);
        at.pop_back();
    }
}

}  // namespace

std::string SourceItemText(const std::string& label, uint8_t code, const Layer& layer,
                           const Modulator* holder) {
    const char* l = label.c_str();
    if (IsModulatorSource(code)) {
        const Modulator* m = ResolveIn(layer, holder, code);
        if (!m) return Fmt("%s = Invalid ctrl (0x%02X)", l, code);
        if (m->Kind() == ModulatorKind::kFun)
            return Fmt("%s = %s%d %s (%s)", l, OwnerPrefix(*m), m->Id(), "FUN",
                       m->SubtypeName().c_str());
        return Fmt("%s = %s%d %s", l, OwnerPrefix(*m), m->Id(), m->KindName());
    }
    if (ClassifySource(code) == SourceClass::kConstant)
        return Fmt("%s = %d or %5.2f", l, code, ConstantValue(code));
    return Fmt("%s = %s", l, SourceName(code).c_str());
}

std::string ModulatorTag(const Modulator& m) {
    return Fmt("%s%d %s", OwnerPrefix(m), m.Id(), m.KindName());
}

double LfoWaveValue(int shape, int phase, double cycles) {
    double t = cycles + phase / 16.0;
    t -= std::floor(t);
    switch (shape) {
        case 1:
            return std::sin(2 * std::numbers::pi * t);
        case 2:
            return t < 0.5 ? 1.0 : -1.0;
        case 3:
            return 2 * t - 1;
        case 4:
            return t < 0.25 ? 4 * t : t < 0.75 ? 2 - 4 * t : 4 * t - 4;
        default:
            return 0.0;
    }
}

Program* ModulatorEditing::CurrentProgram() const {
    return edits_.Bank().GetProgram(program_);
}

Layer* ModulatorEditing::CurrentLayer() const {
    Program* p = CurrentProgram();
    return p ? p->GetLayer(layer_) : nullptr;
}

int ModulatorEditing::LayerIndex() const {
    return CurrentLayer() ? layer_ : -1;
}

void ModulatorEditing::Validate() {
    Layer* layer = CurrentLayer();
    if (!layer || layer->StereoState() == kStereoRight) layer_ = -1;
    for (ModRef& ref : selected_)
        if (ref.Valid() && !Find(ref)) ref = {};
}

void ModulatorEditing::SetProgram(int number) {
    if (number != program_) {
        program_ = number;
        layer_ = -1;
        for (ModRef& ref : selected_)
            ref = {};
    }
    Validate();
    RebuildTree();
}

bool ModulatorEditing::SetLayer(int index) {
    Program* p = CurrentProgram();
    Layer* layer = p ? p->GetLayer(index) : nullptr;
    if (!layer || layer->StereoState() == kStereoRight) return false;
    if (index != layer_) {
        layer_ = index;
        // The selections of layer modulators belonged to the old layer.
        for (ModRef& ref : selected_)
            if (ref.owner == kLayerModulator) ref = {};
    }
    RebuildTree();
    return true;
}

std::vector<LayerListRow> ModulatorEditing::LayerRows() const {
    std::vector<LayerListRow> rows;
    Program* p = CurrentProgram();
    if (!p) return rows;
    for (int i = 0; i < p->LayerCount(); ++i) {
        const Layer* layer = p->GetLayer(i);
        if (layer->StereoState() == kStereoRight) continue;
        LayerListRow row;
        row.index = i;
        row.number = Fmt("%d", i);
        row.direction = (layer->flags & Layer::kFlagDirection) ? "<--" : "-->";
        const Keymap* k = edits_.Bank().GetKeymap(layer->keymap);
        row.keymap = k ? k->Name() : "invalid";
        row.current = i == LayerIndex();
        rows.push_back(std::move(row));
    }
    return rows;
}

void ModulatorEditing::RebuildTree() {
    Validate();
    tree_.clear();
    const Layer* layer = CurrentLayer();
    if (!layer) {
        ModTreeItem prompt;
        prompt.text = kPromptText;
        prompt.image = kImagePrompt;
        prompt.role = TreeRole::kPrompt;
        tree_.push_back(std::move(prompt));
        return;
    }
    TreeBuilder b{*layer, {}};
    tree_.push_back(b.Block(0));
    tree_.push_back(b.Fixed(0));
    tree_.push_back(b.Block(1));
    tree_.push_back(b.Block(2));
    tree_.push_back(b.Block(3));
    tree_.push_back(b.Fixed(3));
}

const ModTreeItem* ModulatorEditing::ItemAt(const std::vector<int>& path) const {
    const std::vector<ModTreeItem>* level = &tree_;
    const ModTreeItem* item = nullptr;
    for (int i : path) {
        if (i < 0 || i >= static_cast<int>(level->size())) return nullptr;
        item = &(*level)[static_cast<size_t>(i)];
        level = &item->children;
    }
    return item;
}

std::vector<int> ModulatorEditing::BlockPath(int block) {
    static constexpr int kTop[] = {0, 2, 3, 4};
    return {kTop[block & 3]};
}

Modulator* ModulatorEditing::Find(const ModRef& ref) const {
    if (!ref.Valid()) return nullptr;
    if (ref.owner == kProgramModulator) {
        Program* p = CurrentProgram();
        return p ? p->FindModulator(ref.id) : nullptr;
    }
    Layer* layer = CurrentLayer();
    return layer ? layer->FindModulator(ref.id) : nullptr;
}

std::vector<MenuItem> ModulatorEditing::SourceMenu(const ModTreeItem* item) const {
    Program* program = CurrentProgram();
    Layer* layer = CurrentLayer();
    const bool add = item && item->role == TreeRole::kBlock;
    const bool replace = item && item->role == TreeRole::kSource;
    Modulator* holder = nullptr;
    if (replace && item->source.kind == SourceSlot::kModulatorInput)
        holder = Find(item->source.holder);
    const bool programHolder = holder && holder->ownerKind == kProgramModulator;

    MenuItem chooser;
    chooser.text = replace ? "Replace" : "Add";
    chooser.popup = true;
    chooser.enabled = program && layer && (add || replace);
    if (add && layer) {
        const ControlBlock& block = layer->Block(item->block);
        // A Null filter packs no entries, and a block holds at most 16.
        if (block.IsNullFilter() || block.Entries().size() >= kMaxEntries) chooser.enabled = false;
    }

    for (const SourceGroup& group : SourceChooserGroups()) {
        std::vector<MenuItem> entries;
        for (const SourceChoice& c : group.choices)
            entries.push_back({c.entry, c.range, kCmdUseSource + c.code, true, false, false, {}});
        if (*group.title == '\0') {
            chooser.items.insert(chooser.items.end(), entries.begin(), entries.end());
        } else {
            MenuItem sub;
            sub.text = group.title;
            sub.popup = true;
            sub.items = std::move(entries);
            chooser.items.push_back(std::move(sub));
        }
    }

    for (ModulatorKind kind : {ModulatorKind::kLfo, ModulatorKind::kEnv, ModulatorKind::kFun}) {
        MenuItem sub;
        sub.text = KindText(kind);
        sub.popup = true;
        auto offer = [&](const Modulator& m, int command, bool enabled) {
            // Reading the holder itself, or a modulator that already reads the holder, would
            // close a loop.
            if (holder && layer) {
                const ModulatorScope scope = layer->Scope();
                if (!WouldLoop(scope, *holder, m) || !WouldLoop(scope, m, *holder)) enabled = false;
            }
            sub.items.push_back({m.ownerKind == kProgramModulator
                                     ? Fmt("P%d %s", m.Id(), Offered(m).c_str())
                                     : Fmt("L%d %s ", m.Id(), Offered(m).c_str()),
                                 "",
                                 command,
                                 enabled,
                                 false,
                                 false,
                                 {}});
        };
        if (layer)
            for (const auto& m : layer->Modulators())
                if (m->Kind() == kind)
                    offer(*m, kCmdUseSource + LayerModulatorSource(m->Id()), !programHolder);
        if (program)
            for (const auto& m : program->Modulators())
                if (m->Kind() == kind)
                    offer(*m, kCmdUseSource + ProgramModulatorSource(m->Id()), true);
        sub.enabled = !sub.items.empty();
        chooser.items.push_back(std::move(sub));
    }

    const bool layerRoom = layer && !programHolder && layer->Modulators().size() < kMaxModulators;
    const bool programRoom = program && program->ModulatorCount() < kMaxModulators;
    MenuItem separator;
    separator.separator = true;
    chooser.items.push_back(separator);
    chooser.items.push_back({"New LFO (Layer)", "", kCmdNewLayerLfo, layerRoom, false, false, {}});
    chooser.items.push_back(
        {"New LFO (Program)", "", kCmdNewProgramLfo, programRoom, false, false, {}});
    chooser.items.push_back({"New ENV (Layer)", "", kCmdNewLayerEnv, layerRoom, false, false, {}});
    chooser.items.push_back(
        {"New ENV (Program)", "", kCmdNewProgramEnv, programRoom, false, false, {}});
    for (bool forLayer : {true, false}) {
        MenuItem fun;
        fun.text = forLayer ? "New FUN (Layer)" : "New FUN (Program)";
        fun.popup = true;
        fun.enabled = forLayer ? layerRoom : programRoom;
        for (int op = 0; op < kFunOperatorCount; ++op) {
            std::string name = FunOperatorName(op);
            if (name.empty()) name = Fmt("(%d)", op);
            fun.items.push_back({name,
                                 "",
                                 (forLayer ? kCmdNewLayerFun : kCmdNewProgramFun) + op,
                                 fun.enabled,
                                 false,
                                 false,
                                 {}});
        }
        chooser.items.push_back(std::move(fun));
    }

    std::vector<MenuItem> menu;
    menu.push_back(std::move(chooser));
    menu.push_back(
        {"Remove", "", kCmdRemoveEntry, item && item->entryItem && layer, false, false, {}});
    return menu;
}

int ModulatorEditing::NewModulator(int command, ModRef* made) {
    Program* program = CurrentProgram();
    Layer* layer = CurrentLayer();
    const bool forProgram = (command >> 8) == 0x25;
    const int low = command & 0xFF;
    std::unique_ptr<Modulator> m;
    if (low == 0xFE) {
        m = MakeModulator(ModulatorKind::kEnv);
    } else if (low == 0xFF) {
        m = MakeModulator(ModulatorKind::kLfo);
    } else {
        auto fun = std::make_unique<FunModulator>();
        if (!fun->SetOperator(low)) return -1;
        m = std::move(fun);
    }
    const ModulatorKind kind = m->Kind();
    int id = -1;
    if (forProgram) {
        if (!program || program->ModulatorCount() >= kMaxModulators) return -1;
        id = program->AddModulator(std::move(m));
    } else {
        if (!layer || layer->Modulators().size() >= kMaxModulators) return -1;
        id = layer->AddModulator(std::move(m));
    }
    if (id < 0) return -1;
    *made = {forProgram ? kProgramModulator : kLayerModulator, id};
    if (kind == ModulatorKind::kFun) selected_[KindSlot(kind)] = *made;
    return forProgram ? ProgramModulatorSource(id) : LayerModulatorSource(id);
}

int ModulatorEditing::Command(int command, const ModTreeItem* item) {
    Layer* layer = CurrentLayer();
    if (!layer || !item) return 1;
    if (command == kCmdRemoveEntry) {
        if (!item->entryItem || !layer->Block(item->block).RemoveEntry(item->entry)) return 1;
        AfterSourceChange();
        return 0;
    }
    if (command < kCmdUseSource || command >= 0x2700) return 1;
    // The item is rebuilt below; what it names is taken now.
    const TreeRole role = item->role;
    const SourceSlot slot = item->source;
    const int blockIndex = item->block;
    if (role == TreeRole::kBlock) {
        const ControlBlock& block = layer->Block(blockIndex);
        if (block.IsNullFilter() || block.Entries().size() >= kMaxEntries) return 1;
    } else if (role != TreeRole::kSource) {
        return 1;
    }
    if (role == TreeRole::kSource && slot.kind == SourceSlot::kModulatorInput) {
        Modulator* holder = Find(slot.holder);
        if (!holder) return 1;
        // A program modulator may not read layer modulators.
        if (holder->ownerKind == kProgramModulator &&
            ((command >> 8) == 0x26 ||
             (!IsNew(command) &&
              ClassifySource(static_cast<uint8_t>(command)) == SourceClass::kLayerModulator)))
            return 1;
    }

    int code = command & 0xFF;
    if (IsNew(command)) {
        ModRef made;
        code = NewModulator(command, &made);
        if (code < 0) return 1;
    }
    if (role == TreeRole::kBlock) {
        layer->Block(blockIndex)
            .AddEntry({static_cast<uint8_t>(code), kNewEntryDepth, kNewEntryDepth, kSourceOne});
    } else {
        uint8_t* byte = nullptr;
        switch (slot.kind) {
            case SourceSlot::kEntryControl:
            case SourceSlot::kEntryDepthAdjust: {
                auto& entries = layer->Block(slot.block).Entries();
                if (slot.entry < 0 || slot.entry >= static_cast<int>(entries.size())) break;
                ModulationEntry& e = entries[static_cast<size_t>(slot.entry)];
                byte = slot.kind == SourceSlot::kEntryControl ? &e.controlSource
                                                              : &e.depthAdjustSource;
                break;
            }
            case SourceSlot::kFixedControl:
                byte = layer->Block(slot.block).FixedControl();
                break;
            case SourceSlot::kModulatorInput:
                if (Modulator* holder = Find(slot.holder)) byte = holder->Input(slot.input);
                break;
            case SourceSlot::kNone:
                break;
        }
        if (!byte) return 1;
        *byte = static_cast<uint8_t>(code);
    }
    AfterSourceChange();
    return 0;
}

int ModulatorEditing::SetDepth(const ModTreeItem& item, int value) {
    Layer* layer = CurrentLayer();
    if (!layer || (item.role != TreeRole::kBaseDepth && item.role != TreeRole::kAdjustedDepth))
        return 1;
    auto& entries = layer->Block(item.block).Entries();
    if (item.entry < 0 || item.entry >= static_cast<int>(entries.size())) return 1;
    ModulationEntry& e = entries[static_cast<size_t>(item.entry)];
    const auto v = static_cast<int8_t>(std::clamp(value, -128, 127));
    int8_t& depth = item.role == TreeRole::kBaseDepth ? e.baseDepth : e.adjustedDepth;
    if (depth == v) return 1;
    depth = v;
    Changed();
    RebuildTree();
    return 0;
}

void ModulatorEditing::Changed() {
    Program* program = CurrentProgram();
    if (!program) return;
    if (Layer* layer = CurrentLayer()) layer->UpdateRightHalf();
    edits_.Changed(*program);
}

void ModulatorEditing::AfterSourceChange() {
    Changed();
    RebuildTree();
    if (Program* program = CurrentProgram()) program->CheckModulatorOrder();
}

std::vector<ModRef> ModulatorEditing::ModulatorsOf(ModulatorKind kind) const {
    std::vector<ModRef> out;
    if (Program* p = CurrentProgram())
        for (const auto& m : p->Modulators())
            if (m->Kind() == kind) out.push_back(RefOf(*m));
    if (Layer* layer = CurrentLayer())
        for (const auto& m : layer->Modulators())
            if (m->Kind() == kind) out.push_back(RefOf(*m));
    return out;
}

ModRef ModulatorEditing::Selected(ModulatorKind kind) const {
    const ModRef ref = selected_[KindSlot(kind)];
    return Find(ref) ? ref : ModRef{};
}

void ModulatorEditing::Select(ModulatorKind kind, ModRef ref) {
    Modulator* m = Find(ref);
    selected_[KindSlot(kind)] = m && m->Kind() == kind ? ref : ModRef{};
}

std::vector<MenuItem> ModulatorEditing::ListMenu(ModulatorKind kind) const {
    const Modulator* m = Find(Selected(kind));
    const Program* program = CurrentProgram();
    const Layer* layer = CurrentLayer();
    const char* name = KindText(kind);
    std::vector<MenuItem> menu;
    menu.push_back({"Find All Instances", "", kCmdFindInstances, m != nullptr, false, false, {}});
    menu.push_back({m ? Fmt("Delete %s%d %s (%s)", OwnerPrefix(*m), m->Id(), m->KindName(),
                            m->SubtypeName().c_str())
                      : std::string("Delete"),
                    "",
                    kCmdDeleteModulator,
                    m != nullptr,
                    false,
                    false,
                    {}});
    menu.push_back({Fmt("New %s (Program)", name),
                    "",
                    kCmdNewListProgram,
                    program && program->ModulatorCount() < kMaxModulators,
                    false,
                    false,
                    {}});
    menu.push_back({Fmt("New %s (Layer)", name),
                    "",
                    kCmdNewListLayer,
                    layer && layer->Modulators().size() < kMaxModulators,
                    false,
                    false,
                    {}});
    return menu;
}

std::vector<std::vector<int>> ModulatorEditing::FindInstances(const ModRef& ref) const {
    std::vector<std::vector<int>> out;
    std::vector<int> at;
    if (ref.Valid()) CollectPaths(tree_, ref, at, out);
    return out;
}

int ModulatorEditing::ListCommand(ModulatorKind kind, int command,
                                  std::vector<std::vector<int>>* found) {
    Program* program = CurrentProgram();
    Layer* layer = CurrentLayer();
    if (!program) return 1;
    const ModRef selected = Selected(kind);
    switch (command) {
        case kCmdFindInstances: {
            if (!selected.Valid()) return 1;
            auto paths = FindInstances(selected);
            if (found) *found = std::move(paths);
            return 0;
        }
        case kCmdDeleteModulator: {
            Modulator* m = Find(selected);
            if (!m) return 1;
            const int rc = selected.owner == kProgramModulator ? program->RemoveModulator(m)
                                                               : layer->RemoveModulator(m);
            if (rc != 0) return 1;
            selected_[KindSlot(kind)] = {};
            AfterSourceChange();
            return 0;
        }
        case kCmdNewListProgram:
        case kCmdNewListLayer: {
            const bool forProgram = command == kCmdNewListProgram;
            int id = -1;
            if (forProgram) {
                if (program->ModulatorCount() >= kMaxModulators) return 1;
                id = program->AddModulator(MakeModulator(kind));
            } else {
                if (!layer || layer->Modulators().size() >= kMaxModulators) return 1;
                id = layer->AddModulator(MakeModulator(kind));
            }
            if (id < 0) return 1;
            selected_[KindSlot(kind)] = {forProgram ? kProgramModulator : kLayerModulator, id};
            AfterSourceChange();
            return 0;
        }
        default:
            return 1;
    }
}

}  // namespace talmeru
