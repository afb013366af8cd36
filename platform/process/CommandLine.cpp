// CommandLine.cpp --- Windows command-line word splitting.
#include "platform/process/CommandLine.h"

namespace tarvo::platform {

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Reads one argument word from position i (past any blanks); answers false at the end.
bool NextArgument(const std::string& s, size_t& i, std::string& word) {
    while (i < s.size() && IsBlank(s[i])) {
        ++i;
    }
    if (i >= s.size()) {
        return false;
    }
    word.clear();
    bool quoted = false;
    while (i < s.size()) {
        char c = s[i];
        if (!quoted && IsBlank(c)) {
            break;
        }
        if (c == '\\') {
            size_t slashes = 0;
            while (i < s.size() && s[i] == '\\') {
                ++slashes;
                ++i;
            }
            if (i < s.size() && s[i] == '"') {
                word.append(slashes / 2, '\\');
                if (slashes % 2 == 1) {
                    word.push_back('"');
                    ++i;
                }
                // An even count leaves the quote to toggle on the next round.
            } else {
                word.append(slashes, '\\');
            }
            continue;
        }
        if (c == '"') {
            if (quoted && i + 1 < s.size() && s[i + 1] == '"') {
                word.push_back('"');
                i += 2;
                continue;
            }
            quoted = !quoted;
            ++i;
            continue;
        }
        word.push_back(c);
        ++i;
    }
    return true;
}
}  // namespace

std::vector<std::string> SplitArguments(const std::string& arguments) {
    std::vector<std::string> words;
    size_t i = 0;
    std::string word;
    while (NextArgument(arguments, i, word)) {
        words.push_back(word);
    }
    return words;
}

std::vector<std::string> CommandLineToArgv(const std::string& commandLine) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < commandLine.size() && IsBlank(commandLine[i])) {
        ++i;
    }
    if (i >= commandLine.size()) {
        return words;
    }
    // The program name: quotes group, backslashes are plain characters.
    std::string program;
    bool quoted = false;
    while (i < commandLine.size() && (quoted || !IsBlank(commandLine[i]))) {
        if (commandLine[i] == '"') {
            quoted = !quoted;
        } else {
            program.push_back(commandLine[i]);
        }
        ++i;
    }
    words.push_back(program);
    for (auto& w : SplitArguments(commandLine.substr(i))) {
        words.push_back(std::move(w));
    }
    return words;
}

std::string QuoteArgument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) {
        return argument;
    }
    std::string out = "\"";
    size_t slashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++slashes;
            continue;
        }
        if (c == '"') {
            out.append(slashes * 2 + 1, '\\');
        } else {
            out.append(slashes, '\\');
        }
        slashes = 0;
        out.push_back(c);
    }
    out.append(slashes * 2, '\\');
    out.push_back('"');
    return out;
}

}  // namespace tarvo::platform
