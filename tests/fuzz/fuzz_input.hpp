// What the fuzz targets share: a view of libFuzzer's bytes that hands out
// little-endian values and the rest of the input, never reading past it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::uint32_t u32()
    {
        std::uint32_t value = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            value |= static_cast<std::uint32_t>(byte()) << shift;
        }
        return value;
    }
    // Everything not taken yet, as its own copy: a reader that overruns it
    // is caught by AddressSanitizer at the copy's end.
    std::vector<std::uint8_t> rest()
    {
        std::vector<std::uint8_t> out(data_ + at_, data_ + size_);
        at_ = size_;
        return out;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};
