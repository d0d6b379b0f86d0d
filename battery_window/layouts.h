#pragma once

namespace tellavo {

// Outer window sizes in twips, frame included, of the three layouts.
struct LayoutSize {
    int widthTwips;
    int heightTwips;
};

constexpr int kLayoutCount = 3;

// The size of layout n is at n - 1.
constexpr LayoutSize kLayoutSizes[kLayoutCount] = {{1965, 280}, {3450, 255}, {3450, 1365}};

}  // namespace tellavo
