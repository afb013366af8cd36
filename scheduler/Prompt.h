// Prompt.h --- the questions the job list asks the user: console now, message boxes in the windows.
#pragma once

#include <cstdio>
#include <string>

namespace tarvo::scheduler {

// YesNoDefaultNo: No is the default answer (Enter, or a box closed without a choice).
enum class PromptButtons { Ok, OkCancel, YesNo, YesNoDefaultNo, RetryCancel };
enum class PromptIcon { Warning, Question, Error, Information };
enum class PromptAnswer { Ok, Cancel, Yes, No, Retry };

class CPrompt {
public:
    virtual ~CPrompt() = default;
    // Shows the text with the buttons and answers the one chosen.
    virtual PromptAnswer Ask(const std::string& text, PromptButtons buttons, PromptIcon icon) = 0;
};

// Asks on a terminal: writes the text and the choices, reads one line. An
// answer it cannot read (end of input) is the cautious one: Cancel or No.
class CConsolePrompt : public CPrompt {
public:
    explicit CConsolePrompt(FILE* in = stdin, FILE* out = stderr) : m_in(in), m_out(out) {}
    PromptAnswer Ask(const std::string& text, PromptButtons buttons, PromptIcon icon) override;

private:
    FILE* m_in;
    FILE* m_out;
};

}  // namespace tarvo::scheduler
