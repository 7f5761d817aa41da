// assemble-with-d3dx: assembles the system's vertex and pixel program texts
// with the D3DX run-time of the machine it runs on ("d3dx9_24.dll", loaded by
// name as the program loads it) and writes the two code buffers to files, so
// that another implementation's bytecode can be compared with ours token for
// token. The texts are passed as start-up passes them: exact lengths, no
// defines, no include handler, validation skipped.
//
// usage: assemble-with-d3dx VS_FILE PS_FILE
// Exits 0 when both files are written; otherwise 1 with one line on stderr.
#include <cstdio>
#include <string>

#include "d3dx9.h"
#include "data/shader_programs.hpp"
#include "windows.h"

namespace {

using AssembleShaderFunction = decltype(&D3DXAssembleShader);

// The assembler's error text on one line (line breaks become "; ").
std::string oneLine(ID3DXBuffer* errors)
{
    std::string text;
    if (errors == NULL) {
        return text;
    }
    const char* characters = static_cast<const char*>(errors->GetBufferPointer());
    const DWORD size = errors->GetBufferSize();
    for (DWORD i = 0; i < size && characters[i] != '\0'; ++i) {
        if (characters[i] == '\r') {
            continue;
        }
        text += characters[i] == '\n' ? std::string("; ") : std::string(1, characters[i]);
    }
    while (text.size() >= 2 && text.compare(text.size() - 2, 2, "; ") == 0) {
        text.resize(text.size() - 2);
    }
    return text;
}

bool writeFile(const char* path, const void* data, DWORD size)
{
    std::FILE* file = std::fopen(path, "wb");
    if (file == NULL) {
        return false;
    }
    const bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

// Assembles one text into `path`; false with `error` set on failure.
bool assembleTo(AssembleShaderFunction assemble, const char* name, const char* text, UINT length, const char* path,
                std::string& error)
{
    ID3DXBuffer* code = NULL;
    ID3DXBuffer* errors = NULL;
    const HRESULT result = assemble(text, length, NULL, NULL, D3DXSHADER_SKIPVALIDATION, &code, &errors);
    if (FAILED(result) || code == NULL) {
        char number[16];
        std::snprintf(number, sizeof number, "0x%08lX", static_cast<unsigned long>(result));
        error = std::string("the ") + name + " program did not assemble (" + number + ")";
        const std::string details = oneLine(errors);
        if (!details.empty()) {
            error += ": " + details;
        }
    } else if (!writeFile(path, code->GetBufferPointer(), code->GetBufferSize())) {
        error = std::string("cannot write ") + path;
    }
    if (errors != NULL) {
        errors->Release();
    }
    if (code != NULL) {
        code->Release();
    }
    return error.empty();
}

int fail(const std::string& message)
{
    std::fprintf(stderr, "assemble-with-d3dx: %s\n", message.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        return fail("usage: assemble-with-d3dx VS_FILE PS_FILE");
    }
    const HMODULE module = LoadLibraryA("d3dx9_24.dll");
    if (module == NULL) {
        return fail("d3dx9_24.dll cannot be loaded (is the DirectX 9 run-time installed?)");
    }
    // Through the generic function pointer type, which converts to any other.
    const AssembleShaderFunction assemble = reinterpret_cast<AssembleShaderFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "D3DXAssembleShader")));
    std::string error;
    if (assemble == NULL) {
        error = "d3dx9_24.dll has no D3DXAssembleShader";
    } else if (assembleTo(assemble, "vertex", vertexShaderText, sizeof vertexShaderText - 1, argv[1], error)) {
        assembleTo(assemble, "pixel", pixelShaderText, sizeof pixelShaderText - 1, argv[2], error);
    }
    FreeLibrary(module);
    return error.empty() ? 0 : fail(error);
}
