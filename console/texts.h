// Every text the console and result.txt show, in one place. They are fixed
// byte for byte; a line with fields is listed as the pieces around them.
// Lines on standard error are not here: they are the program's own notes.
#pragma once

namespace text {

// The run: banner, system line, configuration, closing prompt.
constexpr const char* kBuildOpen = "Varnoquelbit Build: [";
constexpr const char* kBuildClose = "]";
constexpr const char* kOsLine = "OS: ";
constexpr const char* kNoOsVersion = "Cound NOT Get OS Version. ";
constexpr const char* kNoConfiguration = "Varnoquelbit.ini NOT Found.";
constexpr const char* kConfigurationError = "ini error: ";
constexpr const char* kPressAnyKey = "Press Any Key to Finish.";
constexpr const char* kClipboardPrompt = "(To Copy the Result to the Clipboard, Press 'c'.)";
constexpr const char* kReportLineEnd = "\r\n";

// A test: its checks, the disk line, its headers, results and average.
constexpr const char* kBadSize = "Size Type Must Be 'K' or 'M' or 'G'.";
constexpr const char* kNoDriveInformation = "Could not Get the Drive Information of ";
constexpr const char* kNotEnoughSpace = "Error: Free Space is NOT Enough.";
constexpr const char* kDisk = "Disk ";
constexpr const char* kDiskTotal = " Capacity: Total=";
constexpr const char* kDiskFree = "[GB] Free=";
constexpr const char* kDiskEnd = "[GB]";
constexpr const char* kHeaderBuffer = " (Buffer:";
constexpr const char* kHeaderBufferEnd = ")";
constexpr const char* kHeaderFiles = "File(s) ";
constexpr const char* kHeaderTrials = "Trial(s)";
constexpr const char* kReportHeaderEnd = "Trial(s) : ";
constexpr const char* kTrialOpen = "[Trial ";
constexpr const char* kTrialClose = "] ";
constexpr const char* kResult = "  Result: ";
constexpr const char* kSpeedUnit = "[MB/s] (";
constexpr const char* kSecondsUnit = "[sec])";
constexpr const char* kAverage = "Average:";

// A trial's progress and its failures.
constexpr const char* kPreparing = "Preparing...";
constexpr const char* kInitFailed = "Init Failed";
constexpr const char* kTesting = " Testing...";
constexpr const char* kDone = " Done.";
constexpr const char* kCreateFileError = " CreateFile Error:INVALID_HANDLE_VALUE";
constexpr const char* kWriteFileError = " WriteFile Error";
constexpr const char* kHlCopyFailed = "Copy Failed!";
constexpr const char* kLlOpenFromFailed = "open from failed";
constexpr const char* kLlOpenToFailed = "open to failed";
constexpr const char* kLlCopyFailed = "copy failed";

}  // namespace text
