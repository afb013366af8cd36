// CommandLine.cpp --- the grammar of the defragmenter's command line and its application to the settings.
#include "app/CommandLine.h"

#include <cctype>

#include "app/Logger.h"
#include "app/StartupChecks.h"

namespace tarvo::app {
namespace {

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool DefaultProbe(char letter) {
    return IsEligibleDrive(letter) != 0;
}

}  // namespace

CCommandLineParser::CCommandLineParser(DriveProbe probe, DriveRefusalText refusal)
    : m_probe(probe ? probe : DefaultProbe), m_refusal(refusal ? refusal : probe ? nullptr : DriveRefusal) {}

void CCommandLineParser::ParseDriveList(const std::string& value, DriveList& drives,
                                        BOOL& all) {
    size_t start = 0;
    while (start <= value.size()) {
        size_t comma = value.find(',', start);
        std::string item = value.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (item.empty()) break;  // an empty item ends the list
        if (item == "ALL") {
            for (char letter = 'A'; letter <= 'Z'; ++letter)
                if (m_probe(letter)) drives.emplace_back(1, letter);
            all = 1;
            break;
        }
        bool letter = item.size() == 1 && item[0] >= 'A' && item[0] <= 'Z';
        if (!letter || !m_probe(item[0])) {
            // A drive whose volume was refused says why, so that the user can mend it.
            const std::string refused = letter && m_refusal ? m_refusal(item[0]) : std::string();
            if (!refused.empty()) {
                Report(MSG_ERR_VOLUME_REFUSED, item.c_str(), refused.c_str());
                m_record.driveRefused = 1;
            } else {
                Report(MSG_ERR_BAD_DRIVE_OPTION, item.c_str());
            }
            m_record.valid = 0;
            break;
        }
        drives.push_back(item);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
}

void CCommandLineParser::ParseParam(const std::string& param, ParamKind kind) {
    if (kind != ParamKind::Flag) return;  // file names are ignored
    const std::string word = Upper(param);
    const size_t colon = word.find(':');
    const std::string key = word.substr(0, colon);
    const std::string value = colon == std::string::npos ? std::string() : word.substr(colon + 1);
    CommandLineRecord& r = m_record;

    if (word == "QUIET") {
        if (r.quietSeen) {
            Report(MSG_WAR_OPTION_REPEATED, word.c_str());
            r.valid = 0;
            return;
        }
        r.quietSeen = 1;
        r.quiet = 1;
        Report(MSG_INF_OPTION_ACCEPTED, word.c_str());
    } else if (key == "LOG") {
        if (r.logSeen) {
            Report(MSG_WAR_OPTION_REPEATED, word.c_str());
            r.valid = 0;
            return;
        }
        static const char* const kValues[] = {"OFF", "0", "1", "2", "3", "4"};
        int index = -1;
        for (int i = 0; i < 6; ++i)
            if (value == kValues[i]) index = i;
        if (index < 0) {
            Report(MSG_ERR_BAD_LOG_OPTION, value.c_str(), kLogUsage);
            r.valid = 0;
            return;
        }
        r.logSeen = 1;
        r.loggingOn = index >= 2;
        r.logLevel = index >= 2 ? index - 1 : 0;
        Report(MSG_INF_OPTION_ACCEPTED, word.c_str());
    } else if (key == "COMPLETE" || key == "SPACE") {
        const bool complete = key == "COMPLETE";
        BOOL& seen = complete ? r.completeSeen : r.spaceSeen;
        if (seen) {
            Report(MSG_WAR_OPTION_REPEATED, word.c_str());
            return;
        }
        seen = 1;
        ParseDriveList(value, complete ? r.completeDrives : r.spaceDrives,
                       complete ? r.completeAll : r.spaceAll);
        Report(MSG_INF_OPTION_ACCEPTED, word.c_str());
    } else if (key == "SORT") {
        if (r.sortSeen) {
            Report(MSG_WAR_OPTION_REPEATED, word.c_str());
            return;
        }
        r.sortSeen = 1;
        if (value == "NAME") {
            r.sort = 0;
        } else if (value == "LASTMODIFIED") {
            r.sort = 1;
        } else if (!value.empty()) {
            Report(MSG_ERR_BAD_SORT_OPTION, value.c_str());
            r.valid = 0;
        }
        Report(MSG_INF_OPTION_ACCEPTED, word.c_str());
    }
    // Anything else is the framework's: ignored.
}

CommandLineRecord ParseCommandLine(const std::vector<std::string>& words, DriveProbe probe,
                                   DriveRefusalText refusal) {
    CCommandLineParser parser(probe, refusal);
    for (const std::string& word : words) {
        if (!word.empty() && (word[0] == '/' || word[0] == '-'))
            parser.ParseParam(word.substr(1), ParamKind::Flag);
        else
            parser.ParseParam(word, ParamKind::Plain);
    }
    return parser.Record();
}

BOOL ApplyCommandLine(const CommandLineRecord& record, CSettings& settings) {
    if (!record.valid) return 0;
    if (record.completeSeen) settings.SetCompleteDrives(&record.completeDrives);
    if (record.spaceSeen) settings.SetSpaceDrives(&record.spaceDrives);
    if (record.logSeen) settings.SetLogging(record.loggingOn, record.logLevel);
    if (record.quietSeen) settings.SetQuietMode(1);
    if (record.sort != -1) settings.SetSortedBy(record.sort);
    settings.SetAllFlags(record.spaceAll, record.completeAll);
    settings.SetCommandLineRun(1);
    return 1;
}

}  // namespace tarvo::app
