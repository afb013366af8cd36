// CommandLine.h --- the command-line record of a run and its parser: "/SPACE:", "/COMPLETE:", "/SORT:", "/LOG:", "QUIET".
//
// The parser takes one word at a time, as the framework hands them over: words
// that started with "/" or "-" arrive as flags without that character. Every
// rule of the grammar reports through the logger; hard errors mark the record
// invalid. ApplyCommandLine copies a valid record into the settings record for
// this run only (nothing is stored).
#pragma once

#include <string>
#include <vector>

#include "app/Settings.h"

namespace tarvo::app {

// Answers whether a drive letter ('A'..'Z') may be named on the command line.
using DriveProbe = bool (*)(char letter);
// Why a letter the probe rejected names a volume that was refused; empty when
// the letter names no volume (the grammar's own message is given then).
using DriveRefusalText = std::string (*)(char letter);

struct CommandLineRecord {
    BOOL valid = 1;
    BOOL spaceSeen = 0;
    BOOL completeSeen = 0;
    BOOL logSeen = 0;
    BOOL quietSeen = 0;
    BOOL sortSeen = 0;
    BOOL spaceAll = 0;
    BOOL completeAll = 0;
    int logLevel = 0;
    BOOL loggingOn = 0;
    BOOL quiet = 0;
    DriveList spaceDrives;
    DriveList completeDrives;
    int sort = -1;  // -1 not given, 0 "NAME", 1 "LASTMODIFIED"
    BOOL showSplash = 1;
    BOOL driveRefused = 0;  // invalid because a named drive's volume was refused, not by the grammar

    // A command-line run names at least one drive list.
    BOOL IsCommandLineRun() const { return spaceSeen || completeSeen; }
};

// How a word reached the parser.
enum class ParamKind { Plain, Flag };

class CCommandLineParser {
public:
    // probe decides which letters are eligible, refusal explains a rejected
    // letter whose volume was refused (both the platform's by default; a given
    // probe without a refusal explains nothing).
    explicit CCommandLineParser(DriveProbe probe = nullptr, DriveRefusalText refusal = nullptr);

    // One word; a flag comes without its leading "/" or "-". Words that are no
    // option of ours are left to the default handling (ignored).
    void ParseParam(const std::string& param, ParamKind kind);

    const CommandLineRecord& Record() const { return m_record; }
    CommandLineRecord& Record() { return m_record; }

private:
    void ParseDriveList(const std::string& value, DriveList& drives, BOOL& all);

    DriveProbe m_probe;
    DriveRefusalText m_refusal;
    CommandLineRecord m_record;
};

// Parses the words after the program name: "/X" and "-X" are flags.
CommandLineRecord ParseCommandLine(const std::vector<std::string>& words, DriveProbe probe = nullptr,
                                   DriveRefusalText refusal = nullptr);

// The usage text of the logging option, as the error message quotes it.
constexpr const char* kLogUsage = "/LOG:{OFF | 0 | 1 | 2 | 3 | 4 }";

// Applies a valid record to the settings record, none of it persisted. The
// record must outlive the run (the settings point at its drive lists). Does
// nothing and answers 0 when the record is not valid.
BOOL ApplyCommandLine(const CommandLineRecord& record, CSettings& settings);

}  // namespace tarvo::app
