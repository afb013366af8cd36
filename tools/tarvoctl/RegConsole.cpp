// RegConsole.cpp --- messages and Yes/No questions of tarvoctl reg.
#include "tools/tarvoctl/RegConsole.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "platform/registry/RegistryDetail.h"

namespace tarvo::tools {

using namespace tarvo::platform;

namespace {

enum class Answer { Yes, No, NotAsked };

// Asks a Yes/No question on the terminal; without one, nothing is asked.
Answer Confirm(const std::string& question) {
    if (isatty(STDIN_FILENO) == 0) {
        return Answer::NotAsked;
    }
    while (true) {
        std::printf("%s ", question.c_str());
        std::fflush(stdout);
        std::string reply;
        if (!std::getline(std::cin, reply)) {
            return Answer::No;
        }
        std::string folded = RegistryFold(reply);
        if (folded == "y" || folded == "yes") {
            return Answer::Yes;
        }
        if (folded == "n" || folded == "no") {
            return Answer::No;
        }
    }
}

}  // namespace

int Fail(const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
    return 1;
}

int InvalidSyntax(const std::string& operation) {
    return Fail("ERROR: Invalid syntax.\nType \"REG " + operation + " /?\" for usage.");
}

int InvalidKeyName(const std::string& operation) {
    return Fail("ERROR: Invalid key name.\nType \"REG " + operation + " /?\" for usage.");
}

int FailStatus(LSTATUS status) {
    if (status == ERROR_FILE_NOT_FOUND) {
        return Fail(kNotFound);
    }
    std::string detail = RegistryErrorDetail();
    return Fail(std::string("ERROR: ") + Win32ErrorText(status) +
                (detail.empty() ? "" : " (" + detail + ")"));
}

int ConfirmOrRefuse(const std::string& question, const std::string& refusal, bool& proceed) {
    proceed = false;
    switch (Confirm(question)) {
        case Answer::Yes:
            proceed = true;
            return 0;
        case Answer::No:
            std::printf("The operation was canceled by the user.\n");
            return 0;
        case Answer::NotAsked:
            break;
    }
    return Fail("ERROR: " + refusal);
}

bool IsOption(const std::string& word, const char* name) {
    return (word[0] == '/' || word[0] == '-') && RegistryFold(word.substr(1)) == name;
}

}  // namespace tarvo::tools
