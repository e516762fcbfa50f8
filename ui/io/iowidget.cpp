#include "ui/io/iowidget.h"

#include "core/globals.h"
#include "core/operatorport.h"
#include "params/signalnames.h"
#include "params/wizardpara.h"
#include "ui/io/customionamewidget.h"
#include "ui/widgets/choosers.h"
#include "ui/widgets/colorbutton.h"
#include "ui/widgets/ctypecom.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>

namespace {

constexpr int kRowTitle = 499;         // "Multiple detection IO Settings"
constexpr int kRowFirstStage = 477;    // "1st" ... "8th"
constexpr int kRowTwice = 501;         // "twice", "3 times" ... "8 times"
constexpr int kRowNone = 173;
constexpr int kRowReset = 497;
constexpr int kRowNotSequential = 593;
constexpr int kRowRedetect = 511;      // "re-detect %1"
constexpr int kRowLastStageMissing = 512;
constexpr int kRowInput = 495;         // "Input %1"
constexpr int kRowTrigger = 1503;
constexpr int kRowCutMode = 1504;
// Cut-mode names by kind: every later stage, own source, none, own source with a pulse after OK,
// every later stage with a pulse after OK, own output on NG.
constexpr int kKindRows[CustomStageLayout::kKinds] = {474, 475, 523, 1500, 1501, 592};
constexpr int kRedetectOutput = 2;     // output terminal of output 4, pulsed while re-detecting

QString inputName(int source)
{
    const int index = gpWParaBak ? gpWParaBak->io_name_index[source] : 0;
    const QString name = InputFunctionName(index);
    if (name.isEmpty())  // a stored name outside the table
        return LanStr(kRowInput).arg(kTriggerSourceInputs[source]);
    return QStringLiteral("%1 %2").arg(kTriggerSourceInputs[source]).arg(name);
}

QString outputName(int output)
{
    return OutputFunctionName(gpWParaBak ? gpWParaBak->io_name_index[8 + output] : 0);
}

const QString kDisabledBox = QStringLiteral(
    "QCheckBox::indicator:unchecked:disabled {background:#5a6470; border-color:#5a6470;}");

}  // namespace

IOCheckComBO::IOCheckComBO(int stage, QWidget *parent)
    : QWidget(parent)
    , m_stage(stage)
{
    auto *line = new QHBoxLayout(this);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(6);
    m_label = new QLabel(LanStr(kRowFirstStage + stage), this);
    m_label->setFixedSize(kLabelWidth, 60);
    m_trigger = new ComboBox(this);
    m_trigger->setFont(C_Type_COM::font(18));
    m_trigger->setFixedSize(kTriggerWidth, 60);
    m_trigger->setItemWidth(240);
    m_cutMode = new ComboBox(this);
    m_cutMode->setFont(C_Type_COM::font(18));
    m_cutMode->setFixedSize(kCutWidth, 60);
    m_cutMode->setItemWidth(320);
    for (int row : kKindRows)
        m_cutMode->addItem(LanStr(row));
    line->addWidget(m_label);
    line->addWidget(m_trigger);
    line->addWidget(m_cutMode);
    for (int k = 0; k < CustomStageLayout::kOutputs; ++k) {
        auto *box = new CheckBox(QString(), this, 40);
        box->setStyleSheet(box->styleSheet() + kDisabledBox);
        box->setFixedSize(kOutputWidth, 60);
        line->addWidget(box);
        m_outputs[k] = box;
        connect(box, &QCheckBox::clicked, this, [this, k](bool on) { emit clickeCheckBox(m_stage, k, on ? 1 : 0); });
    }
    line->addStretch(1);
    connect(m_trigger, &QComboBox::activated, this, [this] { emit changeTrigin(m_stage, shownSource()); });
    connect(m_cutMode, &QComboBox::activated, this, [this](int kind) { emit changeCutMode(m_stage, kind); });
}

int IOCheckComBO::shownSource() const
{
    const int index = m_trigger->currentIndex();
    return index <= 0 ? -1 : m_firstSource + index - 1;
}

void IOCheckComBO::updateTriginCombo(int firstSource, int source)
{
    // A stored source before the one above (an older layout) stays shown until it is changed.
    m_firstSource = source >= 0 ? std::min(firstSource, source) : firstSource;
    const QSignalBlocker quiet(m_trigger);
    m_trigger->clear();
    m_trigger->addItem(LanStr(kRowNone));
    for (int s = m_firstSource; s < CustomStageLayout::kSources; ++s)
        m_trigger->addItem(inputName(s));
    m_trigger->setCurrentIndex(source >= 0 ? source - m_firstSource + 1 : 0);
}

void IOCheckComBO::setCutMode(int kind)
{
    const QSignalBlocker quiet(m_cutMode);
    m_cutMode->setCurrentIndex(kind);
}

void IOCheckComBO::setOutputs(const int *owner)
{
    for (int k = 0; k < CustomStageLayout::kOutputs; ++k) {
        const QSignalBlocker quiet(m_outputs[k]);
        m_outputs[k]->setChecked(owner[k] == m_stage);
        m_outputs[k]->setEnabled(owner[k] == -1 || owner[k] == m_stage);
    }
}

IOWidget::IOWidget(QWidget *parent)
    : IoDialogFrame(QStringLiteral("IOWidget"), kRowTitle, parent)
{
    // Top: the stage count, the sequence switch, Reset and the re-detect output.
    auto *top = new QHBoxLayout;
    top->setSpacing(16);
    m_count = new ComboBox(this);
    m_count->setFixedSize(170, 60);
    for (int row = kRowTwice; row < kRowTwice + 7; ++row)
        m_count->addItem(LanStr(row));
    m_notSequential = new CheckBox(LanStr(kRowNotSequential), this);
    m_reset = new ColorButton(LanStr(kRowReset), this, C_Type_COM::Blue);
    m_reset->setFixedSize(150, 64);
    m_redetect = new QLabel(this);
    top->addWidget(m_count);
    top->addWidget(m_notSequential);
    top->addWidget(m_reset);
    top->addWidget(m_redetect, 1);
    content()->addLayout(top);

    // The column heads: trigger, cut mode, then each output terminal with its function name.
    auto *heads = new QHBoxLayout;
    heads->setSpacing(6);
    heads->addSpacing(IOCheckComBO::kLabelWidth + 6);
    const QString small = QStringLiteral("font-size: 17px;");
    auto *trigger = new QLabel(LanStr(kRowTrigger), this);
    trigger->setFixedWidth(IOCheckComBO::kTriggerWidth);
    auto *cut = new QLabel(LanStr(kRowCutMode), this);
    cut->setFixedWidth(IOCheckComBO::kCutWidth);
    for (QLabel *head : {trigger, cut}) {
        head->setStyleSheet(small);
        heads->addWidget(head);
    }
    for (int k = 0; k < CustomStageLayout::kOutputs; ++k) {
        m_headers[k] = new QLabel(this);
        m_headers[k]->setFixedSize(IOCheckComBO::kOutputWidth, 40);
        m_headers[k]->setStyleSheet(QStringLiteral("font-size: 14px;"));
        heads->addWidget(m_headers[k]);
    }
    heads->addStretch(1);
    content()->addLayout(heads);

    auto *rows = new QVBoxLayout;
    rows->setSpacing(2);
    for (int stage = 0; stage < CustomStageLayout::kStages; ++stage) {
        m_rows[stage] = new IOCheckComBO(stage, this);
        rows->addWidget(m_rows[stage]);
        connect(m_rows[stage], &IOCheckComBO::changeTrigin, this, &IOWidget::SlotChangeTrigin);
        connect(m_rows[stage], &IOCheckComBO::clickeCheckBox, this, &IOWidget::SlotClickCheckBox);
        connect(m_rows[stage], &IOCheckComBO::changeCutMode, this, [this](int stage, int kind) {
            m_layout.setKind(stage, kind);
            syncRows();
        });
    }
    content()->addLayout(rows);

    connect(m_count, &QComboBox::activated, this, &IOWidget::SlotChangeDetectNum);
    connect(m_reset, &QPushButton::clicked, this, &IOWidget::reset);
}

void IOWidget::load()
{
    if (!gpWParaBak)
        return;
    const WizardPara &p = *gpWParaBak;
    m_layout = CustomStageLayout::FromRecord(p);
    m_count->setCurrentIndex(m_layout.count() - CustomStageLayout::kMinStages);
    m_notSequential->setChecked(p.cycle_start_input1_only == 0);
    for (int k = 0; k < CustomStageLayout::kOutputs; ++k)
        m_headers[k]->setText(CustomIONameWidget::TerminalLabel(8 + k) + QLatin1Char('\n') + outputName(k));
    // The re-detect output is told only while the custom mode is in force and still chosen.
    const bool custom = p.work_mode == 4 && p.work_mode_next == 4;
    m_redetect->setText(custom ? LanStr(kRowRedetect).arg(outputName(kRedetectOutput)) : QString());
    syncRows();
}

void IOWidget::syncRows()
{
    int owner[CustomStageLayout::kOutputs];
    for (int k = 0; k < CustomStageLayout::kOutputs; ++k)
        owner[k] = m_layout.outputOwner(k);
    for (int stage = 0; stage < CustomStageLayout::kStages; ++stage) {
        IOCheckComBO *row = m_rows[stage];
        row->setVisible(stage < m_layout.count());
        row->updateTriginCombo(m_layout.firstOffered(stage), m_layout.source(stage));
        row->setCutMode(m_layout.kind(stage));
        row->setOutputs(owner);
    }
}

void IOWidget::SlotChangeDetectNum(int index)
{
    m_layout.setCount(index + CustomStageLayout::kMinStages);
    syncRows();
}

void IOWidget::SlotChangeTrigin(int stage, int source)
{
    m_layout.setSource(stage, source);
    syncRows();
}

void IOWidget::SlotClickCheckBox(int stage, int output, int on)
{
    m_layout.tick(stage, output, on != 0);
    syncRows();
}

void IOWidget::reset()
{
    m_layout.clearOutputs();
    syncRows();
}

bool IOWidget::store()
{
    if (!gpWParaBak)
        return false;
    if (!m_layout.lastStageChosen()) {
        Operator::Warn(LanStr(kRowLastStageMissing));
        return false;
    }
    m_layout.WriteTo(*gpWParaBak);
    // Stored inverted; an unchanged box keeps the stored value.
    int32_t &input1Only = gpWParaBak->cycle_start_input1_only;
    if (m_notSequential->isChecked() != (input1Only == 0))
        input1Only = m_notSequential->isChecked() ? 0 : 1;
    return true;
}

void IOWidget::accept()
{
    if (store())
        finish();
}
