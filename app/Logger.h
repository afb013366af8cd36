// Logger.h --- the one logger: event log, message boxes, ask box, status report and message log.
//
// Report decides from the identifier, the settings and the program's state where
// a message goes. Callable from the UI thread and from workers. Insertion strings
// are data: they are never used as format strings.
#pragma once

#include <cstdint>
#include <vector>

#include "app/MessageIds.h"
#include "app/Presenter.h"
#include "platform/core/NtTypes.h"

namespace tarvo::app {

using platform::BOOL;

// Up to six insertion strings; they count up to the first null. Answers the
// box's result, the row's logged return value, 0 when nothing was shown, or -1
// for an identifier the message table lacks.
int Report(MessageId id, const char* s1 = nullptr, const char* s2 = nullptr, const char* s3 = nullptr,
           const char* s4 = nullptr, const char* s5 = nullptr, const char* s6 = nullptr);

// Registers the event source on the local machine under `sourceName` (null:
// "Tarvo Defrag") and keeps the user SID passed with every event. A source
// registered before is closed first. Answers 1 when the source is open. The
// source is closed at process exit.
BOOL RegisterSource(void* userSid, const char* sourceName = nullptr);

// Records the message file for the event source under HKEY_LOCAL_MACHINE
// (EventMessageFile, TypesSupported). Failures are silent.
void RegisterMessageFile();

// Closes the event source (DeregisterEventSource); later reports skip the event log.
void DeregisterSource();

// Message display: on at start, off for command-line runs.
enum class Display { Off, On };
void SetDisplay(Display display);

// Called by the SPACE and COMPLETE workers as they start: sets the current drive
// letter and turns buffering on or off as the BufferMessages setting says.
void BeginRunMessages(char driveLetter);

// Turns buffering off and deletes the message log.
void ClearLog();

// Whether the message log exists and holds records.
BOOL HasLoggedMessages();

// The message log's records, newest first (empty when there is no log).
std::vector<MessageLogRecord> MessageLogRecords();

// Shows the Message Log dialog modally when the log holds records and the
// dialog is not already shown. UI thread.
void ShowLog();

// Installs the presenter that shows boxes and dialogs (null: the console
// presenter) and answers the previous one. The presenter must outlive its use.
MessagePresenter* SetPresenter(MessagePresenter* presenter);

}  // namespace tarvo::app
