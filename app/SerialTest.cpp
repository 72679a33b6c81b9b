#include "SerialTest.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

void PairTally::Reset(int values)
{
    m_values = static_cast<unsigned>(std::clamp(values, 0, kMaxPairValues));
    const unsigned cells = m_values * m_values;
    m_spare = cells + m_values;
    m_way = cells <= kDirectCells ? Way::Direct : cells <= kUnlaggedCells ? Way::Bytes : Way::Lagged;
    m_cells.assign(m_spare + size_t{1}, 0);
    if (m_way == Way::Direct)
        m_run = {};
    else if (!m_run.empty())
        m_run.assign(m_cells.size(), RunCount{});  // fed before: fed again, most likely
    m_lagging.fill(static_cast<Lagging>(m_spare));
    m_fed = 0;
    m_row = cells;
}

void PairTally::StartFeeding()
{
    m_run.assign(m_cells.size(), RunCount{});
}

void PairTally::Close()
{
    if (!m_run.empty()) {
        for (Lagging& cell : m_lagging) {
            CountRun(static_cast<unsigned>(cell));
            cell = static_cast<Lagging>(m_spare);
        }
        for (size_t i = 0; i < m_run.size(); ++i)
            m_cells[i] += static_cast<std::uint8_t>(m_run[i]);
        std::fill(m_run.begin(), m_run.end(), RunCount{});
        m_cells[m_spare] = 0;
    }
    const size_t cells = size_t{m_values} * m_values;
    const auto rowEnd = m_cells.begin() + m_spare;
    const auto first = std::find(m_cells.begin() + static_cast<std::ptrdiff_t>(cells), rowEnd, 1u);
    if (first == rowEnd)
        return;
    const int firstFace = static_cast<int>(first - m_cells.begin() - static_cast<std::ptrdiff_t>(cells));
    *first = 0;  // after a single roll, m_row is its own row: it follows itself
    ++m_cells[m_row + static_cast<unsigned>(firstFace)];
    m_row = static_cast<unsigned>(cells);
}

void PairTally::Add(const PairTally& run)
{
    if (run.m_values != m_values)
        return;
    const size_t cells = size_t{m_values} * m_values;
    for (size_t i = 0; i < cells; ++i)
        m_cells[i] += run.m_cells[i];
}

void PairTally::Subtract(const PairTally& earlier)
{
    if (earlier.m_values != m_values)
        return;
    const size_t cells = size_t{m_values} * m_values;
    for (size_t i = 0; i < cells; ++i)
        m_cells[i] -= earlier.m_cells[i];
}

std::uint64_t PairTally::Pairs() const
{
    std::uint64_t sum = 0;
    const size_t cells = size_t{m_values} * m_values;
    for (size_t i = 0; i < cells; ++i)
        sum += m_cells[i];
    return sum;
}

std::string SerialTestRefusal(int values, double rolls)
{
    char text[256];
    if (values > kMaxPairValues) {
        std::snprintf(text, sizeof text,
                      "the pair test takes at most %d values (%d x %d cells); %d values are too many",
                      kMaxPairValues, kMaxPairValues, kMaxPairValues, values);
        return text;
    }
    const double needed = kMinPairExpected * values * values;
    if (values >= 2 && rolls < needed) {
        std::snprintf(text, sizeof text,
                      "the pair test needs %.0f rolls or more for %d values (%.0f per each of the %d x %d cells); "
                      "there are %.0f",
                      needed, values, kMinPairExpected, values, values, rolls);
        return text;
    }
    return {};
}

SerialTest GoodSerialTest(const PairTally& pairs)
{
    SerialTest s;
    const int v = pairs.Values();
    const double n = static_cast<double>(pairs.Pairs());
    s.refusal = SerialTestRefusal(v, n);
    if (!s.refusal.empty())
        return s;
    if (v < 2 || n <= 0) {
        s.refusal = "the pair test needs at least two values and some rolls";
        return s;
    }
    const double pairExpected = n / (static_cast<double>(v) * v);
    const double faceExpected = n / v;
    for (int i = 0; i < v; ++i) {
        double row = 0;
        for (int j = 0; j < v; ++j) {
            const double c = static_cast<double>(pairs.Count(i, j));
            row += c;
            s.pairStatistic += (c - pairExpected) * (c - pairExpected) / pairExpected;
        }
        s.faceStatistic += (row - faceExpected) * (row - faceExpected) / faceExpected;
    }
    s.made = true;
    s.statistic = s.pairStatistic - s.faceStatistic;
    s.degreesOfFreedom = static_cast<double>(v) * v - v;
    // As with the faces, the lower tail half a step of the statistic higher (see ChiSquareOfFaces).
    s.p = ChiSquareTails(s.statistic, s.degreesOfFreedom, s.statistic + v / n);
    return s;
}
