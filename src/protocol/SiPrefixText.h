#pragma once

#include <string>
#include <string_view>

namespace veska {

// A value in a base unit as people read it: four significant digits under the SI prefix
// that keeps them between 1 and 1000 ("1.205 MΩ", "120.0 mV", "35.73 V"). °C, °F, % and
// unitless values take no prefix ("23.50 °C"). For screens and reports; files for other
// programs keep plain numbers (SiQuantity::formatNumber).
struct SiPrefixText {
    // Empty for NaN and infinities.
    static std::string format(double value, std::string_view baseUnit);
};

}  // namespace veska
