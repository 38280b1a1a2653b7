#include "protocol/ReadingStatistics.h"

#include <cmath>

namespace veska {

std::optional<double> ReadingStatistics::Unit::minimum() const {
    if (count == 0) return std::nullopt;
    return min_;
}

std::optional<double> ReadingStatistics::Unit::maximum() const {
    if (count == 0) return std::nullopt;
    return max_;
}

std::optional<double> ReadingStatistics::Unit::mean() const {
    if (count == 0) return std::nullopt;
    return mean_;
}

std::optional<double> ReadingStatistics::Unit::standardDeviation() const {
    if (count < 2) return std::nullopt;
    return std::sqrt(m2_ / static_cast<double>(count - 1));
}

namespace {

// Static texts, so a group's coupling never points into a row that is gone.
std::string_view knownCoupling(std::string_view coupling) {
    if (coupling == "AC") return "AC";
    if (coupling == "DC") return "DC";
    return {};
}

bool isGroup(const ReadingStatistics::Unit& u, std::string_view baseUnit, std::string_view coupling) {
    return u.baseUnit == baseUnit && u.coupling == coupling;
}

}  // namespace

void ReadingStatistics::add(const SiQuantity& quantity, std::string_view couplingText, std::string_view timeText) {
    if (!quantity.unitKnown || quantity.kind == SiQuantity::Kind::Unreadable) {
        ++unreadable_;
        return;
    }
    const std::string_view coupling = knownCoupling(couplingText);
    if (lastIndex_ >= units_.size() || !isGroup(units_[lastIndex_], quantity.baseUnit, coupling)) {
        lastIndex_ = 0;
        while (lastIndex_ < units_.size() && !isGroup(units_[lastIndex_], quantity.baseUnit, coupling)) ++lastIndex_;
        if (lastIndex_ == units_.size()) {
            units_.emplace_back();
            units_.back().baseUnit = quantity.baseUnit;
            units_.back().coupling = coupling;
            units_.back().firstTime.assign(timeText);
        }
    }
    Unit& u = units_[lastIndex_];
    u.lastTime.assign(timeText);
    if (quantity.kind == SiQuantity::Kind::Overload) {
        ++u.overloads;
        return;
    }
    const double x = quantity.value;
    ++u.count;
    if (u.count == 1) {
        u.min_ = u.max_ = u.mean_ = x;
        u.m2_ = 0.0;
        return;
    }
    if (x < u.min_) u.min_ = x;
    if (x > u.max_) u.max_ = x;
    const double delta = x - u.mean_;
    u.mean_ += delta / static_cast<double>(u.count);
    u.m2_ += delta * (x - u.mean_);
}

const ReadingStatistics::Unit* ReadingStatistics::find(std::string_view baseUnit, std::string_view coupling) const {
    for (const Unit& u : units_) {
        if (isGroup(u, baseUnit, coupling)) return &u;
    }
    return nullptr;
}

void ReadingStatistics::clear() {
    units_.clear();
    lastIndex_ = 0;
    unreadable_ = 0;
}

}  // namespace veska
