// The operands of an assembly line: registers by name, write masks,
// swizzles and decimal numbers, each checked against the register table
// for the program's type and the role the operand plays.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>

#include "d3dx/assembly.hpp"
#include "shader/opcode_table.hpp"

namespace d3dx::detail {

using namespace shader;

namespace {

std::string_view roleVerb(std::uint8_t role)
{
    switch (role) {
    case RoleRead:
        return "read";
    case RoleWrite:
        return "written";
    case RoleDeclare:
        return "declared";
    case RoleDefine:
        return "set by def";
    default:
        return "used as a sampler";
    }
}

} // namespace

// "r5", "oPos", "oT3": the kind from the letters, the number from the digits.
bool parseRegister(Assembly& a, std::string_view word, std::uint8_t role, RegisterType& type, std::uint32_t& number)
{
    std::size_t letters = 0;
    while (letters < word.size() && isLetter(word[letters]))
        ++letters;
    const std::string_view digits = word.substr(letters);
    const RegisterKind* kind = findRegisterKind(word.substr(0, letters));
    if (kind == nullptr || (kind->fixedNumber >= 0) != digits.empty() || (!digits.empty() && !allDigits(digits)))
        return a.fail("unknown register " + quoted(word));
    const int count = registerCount(*kind, a.shader);
    if (count == 0)
        return a.fail("register " + quoted(word) + " is not available in a " + std::string(shaderTypeName(a.shader)) +
                      " program");
    number = static_cast<std::uint32_t>(kind->fixedNumber);
    if (kind->fixedNumber < 0) {
        const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), number);
        if (result.ec != std::errc() || number >= static_cast<std::uint32_t>(count))
            return a.fail("register " + quoted(word) + " is out of range (" + std::string(kind->name) + "0 to " +
                          std::string(kind->name) + std::to_string(count - 1) + " in a " +
                          std::string(shaderTypeName(a.shader)) + " program)");
    }
    if ((kind->roles & role) == 0)
        return a.fail("register " + quoted(word) + " cannot be " + std::string(roleVerb(role)));
    type = kind->type;
    return true;
}

namespace {

// Component index of a mask or swizzle letter in one naming set, or -1.
int componentIndex(char c, std::string_view set)
{
    const std::size_t at = set.find(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

// Letters of one set only: xyzw or rgba. Returns the indices, or empty.
std::vector<int> parseComponents(std::string_view letters)
{
    for (std::string_view set : {std::string_view("xyzw"), std::string_view("rgba")}) {
        std::vector<int> components;
        for (char c : letters) {
            const int index = componentIndex(c, set);
            if (index < 0)
                break;
            components.push_back(index);
        }
        if (!letters.empty() && components.size() == letters.size())
            return components;
    }
    return {};
}

// A write mask names each component at most once, in xyzw order.
bool parseWriteMask(std::string_view letters, std::uint8_t& mask)
{
    const std::vector<int> components = parseComponents(letters);
    if (components.empty())
        return false;
    mask = 0;
    for (std::size_t i = 0; i < components.size(); ++i) {
        if (i > 0 && components[i] <= components[i - 1])
            return false;
        mask = static_cast<std::uint8_t>(mask | (1 << components[i]));
    }
    return true;
}

// One to four components; a short swizzle repeats its last one (.xy = .xyyy).
bool parseSwizzle(std::string_view letters, std::uint8_t& swizzle)
{
    const std::vector<int> components = parseComponents(letters);
    if (components.empty() || components.size() > 4)
        return false;
    unsigned bits = 0;
    for (int i = 0; i < 4; ++i)
        bits |= static_cast<unsigned>(components[std::min<std::size_t>(i, components.size() - 1)]) << (2 * i);
    swizzle = static_cast<std::uint8_t>(bits);
    return true;
}

} // namespace

bool parseDestination(Assembly& a, std::string_view word, std::uint8_t role, DestinationParameter& out)
{
    std::string_view name, mask;
    bool hasDot = false;
    splitAtDot(word, name, mask, hasDot);
    if (!parseRegister(a, name, role, out.type, out.number))
        return false;
    out.writeMask = WriteAll;
    if (hasDot && !parseWriteMask(mask, out.writeMask))
        return a.fail("bad write mask " + quoted(word));
    return true;
}

bool parseSource(Assembly& a, std::string_view word, std::uint8_t role, SourceParameter& out)
{
    const bool negate = !word.empty() && word.front() == '-';
    std::string_view name, swizzle;
    bool hasDot = false;
    splitAtDot(negate ? word.substr(1) : word, name, swizzle, hasDot);
    if (!parseRegister(a, name, role, out.type, out.number))
        return false;
    if (role == RoleSample && (negate || hasDot))
        return a.fail("a sampler takes no swizzle or negation: " + quoted(word));
    out.modifier = negate ? SourceModifier::Negate : SourceModifier::None;
    out.swizzle = IdentitySwizzle;
    if (hasDot && !parseSwizzle(swizzle, out.swizzle))
        return a.fail("bad swizzle " + quoted(word));
    return true;
}

namespace {

// The whole of a checked decimal text, correctly rounded; false when out of
// range. std::from_chars where the C++ library has it for floats; the C
// library's strtof otherwise (WebAssembly's, whose only locale is "C").
bool readFloat(const std::string& text, float& value)
{
#if defined(__cpp_lib_to_chars)
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
#else
    errno = 0;
    char* end = nullptr;
    value = std::strtof(text.c_str(), &end);
    return errno == 0 && end == text.c_str() + text.size();
#endif
}

} // namespace

// Decimal only: [+-]digits[.digits][e[+-]digits], read with correct rounding
// ("1.0" is exactly 0x3F800000).
bool parseFloat(std::string_view word, float& value)
{
    std::string_view text = word;
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    std::size_t i = (!text.empty() && text.front() == '-') ? 1 : 0;
    std::size_t mantissaDigits = 0;
    for (bool seenDot = false; i < text.size(); ++i) {
        if (std::isdigit(static_cast<unsigned char>(text[i])))
            ++mantissaDigits;
        else if (text[i] == '.' && !seenDot)
            seenDot = true;
        else
            break;
    }
    if (mantissaDigits == 0)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t exponent = i + 1;
        if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-'))
            ++exponent;
        if (!allDigits(text.substr(exponent)))
            return false;
        i = text.size();
    }
    if (i != text.size())
        return false;
    return readFloat(std::string(text), value);
}

} // namespace d3dx::detail
