// A scriptable platform for unit tests: an in-memory volume, a scripted
// clock, any OS version, any key, a clipboard that may fail, and failures
// injected by service and path: every call, a path's calls, or the transfer
// that reaches a given byte of a file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/directories.h"
#include "platform/files.h"
#include "platform/system_info.h"
#include "platform/volume_description.h"

namespace fake {

enum class Service {
  Open, Read, Write, Flush, DropCache, WriteOut, Close, Compression, Copy, Delete,
  CreateDirectory, RemoveDirectory, List, Volume, Allocate, Clock, Report,
  Identity, Description,  // query_volume_identity, describe_volume (path: the drive)
  DriveDirectory,         // open_drive_directory, check_drive_directory (path: the drive)
  System,                 // describe_system: a fault leaves every field empty or absent
};

// One call the logic made, in order.
struct Event {
  Service service;
  std::string path;          // the file or directory concerned, if any
  std::uint32_t length = 0;  // bytes asked of a read or write
  FileHandle handle = kInvalidFile;
};

constexpr std::uint64_t kAnyByte = UINT64_MAX;

// A scripted failure of a service: on every path (path "") or on one; for
// reads and writes only the transfer that reaches byte `at_byte` of the file;
// for opens only those for `access` when `any_access` is false.
struct Fault {
  Service service;
  std::string path;
  std::uint64_t at_byte = kAnyByte;
  bool any_access = true;
  FileAccess access = FileAccess::Read;
};

// What the fake knows of a handle it gave out.
struct OpenState {
  std::string path;
  FileAccess access = FileAccess::Read;
  std::uint64_t position = 0;
  bool open = true;
};

struct Platform {
  // The volume: drive roots and directories, files with their bytes, and
  // directory links (removed as links, never entered).
  std::set<std::string> directories;
  std::map<std::string, std::string> files;
  std::set<std::string> directory_links;
  // Symbolic links to files, by path: never opened through, deleted as links.
  std::map<std::string, std::string> file_links;
  std::map<std::string, VolumeFigures> volumes;
  // Descriptions by drive string; a drive of `volumes` without one is
  // described as default_description says. describe_as scripts one.
  std::map<std::string, VolumeDescription> descriptions;
  // Identities query_volume_identity gives for a drive, one per call, before
  // it gives its description's: a volume that changes under the run.
  std::map<std::string, std::deque<VolumeIdentity>> identity_readings;
  SystemDescription system;  // reset: a plausible Linux machine

  // Directories held open by open_new_directory, by token; removing one
  // fails, as on Windows.
  std::map<DirectoryToken, std::string> held_directories;
  // Drives whose folder check_drive_directory finds changed (the path now
  // leads elsewhere), and work directories that remove_held_directory finds
  // replaced by someone else's under their name (the held one was moved away).
  std::set<std::string> changed_drive_folders;
  std::set<std::string> replaced_work_directories;
  // Files put into every directory open_new_directory makes, the moment it
  // makes it (name -> content): someone else's files planted there.
  std::map<std::string, std::string> planted_in_new_directories;
  // The work directory named to the interruption layer; empty when none.
  std::string directory_in_progress;
  // Every name given to note_directory_in_progress, in order.
  std::vector<std::string> noted_directories;

  std::map<FileHandle, OpenState> handles;
  std::vector<Event> events;

  // Scripted readings of the millisecond clock; once used up, the last one repeats.
  std::deque<std::uint32_t> clock_readings;
  std::uint32_t last_clock = 0;
  std::uint32_t clock_step = 0;  // added to the clock at each reading past the scripted ones
  std::int64_t calendar_seconds = 1225000000;
  std::int64_t calendar_step = 0;  // seconds the calendar advances after each reading

  bool os_readable = true;
  OsVersion os_version{5, 1};
  bool system_is_64bit = false;
  int queries_64bit = 0;

  std::deque<int> keys;  // empty: no key (end of input)
  bool clipboard_opens = true;
  std::vector<std::string> clipboard;

  std::ostringstream console;
  // The reason standard output's writes failed, as finish_console tells it;
  // empty when they all went through.
  std::string console_write_failure;
  bool diagnostics_terminal = false;  // standard error is a terminal
  TerminalView terminal;              // the progress indicator's view of it
  int terminal_columns = 80;
  // Side threads asked for (the fake starts none).
  int side_threads_refused = 0;

  // A medium that lies: reads of the file at the path return the byte at
  // the offset with its bits inverted; the stored bytes stay as written.
  std::map<std::string, std::uint64_t> flipped_on_read;

  // Failures: each makes the calls of its service fail that match it.
  std::vector<Fault> faults;
  std::map<Service, int> call_counts;  // for interrupt_at

  // Interruption: requested once the Nth call (1-based) of this service is
  // made, or from the start when `interrupted` is set by the test.
  bool interrupted = false;
  Service interrupt_service = Service::Clock;
  int interrupt_at_call = 0;  // 0: never
  // Interruption requested once a whole-file copy has copied this many bytes
  // of a file (after the piece that reaches it); 0: never.
  std::uint64_t interrupt_at_copied_byte = 0;
  std::ostringstream diagnostics;

  int live_buffers = 0;
  std::vector<std::size_t> allocations;  // sizes asked of allocate_io_buffer
  // When set, every read and write goes through the page cache, as on a
  // volume that refuses direct I/O; the first length since the last
  // take_cached_transfer_length is kept here.
  bool transfers_cached = false;
  std::uint32_t first_cached_length = 0;
  // What write_out_data answers: true as on Linux, false as on Windows,
  // where the write-out after the clock is not measured.
  bool writes_out = true;
  // Buffers larger than this cannot be had: allocate_io_buffer returns nullptr.
  std::size_t allocation_limit = SIZE_MAX;
};

Platform& state();
// Back to an empty volume with drive "C:" of 10 GiB (5 GiB free), default
// console format and no scripted faults.
void reset();

// Shorthands for tests.
void add_volume(const std::string& drive, const VolumeFigures& figures);
// A fixed, non-rotating "fakefs" disk mounted at the drive, with the drive's
// figures and an identity of its own that depends on the drive string only.
VolumeDescription default_description(const std::string& drive);
// The drive's scripted description, made from default_description the first
// time, to be changed by the test.
VolumeDescription& describe_as(const std::string& drive);
// Deletes a file or file link of the fake volume, as the fake's tree removal
// does (a Service::Delete event); the product has no such service of its own.
Outcome delete_file(const std::string& path);
// Every call of the service fails.
void fail_every(Service service);
// Every call of the service on the path fails.
void fail_path(Service service, const std::string& path);
// The read or write of the file at the path ("": of any file) that reaches
// byte `at_byte` fails; those before it succeed.
void fail_transfer(Service service, const std::string& path, std::uint64_t at_byte);
// Opens of the path for this access fail; others succeed.
void fail_open(const std::string& path, FileAccess access);
// The run is interrupted while the Nth call (1-based) of the service is made.
void interrupt_at(Service service, int nth);
std::string console_text();
std::string diagnostics_text();
// Events of one service, in order.
std::vector<Event> events_of(Service service);
int count_of(Service service);
// Index of the first or last event of a service in the event log, or -1.
int first_index(Service service);
int last_index(Service service);
// Number of handles that are still open.
int open_handle_count();
// Paths below a directory (files and directories), for checking leftovers.
std::vector<std::string> paths_under(const std::string& directory);

}  // namespace fake
