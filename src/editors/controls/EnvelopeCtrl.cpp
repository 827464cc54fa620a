#include "editors/controls/EnvelopeCtrl.h"

#include <algorithm>

#include <QComboBox>
#include <QInputDialog>
#include <QMouseEvent>
#include <QPainter>

#include "platform/Format.h"
#include "platform/Prompter.h"

namespace talmeru {

namespace {

std::optional<std::string> AskPresetName(QWidget* parent, const std::string& offered) {
    bool ok = false;
    const QString name =
        QInputDialog::getText(parent, "Save Envelope Preset", "Preset name:", QLineEdit::Normal,
                              QString::fromStdString(offered), &ok);
    if (!ok) return std::nullopt;
    return name.toStdString();
}

}  // namespace

CEnvelopeCtrl::CEnvelopeCtrl(Profile& settings, BankEdits& edits, EnvelopeKind kind,
                             QWidget* parent)
    : QWidget(parent), settings_(settings), edits_(edits) {
    graph_.SetKind(kind);
    setMouseTracking(true);
    asker_ = [this](const std::string& offered) { return AskPresetName(this, offered); };
}

void CEnvelopeCtrl::SetEnvelope(EnvModulator* env, const EnvelopeHome& home) {
    graph_.Show(env);
    home_ = home;
    update();
}

void CEnvelopeCtrl::SetEnvelope(SampleHeader* header) {
    graph_.Show(header);
    home_ = {};
    home_.header = header;
    update();
}

void CEnvelopeCtrl::ClearEnvelope() {
    graph_.Clear();
    home_ = {};
    update();
}

void CEnvelopeCtrl::Changed() {
    SpreadEnvelopeEdit(home_, edits_);
    update();
    emit envelopeChanged();
}

void CEnvelopeCtrl::FillPresetList(QComboBox& list) {
    const EnvelopePresets presets = Presets();
    bool damaged = false;
    const int count = presets.Count(&damaged);
    if (damaged)
        ShowMessage(
            Fmt("The count of envelope presets in section [%s] of the settings file is "
                "damaged; the %d presets stored one after another are shown.",
                presets.Section(), count));
    list.clear();
    for (const std::string& name : presets.ListNames())
        list.addItem(QString::fromStdString(name));
    list.setCurrentIndex(-1);
}

int CEnvelopeCtrl::ApplyListChoice(QComboBox& list, int index) {
    int rc = 1;
    if (index >= 0 && index < list.count()) {
        chosen_ = list.itemText(index).toStdString();
        SampleHeader* header = graph_.Header();
        if (graph_.Kind() == kNaturalEnvelope && index < Presets().BuiltInCount()) {
            if (header) {
                if (index == 0)
                    MakeFlatEnvelope(*header);
                else
                    MakePercussiveEnvelope(*header);
                Changed();
                rc = 0;
            }
        } else {
            rc = ApplyPreset(list.itemText(index).toStdString());
        }
    }
    list.setCurrentIndex(-1);
    return rc;
}

int CEnvelopeCtrl::ApplyPreset(const std::string& name) {
    int rc = 1;
    if (graph_.Env())
        rc = Presets().Apply(name, *graph_.Env());
    else if (graph_.Header())
        rc = Presets().Apply(name, *graph_.Header());
    if (rc == 0) Changed();
    return rc;
}

int CEnvelopeCtrl::SavePreset(const std::string& name) {
    if (!graph_.Env() && !graph_.Header()) return -1;
    const std::optional<std::string> entered = asker_(name);
    if (!entered) return -1;
    EnvelopePresets presets = Presets();
    return graph_.Env() ? presets.Save(*entered, *graph_.Env())
                        : presets.Save(*entered, graph_.Header()->envelope);
}

int CEnvelopeCtrl::DeletePreset(const std::string& name) {
    EnvelopePresets presets = Presets();
    return presets.Delete(name);
}

int CEnvelopeCtrl::DeleteListChoice(QComboBox& list) {
    // Choosing an entry applies it and clears the selection: Delete means that entry.
    int index = list.currentIndex();
    if (index < 0 && !chosen_.empty()) index = list.findText(QString::fromStdString(chosen_));
    if (index < 0) return 1;
    if (index < Presets().BuiltInCount()) {
        ShowMessage("This preset can not be deleted");
        return 1;
    }
    const int rc = DeletePreset(list.itemText(index).toStdString());
    FillPresetList(list);
    return rc;
}

void CEnvelopeCtrl::FitGraph() {
    graph_.SetSize(width(), height());
}

void CEnvelopeCtrl::paintEvent(QPaintEvent*) {
    FitGraph();
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    if (graph_.Empty()) {
        p.setPen(Qt::black);
        p.drawText(rect(), Qt::AlignCenter, "No Envelope");
        return;
    }
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    const QFontMetrics metrics(small);
    const int top = EnvelopeGraph::kTop - 4;
    const int bottom = height() - EnvelopeGraph::kBottom;

    // The time axis under the plot, in seconds.
    p.setFont(small);
    p.setPen(palette().color(QPalette::Mid));
    p.drawLine(EnvelopeGraph::kSide, bottom, width() - EnvelopeGraph::kSide, bottom);
    const int tickSpacing = metrics.horizontalAdvance("00.000 s") + 8;
    for (const TimeTick& tick : graph_.TimeTicks(tickSpacing)) {
        p.setPen(palette().color(QPalette::Mid));
        p.drawLine(tick.x, bottom, tick.x, bottom + 3);
        const QString text = QString::fromStdString(tick.text);
        const int w = metrics.horizontalAdvance(text);
        const int x = std::clamp(tick.x - w / 2, 0, std::max(width() - w, 0));
        p.setPen(Qt::darkGray);
        p.drawText(x, height() - 3, text);
    }

    // The phase lines, named at the top of the plot; point labels keep clear of the names and
    // of the strip above, where the hovered point's values show.
    std::vector<GraphBox> keepClear{{0, 0, width(), EnvelopeGraph::kTop - 4}};
    auto phase = [&](int x, const QColor& color, const QString& name) {
        p.setPen(QPen(color, 1, Qt::DashLine));
        p.drawLine(x, top, x, bottom);
        const int w = metrics.horizontalAdvance(name);
        const int textX = x + 2 + w < width() ? x + 2 : x - 2 - w;
        p.drawText(textX, top + metrics.ascent(), name);
        keepClear.push_back({textX, top, w, metrics.height()});
    };
    phase(graph_.AttackX(), Qt::darkGreen, "Attack");
    if (const int releaseX = graph_.ReleaseX(); releaseX >= 0)
        phase(releaseX, Qt::darkRed, "Release");

    const auto points = graph_.Points();
    std::vector<QPoint> at;
    std::vector<GraphPixel> sizes;
    std::vector<QString> labels;
    for (const EnvelopePoint& pt : points) {
        const GraphPixel px = graph_.Place(pt);
        at.emplace_back(px.x, px.y);
        labels.push_back(QString::fromStdString(EnvelopeGraph::Label(pt)));
        sizes.push_back({metrics.horizontalAdvance(labels.back()), metrics.height()});
    }
    const int selected = graph_.Selected();
    p.setRenderHint(QPainter::Antialiasing);
    for (size_t i = 1; i < at.size(); ++i) {
        const bool chosen = static_cast<int>(i) == selected;
        p.setPen(QPen(chosen ? Qt::red : Qt::blue, chosen ? 2 : 1));
        p.drawLine(at[i - 1], at[i]);
    }
    const std::vector<GraphBox> boxes = graph_.LabelBoxes(sizes, keepClear);
    for (size_t i = 0; i < at.size(); ++i) {
        p.setPen(Qt::black);
        p.setBrush(static_cast<int>(i) == selected ? Qt::red : Qt::black);
        p.drawRect(at[i].x() - 2, at[i].y() - 2, 4, 4);
        const GraphBox& box = boxes[i];
        if (box.width > 0) p.drawText(box.x, box.y + metrics.ascent(), labels[i]);
    }
    p.setFont(font());
    if (const int hovered = graph_.Hovered(); hovered >= 0) {
        p.setPen(Qt::black);
        std::string text = graph_.PointText(hovered);
        if (const std::string meaning = graph_.PointMeaning(hovered); !meaning.empty())
            text += "   " + meaning;
        p.drawText(EnvelopeGraph::kSide, EnvelopeGraph::kTop - 5, QString::fromStdString(text));
    }
}

void CEnvelopeCtrl::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    FitGraph();
    const QPoint at = event->position().toPoint();
    graph_.Press(at.x(), at.y());
    graph_.Hover(at.x(), at.y());
    update();
}

void CEnvelopeCtrl::mouseMoveEvent(QMouseEvent* event) {
    FitGraph();
    const QPoint at = event->position().toPoint();
    if (graph_.Dragging()) {
        if (!(event->buttons() & Qt::LeftButton)) {
            graph_.Release();
            update();
        } else if (graph_.Drag(at.x(), at.y())) {
            Changed();
        }
    }
    if (graph_.Hover(at.x(), at.y())) update();
}

void CEnvelopeCtrl::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    graph_.Release();
    update();
}

void CEnvelopeCtrl::leaveEvent(QEvent* event) {
    if (graph_.Hover(-1000, -1000)) update();
    QWidget::leaveEvent(event);
}

}  // namespace talmeru
