// demokit shaders: assembles the renderer's vertex and pixel program texts
// exactly as start-up does (through D3DXAssembleShader, validation skipped)
// and writes the bytecode to files, prints it decoded, or does the same for a
// program text from a file, reporting the assembler's errors as it words them.
//
// A program file is untrusted: it is read whole (1 MiB at most) and handed
// to the assembler with its exact length.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "command_line.hpp"
#include "frame_output.hpp"
#include "input_file.hpp"
#include "d3dx9.h"
#include "data/shader_programs.hpp"
#include "shader/bytecode.hpp"
#include "shader/disassembler.hpp"
#include "subcommands.hpp"

namespace {

const char* const ShadersDetails =
    "usage: demokit shaders [--out DIR] [--disassemble]\n"
    "       demokit shaders FILE\n"
    "\n"
    "Assembles the renderer's vertex and pixel programs as start-up does, or the\n"
    "program text in FILE (1 MiB at most), printed decoded; on failure the\n"
    "assembler's errors are printed and the exit code is 1.";

constexpr std::uintmax_t MaxProgramBytes = 1u << 20;

struct ShadersOptions {
    std::string outDir;      // empty: no files written
    bool disassemble = false;
    std::string programPath; // empty: the stored programs
};

// What the options leave to check once all are read.
void checkShadersOptions(const ShadersOptions& options)
{
    if (!options.programPath.empty() && !options.outDir.empty()) {
        throw UsageError("shaders: a program FILE cannot be combined with --out");
    }
    if (options.programPath.empty() && options.outDir.empty() && !options.disassemble) {
        throw UsageError("shaders: --out DIR, --disassemble or a program FILE is required "
                         "(see demokit shaders --help)");
    }
}

struct BufferRelease {
    void operator()(ID3DXBuffer* buffer) const { buffer->Release(); }
};
using BufferHandle = std::unique_ptr<ID3DXBuffer, BufferRelease>;

// What D3DXAssembleShader gave back: the bytecode on success, otherwise the
// error text (empty when the call failed without one).
struct Assembled {
    std::vector<unsigned char> code;
    bool succeeded = false;
    std::string errors;
    HRESULT result = D3D_OK;
};

Assembled assemble(const char* text, std::size_t length)
{
    LPD3DXBUFFER rawCode = nullptr;
    LPD3DXBUFFER rawErrors = nullptr;
    Assembled assembled;
    assembled.result = D3DXAssembleShader(text, static_cast<UINT>(length), nullptr, nullptr,
                                          D3DXSHADER_SKIPVALIDATION, &rawCode, &rawErrors);
    const BufferHandle code(rawCode);
    const BufferHandle errors(rawErrors);
    if (SUCCEEDED(assembled.result) && code != nullptr) {
        const auto* bytes = static_cast<const unsigned char*>(code->GetBufferPointer());
        assembled.code.assign(bytes, bytes + code->GetBufferSize());
        assembled.succeeded = true;
    }
    if (errors != nullptr) {
        // The text is zero-terminated inside the buffer; stop at the zero.
        const auto* chars = static_cast<const char*>(errors->GetBufferPointer());
        const std::size_t size = errors->GetBufferSize();
        const void* zero = std::memchr(chars, 0, size);
        assembled.errors.assign(chars, zero == nullptr ? size : static_cast<std::size_t>(
                                                                    static_cast<const char*>(zero) - chars));
    }
    return assembled;
}

std::string hresultText(HRESULT result)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(result));
    return text;
}

// The stored texts must assemble; if they do not, the system itself is broken.
std::vector<unsigned char> assembleStored(const char* name, const char* text, std::size_t length)
{
    Assembled assembled = assemble(text, length);
    if (!assembled.succeeded) {
        std::string reason = assembled.errors.empty() ? "error " + hresultText(assembled.result) : assembled.errors;
        while (!reason.empty() && reason.back() == '\n') {
            reason.pop_back();
        }
        for (char& c : reason) {
            if (c == '\n') {
                c = ' ';
            }
        }
        throw ToolError(std::string("shaders: the stored ") + name + " program does not assemble: " + reason);
    }
    return std::move(assembled.code);
}

// "vertex program (456 bytes):" and the decoded program.
void printDisassembly(const std::vector<unsigned char>& code)
{
    if (code.size() % 4 != 0 || code.empty()) {
        throw ToolError("shaders: the assembler returned " + std::to_string(code.size()) +
                        " bytes, not whole tokens");
    }
    std::vector<std::uint32_t> tokens(code.size() / 4);
    std::memcpy(tokens.data(), code.data(), code.size());
    std::string text;
    std::string error;
    if (!shader::disassembleTokens(tokens.data(), tokens.size(), text, error)) {
        throw ToolError("shaders: the program does not decode: " + error);
    }
    const bool vertex = (tokens[0] & 0xFFFF0000u) == shader::VertexVersionPrefix;
    std::printf("%s program (%zu bytes):\n%s", vertex ? "vertex" : "pixel", code.size(), text.c_str());
}

void writeCode(const std::string& dir, const char* name, const std::vector<unsigned char>& code)
{
    const std::string path = (std::filesystem::path(dir) / name).string();
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(code.data()), static_cast<std::streamsize>(code.size()));
    file.close();
    if (!file) {
        throw ToolError("shaders: cannot write '" + path + "'");
    }
    std::printf("wrote %s (%zu bytes)\n", path.c_str(), code.size());
}

std::string readProgramFile(const std::string& path)
{
    const std::vector<std::uint8_t> bytes = readInputFile(path, MaxProgramBytes, "shaders");
    return std::string(bytes.begin(), bytes.end());
}

int assembleFile(const std::string& path)
{
    const std::string text = readProgramFile(path);
    const Assembled assembled = assemble(text.data(), text.size());
    if (!assembled.succeeded) {
        if (assembled.errors.empty()) {
            throw ToolError("shaders: '" + path + "' does not assemble (error " + hresultText(assembled.result) + ")");
        }
        std::fputs(assembled.errors.c_str(), stderr);
        return 1;
    }
    printDisassembly(assembled.code);
    return 0;
}

int runShaders(const ShadersOptions& options)
{
    if (!options.programPath.empty()) {
        return assembleFile(options.programPath);
    }
    const std::vector<unsigned char> vertexCode =
        assembleStored("vertex", vertexShaderText, sizeof vertexShaderText - 1);
    const std::vector<unsigned char> pixelCode = assembleStored("pixel", pixelShaderText, sizeof pixelShaderText - 1);
    if (!options.outDir.empty()) {
        makeOutputFolder(options.outDir, "shaders");
        writeCode(options.outDir, "vs.bin", vertexCode);
        writeCode(options.outDir, "ps.bin", pixelCode);
    }
    if (options.disassemble) {
        printDisassembly(vertexCode);
        std::putchar('\n');
        printDisassembly(pixelCode);
    }
    return 0;
}

} // namespace

void addShadersCommand(CLI::App& tool, CommandRun& run)
{
    auto options = std::make_shared<ShadersOptions>();
    CLI::App* command = addCommand(tool, "shaders", "The vertex and pixel programs assembled, as bytecode files or text.",
                                   ShadersDetails);
    command->add_option("--out", options->outDir, "write the bytecode to DIR/vs.bin and DIR/ps.bin (DIR made if missing)")
        ->type_name("DIR")
        ->check(CLI::Validator([](const std::string& dir) { return dir.empty() ? "needs a folder name" : ""; }, ""));
    command->add_flag("--disassemble", options->disassemble, "print both programs decoded, one instruction a line");
    command->add_option("FILE", options->programPath, "assemble the program text in FILE and print it decoded");
    command->callback([options, &run] {
        checkShadersOptions(*options);
        run = [options] { return runShaders(*options); };
    });
}
