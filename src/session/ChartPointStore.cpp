#include "session/ChartPointStore.h"

#include <algorithm>

namespace veska {

void ChartPointStore::resetWithSample(int series, int sampleValue) {
    auto& values = m_values.at(index(series));
    values.clear();
    values.shrink_to_fit();  // a long run may have held millions of points
    values.push_back(sampleValue);
}

std::span<const int> ChartPointStore::range(int series, std::size_t first, std::size_t end) const {
    const auto& values = m_values.at(index(series));
    end = std::min(end, values.size());
    if (first >= end) return {};
    return std::span<const int>(values).subspan(first, end - first);
}

}  // namespace veska
