#include "params/customio.h"

#include "params/wizardpara.h"

#include <algorithm>

namespace {

// The 1-based output the cycle drives for each stage of the custom mode; the last stage shown
// always drives the eighth entry, output 1 (clamp interlock).
constexpr int kStageOutputs[CustomStageLayout::kStages] = {2, 4, 5, 6, 7, 8, 9, 1};

}  // namespace

CustomStageLayout::CustomStageLayout()
{
    std::fill(std::begin(m_source), std::end(m_source), -1);
    std::fill(std::begin(m_kind), std::end(m_kind), 0);
    std::fill(std::begin(m_owner), std::end(m_owner), -1);
}

int CustomStageLayout::OutputTerminal(int output)
{
    if (output == 1 || output == 2)
        return output - 1;
    return output >= 4 && output <= 9 ? output - 2 : -1;
}

CustomStageLayout CustomStageLayout::FromRecord(const WizardPara &para)
{
    CustomStageLayout layout;
    layout.m_count = std::clamp(static_cast<int>(para.custom_stage_count), kMinStages, kStages);
    for (int stage = 0; stage < layout.m_count; ++stage) {
        const int source = para.custom_stage_source[stage];
        if (source < 0 || source >= kSources)
            continue;
        const int row = para.trigger_source_input[source];
        if (row < 0 || row >= kSources)
            continue;
        const int kind = para.trigger_source_kind[source];
        layout.m_source[stage] = row;
        layout.m_kind[stage] = kind >= 0 && kind < kKinds ? kind : 0;
    }
    layout.defaultOutputs();
    return layout;
}

void CustomStageLayout::WriteTo(WizardPara &para) const
{
    para.custom_stage_count = m_count;
    for (int source = 0; source < kSources; ++source)
        para.trigger_source_input[source] = source;
    // Stages on the same source share its kind; the first of them names it.
    bool kindSet[kSources] = {};
    for (int stage = 0; stage < kStages; ++stage) {
        const int source = stage < m_count ? m_source[stage] : -1;
        para.custom_stage_source[stage] = source;
        if (source >= 0 && !kindSet[source]) {
            para.trigger_source_kind[source] = m_kind[stage];
            kindSet[source] = true;
        }
    }
}

void CustomStageLayout::setCount(int count)
{
    m_count = std::clamp(count, kMinStages, kStages);
    for (int stage = m_count; stage < kStages; ++stage) {
        m_source[stage] = -1;
        m_kind[stage] = 0;
    }
    defaultOutputs();
}

int CustomStageLayout::firstOffered(int stage) const
{
    for (int above = std::min(stage, kStages) - 1; above >= 0; --above)
        if (m_source[above] >= 0)
            return m_source[above];
    return 0;
}

bool CustomStageLayout::setSource(int stage, int source)
{
    if (stage < 0 || stage >= m_count)
        return false;
    if (source != -1 && (source < firstOffered(stage) || source >= kSources))
        return false;
    m_source[stage] = source;
    if (source >= 0)
        for (int other = 0; other < m_count; ++other)
            if (other != stage && m_source[other] == source) {
                m_kind[stage] = m_kind[other];
                break;
            }
    dropBrokenOrder(stage + 1);
    return true;
}

void CustomStageLayout::dropBrokenOrder(int from)
{
    for (int stage = from; stage < m_count; ++stage)
        if (m_source[stage] >= 0 && m_source[stage] < firstOffered(stage))
            m_source[stage] = -1;
}

bool CustomStageLayout::setKind(int stage, int kind)
{
    if (stage < 0 || stage >= m_count || kind < 0 || kind >= kKinds)
        return false;
    m_kind[stage] = kind;
    if (m_source[stage] >= 0)
        for (int other = 0; other < m_count; ++other)
            if (m_source[other] == m_source[stage])
                m_kind[other] = kind;
    return true;
}

bool CustomStageLayout::canTick(int stage, int output) const
{
    if (stage < 0 || stage >= m_count || output < 0 || output >= kOutputs)
        return false;
    return m_owner[output] == -1 || m_owner[output] == stage;
}

bool CustomStageLayout::tick(int stage, int output, bool on)
{
    if (!canTick(stage, output))
        return false;
    m_owner[output] = on ? stage : -1;
    return true;
}

void CustomStageLayout::clearOutputs() { std::fill(std::begin(m_owner), std::end(m_owner), -1); }

void CustomStageLayout::defaultOutputs()
{
    clearOutputs();
    for (int stage = 0; stage < m_count; ++stage) {
        const int output = stage == m_count - 1 ? kStageOutputs[kStages - 1] : kStageOutputs[stage];
        m_owner[OutputTerminal(output)] = stage;
    }
}
