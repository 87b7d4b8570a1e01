// The scheduler's fixed texts, by the numbers its string table gives them.
#pragma once

namespace sched {

inline constexpr char kStr1002Ready[] = "Tarn Scheduling Application is Ready";
inline constexpr char kStr1003NoMemoryForList[] =
    "Not enough memory to create schedules.\n\nThe application will exit.";
inline constexpr char kStr1004SelectFile[] = "Please select a T-File...";
inline constexpr char kStr1005NoMemoryForEntry[] =
    "Not enough memory to add new schedule entry.\n\nPlease close some programs and try again.";
inline constexpr char kStr1006BadVersion[] = "Invalid Schedule File Format";
inline constexpr char kStr1007ReadOnly[] =
    "The schedule file is read-only!\nCan't save to read-only file.";
inline constexpr char kStr1008Filter[] = "Tarn Schedule Files|*.tsc||";
inline constexpr char kStr1009OpenTitle[] = "Open Tarn Schedule";
inline constexpr char kStr1011OverdueRecurring[] =
    "A scheduled transfer (%s, %s) did not run at it's scheduled time, probably because the "
    "Tarn Scheduling Application was not running at the time of the schedule.  You can run "
    "this schedule now, skip it this time (run again on %s), or delete it completely.";
inline constexpr char kStr1012OverdueOnce[] =
    "A one-time transfer (%s, %s) did not run at it's scheduled time, probably because the "
    "Tarn Scheduling Application was not running at the time of the schedule.  You can run "
    "this schedule now, or delete it completely.";
inline constexpr char kStr1013Paused[] = "Tarn Scheduling Application is Paused";
inline constexpr char kStr1014NoListFile[] =
    "The program could not create the schedule information file.  Without this information "
    "the program can not continue.";

inline constexpr char kBadObject[] =
    "Invalid Almanor file!\r\nThe program can not read from this file";
inline constexpr char kSaveChanges[] =
    "The schedules have been changed.  Save changes before exiting?";
inline constexpr char kBadSmtpHost[] = "Please specify a valid SMTP host name";
inline constexpr char kBadAddress[] = "Please specify a valid email address";

// The framework's reports of file errors; %1 is the file's path.
inline constexpr char kFileBadFormat[] = "%1 has a bad format.";
inline constexpr char kFileReadError[] = "An unexpected error occurred while reading %1.";
inline constexpr char kFileWriteError[] = "An unexpected error occurred while writing %1.";
inline constexpr char kFileAccessDenied[] = "Access to %1 was denied.";
inline constexpr char kFileDiskFull[] = "Disk full while accessing %1.";

// Button ids of the "Overdue Schedule" dialog, which AskOverdue returns.
inline constexpr int kRunNow = 1023;
inline constexpr int kSkipSchedule = 1020;
inline constexpr int kDeleteSchedule = 1024;

}  // namespace sched
