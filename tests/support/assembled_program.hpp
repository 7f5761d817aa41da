// Test support: a program text assembled and analysed, as the front end
// analyses what it is given, with any failure reported on the test.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

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
