// Test support: a pixel program for each opcode the compiled routines run,
// with source modifiers, swizzles, masks and saturation: one instruction
// into r0 (or its parts) from v0, v1, t0, t1, constants, a sampler and r0
// itself, after r0 is set from c1, then r0 out through oC0.
#pragma once

#include <string>
#include <vector>

inline const char* const PixelCaseHeader = "ps_2_0\ndcl v0\ndcl v1\ndcl t0\ndcl t1.xyz\ndcl_2d s0\n";

inline const std::vector<std::string>& pixelOpcodeLines()
{
    static const std::vector<std::string> lines = {
        "mov r0, v0",           "mov_sat r0, -t0.wzyx",  "add r0, v0, -t1",      "add_sat r0.xz, v0, c3.yzwx",
        "sub r0, t0, v1",       "mul r0, v0, c7",        "mul_sat r0.yw, t1.z, -v1",
        "mad r0, v0, t1, v1",   "mad_sat r0, v0, -c2, t0.w", "min r0, t0, t1",   "max r0, v0, -t0",
        "lrp r0, v0, t0, t1",   "frc r0, t0",            "abs r0, t1",           "rcp r0, t0.x",
        "rsq r0, t1.y",         "rsq_sat r0, -v1.z",     "exp r0, t0.z",         "log r0, t1.x",
        "pow r0, t0.x, v1.y",   "pow_sat r0, v0.w, c4.x", "dp3 r0, t0, t1",      "dp4_sat r0, v0, -t0",
        "dp3_sat r0.w, t1, c5", "crs r0.xyz, t0, t1",    "nrm r0, t1",           "nrm r0.xyz, -t0",
        "texld r0, t0, s0",     "texld r0, t1, s0",      "texld r0, -t1.yxzw, s0",
        // Reading components of the destination that an earlier component replaces:
        "mov r0.xy, r0.yx",     "add r0.xyz, r0.zxy, v0", "mad_sat r0.yw, r0.w, t0, -r0.x",
    };
    return lines;
}

inline std::string pixelOpcodeCase(const std::string& line)
{
    return std::string(PixelCaseHeader) + "mov r0, c1\n" + line + "\nmov oC0, r0\n";
}
