#pragma once

#include <QList>

#include <algorithm>

// The middle of a benchmark's rounds: one slow round (a scheduler hiccup)
// moves it less than a mean. 0 for no rounds.
inline double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0.0 : values.at(values.size() / 2);
}
