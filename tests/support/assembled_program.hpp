// Test support: a program text assembled and analysed, as the front end
// analyses what it is given, with any failure reported on the test; and
// tokens the assembler would refuse.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "d3dx/assembler.hpp"
#include "shader/program_analysis.hpp"

inline std::shared_ptr<shader::ProgramAnalysis> loadAssembledProgram(const std::string& text)
{
    const d3dx::AssemblyResult assembled = d3dx::assembleShader(text.c_str());
    EXPECT_TRUE(assembled.succeeded) << assembled.errors << "\n" << text;
    auto program = std::make_shared<shader::ProgramAnalysis>();
    std::string error;
    EXPECT_TRUE(shader::analyzeTokens(assembled.tokens.data(), assembled.tokens.size(), *program, error)) << error;
    return program;
}

// The tokens of a program text with source 1 of its first matrix macro
// moved `by` registers on: for programs the assembler refuses, as tokens
// some other tool might hand the runtime.
inline std::vector<std::uint32_t> tokensWithRowsMoved(const std::string& text, std::uint32_t by)
{
    const d3dx::AssemblyResult assembled = d3dx::assembleShader(text.c_str());
    EXPECT_TRUE(assembled.succeeded) << assembled.errors << "\n" << text;
    shader::DecodedProgram decoded;
    std::string error;
    EXPECT_TRUE(shader::decodeProgram(assembled.tokens.data(), assembled.tokens.size(), decoded, error)) << error;
    for (shader::DecodedInstruction& in : decoded.instructions) {
        const shader::ExecutionRule* rule = shader::executionRule(in.info->opcode);
        if (rule != nullptr && rule->shape == shader::ResultShape::MatrixRows) {
            in.sources[1].number += by;
            break;
        }
    }
    return shader::encodeProgram(decoded);
}
