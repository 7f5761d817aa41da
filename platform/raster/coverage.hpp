// Exact sample coverage of one ScreenTriangle, a pixel row at a time: for
// each sample of the pattern, the run of columns whose sample lies inside
// the triangle by the top-left rule. What the scan uses for triangles too
// large for EdgeRows, whose rows are long. Entry point: RowCoverage<Samples>
// (begin at a row, read columns, advance), built for 1, 2 and 4 samples.
// Edge functions are in 28.4 units squared (int64); each edge's column
// limit is kept as an exact quotient and remainder that advance steps
// without dividing, so the result for a row is the same whatever row the
// walk began at.
#pragma once

#include <cstdint>

#include "raster/raster_formats.hpp"
#include "raster/rasterizer.hpp"

namespace raster {

template <std::int32_t Samples>
class RowCoverage {
public:
    // Starts the walk at pixel row `row`, columns limited to [minColumn,
    // maxColumn], for the samples at `pattern`; tri's corners run clockwise
    // on screen.
    void begin(const ScreenTriangle& tri, std::int32_t row, std::int32_t minColumn, std::int32_t maxColumn,
               const SamplePattern& pattern);
    // first[s] .. last[s]: columns of the current row (inclusive, within
    // the column limits) whose sample s is covered; first > last when none
    // is.
    void columns(std::int32_t* first, std::int32_t* last) const;
    void advance();

private:
    // An edge that bounds columns: a left edge from below (first column
    // -quotient), a right edge from above (last column quotient), where
    // quotient = floor(C / divisor) with remainder, C the edge function of
    // the sample at column 0 of the current row.
    struct SlopedEdge {
        std::int64_t divisor; // 16 * |dy|
        std::int64_t quotientStep, remainderStep;
        std::int64_t quotient[Samples];
        std::int64_t remainder[Samples];
    };
    // A horizontal edge: its edge function does not depend on the column.
    struct FlatEdge {
        std::int64_t step;
        std::int64_t value[Samples];
    };

    void addEdge(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, std::int32_t row,
                 const SamplePattern& pattern);
    static void stepEdge(SlopedEdge& edge);

    std::int32_t minX = 0, maxX = -1;
    std::int32_t leftCount = 0, rightCount = 0, flatCount = 0;
    SlopedEdge left[2];
    SlopedEdge right[2];
    FlatEdge flat;
};

extern template class RowCoverage<1>;
extern template class RowCoverage<2>;
extern template class RowCoverage<4>;

} // namespace raster
