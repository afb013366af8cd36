// SystemIntegration.h --- the machine-wide registry integration: default defragmenter, boot-time
// page-file service, application path and the scheduler program's path.
//
// All values live under HKEY_LOCAL_MACHINE. Registry failures are silent: the
// functions answer 0 or an empty string and leave what was stored.
#pragma once

#include <string>

#include "platform/core/NtTypes.h"

namespace tarvo::app {

using platform::BOOL;

constexpr const char* kDefragPathKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MyComputer\\DefragPath";
constexpr const char* kSessionManagerKey = "System\\CurrentControlSet\\Control\\Session Manager";
constexpr const char* kBootExecuteValue = "BootExecute";
constexpr const char* kBootServiceName = "TarvoNTStart";
constexpr const char* kBootServiceKey = "System\\CurrentControlSet\\Services\\TarvoNTStart";
constexpr const char* kMemoryManagementKey =
    "System\\CurrentControlSet\\Control\\Session Manager\\Memory Management";
constexpr const char* kClearPageFileValue = "ClearPageFileAtShutdown";

// The default value of the DefragPath key equals OwnCommand() exactly.
BOOL IsDefaultDefragmenter();

// DontAskUserAgain is 0.
BOOL ShouldAskDefault();

// The offer to become the default defragmenter is due: not the default yet and
// the user has not declined for good.
BOOL ShouldOfferDefault();

// The user's answer to the offer: the check box is stored as DontAskUserAgain
// (persisted) either way; "Yes" also writes OwnCommand() as the DefragPath
// default value.
enum class OfferAnswer { Yes, No };
void AnswerDefaultOffer(OfferAnswer answer, BOOL dontAskAgain);

// Whether "TarvoNTStart" is in the boot-execute list (exact, case-sensitive);
// when it is, "run" = 1 is written under its service key. 0 on any failure.
BOOL IsBootServiceRegistered();

// Adds (on) or removes (off) "TarvoNTStart" in the boot-execute list, keeping
// the other entries in their order, and writes "run" = 1 or 0. An absent list
// counts as empty. Answers 1, or 0 when a read or write failed (the list is
// then left as it was).
BOOL SetBootService(BOOL on);

// At exit: "ClearPageFileAtShutdown" = 1 when the settings record says the
// boot-time service is registered, else 0.
void WritePageFileFlag();

// "Path" under the application-path key, followed by "\TarvoScDef.exe", all in
// upper case; empty when no path is recorded.
std::string SchedulerPath();

// Records the installation folder: the application-path key's default value
// (the program's full path, "<folder>\TarvoDefrag.exe") and "Path" (the
// folder). Answers 1 when both were written.
BOOL RegisterApplicationPath(const std::string& folder);

}  // namespace tarvo::app
