#pragma once

#include <QFont>

namespace veska {

// The window's Arial texts, sized in pixels as the layout gives them (Liberation Sans
// stands in for Arial with the same metrics).
class ArialFont {
public:
    static QFont px(int pixels, bool bold = false, bool italic = false);
};

}  // namespace veska
