// MessageIds.h --- the identifiers of every message the program reports.
//
// Layout of the platform's message-table identifiers: bits 31-30 severity
// (3 error, 2 warning, 1 information), facility 2 in bits 27-16, a 16-bit code.
// Codes 0x0000-0x1000 are errors, 0x1001-0x2000 warnings, 0x2001-0x3000 run
// results, 0x3001-0x4000 program events and 0x4001-0xFFFF diagnostics.
#pragma once

#include <cstdint>

namespace tarvo::app {

using MessageId = uint32_t;

// Errors.
constexpr MessageId MSG_ERR_RELEASE_JOB_FAULT = 0xC0020000;    // fault while releasing a job
constexpr MessageId MSG_ERR_VOLUME_ACCESS = 0xC0020001;        // volume, bitmap or extents unusable
constexpr MessageId MSG_ERR_NOT_ADMINISTRATOR = 0xC0020002;    // user name
constexpr MessageId MSG_ERR_EMPTY_DRIVE = 0xC0020004;          // run asked for without a drive
constexpr MessageId MSG_ERR_NO_CLUSTER_MAP_VIEW = 0xC0020005;  // the document has no cluster map view
constexpr MessageId MSG_ERR_JOB_NOT_CREATED = 0xC0020006;      // job of a drive run not created
constexpr MessageId MSG_ERR_JOB_INIT_FAILED = 0xC0020007;      // job could not be initialised
constexpr MessageId MSG_ERR_JOB_NOT_STARTED = 0xC0020008;      // job of a drive run not started
constexpr MessageId MSG_ERR_MENU_JOB_NOT_CREATED =
    0xC0020009;  // job of a menu or command-line start not created
constexpr MessageId MSG_ERR_ANALYSIS_NOT_STARTED = 0xC002000A;  // analysis job not started
constexpr MessageId MSG_ERR_CODE_000B = 0xC002000B;             // codes 0x0B-0x12: in the table, not reported
constexpr MessageId MSG_ERR_CODE_000C = 0xC002000C;
constexpr MessageId MSG_ERR_CODE_000D = 0xC002000D;
constexpr MessageId MSG_ERR_CODE_000E = 0xC002000E;
constexpr MessageId MSG_ERR_CODE_000F = 0xC002000F;
constexpr MessageId MSG_ERR_CODE_0010 = 0xC0020010;
constexpr MessageId MSG_ERR_CODE_0011 = 0xC0020011;
constexpr MessageId MSG_ERR_CODE_0012 = 0xC0020012;
constexpr MessageId MSG_ERR_THREAD_NOT_CREATED = 0xC0020013;  // worker thread not created
constexpr MessageId MSG_ERR_METHOD_FAILED = 0xC0020014;       // analysis or method failed
constexpr MessageId MSG_ERR_BAD_LOG_OPTION = 0xC0020015;      // value, usage text
constexpr MessageId MSG_ERR_BAD_DRIVE_OPTION = 0xC0020019;    // item
constexpr MessageId MSG_ERR_BAD_SORT_OPTION = 0xC002001A;     // value
constexpr MessageId MSG_ERR_CLUSTER_TOO_LARGE = 0xC002001B;   // drive
constexpr MessageId MSG_ERR_SCHEDULER_UNAVAILABLE = 0xC002001C;
constexpr MessageId MSG_ERR_NOT_ENOUGH_SPACE = 0xC002001D;  // root path
constexpr MessageId MSG_ERR_NO_BACKUP_RIGHTS = 0xC002001E;
constexpr MessageId MSG_ERR_WRITE_PROTECTED = 0xC002001F;  // root path
constexpr MessageId MSG_ERR_DEVICE_FAILED = 0xC0020020;    // root path, status name, the system's text for it
constexpr MessageId MSG_ERR_VOLUME_REFUSED = 0xC0020021;   // drive letter, why its volume was refused

// Warnings.
constexpr MessageId MSG_WAR_CODE_1001 = 0x80021001;             // in the table, not reported
constexpr MessageId MSG_WAR_NOT_ENOUGH_DISKSPACE = 0x80021002;  // drive
constexpr MessageId MSG_WAR_COMPLETE_OUT_OF_SPACE = 0x80021003;
constexpr MessageId MSG_WAR_DEFRAG_TERMINATED = 0x80021005;
constexpr MessageId MSG_WAR_DEFRAG_ABORTED = 0x80021006;
constexpr MessageId MSG_WAR_OPTION_REPEATED = 0x80021008;  // option word
constexpr MessageId MSG_WAR_WINDOW_TOO_SMALL = 0x80021009;
constexpr MessageId MSG_WAR_FILE_IN_USE = 0x8002100A;  // file
constexpr MessageId MSG_WAR_REMAINING_FRAGMENTED = 0x8002100B;
constexpr MessageId MSG_WAR_COMPLETED_WITH_REMAINDER = 0x8002100C;     // drive, file system
constexpr MessageId MSG_WAR_FILE_GIVEN_UP = 0x8002100D;                // file (ask row)
constexpr MessageId MSG_WAR_FILE_NO_SPACE = 0x8002100E;                // file (ask row)
constexpr MessageId MSG_WAR_CODE_100F = 0x8002100F;                    // in the table, not reported
constexpr MessageId MSG_WAR_COMPLETED_SUBOPTIMAL = 0x80021010;         // drive, file system
constexpr MessageId MSG_WAR_EXTENTS_UNREADABLE = 0x80021011;           // file
constexpr MessageId MSG_WAR_DESTINATION_OCCUPIED = 0x80021012;         // file (ask row)
constexpr MessageId MSG_WAR_NOT_COMPLETELY_DEFRAGMENTED = 0x80021013;  // drive

// Run results.
constexpr MessageId MSG_INF_ANALYSIS = 0x40022001;            // root path, file system
constexpr MessageId MSG_INF_DEFRAG_COMPLETED = 0x40022004;    // drive, file system
constexpr MessageId MSG_INF_SPACE_STARTED = 0x40022005;       // drive, file system
constexpr MessageId MSG_INF_SPACE_COMPLETED = 0x40022006;     // the five status-report strings
constexpr MessageId MSG_INF_SPACE_STOPPED = 0x40022007;       // drive, file system
constexpr MessageId MSG_INF_COMPLETE_STARTED = 0x40022008;    // drive, file system
constexpr MessageId MSG_INF_COMPLETE_COMPLETED = 0x40022009;  // the five status-report strings
constexpr MessageId MSG_INF_COMPLETE_STOPPED = 0x4002200A;    // drive, file system

// Program events.
constexpr MessageId MSG_INF_PROGRAM_START = 0x40023001;     // program name
constexpr MessageId MSG_INF_PROGRAM_END = 0x40023002;       // program name, or none
constexpr MessageId MSG_INF_OPTION_ACCEPTED = 0x40023003;   // option word
constexpr MessageId MSG_INF_FILE_CANNOT_OPEN = 0x40023005;  // file
constexpr MessageId MSG_INF_SECOND_INSTANCE = 0x40023008;
constexpr MessageId MSG_INF_SECOND_INSTANCE_CMDLINE = 0x40023009;

// Diagnostics, with a short literal as insertion string; never in the event log.
constexpr MessageId MSG_DIAG_INFO = 0x40024001;
constexpr MessageId MSG_DIAG_ERROR = 0xC0024002;

// The parts of an identifier.
constexpr uint32_t MessageSeverity(MessageId id) {
    return id >> 30;
}
constexpr uint32_t MessageCode(MessageId id) {
    return id & 0xFFFF;
}
constexpr uint32_t MessageFacility(MessageId id) {
    return (id >> 16) & 0x0FFF;
}

constexpr uint32_t SEVERITY_INFORMATIONAL = 1;
constexpr uint32_t SEVERITY_WARNING = 2;
constexpr uint32_t SEVERITY_ERROR = 3;

}  // namespace tarvo::app
