// "Multiple detection IO Settings": for the custom mode, how many stages a cycle has, which input
// triggers each stage, its cut mode and the outputs it holds; written into the edit copy only.
#pragma once

#include "params/customio.h"
#include "ui/io/iodialogframe.h"

#include <array>

class CheckBox;
class ComboBox;
class QLabel;
class QPushButton;

// One stage's row: its label, trigger, cut mode and one check box per output terminal.
class IOCheckComBO : public QWidget
{
    Q_OBJECT
public:
    IOCheckComBO(int stage, QWidget *parent);

    // Offers the inputs from `firstSource` on (after "None") and shows `source`.
    void updateTriginCombo(int firstSource, int source);
    void setCutMode(int kind);
    // `owner`: the stage holding each output; a box held by another stage is disabled.
    void setOutputs(const int *owner);

    ComboBox *triggerBox() const { return m_trigger; }
    ComboBox *cutModeBox() const { return m_cutMode; }
    CheckBox *outputBox(int output) const { return m_outputs[output]; }
    QLabel *label() const { return m_label; }
    // The source the trigger combo shows, -1 for "None".
    int shownSource() const;

    static constexpr int kLabelWidth = 64, kTriggerWidth = 160, kCutWidth = 190, kOutputWidth = 60;

signals:
    void changeTrigin(int stage, int source);
    void changeCutMode(int stage, int kind);
    void clickeCheckBox(int stage, int output, int on);

private:
    int m_stage;
    int m_firstSource = 0;
    QLabel *m_label;
    ComboBox *m_trigger, *m_cutMode;
    std::array<CheckBox *, CustomStageLayout::kOutputs> m_outputs{};
};

class IOWidget : public IoDialogFrame
{
    Q_OBJECT
public:
    explicit IOWidget(QWidget *parent = nullptr);

    // Reads the stage layout and the sequence switch from the edit copy.
    void initIOWidget() { load(); }
    // Refuses (and says so) when the last stage has no trigger; otherwise writes the edit copy.
    void accept();

    const CustomStageLayout &layout() const { return m_layout; }
    ComboBox *stageCountBox() const { return m_count; }
    CheckBox *notSequentialBox() const { return m_notSequential; }
    QPushButton *resetButton() const { return m_reset; }
    QLabel *redetectLabel() const { return m_redetect; }
    QLabel *outputHeader(int output) const { return m_headers[output]; }
    IOCheckComBO *row(int stage) const { return m_rows[stage]; }

public slots:
    // Index k of the count combo: k + 2 stages.
    void SlotChangeDetectNum(int index);
    void SlotChangeTrigin(int stage, int source);
    void SlotClickCheckBox(int stage, int output, int on);
    // Unticks and frees every output of every stage.
    void reset();

protected:
    void load() override;
    bool store() override;

private:
    void syncRows();

    CustomStageLayout m_layout;
    ComboBox *m_count;
    CheckBox *m_notSequential;
    QPushButton *m_reset;
    QLabel *m_redetect;
    std::array<QLabel *, CustomStageLayout::kOutputs> m_headers{};
    std::array<IOCheckComBO *, CustomStageLayout::kStages> m_rows{};
};
