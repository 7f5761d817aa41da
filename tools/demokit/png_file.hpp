// PNG files for demokit: 8-bit RGBA images written and read whole.
//
// writePngFile stores width x height RGBA bytes (row 0 on top, no padding);
// readPngFile loads any PNG as the same layout. Both throw ToolError with one
// line naming the file when it cannot be written or read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

void writePngFile(const std::string& path, const std::uint8_t* rgba, std::int32_t width, std::int32_t height);

std::vector<std::uint8_t> readPngFile(const std::string& path, std::int32_t& width, std::int32_t& height);
