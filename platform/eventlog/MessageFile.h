// MessageFile.h --- message files in the message-compiler source format, and formatting their texts.
//
// A message file holds a header (MessageIdTypedef, SeverityNames,
// FacilityNames, LanguageNames, OutputBase) and message definitions
// (MessageId, Severity, Facility, SymbolicName, then one or more
// "Language=NAME" blocks of text ended by a line holding only "."). The
// identifier of a message is severity << 30 | facility << 16 | code.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/core/NtTypes.h"

namespace tarvo::platform {

struct MessageEntry {
    DWORD id = 0;
    std::string symbolicName;
    // (language name, text) in file order; each source line of a text ends with "\n".
    std::vector<std::pair<std::string, std::string>> texts;

    // The text in the given language (case-insensitive), else the first one.
    const std::string& Text(std::string_view language = "English") const;
};

class MessageFile {
public:
    // Parses message-compiler source. Answers false with "line N: reason" in
    // error for malformed input; the file then holds no messages.
    bool Parse(std::string_view source, std::string& error);
    // Reads and parses a regular file of at most 16 MB.
    bool Load(const std::string& path, std::string& error);

    // The message with this full identifier, or null.
    const MessageEntry* Find(DWORD id) const;
    const std::map<DWORD, MessageEntry>& Entries() const { return m_entries; }

private:
    std::map<DWORD, MessageEntry> m_entries;
};

// Formats a message text: %1..%99 (with an optional !format! that is
// ignored) take the insertion strings, an absent one giving empty text; %n is
// a line break, %r a carriage return, %t a tab, %0 ends the text, and
// "%%", "% ", "%.", "%!" give the character after the percent sign. Insertion
// strings are inserted as they are: their own percent signs are never expanded.
std::string FormatMessageText(std::string_view text, const std::vector<std::string>& strings);

}  // namespace tarvo::platform
