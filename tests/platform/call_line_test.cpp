// The stand-ins' trace lines: a refused Win32 or D3DX call shows as refused,
// with its result, the last error Windows sets and why; and nothing is
// formatted while nobody traces.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "d3dx9.h"
#include "win32/call_line.hpp"
#include "win32/module_table.hpp"

namespace {

class CallLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        win32::setTraceSink([this](const std::string& line) { lines.push_back(line); });
    }
    void TearDown() override { win32::setTraceSink({}); }

    std::vector<std::string> lines;
};

} // namespace

TEST_F(CallLine, aRefusedCallShowsItsResultItsReasonAndSetsTheLastError)
{
    SetLastError(0);
    EXPECT_EQ(LoadLibraryA("missing.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(0x7770), WM_USER, 0, 0)); // hwnd30576: handles in decimal
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    LPD3DXBUFFER program = nullptr;
    EXPECT_EQ(D3DXAssembleShader(nullptr, 0, nullptr, nullptr, 0, &program, nullptr), D3DERR_INVALIDCALL);
    LPD3DXBUFFER errors = nullptr;
    const char text[] = "vs_1_1\nnot_an_instruction r0\n";
    EXPECT_EQ(D3DXAssembleShader(text, sizeof text - 1, nullptr, nullptr, 0, &program, &errors), D3DXERR_INVALIDDATA);
    errors->Release();
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "LoadLibraryA(\"missing.dll\") = NULL (no such module)",
                         "PostMessageA(hwnd30576, 0x400, 0x0) = 0 (no such window)",
                         "D3DXAssembleShader(0, 0x0) = INVALIDCALL (no text)",
                         "D3DXAssembleShader(29, 0x0) = INVALIDDATA (the program text does not assemble)",
                         "Release(ID3DXBuffer) = 0",
                     }));
}

TEST_F(CallLine, nothingIsFormattedWhileNobodyTraces)
{
    int made = 0;
    const auto costly = win32::line::lazy([&made] {
        ++made;
        return std::string("costly");
    });
    {
        win32::ApiCall call("Traced", costly, 7, win32::line::Hex{255});
        EXPECT_TRUE(call.traced());
        call.returns(1);
    }
    EXPECT_EQ(made, 1);
    EXPECT_EQ(lines, (std::vector<std::string>{"Traced(costly, 7, 0xff) = 1"}));
    win32::setTraceSink({});
    {
        win32::ApiCall call("Untraced", costly);
        EXPECT_FALSE(call.traced());
        EXPECT_EQ(call.refuse(0, "0", ERROR_INVALID_PARAMETER, "why"), 0);
    }
    EXPECT_EQ(made, 1); // the argument's text was never made
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)); // the error is set all the same
    EXPECT_EQ(lines.size(), 1u);
}
