// The custom mode's stage layout as the IO settings edit it: stages, their triggers, cut modes and outputs.
#pragma once

class WizardPara;

// A stage's trigger source is a row of the trigger-source table (kTriggerSourceInputs: inputs 1, 3,
// 4, ... 9); the stages follow one another, so a stage is triggered by the source of the stage
// above it or a later one. Rows from `count` on are hidden and hold no source.
class CustomStageLayout
{
public:
    static constexpr int kStages = 8;
    static constexpr int kSources = 8;
    static constexpr int kOutputs = 8;  // output terminals 1, 2, 4 ... 9 (3 is the alarm)
    static constexpr int kKinds = 6;    // cut modes: what a source's trigger switches on
    static constexpr int kMinStages = 2;

    CustomStageLayout();

    // The layout the edit copy describes: each stage's source read through its row of the source
    // table, a kind outside 0-5 read as 0 (every later stage held), a source outside the table as
    // none; the outputs those the cycle drives for the count.
    static CustomStageLayout FromRecord(const WizardPara &para);
    // Writes the count, every stage's source (-1 for the hidden rows), the source table (each source
    // its own row) and each used source's kind into `para`.
    void WriteTo(WizardPara &para) const;

    int count() const { return m_count; }
    int source(int stage) const { return valid(stage) ? m_source[stage] : -1; }
    int kind(int stage) const { return valid(stage) ? m_kind[stage] : 0; }
    // The stage (0-based) holding output terminal `output`, -1 for none.
    int outputOwner(int output) const { return output >= 0 && output < kOutputs ? m_owner[output] : -1; }

    // Clamps to 2-8; the hidden rows lose their source and the outputs follow the new count.
    void setCount(int count);
    // The lowest source stage `stage` may take: the nearest source above it, 0 for the first.
    int firstOffered(int stage) const;
    // Sets a stage's source (-1 none; below firstOffered or past the table: refused, false). Later
    // stages whose source now lies before the one above them lose it. A source already used by
    // another stage brings that stage's cut mode with it.
    bool setSource(int stage, int source);
    // Sets the cut mode of a stage and of every other stage on the same source.
    bool setKind(int stage, int kind);

    // An output belongs to one stage at a time: free, or already this stage's.
    bool canTick(int stage, int output) const;
    bool tick(int stage, int output, bool on);
    // Unticks every output.
    void clearOutputs();
    // Gives each stage the output the cycle drives for it (the last stage output 1).
    void defaultOutputs();

    // The last shown stage has a trigger; the dialog refuses to close otherwise.
    bool lastStageChosen() const { return m_source[m_count - 1] >= 0; }

    // The output terminal (0-7) of 1-based output number `output`, -1 for output 3 or none.
    static int OutputTerminal(int output);

private:
    bool valid(int stage) const { return stage >= 0 && stage < kStages; }
    void dropBrokenOrder(int from);

    int m_count = kMinStages;
    int m_source[kStages];
    int m_kind[kStages];
    int m_owner[kOutputs];
};
