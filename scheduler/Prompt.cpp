// Prompt.cpp --- questions on the console.
#include "scheduler/Prompt.h"

#include <cctype>

namespace tarvo::scheduler {

PromptAnswer CConsolePrompt::Ask(const std::string& text, PromptButtons buttons, PromptIcon icon) {
    const char* label = icon == PromptIcon::Warning       ? "Warning"
                        : icon == PromptIcon::Error       ? "Error"
                        : icon == PromptIcon::Information ? "Information"
                                                          : "Question";
    const bool yesNo = buttons == PromptButtons::YesNo || buttons == PromptButtons::YesNoDefaultNo;
    const char* choices = buttons == PromptButtons::Ok         ? "[O]K"
                          : buttons == PromptButtons::OkCancel ? "[O]K / [C]ancel"
                          : yesNo                              ? "[Y]es / [N]o"
                                                               : "[R]etry / [C]ancel";
    PromptAnswer cautious = yesNo ? PromptAnswer::No : PromptAnswer::Cancel;
    for (int attempt = 0; attempt < 5; ++attempt) {
        std::fprintf(m_out, "%s: %s\n%s? ", label, text.c_str(), choices);
        std::fflush(m_out);
        char line[64];
        if (std::fgets(line, sizeof line, m_in) == nullptr) {
            std::fprintf(m_out, "\n");
            return cautious;
        }
        char c = static_cast<char>(std::toupper(static_cast<unsigned char>(line[0])));
        switch (buttons) {
        case PromptButtons::Ok:
            return PromptAnswer::Ok;
        case PromptButtons::OkCancel:
            if (c == 'O') return PromptAnswer::Ok;
            if (c == 'C') return PromptAnswer::Cancel;
            break;
        case PromptButtons::YesNo:
        case PromptButtons::YesNoDefaultNo:
            if (c == 'Y') return PromptAnswer::Yes;
            if (c == 'N') return PromptAnswer::No;
            break;
        case PromptButtons::RetryCancel:
            if (c == 'R') return PromptAnswer::Retry;
            if (c == 'C') return PromptAnswer::Cancel;
            break;
        }
    }
    return cautious;
}

}  // namespace tarvo::scheduler
