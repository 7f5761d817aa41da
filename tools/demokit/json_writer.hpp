// A small streaming JSON writer for the tool's reports: objects, arrays,
// integers, strings and floats printed so that they round-trip (%.9g).
// Non-finite floats, which JSON cannot hold, are written as null.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class JsonWriter {
public:
    explicit JsonWriter(std::FILE* out);

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    // The key of the next value inside an object.
    void key(const char* name);

    void value(std::int64_t number);
    void value(float number);
    void value(bool flag);
    void value(const std::string& text);
    void floats(const float* numbers, int count);

    // key(name) followed by value(v).
    template <typename T>
    void field(const char* name, const T& v)
    {
        key(name);
        value(v);
    }

    // Ends the document with a line feed.
    void finish();

private:
    void separate();

    std::FILE* out_;
    std::vector<bool> firstInScope_; // per open scope: no element written yet
    bool afterKey_ = false;
};

// A float with nine significant digits (%.9g), enough to read back its bits.
std::string formatFloat(float number);
