// Assembly in three steps: a line is cut into words and commas, the first
// word picks the line kind from the opcode table (version, def, dcl or an
// arithmetic instruction), and each kind fills a shader::DecodedInstruction
// that shader::encodeProgram turns into tokens. All checks read the opcode
// and register tables, the same ones the decoder checks tokens against.
// Every bad line is reported; one error per line, naming the offending word.
#include "d3dx/assembler.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <string>

#include "shader/bytecode.hpp"
#include "shader/execution.hpp"
#include "shader/opcode_table.hpp"

namespace d3dx {
namespace {

using namespace shader;

// One source line: its first word and the comma-separated operands.
struct Line {
    std::string_view mnemonic;
    std::vector<std::string_view> operands;
};

struct Assembly {
    ShaderType shader = ShaderType::Vertex;
    DecodedProgram program;
    std::vector<std::string> errors;
    int line = 0;
    int slots = 0;        // instruction slots used, macros counting what they expand to
    int textureSlots = 0; // texld's, which a pixel program counts apart

    // Records an error for the current line; returns false for convenience.
    bool fail(const std::string& message)
    {
        errors.push_back("line " + std::to_string(line) + ": " + message);
        return false;
    }
};

std::string quoted(std::string_view word)
{
    return "'" + std::string(word) + "'";
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool isSpace(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

bool isLetter(char c)
{
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}

bool allDigits(std::string_view text)
{
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    return !text.empty();
}

// Splits "name.rest" at the first '.'; rest keeps no dot and may be empty.
void splitAtDot(std::string_view text, std::string_view& name, std::string_view& rest, bool& hasDot)
{
    const std::size_t dot = text.find('.');
    hasDot = dot != std::string_view::npos;
    name = text.substr(0, dot);
    rest = hasDot ? text.substr(dot + 1) : std::string_view();
}

// ---- Tokenizer ------------------------------------------------------------

std::string_view stripComment(std::string_view line)
{
    const std::size_t end = std::min(line.find("//"), line.find(';'));
    return line.substr(0, end);
}

// Words and commas; a comma is a word of its own.
std::vector<std::string_view> splitWords(std::string_view line)
{
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        if (isSpace(line[i])) {
            ++i;
        } else if (line[i] == ',') {
            words.push_back(line.substr(i++, 1));
        } else {
            const std::size_t start = i;
            while (i < line.size() && !isSpace(line[i]) && line[i] != ',')
                ++i;
            words.push_back(line.substr(start, i - start));
        }
    }
    return words;
}

// Operands must alternate with single commas: "a, b, c".
bool readOperands(Assembly& a, const std::vector<std::string_view>& words, Line& line)
{
    if (words.front() == ",")
        return a.fail("unexpected ','");
    line.mnemonic = words.front();
    for (std::size_t i = 1; i < words.size(); ++i) {
        const bool expectOperand = (i % 2) == 1;
        const bool isComma = words[i] == ",";
        if (expectOperand && isComma)
            return a.fail("missing operand before ','");
        if (!expectOperand && !isComma)
            return a.fail("missing ',' before " + quoted(words[i]));
        if (!isComma)
            line.operands.push_back(words[i]);
    }
    if (words.size() > 1 && words.back() == ",")
        return a.fail("missing operand after ','");
    return true;
}

// ---- Registers, masks, swizzles, numbers ------------------------------------

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

// ---- Line kinds ---------------------------------------------------------

bool checkOperandCount(Assembly& a, const Line& line, std::size_t expected)
{
    if (line.operands.size() == expected)
        return true;
    return a.fail(quoted(line.mnemonic) + " takes " + std::to_string(expected) + " operand" +
                  (expected == 1 ? "" : "s") + ", found " + std::to_string(line.operands.size()));
}

// "_sat", "_pp", "_sat_pp": result modifiers, pixel programs only.
bool parseResultModifiers(Assembly& a, const Line& line, std::string_view suffix, std::uint8_t& modifiers)
{
    modifiers = 0;
    while (!suffix.empty()) {
        const std::size_t end = suffix.find('_');
        const std::string_view name = suffix.substr(0, end);
        suffix = end == std::string_view::npos ? std::string_view() : suffix.substr(end + 1);
        std::uint8_t bit = 0;
        if (equalsIgnoringCase(name, "sat"))
            bit = ResultSaturate;
        else if (equalsIgnoringCase(name, "pp"))
            bit = ResultPartialPrecision;
        else
            return a.fail("unknown modifier " + quoted("_" + std::string(name)) + " in " + quoted(line.mnemonic));
        if (a.shader == ShaderType::Vertex)
            return a.fail("modifier " + quoted("_" + std::string(name)) + " of " + quoted(line.mnemonic) +
                          " is not available in a vertex program");
        modifiers = static_cast<std::uint8_t>(modifiers | bit);
    }
    return true;
}

bool assembleArithmetic(Assembly& a, const Line& line, const OpcodeInfo& info, std::string_view suffix)
{
    DecodedInstruction instruction;
    instruction.info = &info;
    if (!parseResultModifiers(a, line, suffix, instruction.destination.resultModifier))
        return false;
    const std::size_t first = info.hasDestination ? 1 : 0;
    if (!checkOperandCount(a, line, first + static_cast<std::size_t>(info.sourceCount)))
        return false;
    if (info.hasDestination) {
        DestinationParameter& destination = instruction.destination;
        if (!parseDestination(a, line.operands[0], RoleWrite, destination))
            return false;
        const bool namesAddress = destination.type == RegisterType::Address && a.shader == ShaderType::Vertex;
        if (namesAddress != info.writesAddress)
            return a.fail(info.writesAddress ? "mova writes only a0, found " + quoted(line.operands[0])
                                             : "only mova writes " + quoted(line.operands[0]));
    }
    instruction.sourceCount = info.sourceCount;
    for (int i = 0; i < info.sourceCount; ++i) {
        const std::uint8_t role = info.lastSourceIsSampler && i == info.sourceCount - 1 ? RoleSample : RoleRead;
        if (!parseSource(a, line.operands[first + static_cast<std::size_t>(i)], role,
                         instruction.sources[static_cast<std::size_t>(i)]))
            return false;
    }
    std::string past;
    if (!readsInsideRegisterFiles(a.shader, instruction, past))
        return a.fail(past);
    a.program.instructions.push_back(instruction);
    return true;
}

bool assembleDefinition(Assembly& a, const Line& line, const OpcodeInfo& info, std::string_view suffix)
{
    if (!suffix.empty())
        return a.fail("unknown instruction " + quoted(line.mnemonic));
    if (!checkOperandCount(a, line, 5))
        return false;
    DecodedInstruction instruction;
    instruction.info = &info;
    if (!parseDestination(a, line.operands[0], RoleDefine, instruction.destination))
        return false;
    if (instruction.destination.writeMask != WriteAll)
        return a.fail("def sets a whole register, found " + quoted(line.operands[0]));
    for (std::size_t i = 0; i < 4; ++i)
        if (!parseFloat(line.operands[i + 1], instruction.values[i]))
            return a.fail("bad number " + quoted(line.operands[i + 1]));
    a.program.instructions.push_back(instruction);
    return true;
}

TextureType findTextureType(std::string_view name)
{
    for (TextureType type : {TextureType::Texture2D, TextureType::Cube, TextureType::Volume})
        if (equalsIgnoringCase(name, textureTypeName(type)))
            return type;
    return TextureType::Unknown;
}

// "texcoord1" -> TexCoord, 1; false when the name is no usage.
bool parseUsage(std::string_view text, DeclarationUsage& usage, std::uint32_t& index)
{
    std::size_t letters = 0;
    while (letters < text.size() && isLetter(text[letters]))
        ++letters;
    const std::string_view digits = text.substr(letters);
    index = 0;
    if (!digits.empty()) {
        const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), index);
        if (!allDigits(digits) || result.ec != std::errc() || index > (UsageIndexMask >> UsageIndexShift))
            return false;
    }
    for (int i = 0; i < DeclarationUsageCount; ++i) {
        if (equalsIgnoringCase(text.substr(0, letters), usageName(static_cast<DeclarationUsage>(i)))) {
            usage = static_cast<DeclarationUsage>(i);
            return true;
        }
    }
    return false;
}

// The part of a dcl after "dcl_": a texture type for a sampler, a usage for
// a vertex input, nothing for a pixel input.
bool parseDeclarationKind(Assembly& a, const Line& line, std::string_view suffix, DecodedInstruction& instruction)
{
    instruction.textureType = findTextureType(suffix);
    if (instruction.textureType != TextureType::Unknown) {
        if (a.shader == ShaderType::Vertex)
            return a.fail(quoted(line.mnemonic) + " is not available in a vertex program");
        return true;
    }
    if (a.shader == ShaderType::Pixel) {
        if (suffix.empty())
            return true;
        DeclarationUsage usage;
        std::uint32_t index = 0;
        if (parseUsage(suffix, usage, index))
            return a.fail(quoted(line.mnemonic) + " is not available in a pixel program");
        return a.fail("unknown declaration " + quoted(line.mnemonic));
    }
    if (suffix.empty())
        return a.fail("'dcl' needs a usage in a vertex program, such as dcl_position");
    if (!parseUsage(suffix, instruction.usage, instruction.usageIndex))
        return a.fail("unknown declaration " + quoted(line.mnemonic));
    return true;
}

bool assembleDeclaration(Assembly& a, const Line& line, const OpcodeInfo& info, std::string_view suffix)
{
    DecodedInstruction instruction;
    instruction.info = &info;
    if (!parseDeclarationKind(a, line, suffix, instruction) || !checkOperandCount(a, line, 1))
        return false;
    DestinationParameter& destination = instruction.destination;
    if (!parseDestination(a, line.operands[0], RoleDeclare, destination))
        return false;
    const bool sampler = destination.type == RegisterType::Sampler;
    const bool samplerKind = instruction.textureType != TextureType::Unknown;
    if (sampler && !samplerKind)
        return a.fail("sampler " + quoted(line.operands[0]) + " needs a texture type: dcl_2d, dcl_cube or dcl_volume");
    if (!sampler && samplerKind)
        return a.fail(quoted(line.mnemonic) + " declares a sampler, found " + quoted(line.operands[0]));
    if (sampler && destination.writeMask != WriteAll)
        return a.fail("a sampler takes no write mask: " + quoted(line.operands[0]));
    a.program.instructions.push_back(instruction);
    return true;
}

bool looksLikeVersion(std::string_view word)
{
    return word.size() >= 3 && (equalsIgnoringCase(word.substr(0, 3), "vs_") || equalsIgnoringCase(word.substr(0, 3), "ps_"));
}

bool assembleVersion(Assembly& a, const Line& line)
{
    if (equalsIgnoringCase(line.mnemonic, "vs_2_0"))
        a.shader = ShaderType::Vertex;
    else if (equalsIgnoringCase(line.mnemonic, "ps_2_0"))
        a.shader = ShaderType::Pixel;
    else if (looksLikeVersion(line.mnemonic))
        return a.fail("unsupported version " + quoted(line.mnemonic) + ", expected vs_2_0 or ps_2_0");
    else
        return a.fail("missing version line (vs_2_0 or ps_2_0) before " + quoted(line.mnemonic));
    if (!line.operands.empty())
        return a.fail("unexpected " + quoted(line.operands[0]) + " after the version");
    a.program.type = a.shader;
    a.program.major = 2;
    a.program.minor = 0;
    return true;
}

// The instruction slots shader model 2.0 gives a program: 256 in vs_2_0; 64
// arithmetic and 32 texture ones in ps_2_0. A macro takes the slots of what
// it expands to.
int slotsOf(const OpcodeInfo& info)
{
    switch (info.opcode) {
    case Opcode::M4x4: case Opcode::M3x4: return 4;
    case Opcode::M4x3: case Opcode::M3x3: case Opcode::Nrm: case Opcode::Pow: return 3;
    case Opcode::M3x2: case Opcode::Crs: case Opcode::Lrp: return 2;
    case Opcode::SinCos: return 8;
    default: return 1;
    }
}

// Counts the instruction just assembled and refuses, once, the first that
// runs past the limits.
void countSlots(Assembly& a, const OpcodeInfo& info)
{
    const bool vertex = a.shader == ShaderType::Vertex;
    const bool texture = info.opcode == Opcode::Texld;
    int& used = texture && !vertex ? a.textureSlots : a.slots;
    const int limit = vertex ? 256 : texture ? 32 : 64;
    const bool wasWithin = used <= limit;
    used += slotsOf(info);
    if (wasWithin && used > limit) {
        a.fail("more than " + std::to_string(limit) + (texture && !vertex ? " texture" : "") +
               " instruction slots, the most a " + std::string(shaderTypeName(a.shader)) + " program of shader model 2.0 has");
    }
}

// Every line after the version: the mnemonic up to its first '_' names the
// table entry; the rest is modifiers, a usage or a texture type.
void assembleLine(Assembly& a, const Line& line)
{
    if (looksLikeVersion(line.mnemonic) && findOpcode(line.mnemonic) == nullptr) {
        a.fail("second version line " + quoted(line.mnemonic));
        return;
    }
    const std::size_t underscore = line.mnemonic.find('_');
    const std::string_view base = line.mnemonic.substr(0, underscore);
    const std::string_view suffix =
        underscore == std::string_view::npos ? std::string_view() : line.mnemonic.substr(underscore + 1);
    const OpcodeInfo* info = findOpcode(base);
    if (info == nullptr) {
        a.fail("unknown instruction " + quoted(line.mnemonic));
        return;
    }
    if (!allowedIn(*info, a.shader)) {
        a.fail(quoted(base) + " is not available in a " + std::string(shaderTypeName(a.shader)) + " program");
        return;
    }
    switch (info->form) {
    case InstructionForm::Declaration:
        assembleDeclaration(a, line, *info, suffix);
        return;
    case InstructionForm::Definition:
        assembleDefinition(a, line, *info, suffix);
        return;
    case InstructionForm::Arithmetic:
        assembleArithmetic(a, line, *info, suffix);
        countSlots(a, *info);
        return;
    }
}

} // namespace

AssemblyResult assembleShader(std::string_view text)
{
    Assembly a;
    bool haveVersion = false;
    std::size_t start = 0;
    for (int number = 1; start <= text.size(); ++number) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view raw = stripComment(text.substr(start, end - start));
        start = end + 1;
        a.line = number;
        const std::vector<std::string_view> words = splitWords(raw);
        Line line;
        if (words.empty() || !readOperands(a, words, line))
            continue;
        if (haveVersion) {
            assembleLine(a, line);
        } else if (!assembleVersion(a, line)) {
            break; // without a version the program type is unknown
        } else {
            haveVersion = true;
        }
    }
    if (!haveVersion && a.errors.empty()) {
        a.line = 1;
        a.fail("missing version line (vs_2_0 or ps_2_0)");
    }
    AssemblyResult result;
    if (!a.errors.empty()) {
        for (const std::string& error : a.errors)
            result.errors += error + "\n";
        return result;
    }
    result.succeeded = true;
    result.tokens = encodeProgram(a.program);
    return result;
}

} // namespace d3dx
