#include "editors/controls/KeyMatrixModel.h"

#include <algorithm>

#include "model/ZedoDatabase.h"

namespace talmeru {

void KeyWindow::Clamp() {
    // The window ends on key 127 at the latest, so the last key can always be reached.
    if (End() > 127) start = LastStart();
    if (start < 0) start = 0;
}

KeyWindow& SharedKeyWindow() {
    static KeyWindow window;
    return window;
}

namespace {
int g_dragMode = kEditSampleRanges;
}

int SharedDragMode() {
    return g_dragMode;
}

void SetSharedDragMode(int mode) {
    g_dragMode = mode == kEditLayerRange ? kEditLayerRange : kEditSampleRanges;
}

void KeyMatrixModel::Show(int program, int layer, int keymap) {
    program_ = program;
    layer_ = layer;
    keymap_ = keymap;
    Rebuild();
}

void KeyMatrixModel::Rebuild() {
    ranges_.clear();
    anchor_ = current_ = -1;
    const Keymap* k = FindKeymap();
    if (!k) return;
    for (size_t i = 0; i < k->entries.size(); ++i) {
        const KeymapEntry& e = k->entries[i];
        ranges_.push_back({i, k->LowKey(i), e.topKey, e.sample, false});
    }
}

Layer* KeyMatrixModel::FindLayer() const {
    const Program* p = bank_.GetProgram(program_);
    return p && layer_ >= 0 ? p->GetLayer(layer_) : nullptr;
}

Keymap* KeyMatrixModel::FindKeymap() const {
    return bank_.GetKeymap(keymap_);
}

SampleHeader* KeyMatrixModel::HeaderOf(const MatrixRange& r) const {
    return bank_.GetSampleHeader(r.sample);
}

int KeyMatrixModel::Offset() const {
    const Layer* l = FindLayer();
    return l ? l->timbreShift : 0;
}

void KeyMatrixModel::SetWidth(int width) {
    window_.count = std::max(width, 0) / kKeyWidth;
    window_.Clamp();
}

int KeyMatrixModel::KeyAt(int x) const {
    const int key = x / kKeyWidth + window_.start;
    return key < 0 || key > 127 ? -1 : key;
}

std::optional<PixelSpan> KeyMatrixModel::RangeSpan(size_t r) const {
    if (r >= ranges_.size()) return std::nullopt;
    const int off = Offset();
    const int low = ranges_[r].low + off, top = ranges_[r].top + off;
    const int last = std::min(window_.End(), 127);
    if (top < window_.start || low > last || low > top) return std::nullopt;
    return PixelSpan{KeyX(std::max(low, window_.start)), KeyX(std::min(top, last)) + kKeyWidth};
}

int KeyMatrixModel::HitRange(int x, int y) const {
    if (y < 0 || y >= bandHeight_) return -1;
    for (size_t r = ranges_.size(); r-- > 0;) {
        const auto span = RangeSpan(r);
        if (span && x >= span->x0 && x < span->x1) return int(r);
    }
    return -1;
}

bool KeyMatrixModel::InDrag(int key) const {
    if (anchor_ < 0 || current_ < 0) return false;
    return key >= std::min(anchor_, current_) && key <= std::max(anchor_, current_);
}

uint32_t KeyMatrixModel::KeyMark(int key) const {
    if (InDrag(key)) return Sounding(key) ? kDragKeySounding : kDragKey;
    return Sounding(key) ? kKeySounding : kKeyIdle;
}

int KeyMatrixModel::RangeAtKey(int key) const {
    const int off = Offset();
    for (size_t r = 0; r < ranges_.size(); ++r)
        if (ranges_[r].low + off <= key && key <= ranges_[r].top + off) return int(r);
    return -1;
}

BandCell KeyMatrixModel::Band(int key) const {
    BandCell cell;
    const int r = RangeAtKey(key);
    if (r >= 0) {
        cell.colour = r % 2 == 0 ? kBandEven : kBandOdd;
        cell.silent = HeaderOf(ranges_[size_t(r)]) == nullptr;
    }
    if (const Layer* l = FindLayer()) cell.outsideLayer = key < l->keyLow || key > l->keyHigh;
    return cell;
}

std::vector<MatrixLabel> KeyMatrixModel::Labels(
    const std::function<int(const std::string&)>& width) const {
    std::vector<MatrixLabel> out;
    std::array<int, kLabelRows> rowX;
    rowX.fill(20000);
    const int off = Offset();
    for (size_t r = ranges_.size(); r-- > 0;) {
        const auto span = RangeSpan(r);
        const SampleHeader* h = HeaderOf(ranges_[r]);
        if (!span || !h) continue;
        const int x = span->x0;
        const int t = x + width(h->Name()) + 4;
        const int rightEdge = (ranges_[r].top + off - window_.start + 1) * kKeyWidth;
        const int first = t > rightEdge ? 1 : 0;
        int row = -1;
        for (int j = first; j < kLabelRows; ++j) {
            if (rowX[size_t(j)] > t) {
                row = j;
                break;
            }
        }
        if (row < 0) {
            row = first;
            for (int j = first + 1; j < kLabelRows; ++j)
                if (rowX[size_t(j)] > rowX[size_t(row)]) row = j;
        }
        rowX[size_t(row)] = x;
        out.push_back({int(r), x, row, h->Name()});
    }
    return out;
}

int KeyMatrixModel::Selected() const {
    for (size_t r = ranges_.size(); r-- > 0;)
        if (ranges_[r].selected) return int(r);
    return -1;
}

void KeyMatrixModel::Select(int r) {
    if (r >= 0 && size_t(r) < ranges_.size()) ranges_[size_t(r)].selected = true;
}

bool KeyMatrixModel::ClearSelection() {
    bool any = false;
    for (MatrixRange& r : ranges_) {
        any = any || r.selected;
        r.selected = false;
    }
    return any;
}

void KeyMatrixModel::SetSounding(int key, bool on) {
    if (key >= 0 && key < 128) sounding_[size_t(key)] = on ? 1 : 0;
}

int KeyMatrixModel::Press(int x, int y) {
    const int hit = HitRange(x, y);
    ClearSelection();
    if (hit >= 0) {
        Select(hit);
        return hit;
    }
    const int key = KeyAt(x);
    anchor_ = key;
    current_ = key;
    steps_ = 0;
    return -1;
}

bool KeyMatrixModel::Move(int x, bool leftHeld) {
    if (anchor_ < 0) return false;
    if (!leftHeld) {
        anchor_ = current_ = -1;
        return true;
    }
    const int key = KeyAt(x);
    if (key == current_) return false;
    current_ = key;
    if (key < 0) anchor_ = -1;
    return true;
}

std::optional<std::pair<int, int>> KeyMatrixModel::Release() {
    std::optional<std::pair<int, int>> span;
    if (anchor_ >= 0 && current_ >= 0)
        span = std::make_pair(std::min(anchor_, current_), std::max(anchor_, current_));
    anchor_ = current_ = -1;
    return span;
}

bool KeyMatrixModel::CancelDrag() {
    const bool was = anchor_ >= 0;
    anchor_ = current_ = -1;
    return was;
}

bool KeyMatrixModel::AutoScrollTick() {
    if (anchor_ < 0 || current_ < 0) return false;
    const int step = steps_ < 7 ? 1 : steps_ < 13 ? 2 : 3;
    bool moved = false;
    if (current_ > window_.start && current_ < window_.End()) {
        steps_ = 0;
    } else if (current_ >= window_.End()) {
        if (window_.End() >= 127) return false;
        current_ = std::min(window_.End() + step, 127);
        window_.SetStart(current_ - window_.count + 1);
        moved = true;
    } else {
        if (window_.start <= 0) return false;
        window_.SetStart(std::max(window_.start - step, 0));
        current_ = window_.start;
        moved = true;
    }
    ++steps_;
    return moved;
}

}  // namespace talmeru
