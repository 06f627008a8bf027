#pragma once

#include <QList>

#include <algorithm>
#include <cmath>

// Figures of a benchmark's samples: 0 for no samples.
namespace SampleStatistics {

// The nearest-rank percentile, p between 0 and 1.
inline double percentile(QList<double> values, double p)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype rank = std::clamp<qsizetype>(qsizetype(std::ceil(p * double(values.size()))), 1, values.size());
    return values.at(rank - 1);
}

inline double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
}

} // namespace SampleStatistics
