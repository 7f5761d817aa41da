// JSON documents for demokit's reports, built with nlohmann-json (fields in
// the order they are added) and written compactly with every float printed
// with nine significant digits (%.9g), enough to read its bits back.
// Non-finite floats, which JSON cannot hold, are written as null.
//
// Entry points: Json, jsonFloats, writeJson, formatFloat.
#pragma once

#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

using Json = nlohmann::ordered_json;

// An array of count floats.
Json jsonFloats(const float* numbers, int count);

// The document on one line, then a line feed.
void writeJson(std::FILE* out, const Json& document);

// A float with nine significant digits (%.9g), enough to read back its bits.
std::string formatFloat(float number);
