// D3DXAssembleShader as the program calls it: exact lengths, the code
// buffer's bytes, the error buffer on failure, and its refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "d3dx/assembler.hpp"
#include "d3dx9.h"
#include "data/shader_programs.hpp"

TEST(D3dxAssembleShader, theProgramTextsGiveTheAssemblersTokensInTheCodeBuffer)
{
    for (const char* text : {vertexShaderText, pixelShaderText}) {
        ID3DXBuffer* code = nullptr;
        ID3DXBuffer* errors = nullptr;
        const UINT length = static_cast<UINT>(std::strlen(text));
        ASSERT_EQ(D3DXAssembleShader(text, length, nullptr, nullptr, D3DXSHADER_SKIPVALIDATION, &code, &errors),
                  D3D_OK);
        EXPECT_EQ(errors, nullptr);
        ASSERT_NE(code, nullptr);
        const d3dx::AssemblyResult direct = d3dx::assembleShader(text);
        ASSERT_EQ(code->GetBufferSize(), direct.tokens.size() * 4);
        EXPECT_EQ(std::memcmp(code->GetBufferPointer(), direct.tokens.data(), code->GetBufferSize()), 0);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(code->GetBufferPointer()) % 4, 0u); // tokens are aligned
        EXPECT_EQ(code->AddRef(), 2u);
        EXPECT_EQ(code->Release(), 1u);
        EXPECT_EQ(code->Release(), 0u);
    }
}

TEST(D3dxAssembleShader, failureGivesNoCodeAndAZeroTerminatedErrorText)
{
    const char text[] = "vs_2_0\nmov r0, q7\n";
    ID3DXBuffer* code = reinterpret_cast<ID3DXBuffer*>(1); // must be overwritten
    ID3DXBuffer* errors = nullptr;
    EXPECT_EQ(D3DXAssembleShader(text, sizeof text - 1, nullptr, nullptr, 0, &code, &errors), D3DXERR_INVALIDDATA);
    EXPECT_EQ(code, nullptr);
    ASSERT_NE(errors, nullptr);
    const char* message = static_cast<const char*>(errors->GetBufferPointer());
    EXPECT_EQ(message[errors->GetBufferSize() - 1], '\0');
    EXPECT_NE(std::string(message).find("line 2"), std::string::npos) << message;
    EXPECT_EQ(errors->Release(), 0u);
    // Without an error buffer to fill, failure is still reported.
    EXPECT_EQ(D3DXAssembleShader(text, sizeof text - 1, nullptr, nullptr, 0, &code, nullptr), D3DXERR_INVALIDDATA);
}

TEST(D3dxAssembleShader, readsNoFurtherThanTheLengthOrAZeroByte)
{
    // Only "vs_2_0" is within the length: an empty program, not an error.
    const char text[] = "vs_2_0\nbogus";
    ID3DXBuffer* code = nullptr;
    ASSERT_EQ(D3DXAssembleShader(text, 6, nullptr, nullptr, 0, &code, nullptr), D3D_OK);
    EXPECT_EQ(code->GetBufferSize(), 8u); // version and end tokens
    code->Release();
    const char withZero[] = "ps_2_0\0garbage";
    ASSERT_EQ(D3DXAssembleShader(withZero, sizeof withZero - 1, nullptr, nullptr, 0, &code, nullptr), D3D_OK);
    EXPECT_EQ(code->GetBufferSize(), 8u);
    code->Release();
}

TEST(D3dxAssembleShader, refusesWhatItDoesNotSupport)
{
    ID3DXBuffer* code = nullptr;
    const D3DXMACRO defines[] = {{"X", "1"}, {nullptr, nullptr}};
    const D3DXMACRO noDefines[] = {{nullptr, nullptr}};
    EXPECT_EQ(D3DXAssembleShader(vertexShaderText, 500, defines, nullptr, 0, &code, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXAssembleShader(vertexShaderText, 500, noDefines, nullptr, 0, &code, nullptr), D3D_OK);
    code->Release();
    EXPECT_EQ(D3DXAssembleShader(nullptr, 0, nullptr, nullptr, 0, &code, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXAssembleShader(vertexShaderText, 500, nullptr, nullptr, 0, nullptr, nullptr), D3DERR_INVALIDCALL);
}
