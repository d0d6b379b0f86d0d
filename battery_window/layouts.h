#pragma once

#include <optional>

namespace tellavo {

// Outer window sizes in twips, frame included, of the three layouts.
struct LayoutSize {
    int widthTwips;
    int heightTwips;
};

constexpr int kLayoutCount = 3;

// The size of layout 1..3; none for any other index.
constexpr std::optional<LayoutSize> layoutSize(int index)
{
    switch (index) {
        case 1:
            return LayoutSize{1965, 280};
        case 2:
            return LayoutSize{3450, 255};
        case 3:
            return LayoutSize{3450, 1365};
        default:
            return std::nullopt;
    }
}

}  // namespace tellavo
