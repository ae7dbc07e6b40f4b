#include "Ita2.h"

namespace cardserver {

namespace {

// Index = code. '\0' = no character in that case.
constexpr char kLettersTable[32] = {'\0', 'E', '\n', 'A', ' ', 'S', 'I', 'U', '\r', 'D', 'R',
                                    'J',  'N', 'F',  'C', 'K', 'T', 'Z', 'L', 'W',  'H', 'Y',
                                    'P',  'Q', 'O',  'B', 'G', '\0', 'M', 'X', 'V', '\0'};
constexpr char kFiguresTable[32] = {'\0', '3', '\n', '-', ' ', '\'', '8', '7', '\r', '\0', '4',
                                    '\a', ',', '!',  ':', '(', '5',  '+', ')', '2',  '#',  '6',
                                    '0',  '1', '9',  '?', '&', '\0', '.', '/', '=',  '\0'};

int find(const char (&table)[32], char c)
{
    for (int code = 0; code < 32; ++code)
        if (table[code] == c) return code;
    return -1;
}

}  // namespace

void Ita2Encoder::encode(QChar qc, std::vector<uint8_t>* codes)
{
    const char c = qc.toUpper().toLatin1();
    if (c == '\0') return;
    if (c == ' ' || c == '\r' || c == '\n') {
        codes->push_back(uint8_t(find(kLettersTable, c)));
        if (c == ' ') m_figures = false;
        return;
    }
    if (const int code = find(kLettersTable, c); code >= 0) {
        if (m_figures) codes->push_back(ita2::kLetters);
        m_figures = false;
        codes->push_back(uint8_t(code));
        return;
    }
    if (const int code = find(kFiguresTable, c); code >= 0 && c != '\a') {
        if (!m_figures) codes->push_back(ita2::kFigures);
        m_figures = true;
        codes->push_back(uint8_t(code));
    }
}

QChar Ita2Decoder::decode(uint8_t code)
{
    code &= 0x1F;
    if (code == ita2::kLetters) {
        m_figures = false;
        return {};
    }
    if (code == ita2::kFigures) {
        m_figures = true;
        return {};
    }
    if (code == ita2::kSpace && m_unshiftOnSpace) m_figures = false;
    const char c = m_figures ? kFiguresTable[code] : kLettersTable[code];
    if (c == '\a') return {};
    return c == '\0' ? QChar() : QChar::fromLatin1(c);
}

}  // namespace cardserver
