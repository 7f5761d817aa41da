// The body of a program routine for one width, included by a file built
// with that width's instruction-set flags, which defines:
//   KERNEL_WIDTH            lanes a vector holds (4 or 8)
//   KERNEL_ENTRY            the routine's name (runWidth4, runAvx2Width8)
//   KERNEL_SQRT(v)          the square root of a vector of floats
//   KERNEL_FLOOR(v)         the floor of a vector of floats
//   KERNEL_DOUBLE_LANES     lanes a vector of doubles holds
//   KERNEL_SQRT_DOUBLES(v)  the square root of a vector of doubles
// Everything here is in an anonymous namespace and uses compiler built-ins
// only, so that no code built for a wider instruction set can be taken for
// a shared inline function.

namespace shader::kernel {
namespace {

constexpr std::int32_t Width = KERNEL_WIDTH;
typedef float Vector __attribute__((vector_size(sizeof(float) * KERNEL_WIDTH)));
typedef std::int32_t Mask __attribute__((vector_size(sizeof(float) * KERNEL_WIDTH)));

inline Vector splat(float v)
{
    Vector r;
    for (std::int32_t l = 0; l < Width; ++l) {
        r[l] = v;
    }
    return r;
}

inline Vector load(const float* p)
{
    Vector v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}

inline void store(float* p, Vector v)
{
    __builtin_memcpy(p, &v, sizeof v);
}

inline Vector absolute(Vector v)
{
    return reinterpret_cast<Vector>(reinterpret_cast<Mask>(v) & 0x7FFFFFFF);
}

inline Vector read(const float* file, const Source& s, int component, std::int32_t batch)
{
    const Vector v = s.batchStep == 0 ? splat(file[s.component[component]])
                                      : load(file + s.component[component] + static_cast<std::uint32_t>(batch * Width));
    switch (s.modifier) {
    case Modifier::Negate: return -v;
    case Modifier::Abs: return absolute(v);
    case Modifier::AbsNegate: return -absolute(v);
    default: return v;
    }
}

// A matrix macro's rows, when they are constants (as they mostly are),
// splatted and modified once for all its batches: sixteen reads a batch
// fewer.
struct ConstantRows {
    Vector value[4][4];
    bool constant[4];
};

inline Vector rowOperand(const float* file, const ConstantRows& rows, const Source& s, int row, int component,
                         std::int32_t batch)
{
    return rows.constant[row] ? rows.value[row][component] : read(file, s, component, batch);
}

inline Vector select(Mask condition, Vector yes, Vector no)
{
    return condition ? yes : no;
}

inline Vector saturate(Vector v)
{
    // NaN fails both tests: 0
    return select(v > splat(0.0f), select(v < splat(1.0f), v, splat(1.0f)), splat(0.0f));
}

template <typename Lanes, typename Function>
inline Lanes eachLane(Lanes v, Function f)
{
    for (std::size_t l = 0; l < sizeof v / sizeof v[0]; ++l) {
        v[l] = f(v[l]);
    }
    return v;
}

inline Vector reciprocalSquareRoot(Vector v)
{
    const Vector a = absolute(v);
    return select(a == splat(0.0f), splat(__builtin_inff()), splat(1.0f) / KERNEL_SQRT(a));
}

// Written out rather than looped over `columns` (at most four): the
// products then stay in registers.
inline Vector dot(const Vector* a, const Vector* b, int columns)
{
    Vector sum = a[0] * b[0];
    if (columns > 1) {
        sum += a[1] * b[1];
    }
    if (columns > 2) {
        sum += a[2] * b[2];
    }
    if (columns > 3) {
        sum += a[3] * b[3];
    }
    return sum;
}

// One instruction on one batch: its result in r (components outside the
// instruction's writable ones may hold anything). Instantiated for each
// operation, so that the switch folds away.
// Point sampling with wrap addressing: texel floor(u * size), wrapped.
inline std::int32_t wrapTexel(float coordinate, std::int32_t size)
{
    const float scaled = __builtin_floorf(coordinate * static_cast<float>(size));
    if (scaled >= 0.0f && scaled < static_cast<float>(size)) {
        return static_cast<std::int32_t>(scaled); // inside: no division
    }
    if (!(__builtin_fabsf(scaled) < 1.0e9f)) {
        return 0; // NaN and huge coordinates: any texel is as good
    }
    const std::int64_t i = static_cast<std::int64_t>(scaled) % size;
    return static_cast<std::int32_t>(i < 0 ? i + size : i);
}

inline void sample(const Sampler& texture, const Vector* coordinates, Vector r[4])
{
    if (texture.texels == nullptr || texture.width <= 0 || texture.height <= 0) {
        r[0] = r[1] = r[2] = splat(0.0f);
        r[3] = splat(1.0f);
        return;
    }
    std::uint32_t fetched[Width];
    // Most often every lane's texel lies inside the texture without a wrap:
    // then the texel numbers come from the lanes at once, and only the
    // loads are lane by lane.
    const Vector width = splat(static_cast<float>(texture.width)), height = splat(static_cast<float>(texture.height));
    const Vector u = KERNEL_FLOOR(coordinates[0] * width), v = KERNEL_FLOOR(coordinates[1] * height);
    const Mask inside = (u >= splat(0.0f)) & (u < width) & (v >= splat(0.0f)) & (v < height);
    bool allInside = true;
    for (std::int32_t l = 0; l < Width; ++l) {
        allInside = allInside && inside[l] != 0;
    }
    if (allInside) {
        const Mask index = __builtin_convertvector(v, Mask) * texture.pitch + __builtin_convertvector(u, Mask);
        for (std::int32_t l = 0; l < Width; ++l) {
            fetched[l] = texture.texels[index[l]];
        }
    } else {
        for (std::int32_t l = 0; l < Width; ++l) {
            const std::int32_t x = wrapTexel(coordinates[0][l], texture.width);
            const std::int32_t y = wrapTexel(coordinates[1][l], texture.height);
            fetched[l] = texture.texels[static_cast<std::size_t>(y) * texture.pitch + x];
        }
    }
    Mask texels;
    __builtin_memcpy(&texels, fetched, sizeof texels);
    const Vector scale = splat(255.0f);
    r[0] = __builtin_convertvector((texels >> 16) & 0xFF, Vector) / scale;
    r[1] = __builtin_convertvector((texels >> 8) & 0xFF, Vector) / scale;
    r[2] = __builtin_convertvector(texels & 0xFF, Vector) / scale;
    r[3] = __builtin_convertvector((texels >> 24) & 0xFF, Vector) / scale;
}

// powf(x, 0.5) for x >= 0 as the C library gives it: the square root
// correctly rounded, except where the root lies very near a midpoint
// between two floats, where the library's double-precision evaluation may
// land on either side (within 2^-9 of a unit in the last place, over every
// float; the margin here is four times that). The root in double precision
// tells which: far from a midpoint (all but about 1.6 % of inputs, and 0)
// it is rounded to float; near one, and for infinity and NaN, the library
// decides. Only for the library whose results were measured so.
inline Vector squareRootPowers(Vector base)
{
    float lanes[Width];
    std::int32_t decided[Width] = {}; // none yet
    __builtin_memcpy(lanes, &base, sizeof lanes);
#if defined(__GLIBC__)
    constexpr std::int64_t Midpoint = std::int64_t{1} << 28; // of the 29 bits a double has past a float's
    constexpr std::int64_t Margin = std::int64_t{1} << 22;
    typedef float Part __attribute__((vector_size(sizeof(float) * KERNEL_DOUBLE_LANES)));
    typedef double Doubles __attribute__((vector_size(sizeof(double) * KERNEL_DOUBLE_LANES)));
    typedef std::int64_t Bits __attribute__((vector_size(sizeof(double) * KERNEL_DOUBLE_LANES)));
    typedef std::int32_t PartMask __attribute__((vector_size(sizeof(float) * KERNEL_DOUBLE_LANES)));
    for (std::int32_t first = 0; first < Width; first += KERNEL_DOUBLE_LANES) {
        Part part;
        __builtin_memcpy(&part, lanes + first, sizeof part);
        const Doubles root = KERNEL_SQRT_DOUBLES(__builtin_convertvector(part, Doubles));
        const Bits fromMidpoint = (reinterpret_cast<Bits>(root) & (2 * Midpoint - 1)) - Midpoint;
        const Bits far = (fromMidpoint > Margin) | (fromMidpoint < -Margin);
        const Part rounded = __builtin_convertvector(root, Part);
        const PartMask farPart = __builtin_convertvector(far, PartMask) & (part < __builtin_inff()); // 0 is far too
        __builtin_memcpy(lanes + first, &rounded, sizeof rounded);
        __builtin_memcpy(decided + first, &farPart, sizeof farPart);
    }
#endif
    bool allDecided = true;
    for (std::int32_t l = 0; l < Width; ++l) {
        allDecided = allDecided && decided[l] != 0;
    }
    for (std::int32_t l = 0; !allDecided && l < Width; ++l) {
        if (decided[l] == 0) {
            lanes[l] = base[l] == 0.0f ? 0.0f : __builtin_powf(base[l], 0.5f);
        }
    }
    return load(lanes);
}

// The componentwise operations, component by component.
template <Operation Op>
inline void computeComponentwise(const Vector* a, const Vector* s1, const Vector* s2, Vector r[4])
{
    for (int i = 0; i < 4; ++i) {
        switch (Op) {
        case Operation::Mov: r[i] = a[i]; break;
        case Operation::Add: r[i] = a[i] + s1[i]; break;
        case Operation::Sub: r[i] = a[i] - s1[i]; break;
        case Operation::Mul: r[i] = a[i] * s1[i]; break;
        case Operation::Mad: {
            const Vector product = a[i] * s1[i];
            r[i] = product + s2[i];
            break;
        }
        case Operation::Min: r[i] = select(a[i] < s1[i], a[i], s1[i]); break;
        case Operation::Max: r[i] = select(a[i] >= s1[i], a[i], s1[i]); break;
        case Operation::Slt: r[i] = select(a[i] < s1[i], splat(1.0f), splat(0.0f)); break;
        case Operation::Sge: r[i] = select(a[i] >= s1[i], splat(1.0f), splat(0.0f)); break;
        case Operation::Lrp: {
            const Vector difference = s1[i] - s2[i];
            const Vector product = a[i] * difference;
            r[i] = product + s2[i];
            break;
        }
        case Operation::Frc: r[i] = a[i] - eachLane(a[i], [](float x) { return __builtin_floorf(x); }); break;
        case Operation::Abs: r[i] = absolute(a[i]); break;
        default: break;
        }
    }
}

// pow of each lane's base and exponent (the sources' w).
inline Vector power(Vector base, Vector exponent)
{
    bool halves = true;
    for (std::int32_t l = 0; l < Width; ++l) {
        halves = halves && exponent[l] == 0.5f;
    }
    if (halves) {
        return squareRootPowers(absolute(base));
    }
    Vector v = base;
    for (std::int32_t l = 0; l < Width; ++l) {
        // Zero to a positive power is +0 (the C library's answer too):
        // lighting terms are 0 on every surface turned away.
        const float b = __builtin_fabsf(base[l]), e = exponent[l];
        v[l] = b == 0.0f && e > 0.0f ? 0.0f : __builtin_powf(b, e);
    }
    return v;
}

// The operations of the sources' w: the result in r[0].
template <Operation Op>
inline Vector computeOfW(const Vector* a, const Vector* s1)
{
    const Vector w = a[3];
    switch (Op) {
    case Operation::Rcp: return select(w == splat(0.0f), splat(__builtin_inff()), splat(1.0f) / w);
    case Operation::Rsq: return reciprocalSquareRoot(w);
    case Operation::Exp: return eachLane(w, [](float x) { return __builtin_exp2f(x); });
    case Operation::Log:
        return eachLane(w, [](float x) { return x == 0.0f ? -__builtin_inff() : __builtin_log2f(__builtin_fabsf(x)); });
    default: return power(w, s1[3]); // Pow, the one of two sources
    }
}

// The macros: dot products, a matrix's rows, the cross product, normalize
// and the texture sample.
template <Operation Op>
inline void computeMacro(const float* file, const Instruction& in, const ConstantRows& rows, std::int32_t b,
                         const Sampler* samplers, const Vector* a, const Vector* s1, Vector r[4])
{
    switch (Op) {
    case Operation::Dot: r[0] = dot(a, s1, in.columns); break;
    case Operation::Matrix:
        for (int row = 0; row < in.rows; ++row) {
            Vector m[4];
            for (int i = 0; i < 4; ++i) { // all four read, as many dotted as the macro has columns
                m[i] = rowOperand(file, rows, in.row[row], row, i, b);
            }
            r[row] = dot(a, m, in.columns);
        }
        for (int row = in.rows; row < 4; ++row) {
            r[row] = splat(0.0f); // never written
        }
        break;
    case Operation::Cross: {
        const Vector x1 = a[1] * s1[2], x2 = a[2] * s1[1];
        const Vector y1 = a[2] * s1[0], y2 = a[0] * s1[2];
        const Vector z1 = a[0] * s1[1], z2 = a[1] * s1[0];
        r[0] = x1 - x2;
        r[1] = y1 - y2;
        r[2] = z1 - z2;
        r[3] = r[2]; // never written: w is not among its components
        break;
    }
    case Operation::Sample: sample(samplers[in.sampler], a, r); break;
    case Operation::Normalize: {
        const Vector scale = reciprocalSquareRoot(dot(a, a, 3));
        for (int i = 0; i < 4; ++i) r[i] = a[i] * scale;
        break;
    }
    default: break;
    }
}

// One instruction on one batch: its result in r (components outside the
// instruction's writable ones may hold anything). Instantiated for each
// operation, so that the switches fold away.
template <Operation Op>
inline void compute(const float* file, const Instruction& in, const ConstantRows& rows, std::int32_t b,
                    const Sampler* samplers, Vector r[4])
{
    constexpr bool ofW = replicatesW(Op);
    constexpr int sources = sourceCount(Op);
    Vector a[4], s1[4], s2[4];
    for (int i = ofW ? 3 : 0; i < 4; ++i) {
        a[i] = read(file, in.source[0], i, b);
        if (sources > 1) {
            s1[i] = read(file, in.source[1], i, b);
        }
        if (sources > 2) {
            s2[i] = read(file, in.source[2], i, b);
        }
    }
    if constexpr (Op < Operation::Rcp) {
        computeComponentwise<Op>(a, s1, s2, r);
    } else if constexpr (ofW) {
        r[0] = computeOfW<Op>(a, s1);
    } else {
        computeMacro<Op>(file, in, rows, b, samplers, a, s1, r);
    }
    if (ofW || Op == Operation::Dot) {
        r[1] = r[2] = r[3] = r[0];
    }
}

// One instruction over every batch.
template <Operation Op>
void run(const Instruction& in, float* file, std::int32_t batches, const Sampler* samplers)
{
    ConstantRows rows;
    for (int row = 0; Op == Operation::Matrix && row < 4; ++row) {
        rows.constant[row] = row < in.rows && in.row[row].batchStep == 0;
        for (int i = 0; rows.constant[row] && i < 4; ++i) {
            rows.value[row][i] = read(file, in.row[row], i, 0);
        }
    }
    for (std::int32_t b = 0; b < batches; ++b) {
        Vector r[4];
        compute<Op>(file, in, rows, b, samplers, r);
        for (int i = 0; i < 4; ++i) {
            if ((in.mask & (1 << i)) != 0) {
                store(file + in.destination + static_cast<std::uint32_t>(i * BatchLanes + b * Width),
                      in.saturate ? saturate(r[i]) : r[i]);
            }
        }
    }
}

} // namespace

void KERNEL_ENTRY(const Instruction* code, std::size_t count, float* file, std::int32_t batches,
                  const Sampler* samplers)
{
    for (std::size_t k = 0; k < count; ++k) {
        const Instruction& in = code[k];
        switch (in.operation) {
#define KERNEL_CASE(name, sources, by, what)                                                                           \
    case Operation::name: run<Operation::name>(in, file, batches, samplers); break;
            SHADER_KERNEL_OPERATIONS(KERNEL_CASE)
#undef KERNEL_CASE
        }
    }
}

} // namespace shader::kernel
