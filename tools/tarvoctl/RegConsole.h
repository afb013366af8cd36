// RegConsole.h --- what tarvoctl reg prints and asks: its messages, error texts and Yes/No questions.
#pragma once

#include <string>

#include "platform/registry/Registry.h"
#include "tools/tarvoctl/Command.h"

namespace tarvo::tools {

constexpr const char* kNotFound = "ERROR: The system was unable to find the specified registry key or value.";
constexpr const char* kSuccess = "The operation completed successfully.";

// Prints message on standard error; answers the exit status 1.
int Fail(const std::string& message);
// "ERROR: Invalid syntax." / "ERROR: Invalid key name." with the usage hint of the operation ("QUERY").
int InvalidSyntax(const std::string& operation);
int InvalidKeyName(const std::string& operation);
// The message for a failed registry call; a damaged store adds the SQLite detail.
int FailStatus(platform::LSTATUS status);

// Gate for an operation that needs confirmation: proceed is set when the user
// agreed on the terminal; otherwise answers the exit status (0 when the user
// said No, 1 after printing refusal when standard input is not a terminal).
int ConfirmOrRefuse(const std::string& question, const std::string& refusal, bool& proceed);

// True for "/name" or "-name" (case-insensitive).
bool IsOption(const std::string& word, const char* name);

// reg export KEY FILE [/y] and reg import FILE.
int RunRegExport(const Arguments& args);
int RunRegImport(const Arguments& args);

}  // namespace tarvo::tools
