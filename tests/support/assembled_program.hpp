// Test support: a program text assembled and loaded for the software
// device's shader machine, with any failure reported on the test.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "d3dx/assembler.hpp"
#include "raster/shader_vm.hpp"

inline std::shared_ptr<raster::ShaderProgram> loadAssembledProgram(const std::string& text)
{
    const d3dx::AssemblyResult assembled = d3dx::assembleShader(text.c_str());
    EXPECT_TRUE(assembled.succeeded) << assembled.errors << "\n" << text;
    auto program = std::make_shared<raster::ShaderProgram>();
    std::string error;
    EXPECT_TRUE(program->load(assembled.tokens.data(), assembled.tokens.size(), error)) << error;
    return program;
}
