#include "check/CheckRepeat.h"

CheckRepeat::CheckRepeat(int runsPerCheck, bool faces, bool pairs)
    : m_runsPerCheck(runsPerCheck < 1 ? 1 : runsPerCheck), m_faces(faces), m_pairs(pairs)
{
}

void CheckRepeat::AfterRun(const CRollTally& totals)
{
    if (totals.m_nRuns < (m_checks + 1) * m_runsPerCheck)
        return;
    ++m_checks;
    std::vector<std::int64_t> counts(static_cast<size_t>(totals.m_nValues));
    m_counts.resize(counts.size(), 0);
    for (int i = 0; i < totals.m_nValues && i < totals.m_Counts.GetSize(); ++i) {
        counts[static_cast<size_t>(i)] = totals.GetCount(i) - m_counts[static_cast<size_t>(i)];
        m_counts[static_cast<size_t>(i)] = totals.GetCount(i);
    }
    if (m_faces)
        m_faceTails.push_back(ChiSquareOfFaces(counts).p);
    if (m_pairs && totals.m_pPairs) {
        PairTally check = *totals.m_pPairs;
        if (m_pairCounts)
            check.Subtract(*m_pairCounts);
        else
            m_pairCounts = std::make_unique<PairTally>();
        *m_pairCounts = *totals.m_pPairs;
        m_pairTails.push_back(GoodSerialTest(check).p);
    }
}

std::vector<RepeatVerdict> CheckRepeat::Verdicts(double alpha) const
{
    std::vector<RepeatVerdict> out;
    if (m_faces)
        out.push_back({"faces", m_faceTails, UniformityOf(m_faceTails, alpha)});
    if (m_pairs)
        out.push_back({"pairs", m_pairTails, UniformityOf(m_pairTails, alpha)});
    return out;
}
