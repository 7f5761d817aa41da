// The words of an assembly line: comments cut off, words and commas split,
// operands read between single commas; and the text helpers the other
// pieces share.
#include <algorithm>
#include <cctype>

#include "d3dx/assembly.hpp"

namespace d3dx::detail {
namespace {

bool isSpace(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

} // namespace

bool isLetter(char c)
{
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}

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

bool allDigits(std::string_view text)
{
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    return !text.empty();
}

void splitAtDot(std::string_view text, std::string_view& name, std::string_view& rest, bool& hasDot)
{
    const std::size_t dot = text.find('.');
    hasDot = dot != std::string_view::npos;
    name = text.substr(0, dot);
    rest = hasDot ? text.substr(dot + 1) : std::string_view();
}

std::string_view stripComment(std::string_view line)
{
    const std::size_t end = std::min(line.find("//"), line.find(';'));
    return line.substr(0, end);
}

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

} // namespace d3dx::detail
