// MessageFile.cpp --- parsing message-compiler source and expanding message inserts.
#include "platform/eventlog/MessageFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/registry/RegistryDetail.h"

namespace tarvo::platform {

namespace {

constexpr size_t kMaxFileSize = 16u << 20;

struct ParseError {
    std::string reason;
};

bool ParseNumber(const std::string& text, unsigned long limit, DWORD& out) {
    if (text.empty() || text[0] == '-' || text[0] == '+') {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    unsigned long value = std::strtoul(text.c_str(), &end, 0);
    if (errno != 0 || end == text.c_str() || *end != '\0' || value > limit) {
        return false;
    }
    out = static_cast<DWORD>(value);
    return true;
}

std::string Trim(std::string_view text) {
    size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    size_t last = text.find_last_not_of(" \t\r");
    return std::string(text.substr(first, last - first + 1));
}

// The parser state: name tables, the running defaults and the current message.
class Parser {
public:
    explicit Parser(std::map<DWORD, MessageEntry>& entries) : m_entries(entries) {
        m_severities = {{"success", 0}, {"informational", 1}, {"warning", 2}, {"error", 3}};
        m_facilities = {{"system", 0x0FF}, {"application", 0xFFF}};
        m_languages = {"english"};
    }

    void Run(std::string_view source) {
        SplitLines(source);
        while (m_line < m_lines.size()) {
            std::string line = StripComment(m_lines[m_line]);
            size_t pos = 0;
            while (pos < line.size()) {
                pos = line.find_first_not_of(" \t", pos);
                if (pos == std::string::npos) {
                    break;
                }
                size_t statementLine = m_line;
                pos = Statement(line, pos);
                if (m_line != statementLine) {
                    line = StripComment(m_lines[m_line]);  // a list ran over several lines
                }
                if (m_inText) {
                    break;
                }
            }
            ++m_line;
            if (m_inText) {
                ReadText();
            }
        }
        Finish();
    }

    size_t LineNumber() const { return m_line + 1; }

private:
    void SplitLines(std::string_view source) {
        size_t start = 0;
        while (start <= source.size()) {
            size_t end = source.find('\n', start);
            std::string_view line = source.substr(start, end == std::string_view::npos ? end : end - start);
            if (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
            }
            m_lines.emplace_back(line);
            if (end == std::string_view::npos) {
                break;
            }
            start = end + 1;
        }
    }

    static std::string StripComment(const std::string& line) { return line.substr(0, line.find(';')); }

    // Parses "Keyword = value" starting at pos; answers where parsing goes on.
    size_t Statement(const std::string& line, size_t pos) {
        size_t nameEnd = line.find_first_of(" \t=", pos);
        std::string keyword =
            RegistryFold(line.substr(pos, nameEnd == std::string::npos ? nameEnd : nameEnd - pos));
        size_t equals = nameEnd == std::string::npos ? nameEnd : line.find_first_not_of(" \t", nameEnd);
        if (equals == std::string::npos || line[equals] != '=') {
            throw ParseError{"expected '=' after \"" + keyword + "\""};
        }
        size_t valueStart = line.find_first_not_of(" \t", equals + 1);
        if (valueStart != std::string::npos && line[valueStart] == '(') {
            return List(keyword, line, valueStart + 1);
        }
        std::string value;
        size_t next = line.size();
        if (valueStart != std::string::npos) {
            size_t valueEnd = line.find_first_of(" \t", valueStart);
            value = line.substr(valueStart, valueEnd == std::string::npos ? valueEnd : valueEnd - valueStart);
            next = valueEnd == std::string::npos ? line.size() : valueEnd;
        }
        Assign(keyword, value);
        return next;
    }

    // Gathers a parenthesised list that may span lines, then applies it.
    size_t List(const std::string& keyword, const std::string& firstLine, size_t pos) {
        std::string content;
        std::string line = firstLine;
        while (true) {
            size_t close = line.find(')', pos);
            if (close != std::string::npos) {
                content += line.substr(pos, close - pos);
                ApplyList(keyword, content);
                return close + 1;
            }
            content += line.substr(pos) + " ";
            if (++m_line >= m_lines.size()) {
                throw ParseError{"missing ')' in " + keyword};
            }
            line = StripComment(m_lines[m_line]);
            pos = 0;
        }
    }

    void ApplyList(const std::string& keyword, const std::string& content) {
        std::string spaced;
        for (char c : content) {
            spaced += c == '=' ? std::string(" = ") : std::string(1, c);
        }
        std::istringstream words(spaced);
        std::vector<std::string> tokens;
        for (std::string word; words >> word;) {
            tokens.push_back(word);
        }
        for (size_t i = 0; i < tokens.size();) {
            if (i + 2 >= tokens.size() || tokens[i + 1] != "=") {
                throw ParseError{"malformed entry in " + keyword};
            }
            std::string name = RegistryFold(tokens[i]);
            std::string number = tokens[i + 2].substr(0, tokens[i + 2].find(':'));
            i += 3;
            // A symbol written apart: ": NAME" or ":NAME".
            if (i < tokens.size() && tokens[i] == ":") {
                i += 2;
            } else if (i < tokens.size() && tokens[i][0] == ':') {
                ++i;
            }
            DWORD value = 0;
            if (keyword == "severitynames") {
                if (!ParseNumber(number, 3, value)) {
                    throw ParseError{"severity " + name + " does not fit in two bits"};
                }
                m_severities[name] = value;
            } else if (keyword == "facilitynames") {
                if (!ParseNumber(number, 0xFFF, value)) {
                    throw ParseError{"facility " + name + " does not fit in twelve bits"};
                }
                m_facilities[name] = value;
            } else if (keyword == "languagenames") {
                if (!ParseNumber(number, 0xFFFF, value)) {
                    throw ParseError{"bad language number for " + name};
                }
                m_languages.push_back(name);
            } else {
                throw ParseError{"\"" + keyword + "\" takes no list"};
            }
        }
    }

    void Assign(const std::string& keyword, const std::string& value) {
        if (keyword == "messageidtypedef" || keyword == "outputbase") {
            return;  // matter only to generated headers
        }
        if (keyword == "messageid") {
            Finish();
            m_open = true;
            m_current = MessageEntry{};
            // The code may depend on the facility named later in this definition: settle it in Finish.
            m_relative = value.empty() || value[0] == '+';
            m_code = 1;
            if (value.size() > 1 && value[0] == '+') {
                if (!ParseNumber(value.substr(1), 0xFFFF, m_code)) {
                    throw ParseError{"bad MessageId " + value};
                }
            } else if (!value.empty() && !ParseNumber(value, 0xFFFF, m_code)) {
                throw ParseError{"MessageId " + value + " does not fit in 16 bits"};
            }
            return;
        }
        if (!m_open) {
            throw ParseError{"\"" + keyword + "\" outside a message definition"};
        }
        if (keyword == "severity") {
            auto it = m_severities.find(RegistryFold(value));
            if (it == m_severities.end()) {
                throw ParseError{"unknown severity \"" + value + "\""};
            }
            m_severity = it->second;
        } else if (keyword == "facility") {
            auto it = m_facilities.find(RegistryFold(value));
            if (it == m_facilities.end()) {
                throw ParseError{"unknown facility \"" + value + "\""};
            }
            m_facility = it->second;
        } else if (keyword == "symbolicname") {
            m_current.symbolicName = value;
        } else if (keyword == "language") {
            std::string folded = RegistryFold(value);
            bool known = false;
            for (const auto& language : m_languages) {
                known = known || language == folded;
            }
            if (!known) {
                throw ParseError{"unknown language \"" + value + "\""};
            }
            m_language = value;
            m_inText = true;
        } else {
            throw ParseError{"unknown keyword \"" + keyword + "\""};
        }
    }

    // Reads text lines up to the line holding only ".".
    void ReadText() {
        std::string text;
        while (m_line < m_lines.size()) {
            const std::string& line = m_lines[m_line++];
            if (Trim(line) == ".") {
                m_current.texts.emplace_back(m_language, text);
                m_inText = false;
                return;
            }
            text += line + "\n";
        }
        throw ParseError{"message text for language " + m_language + " is not ended by a line with \".\""};
    }

    void Finish() {
        if (!m_open) {
            return;
        }
        m_open = false;
        if (m_current.texts.empty()) {
            throw ParseError{"message " + std::to_string(m_code) + " has no Language text"};
        }
        if (m_relative) {
            auto last = m_lastCode.find(m_facility);
            m_code += last != m_lastCode.end() ? last->second : 0;
            if (m_code > 0xFFFF) {
                throw ParseError{"MessageId does not fit in 16 bits"};
            }
        }
        m_current.id = (m_severity << 30) | (m_facility << 16) | m_code;
        if (!m_entries.emplace(m_current.id, m_current).second) {
            char hex[16];
            std::snprintf(hex, sizeof(hex), "0x%08X", m_current.id);
            throw ParseError{std::string("message ") + hex + " is defined twice"};
        }
        m_lastCode[m_facility] = m_code;
    }

    std::map<DWORD, MessageEntry>& m_entries;
    std::vector<std::string> m_lines;
    size_t m_line = 0;
    std::map<std::string, DWORD> m_severities;
    std::map<std::string, DWORD> m_facilities;
    std::vector<std::string> m_languages;
    std::map<DWORD, DWORD> m_lastCode;
    DWORD m_severity = 0;
    DWORD m_facility = 0xFFF;
    DWORD m_code = 0;
    bool m_relative = false;
    bool m_open = false;
    bool m_inText = false;
    std::string m_language;
    MessageEntry m_current;
};

}  // namespace

const std::string& MessageEntry::Text(std::string_view language) const {
    static const std::string empty;
    for (const auto& [name, text] : texts) {
        if (RegistryFold(name) == RegistryFold(language)) {
            return text;
        }
    }
    return texts.empty() ? empty : texts.front().second;
}

bool MessageFile::Parse(std::string_view source, std::string& error) {
    m_entries.clear();
    Parser parser(m_entries);
    try {
        parser.Run(source);
    } catch (const ParseError& e) {
        m_entries.clear();
        error = "line " + std::to_string(parser.LineNumber()) + ": " + e.reason;
        return false;
    }
    return true;
}

bool MessageFile::Load(const std::string& path, std::string& error) {
    m_entries.clear();
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        error = path + ": not a readable file";
        return false;
    }
    if (static_cast<size_t>(info.st_size) > kMaxFileSize) {
        error = path + ": too large for a message file";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::string source((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        error = path + ": cannot be read";
        return false;
    }
    if (!Parse(source, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

const MessageEntry* MessageFile::Find(DWORD id) const {
    auto it = m_entries.find(id);
    return it == m_entries.end() ? nullptr : &it->second;
}

std::string FormatMessageText(std::string_view text, const std::vector<std::string>& strings) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '%' || i + 1 >= text.size()) {
            out += c;
            continue;
        }
        char next = text[++i];
        if (next >= '1' && next <= '9') {
            size_t number = static_cast<size_t>(next - '0');
            if (i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9') {
                number = number * 10 + static_cast<size_t>(text[++i] - '0');
            }
            // "%1!s!" and the like: the format only shapes printf output, strings go in as they are.
            if (i + 1 < text.size() && text[i + 1] == '!') {
                size_t close = text.find('!', i + 2);
                if (close != std::string_view::npos) {
                    i = close;
                }
            }
            if (number <= strings.size()) {
                out += strings[number - 1];
            }
            continue;
        }
        switch (next) {
            case '0':
                return out;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case '%':
            case ' ':
            case '.':
            case '!':
                out += next;
                break;
            default:
                out += '%';
                out += next;
                break;
        }
    }
    return out;
}

}  // namespace tarvo::platform
