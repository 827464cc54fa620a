#include "editors/controls/EnvelopeCtrl.h"

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
    const int top = EnvelopeGraph::kTop - 4;
    const int bottom = height() - EnvelopeGraph::kBottom;
    const int textY = height() - 3;
    p.setPen(QPen(Qt::darkGreen, 1, Qt::DashLine));
    const int attackX = graph_.AttackX();
    p.drawLine(attackX, top, attackX, bottom);
    p.drawText(attackX + 2, textY, "Attack");
    if (const int releaseX = graph_.ReleaseX(); releaseX >= 0) {
        p.setPen(QPen(Qt::darkRed, 1, Qt::DashLine));
        p.drawLine(releaseX, top, releaseX, bottom);
        const int w = fontMetrics().horizontalAdvance("Release");
        p.drawText(releaseX + 2 + w < width() ? releaseX + 2 : releaseX - 2 - w, textY, "Release");
    }

    const auto points = graph_.Points();
    std::vector<QPoint> at;
    for (const EnvelopePoint& pt : points) {
        const GraphPixel px = graph_.Place(pt);
        at.emplace_back(px.x, px.y);
    }
    const int selected = graph_.Selected();
    p.setRenderHint(QPainter::Antialiasing);
    for (size_t i = 1; i < at.size(); ++i) {
        const bool chosen = static_cast<int>(i) == selected;
        p.setPen(QPen(chosen ? Qt::red : Qt::blue, chosen ? 2 : 1));
        p.drawLine(at[i - 1], at[i]);
    }
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    p.setFont(small);
    const QFontMetrics metrics(small);
    for (size_t i = 0; i < at.size(); ++i) {
        p.setPen(Qt::black);
        p.setBrush(static_cast<int>(i) == selected ? Qt::red : Qt::black);
        p.drawRect(at[i].x() - 2, at[i].y() - 2, 4, 4);
        // Labels that would leave the control go to the other side of their point.
        const QString label = QString::fromStdString(EnvelopeGraph::Label(points[i]));
        const int w = metrics.horizontalAdvance(label);
        const int x = at[i].x() + 4 + w < width() ? at[i].x() + 4 : at[i].x() - 4 - w;
        const int y =
            at[i].y() - 4 - metrics.ascent() > 0 ? at[i].y() - 4 : at[i].y() + 4 + metrics.ascent();
        p.drawText(x, y, label);
    }
    p.setFont(font());
    if (const int hovered = graph_.Hovered(); hovered >= 0) {
        p.setPen(Qt::black);
        p.drawText(EnvelopeGraph::kSide, EnvelopeGraph::kTop - 5,
                   QString::fromStdString(graph_.PointText(hovered)));
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
