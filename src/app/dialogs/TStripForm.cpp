#include "app/dialogs/TStripForm.h"

#include "app/controls/SliderValue.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <functional>

namespace tolvane {
namespace {

QSlider* slider(const char* name, int minimum, int maximum, int page, int value) {
    auto* s = new QSlider(Qt::Horizontal);
    s->setObjectName(name);
    s->setRange(minimum, maximum);
    s->setPageStep(page);
    s->setValue(value);
    return s;
}

// "Min" slider "Max" in one row, and the value.
QHBoxLayout* between(QSlider* s, std::function<QString(int)> text) {
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel("Min"));
    row->addWidget(s);
    row->addWidget(new QLabel("Max"));
    row->addWidget(sliderValueLabel(s, std::move(text)));
    return row;
}

} // namespace

QString stripThresholdText(int level) {
    return QString("%1 dB").arg(20.0 * std::log10(std::max(level, 1) / 32768.0), 0, 'f', 1);
}

QString stripGapText(int frames, std::uint32_t rate) {
    if (rate == 0)
        return QString("%1 frames").arg(frames);
    const double ms = frames * 1000.0 / rate;
    return QString("%1 ms").arg(ms, 0, 'f', ms < 100 ? 1 : 0);
}

TStripForm::TStripForm(int threshold, int gap, std::uint32_t rate, QWidget* parent)
    : QDialog(parent) {
    setObjectName("StripForm");
    setWindowTitle("Remove silence");
    m_threshold = slider("thresh", kStripThresholdMin, kStripThresholdMax, 5, threshold);
    m_gap = slider("gap", kStripGapMin, kStripGapMax, 1000, gap);
    m_points = new QComboBox;
    m_points->setObjectName("ComboBox1");
    m_points->addItems({"Set between 'stripped' samples", "Keep old", "Recut"});
    m_points->setCurrentIndex(0);
    auto* ok = new QPushButton("OK");
    ok->setObjectName("Button2");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel");
    cancel->setObjectName("Button1");

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Threshold:"), 0, 0);
    grid->addLayout(between(m_threshold, stripThresholdText), 0, 1);
    grid->addWidget(new QLabel("Gap:"), 1, 0);
    grid->addLayout(between(m_gap, [rate](int frames) { return stripGapText(frames, rate); }), 1,
                    1);
    grid->addWidget(new QLabel("Points:"), 2, 0);
    grid->addWidget(m_points, 2, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

int TStripForm::threshold() const {
    return m_threshold->value();
}

int TStripForm::gap() const {
    return m_gap->value();
}

StripPoints TStripForm::points() const {
    return static_cast<StripPoints>(m_points->currentIndex());
}

} // namespace tolvane
