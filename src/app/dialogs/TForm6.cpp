#include "app/dialogs/TForm6.h"

#include "app/controls/SliderValue.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

namespace tolvane {
namespace {

// An up-down control whose box shows its position moved by an offset, as its label does
// (the octave control's position 4 reads "2").
class UpDownBox : public QSpinBox {
public:
    explicit UpDownBox(int shownOffset) : m_offset(shownOffset) {}

protected:
    QString textFromValue(int value) const override { return QString::number(value + m_offset); }
    int valueFromText(const QString& text) const override { return text.toInt() - m_offset; }
    QValidator::State validate(QString& text, int&) const override {
        bool ok = false;
        const int value = text.toInt(&ok) - m_offset;
        if (text.isEmpty() || text == "-")
            return QValidator::Intermediate;
        return ok && value >= minimum() && value <= maximum() ? QValidator::Acceptable
                                                              : QValidator::Invalid;
    }

private:
    int m_offset;
};

QSpinBox* spin(const char* name, int minimum, int maximum, int step, int value,
               int shownOffset = 0) {
    auto* box = new UpDownBox(shownOffset);
    box->setObjectName(name);
    box->setRange(minimum, maximum);
    box->setSingleStep(step);
    box->setValue(value);
    box->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    return box;
}

QCheckBox* check(const char* name, const char* caption, bool on) {
    auto* box = new QCheckBox(caption);
    box->setObjectName(name);
    box->setChecked(on);
    return box;
}

} // namespace

QString smoothLevelText(int position) {
    return QString("%1%").arg(qRound(position / 60.0 * 100));
}

TForm6::TForm6(const KeymapSettings& keymap, int samplesToMap, QWidget* parent, KeymapUse use)
    : QDialog(parent), m_samples(samplesToMap), m_use(use) {
    setObjectName("Form6");
    setWindowTitle("Keymap settings");
    m_note = spin("UpDown1", 1, 12, 1, keymap.note);
    m_octave = spin("UpDown2", 0, 10, 1, keymap.octave, -2);
    m_interval = spin("UpDown3", 0, 12, 2, keymap.interval);
    m_noteName = new QLabel;
    m_noteName->setObjectName("Label1");
    m_octaveLabel = new QLabel;
    m_octaveLabel->setObjectName("Label2");
    m_intervalLabel = new QLabel;
    m_intervalLabel->setObjectName("Label3");
    m_bank = new QLineEdit(QString::fromStdString(keymap.bankName));
    m_bank->setObjectName("Edit1");
    m_bank->setMaxLength(255);
    m_smooth = check("CheckBox1", "Smooth sample end points", keymap.smoothEndPoints);
    m_smooth->setToolTip("Smooth end points of samples");
    m_smoothLevel = new QSlider(Qt::Horizontal);
    m_smoothLevel->setObjectName("smoothbar");
    m_smoothLevel->setRange(0, 60);
    m_smoothLevel->setValue(keymap.smoothLevel);
    m_whiteKeys = check("CheckBox2", "Use white keys only from C", false);
    m_reverse = check("CheckBox3", "Reverse notes in midi file", keymap.reverseNotes);
    m_baseOnly = check("CheckBox4", "Use base note only", keymap.baseNoteOnly);
    auto* reset = new QPushButton("Reset");
    reset->setToolTip("Reset base note and interval settings");
    m_warning = new QLabel(kMsgSamplesExceedNotes);
    m_warning->setStyleSheet("color: #c00000; font-weight: bold");
    m_bankNote = new QLabel("\"Use base note only\" does not apply to a sound bank: each "
                            "segment gets a key of its own.");
    m_bankNote->setObjectName("BankNote");
    m_bankNote->setWordWrap(true);

    m_reason = new QLabel;
    m_reason->setObjectName("KeymapReason");
    m_reason->hide();

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel("Note:"), 0, 0);
    grid->addWidget(m_note, 0, 1);
    grid->addWidget(m_noteName, 0, 2);
    grid->addWidget(new QLabel("Octave:"), 1, 0);
    grid->addWidget(m_octave, 1, 1);
    grid->addWidget(m_octaveLabel, 1, 2);
    grid->addWidget(new QLabel("Interval:"), 2, 0);
    grid->addWidget(m_interval, 2, 1);
    grid->addWidget(m_intervalLabel, 2, 2);
    grid->addWidget(reset, 2, 3);
    grid->addWidget(new QLabel("Bank / track name:"), 3, 0);
    grid->addWidget(m_bank, 3, 1, 1, 3);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_reason);
    layout->addLayout(grid);
    auto* smoothing = new QHBoxLayout;
    smoothing->addWidget(m_smoothLevel);
    smoothing->addWidget(sliderValueLabel(m_smoothLevel, smoothLevelText));
    layout->addWidget(m_smooth);
    layout->addLayout(smoothing);
    for (QWidget* w : std::initializer_list<QWidget*>{m_whiteKeys, m_reverse, m_baseOnly,
                                                      m_bankNote, m_warning, buttons})
        layout->addWidget(w);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(reset, &QPushButton::clicked, this, [this] { ResetClick(); });
    connect(m_whiteKeys, &QCheckBox::toggled, this, [this] { CheckBox2Click(); });
    for (QSpinBox* box : {m_note, m_octave, m_interval})
        connect(box, &QSpinBox::valueChanged, this, [this] { update(); });
    // The interval moves in steps of 2; a typed odd number is taken down to the even one.
    connect(m_interval, &QSpinBox::valueChanged, this, [this](int value) {
        if (value % 2 != 0)
            m_interval->setValue(value - 1);
    });
    connect(m_smoothLevel, &QSlider::valueChanged, this, [this] { update(); });
    connect(m_baseOnly, &QCheckBox::toggled, this, [this] { update(); });
    // Reopened with white keys on: the note and interval to restore are the remembered ones.
    m_savedNote = keymap.savedNote;
    m_savedInterval = keymap.savedInterval;
    {
        const QSignalBlocker block(m_whiteKeys);
        m_whiteKeys->setChecked(keymap.whiteKeysOnly);
    }
    if (keymap.whiteKeysOnly) {
        m_note->setValue(1);
        m_interval->setValue(0);
    }
    m_note->setEnabled(!keymap.whiteKeysOnly);
    m_interval->setEnabled(!keymap.whiteKeysOnly);
    update();
}

KeymapSettings TForm6::keymap() const {
    KeymapSettings k;
    k.note = m_note->value();
    k.octave = m_octave->value();
    k.interval = m_interval->value();
    k.bankName = m_bank->text().toStdString();
    k.smoothEndPoints = m_smooth->isChecked();
    k.smoothLevel = m_smoothLevel->value();
    k.whiteKeysOnly = m_whiteKeys->isChecked();
    k.reverseNotes = m_reverse->isChecked();
    k.baseNoteOnly = m_baseOnly->isChecked();
    k.savedNote = m_savedNote;
    k.savedInterval = m_savedInterval;
    return k;
}

void TForm6::setReason(const QString& reason) {
    m_reason->setText(reason);
    m_reason->setVisible(!reason.isEmpty());
}

bool TForm6::warningShown() const {
    return !m_warning->isHidden();
}

bool TForm6::baseNoteOnlyNoteShown() const {
    return !m_bankNote->isHidden();
}

void TForm6::update() {
    m_noteName->setText(noteName(m_note->value()));
    m_octaveLabel->setText(QString::number(m_octave->value() - 2));
    m_intervalLabel->setText(QString::number(m_interval->value()));
    m_smoothLevel->setToolTip(
        QString("Smooth level (%1)").arg(smoothLevelText(m_smoothLevel->value())));
    const bool bank = m_use == KeymapUse::SoundBank;
    const bool exceeds =
        bank ? samplesExceedKeys(keymap(), m_samples) : samplesExceedNotes(keymap(), m_samples);
    m_bankNote->setVisible(bank && m_baseOnly->isChecked());
    m_warning->setVisible(exceeds);
    m_ok->setEnabled(!exceeds);
}

void TForm6::CheckBox2Click() {
    const bool white = m_whiteKeys->isChecked();
    if (white) {
        m_savedNote = m_note->value();
        m_savedInterval = m_interval->value();
        m_interval->setValue(0);
        m_note->setValue(1);
    } else {
        m_note->setValue(m_savedNote);
        m_interval->setValue(m_savedInterval);
    }
    m_note->setEnabled(!white);
    m_interval->setEnabled(!white);
    update();
}

void TForm6::ResetClick() {
    m_note->setValue(1);
    m_octave->setValue(4);
    m_interval->setValue(0);
    update();
}

} // namespace tolvane
