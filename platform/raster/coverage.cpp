// Row-by-row sample coverage of a triangle (see coverage.hpp). For the edge
// from (x0, y0) to (x1, y1), a sample at (px, py) in 28.4 units is inside
// when E = dx * (py - y0) - dy * (px - x0) + bias >= 0, where bias is 0 for
// a top or left edge and -1 otherwise: that is the top-left rule, since E
// is an integer. Along a row E is linear in the column, so its sign change
// is one floor division; from row to row the quotient moves by a constant
// quotient and remainder.
#include "raster/coverage.hpp"

#include <algorithm>

namespace raster {

template <std::int32_t Samples>
void RowCoverage<Samples>::begin(const ScreenTriangle& tri, std::int32_t row, std::int32_t minColumn,
                                 std::int32_t maxColumn, const SamplePattern& pattern)
{
    minX = minColumn;
    maxX = maxColumn;
    leftCount = rightCount = flatCount = 0;
    for (std::int32_t k = 0; k < 3; ++k) {
        const std::int32_t next = k == 2 ? 0 : k + 1;
        addEdge(tri.x[k], tri.y[k], tri.x[next], tri.y[next], row, pattern);
    }
}

template <std::int32_t Samples>
void RowCoverage<Samples>::addEdge(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1,
                                   std::int32_t row, const SamplePattern& pattern)
{
    const std::int64_t dx = std::int64_t{x1} - x0;
    const std::int64_t dy = std::int64_t{y1} - y0;
    const bool topOrLeft = dy < 0 || (dy == 0 && dx > 0);
    const std::int64_t bias = topOrLeft ? 0 : -1;
    const std::int64_t rowY = std::int64_t{row} * SubpixelScale - y0;
    const std::int64_t rowStep = dx * SubpixelScale;
    // A triangle with area has at most one horizontal edge.
    if (dy == 0 && flatCount == 0) {
        flatCount = 1;
        flat.step = rowStep;
        for (std::int32_t s = 0; s < Samples; ++s)
            flat.value[s] = dx * (rowY + pattern.dy[s]) + bias;
        return;
    }
    SlopedEdge& edge = dy < 0 ? left[leftCount++] : right[rightCount++];
    edge.divisor = (dy < 0 ? -dy : dy) * SubpixelScale;
    edge.quotientStep = floorDivide(rowStep, edge.divisor);
    edge.remainderStep = rowStep - edge.quotientStep * edge.divisor;
    for (std::int32_t s = 0; s < Samples; ++s) {
        // E at column i is c - 16 * dy * i.
        const std::int64_t c = dx * (rowY + pattern.dy[s]) - dy * (pattern.dx[s] - std::int64_t{x0}) + bias;
        edge.quotient[s] = floorDivide(c, edge.divisor);
        edge.remainder[s] = c - edge.quotient[s] * edge.divisor;
    }
}

template <std::int32_t Samples>
void RowCoverage<Samples>::columns(std::int32_t* first, std::int32_t* last) const
{
    for (std::int32_t s = 0; s < Samples; ++s) {
        std::int64_t low = minX;
        std::int64_t high = maxX;
        for (std::int32_t e = 0; e < leftCount; ++e)
            low = std::max(low, -left[e].quotient[s]);
        for (std::int32_t e = 0; e < rightCount; ++e)
            high = std::min(high, right[e].quotient[s]);
        if (flatCount != 0 && flat.value[s] < 0)
            high = std::int64_t{minX} - 1;
        first[s] = static_cast<std::int32_t>(std::min<std::int64_t>(low, std::int64_t{maxX} + 1));
        last[s] = static_cast<std::int32_t>(std::max<std::int64_t>(high, std::int64_t{minX} - 1));
    }
}

// Without a branch on the carry: it comes as often as the slope's fraction says.
template <std::int32_t Samples>
void RowCoverage<Samples>::stepEdge(SlopedEdge& edge)
{
    for (std::int32_t s = 0; s < Samples; ++s) {
        const std::int64_t remainder = edge.remainder[s] + edge.remainderStep;
        const std::int64_t carry = remainder >= edge.divisor ? 1 : 0;
        edge.quotient[s] += edge.quotientStep + carry;
        edge.remainder[s] = remainder - (edge.divisor & -carry);
    }
}

template <std::int32_t Samples>
void RowCoverage<Samples>::advance()
{
    for (std::int32_t e = 0; e < leftCount; ++e)
        stepEdge(left[e]);
    for (std::int32_t e = 0; e < rightCount; ++e)
        stepEdge(right[e]);
    if (flatCount != 0)
        for (std::int32_t s = 0; s < Samples; ++s)
            flat.value[s] += flat.step;
}

template class RowCoverage<1>;
template class RowCoverage<2>;
template class RowCoverage<4>;

} // namespace raster
