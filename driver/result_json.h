// result.json and results.jsonl: the run's record in full, with the system
// it ran on, written beside result.txt at the same moment. result.json holds
// this run alone and is replaced as a whole; results.jsonl gains the same
// record as one line, so that the runs made in a directory stay there.
#pragma once
#include <string>

#include "console/console_printer.h"
#include "testrun/run_record.h"

constexpr const char* kResultJsonFile = "result.json";
constexpr const char* kResultLinesFile = "results.jsonl";

// The bytes as text JSON can hold: valid UTF-8 sequences as they are, and
// every other byte as the character of that number (U+0080 to U+00FF, the
// byte read as Latin-1), so that nothing is lost and nothing fails.
std::string utf8_text(const std::string& bytes);

// "2026-12-08T10:15:02Z" for calendar seconds since 1970 (UTC).
std::string utc_time_text(std::int64_t seconds);

// Writes result.json (a new file renamed over the old) and appends the record
// to results.jsonl in one write. A failure of either is told on standard
// error, and the run goes on.
void write_result_files(ConsolePrinter& printer, const RunRecord& record);

// Says that a report file was written in place, since no new file could be
// made beside it (`because`, as replace_file_contents gives it): "wrote in
// place '<name>': could not create a new file beside it: <reason>". Nothing
// for a success.
void note_written_in_place(ConsolePrinter& printer, const std::string& name,
                           const Outcome& because);
