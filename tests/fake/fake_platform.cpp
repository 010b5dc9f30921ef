#include "fake/fake_platform.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iomanip>
#include <new>

#include "platform/clipboard.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/interruption.h"
#include "platform/memory.h"
#include "platform/process.h"
#include "platform/report_files.h"
#include "platform/thread.h"

namespace fake {

Platform& state() {
  static Platform platform;
  return platform;
}

void add_volume(const std::string& drive, const VolumeFigures& figures) {
  state().volumes[drive] = figures;
  state().directories.insert(drive);
}

void reset() {
  Platform& p = state();
  p = Platform();
  // 10 GiB, half of it free.
  add_volume("C:", VolumeFigures{1310720ull * 4096, 2621440ull * 4096});
  p.system.kernel_name = "Linux";
  p.system.kernel_release = "6.1.0-fake";
  p.system.kernel_version = "#1 SMP PREEMPT_DYNAMIC Fake 6.1.0-1";
  p.system.machine = "x86_64";
  p.system.distribution = "Fake GNU/Linux 1 (scripted)";
  p.system.cpu_model = "Fake CPU @ 1.00GHz";
  p.system.logical_cpus = 2;
  p.system.memory_bytes = 4ull << 30;
}

VolumeDescription default_description(const std::string& drive) {
  VolumeDescription d;
  // FNV-1a of the drive string: distinct drives, distinct identities.
  std::uint64_t hash = 14695981039346656037ull;
  for (const unsigned char c : drive) hash = (hash ^ c) * 1099511628211ull;
  d.identity.value = hash;
  d.path = drive;
  d.file_system = "fakefs";
  d.source = "/dev/fake0";
  d.mount_point = drive;
  d.is_mount_point = true;
  const auto figures = state().volumes.find(drive);
  if (figures != state().volumes.end()) d.figures = figures->second;
  d.disk.name = "fake0";
  d.disk.vendor = "FAKE";
  d.disk.model = "Scripted Disk";
  d.disk.transport = "virtio";
  d.disk.removable = false;
  d.disk.rotational = false;
  d.disk.logical_sector_bytes = 512;
  d.disk.physical_sector_bytes = 4096;
  return d;
}

VolumeDescription& describe_as(const std::string& drive) {
  auto& descriptions = state().descriptions;
  auto found = descriptions.find(drive);
  if (found == descriptions.end())
    found = descriptions.emplace(drive, default_description(drive)).first;
  return found->second;
}

void fail_every(Service service) { state().faults.push_back(Fault{service, ""}); }
void fail_transfer(Service service, const std::string& path, std::uint64_t at_byte) {
  state().faults.push_back(Fault{service, path, at_byte});
}
void fail_open(const std::string& path, FileAccess access) {
  state().faults.push_back(Fault{Service::Open, path, kAnyByte, false, access});
}
void fail_path(Service service, const std::string& path) {
  state().faults.push_back(Fault{service, path});
}
void interrupt_at(Service service, int nth) {
  state().interrupt_service = service;
  state().interrupt_at_call = nth;
}
std::string console_text() { return state().console.str(); }
std::string diagnostics_text() { return state().diagnostics.str(); }

std::vector<Event> events_of(Service service) {
  std::vector<Event> found;
  for (const Event& e : state().events)
    if (e.service == service) found.push_back(e);
  return found;
}

int count_of(Service service) { return static_cast<int>(events_of(service).size()); }

int first_index(Service service) {
  const auto& ev = state().events;
  for (std::size_t i = 0; i < ev.size(); ++i)
    if (ev[i].service == service) return static_cast<int>(i);
  return -1;
}

int last_index(Service service) {
  const auto& ev = state().events;
  for (std::size_t i = ev.size(); i-- > 0;)
    if (ev[i].service == service) return static_cast<int>(i);
  return -1;
}

int open_handle_count() {
  int n = 0;
  for (const auto& entry : state().handles) n += entry.second.open ? 1 : 0;
  return n;
}

namespace {

bool starts_with(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// Like the real systems, a directory may be named with a trailing separator.
std::string without_trailing_separator(std::string path) {
  while (path.size() > 1 && path.back() == '\\') path.pop_back();
  return path;
}

std::string parent_of(const std::string& path) {
  const auto slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool exists(const std::string& path) {
  const Platform& p = state();
  return p.files.count(path) || p.directories.count(path) || p.directory_links.count(path) ||
         p.file_links.count(path);
}

// Records the call and tells whether a scripted fault makes it fail. A
// transfer covers `length` bytes from `position`; an open asks for `access`.
bool call_fails(Service service, const std::string& path, std::uint32_t length = 0,
                FileHandle handle = kInvalidFile, std::uint64_t position = 0,
                FileAccess access = FileAccess::Read) {
  Platform& p = state();
  p.events.push_back(Event{service, path, length, handle});
  const int nth = ++p.call_counts[service];
  if (service == p.interrupt_service && nth == p.interrupt_at_call) p.interrupted = true;
  for (const Fault& fault : p.faults) {
    if (fault.service != service || !(fault.path.empty() || fault.path == path)) continue;
    if (fault.at_byte != kAnyByte &&
        !(position <= fault.at_byte && fault.at_byte - position < length))
      continue;
    if (!fault.any_access && fault.access != access) continue;
    return true;
  }
  return false;
}

std::uint64_t position_of(FileHandle file) {
  const auto found = state().handles.find(file);
  return found == state().handles.end() ? 0 : found->second.position;
}

OpenState* open_file_of(FileHandle file) {
  auto found = state().handles.find(file);
  return found == state().handles.end() || !found->second.open ? nullptr : &found->second;
}

std::string path_of(FileHandle file) {
  const auto found = state().handles.find(file);
  return found == state().handles.end() ? std::string() : found->second.path;
}


}  // namespace

std::vector<std::string> paths_under(const std::string& directory) {
  std::vector<std::string> found;
  const std::string prefix = directory + "\\";
  for (const auto& f : state().files)
    if (starts_with(f.first, prefix)) found.push_back(f.first);
  for (const auto& d : state().directories)
    if (starts_with(d, prefix)) found.push_back(d);
  std::sort(found.begin(), found.end());
  return found;
}

void count_cached(std::uint32_t length) {
  Platform& p = state();
  if (p.transfers_cached && p.first_cached_length == 0 && length != 0)
    p.first_cached_length = length;
}

}  // namespace fake

using fake::Service;
using fake::state;

namespace fake {
namespace {

// A fault scripted by the test.
Outcome injected(const char* operation, const std::string& path) {
  return failure(operation, path, "injected fault");
}

}  // namespace
}  // namespace fake

FileHandle open_unbuffered(const std::string& path, FileAccess access,
                           FileDisposition disposition, Outcome* failed) {
  const auto refuse = [&](Outcome why) {
    if (failed != nullptr) *failed = std::move(why);
    return kInvalidFile;
  };
  if (fake::call_fails(Service::Open, path, 0, kInvalidFile, 0, access))
    return refuse(fake::injected("open", path));
  fake::Platform& p = state();
  const char* operation = disposition == FileDisposition::CreateNew ? "create" : "open";
  if (!p.directories.count(fake::parent_of(path)))
    return refuse(failure(operation, path, "no such directory"));
  if (p.directories.count(path)) return refuse(failure(operation, path, "is a directory"));
  // A link is never opened through, nor created over.
  if (p.file_links.count(path))
    return refuse(disposition == FileDisposition::CreateNew
                      ? failure("create", path, "File exists")
                      : failure("open", path, "Too many levels of symbolic links"));
  if (disposition == FileDisposition::OpenExisting) {
    if (!p.files.count(path)) return refuse(failure("open", path, "no such file"));
  } else {
    // A new file only, as the real layers make it.
    if (p.files.count(path)) return refuse(failure("create", path, "File exists"));
    p.files[path].clear();
  }
  const FileHandle handle = static_cast<FileHandle>(p.handles.size()) + 100;
  p.handles[handle] = fake::OpenState{path, access, 0, true};
  p.events.back().handle = handle;
  return handle;
}

void prepare_transfers(FileHandle, std::uint32_t) {}

Outcome read_file_counted(FileHandle file, void* buffer, std::uint32_t length,
                          std::uint32_t& got) {
  got = 0;
  if (fake::call_fails(Service::Read, fake::path_of(file), length, file, fake::position_of(file)))
    return fake::injected("read", "");
  fake::OpenState* f = fake::open_file_of(file);
  if (f == nullptr || f->access == FileAccess::Write)
    return failure("read", "", "not open for reading");
  const std::string& content = state().files[f->path];
  const std::uint64_t available =
      f->position < content.size() ? content.size() - f->position : 0;
  const std::uint64_t n = std::min<std::uint64_t>(available, length);
  if (n) std::memcpy(buffer, content.data() + f->position, static_cast<std::size_t>(n));
  const auto flipped = state().flipped_on_read.find(f->path);
  if (flipped != state().flipped_on_read.end() && flipped->second >= f->position &&
      flipped->second < f->position + n)
    static_cast<unsigned char*>(buffer)[flipped->second - f->position] ^= 0xff;
  f->position += n;
  got = static_cast<std::uint32_t>(n);
  fake::count_cached(length);
  return success();
}

Outcome set_read_position(FileHandle file, std::uint64_t position) {
  fake::OpenState* f = fake::open_file_of(file);
  if (f == nullptr) return failure("seek", "", "not open");
  f->position = position;
  return success();
}

Outcome write_file(FileHandle file, const void* buffer, std::uint32_t length) {
  if (fake::call_fails(Service::Write, fake::path_of(file), length, file,
                       fake::position_of(file)))
    return fake::injected("write", "");
  fake::OpenState* f = fake::open_file_of(file);
  if (f == nullptr || f->access == FileAccess::Read)
    return failure("write", "", "not open for writing");
  std::string& content = state().files[f->path];
  if (content.size() < f->position + length) content.resize(f->position + length);
  if (length) content.replace(f->position, length, static_cast<const char*>(buffer), length);
  f->position += length;
  fake::count_cached(length);
  return success();
}

std::uint32_t take_cached_transfer_length() {
  const std::uint32_t length = state().first_cached_length;
  state().first_cached_length = 0;
  return length;
}

Outcome flush_file(FileHandle file) {
  if (fake::call_fails(Service::Flush, fake::path_of(file), 0, file))
    return failure("flush", "", "injected fault");
  return success();
}

void drop_cached_data(FileHandle file) {
  fake::call_fails(Service::DropCache, fake::path_of(file), 0, file);
}

Outcome write_out_data(FileHandle file, bool& offered) {
  offered = state().writes_out;
  if (fake::call_fails(Service::WriteOut, fake::path_of(file), 0, file) && offered)
    return failure("write out", "", "injected fault");
  return success();
}

void close_file(FileHandle file) {
  fake::call_fails(Service::Close, fake::path_of(file), 0, file);
  if (fake::OpenState* f = fake::open_file_of(file)) f->open = false;
}

void set_compression_off(FileHandle file) {
  fake::call_fails(Service::Compression, fake::path_of(file), 0, file);
}

const char* whole_file_copy_text() { return "fake whole-file copy"; }
const char* cache_bypass_text() { return "fake bypass"; }

Outcome copy_whole_file(const std::string& from, const std::string& to, CopyPieces pieces) {
  if (fake::call_fails(Service::Copy, from)) return fake::injected("copy", from);
  fake::Platform& p = state();
  if (p.file_links.count(from)) return failure("open", from, "Too many levels of symbolic links");
  if (!p.files.count(from)) return failure("open", from, "no such file");
  if (!p.directories.count(fake::parent_of(to))) return failure("create", to, "no such directory");
  if (fake::exists(to)) return failure("create", to, "File exists");
  // In pieces of 64 KiB, the hook told after each (an empty file is one
  // piece), as the real layers tell it.
  constexpr std::size_t kPiece = 65536;
  const std::string content = p.files[from];
  std::string& copy = p.files[to];
  copy.clear();
  std::size_t done = 0;
  do {
    const std::size_t piece = std::min(kPiece, content.size() - done);
    copy.append(content, done, piece);
    done += piece;
    if (p.interrupt_at_copied_byte != 0 && done >= p.interrupt_at_copied_byte) p.interrupted = true;
    if (pieces.after_piece != nullptr && !pieces.after_piece(pieces.context, done))
      return failure("copy to", to, "interrupted");
  } while (done < content.size());
  return success();
}

std::string system_path(const std::string& path) { return path; }

Outcome fake::delete_file(const std::string& path) {
  if (fake::call_fails(Service::Delete, path)) return fake::injected("delete", path);
  return state().files.erase(path) + state().file_links.erase(path) > 0
             ? success()
             : failure("delete", path, "no such file");
}

Outcome create_directory(const std::string& named) {
  if (fake::call_fails(Service::CreateDirectory, named))
    return fake::injected("create directory", named);
  const std::string path = fake::without_trailing_separator(named);
  fake::Platform& p = state();
  if (fake::exists(path)) return failure("create directory", named, "exists");
  if (!p.directories.count(fake::parent_of(path)))
    return failure("create directory", named, "no such directory");
  p.directories.insert(path);
  return success();
}

Outcome remove_directory(const std::string& named) {
  if (fake::call_fails(Service::RemoveDirectory, named))
    return fake::injected("remove directory", named);
  const std::string path = fake::without_trailing_separator(named);
  fake::Platform& p = state();
  for (const auto& held : p.held_directories)
    if (held.second == path) return failure("remove directory", named, "held open");
  if (p.directory_links.erase(path)) return success();
  if (!p.directories.count(path)) return failure("remove directory", named, "no such directory");
  bool empty = fake::paths_under(path).empty();
  for (const auto& link : p.directory_links)
    if (fake::parent_of(link) == path) empty = false;
  if (!empty) return failure("remove directory", named, "not empty");
  p.directories.erase(path);
  return success();
}

namespace fake {
namespace {

DirectoryToken hold(const std::string& directory) {
  Platform& p = state();
  const DirectoryToken token =
      p.held_directories.empty() ? 1 : p.held_directories.rbegin()->first + 1;
  p.held_directories[token] = directory;
  return token;
}

}  // namespace
}  // namespace fake

DirectoryToken open_new_directory(const std::string& path, Outcome* failed) {
  Outcome created = create_directory(path);
  if (!created) {
    if (failed != nullptr) *failed = std::move(created);
    return kNoDirectory;
  }
  fake::Platform& p = state();
  const std::string directory = fake::without_trailing_separator(path);
  for (const auto& planted : p.planted_in_new_directories)
    p.files[directory + "\\" + planted.first] = planted.second;
  return fake::hold(directory);
}

void close_directory(DirectoryToken directory) { state().held_directories.erase(directory); }

DirectoryToken open_drive_directory(const std::string& drive, Outcome* failed) {
  const std::string directory = fake::without_trailing_separator(drive);
  Outcome refused;
  if (fake::call_fails(Service::DriveDirectory, drive))
    refused = fake::injected("open", drive);
  else if (!state().directories.count(directory))
    refused = failure("open", drive, "no such directory");
  if (!refused) {
    if (failed != nullptr) *failed = std::move(refused);
    return kNoDirectory;
  }
  // Held as a drive: a removal of it is not refused for that.
  return fake::hold("drive:" + directory);
}

Outcome check_drive_directory(DirectoryToken, const std::string& drive) {
  if (fake::call_fails(Service::DriveDirectory, drive)) return fake::injected("open", drive);
  if (state().changed_drive_folders.count(drive))
    return failure("open", drive, "the drive's folder changed");
  return success();
}

Outcome held_directory_contents(const DirectoryHandle& directory, const std::string& path,
                                DirectoryContents& contents) {
  fake::Platform& p = state();
  const std::string held = fake::without_trailing_separator(path);
  contents = {};
  const auto found = p.held_directories.find(directory.get());
  if (found == p.held_directories.end() || found->second != held)
    return failure("list", path, "not held");
  if (fake::call_fails(Service::List, held)) return fake::injected("list", held);
  for (const auto& file : p.files) {
    if (fake::parent_of(file.first) != held) continue;
    ++contents.files;
    contents.bytes += file.second.size();
  }
  return success();
}

Outcome remove_held_directory(DirectoryHandle directory, const std::string& path) {
  fake::Platform& p = state();
  const std::string held = fake::without_trailing_separator(path);
  const auto found = p.held_directories.find(directory.get());
  if (found == p.held_directories.end() || found->second != held)
    return failure("remove", path, "not held");
  directory.close();
  if (p.replaced_work_directories.count(held))
    return failure(kLeftInPlace, held, "another directory is there now");
  return remove_tree(held);
}

Outcome remove_tree(const std::string& named) {
  // The rules of the real layers on the in-memory volume: names in order,
  // dot names skipped, links removed unentered, the first failure stops it.
  const std::string path = fake::without_trailing_separator(named);
  if (fake::call_fails(Service::List, path)) return fake::injected("list", path);
  fake::Platform& p = state();
  if (!p.directories.count(path)) return failure("remove tree", path, "no such directory");
  std::map<std::string, int> children;  // name -> 0 file, 1 directory, 2 link
  const auto add_children = [&](const auto& paths, int kind) {
    for (const std::string& child : paths)
      if (fake::parent_of(child) == path) children[child.substr(path.size() + 1)] = kind;
  };
  std::set<std::string> file_paths;
  for (const auto& f : p.files) file_paths.insert(f.first);
  for (const auto& link : p.file_links) file_paths.insert(link.first);
  add_children(file_paths, 0);
  add_children(p.directories, 1);
  add_children(p.directory_links, 2);
  for (const auto& child : children) {
    if (child.first[0] == '.') continue;
    const std::string child_path = path + "\\" + child.first;
    Outcome removed = child.second == 0   ? fake::delete_file(child_path)
                      : child.second == 1 ? remove_tree(child_path)
                                          : remove_directory(child_path);
    if (!removed) return removed;
  }
  return remove_directory(named);
}

Outcome query_volume(const std::string& drive, VolumeFigures& figures) {
  if (fake::call_fails(Service::Volume, drive)) return fake::injected("query volume", drive);
  const auto found = state().volumes.find(drive);
  if (found == state().volumes.end()) return failure("query volume", drive, "no such volume");
  figures = found->second;
  return success();
}

namespace fake {
namespace {

// The drive's description: the scripted one, or the default for a known
// drive; false for a drive the fake has no volume for.
bool description_of(const std::string& drive, VolumeDescription& description) {
  const auto scripted = state().descriptions.find(drive);
  if (scripted != state().descriptions.end()) {
    description = scripted->second;
    return true;
  }
  if (!state().volumes.count(drive)) return false;
  description = default_description(drive);
  return true;
}

}  // namespace
}  // namespace fake

Outcome query_volume_identity(const std::string& drive, VolumeIdentity& identity) {
  if (fake::call_fails(Service::Identity, drive)) return fake::injected("query volume", drive);
  auto& readings = state().identity_readings[drive];
  if (!readings.empty()) {
    identity = readings.front();
    readings.pop_front();
    return success();
  }
  VolumeDescription description;
  if (!fake::description_of(drive, description))
    return failure("query volume", drive, "no such volume");
  identity = description.identity;
  return success();
}

Outcome describe_volume(const std::string& drive, VolumeDescription& description) {
  description = VolumeDescription();
  if (fake::call_fails(Service::Description, drive)) return fake::injected("query volume", drive);
  if (!fake::description_of(drive, description))
    return failure("query volume", drive, "no such volume");
  return success();
}

SystemDescription describe_system() {
  if (fake::call_fails(Service::System, "")) return SystemDescription();
  return state().system;
}

std::uint32_t milliseconds_now() {
  fake::call_fails(Service::Clock, "");
  fake::Platform& p = state();
  if (!p.clock_readings.empty()) {
    p.last_clock = p.clock_readings.front();
    p.clock_readings.pop_front();
  } else {
    p.last_clock += p.clock_step;
  }
  return p.last_clock;
}

std::int64_t calendar_seconds_now() {
  const std::int64_t now = state().calendar_seconds;
  state().calendar_seconds += state().calendar_step;
  return now;
}

namespace {
constexpr std::align_val_t kPageAlignment{4096};
}  // namespace

void* allocate_io_buffer(std::size_t bytes) {
  state().allocations.push_back(bytes);
  if (fake::call_fails(Service::Allocate, "") || bytes > state().allocation_limit) return nullptr;
  ++state().live_buffers;
  // Page-aligned, as every layer's buffers are.
  return ::operator new(bytes == 0 ? 1 : bytes, kPageAlignment);
}

void release_io_buffer(void* buffer) {
  if (buffer == nullptr) return;
  --state().live_buffers;
  ::operator delete(buffer, kPageAlignment);
}

bool query_os_version(OsVersion& version) {
  if (!state().os_readable) return false;
  version = state().os_version;
  return true;
}

bool query_64bit_system() {
  ++state().queries_64bit;
  return state().system_is_64bit;
}

std::ostream& console() { return state().console; }

Outcome finish_console() {
  if (state().console_write_failure.empty()) return success();
  return failure("write", "standard output", state().console_write_failure);
}

std::ostream& diagnostics() { return state().diagnostics; }

bool diagnostics_on_terminal() { return state().diagnostics_terminal; }

TerminalView progress_terminal() { return state().terminal; }

int terminal_columns() { return state().terminal_columns; }

// No second thread: the indicator, which alone asks for one, then draws
// nothing, and the run's own thread goes on as everywhere (its texts are
// tested apart, as pure functions). The lock and the wake-up serve one thread.
bool SideThread::start(void (*)(void*), void*) {
  ++state().side_threads_refused;
  return false;
}
void SideThread::join() {}
ThreadLock::ThreadLock() = default;
ThreadLock::~ThreadLock() = default;
void ThreadLock::lock() {}
void ThreadLock::unlock() {}
WakeUp::WakeUp() = default;
WakeUp::~WakeUp() = default;
void WakeUp::set() {}
bool WakeUp::wait(std::uint32_t) { return false; }

// Report files live on the fake volume under their own names; a name without
// a directory is in the current one. A directory in the file's place, a
// missing directory or a scripted fault of Service::Report fails the call and
// leaves an earlier file as it was.
namespace {
Outcome report_refusal(const char* operation, const std::string& name) {
  if (fake::call_fails(Service::Report, name) || state().directories.count(name))
    return failure(operation, name, "Is a directory");
  const std::string parent = fake::parent_of(name);
  if (!parent.empty() && !state().directories.count(parent))
    return failure(operation, name, "No such file or directory");
  return success();
}
}  // namespace

Outcome replace_file_contents(const std::string& name, const std::string& bytes, Outcome*) {
  const Outcome refused = report_refusal("rename", name);
  if (!refused) return refused;
  state().files[name] = bytes;
  return success();
}

Outcome append_line_to_file(const std::string& name, const std::string& line) {
  const Outcome refused = report_refusal("open", name);
  if (!refused) return refused;
  state().files[name] += line + "\n";
  return success();
}

bool interruption_requested() { return state().interrupted; }

void note_directory_in_progress(const std::string& system_path) {
  state().directory_in_progress = system_path;
  state().noted_directories.push_back(system_path);
}

int interrupted_exit_status() { return 130; }

int read_key() {
  auto& keys = state().keys;
  if (keys.empty()) return -1;
  const int key = keys.front();
  keys.pop_front();
  return key;
}

ClipboardCopy copy_to_clipboard(const std::string& text) {
  if (!state().clipboard_opens) return {false, "", "the clipboard could not be opened"};
  state().clipboard.push_back(text);
  return {true, "fake clipboard", ""};
}

void prepare_process() {}

// The fake answers as the Windows layer does.
bool is_native_help_switch(const std::string& argument) { return argument == "/?"; }

// The configuration is a real file in the test's real current directory, so
// these two answer from the real file system; drive strings stay as written.
std::string full_system_path(const std::string& path) {
  if ((path.size() >= 2 && path[1] == ':') || (!path.empty() && path[0] == '/')) return path;
  std::error_code error;
  const std::filesystem::path current = std::filesystem::current_path(error);
  return error ? "" : (current / path).string();
}

bool path_exists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}
