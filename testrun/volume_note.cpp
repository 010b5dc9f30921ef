#include "testrun/volume_note.h"

#include "platform/console.h"
#include "trials/notes.h"

namespace {

// Where removable media and other volumes are mounted on Linux systems (the
// directory itself, or one below it); such a directory that is no mount point
// lies on whatever holds it.
bool under_mount_directories(const std::string& path) {
  for (const std::string parent : {"/media", "/run/media", "/mnt"})
    if (path.compare(0, parent.size(), parent) == 0 &&
        (path.size() == parent.size() || path[parent.size()] == '/'))
      return true;
  return false;
}

}  // namespace

std::vector<std::string> volume_notes(const std::string& drive,
                                      const VolumeDescription& description, bool on_terminal) {
  std::vector<std::string> notes;
  if (on_terminal) {
    // Linux names the mount's source; Windows the volume's label.
    std::string named = "'" + drive + "' is " + description.path;
    if (!description.source.empty())
      named += " on " + description.source + " (" + description.file_system + ", mounted at " +
               description.mount_point + ")";
    else if (!description.label.empty())
      named += " on the volume '" + description.label + "' (" + description.file_system + ")";
    else
      named += " on a volume without a label (" + description.file_system + ")";
    notes.push_back(named);
  }
  if (under_mount_directories(description.path) && description.is_mount_point == false &&
      description.mount_point == "/")
    notes.push_back("'" + drive + "' is not a mount point: measuring the volume mounted at '/'");
  return notes;
}

void note_volume(const std::string& drive) {
  VolumeDescription description;
  if (!describe_volume(drive, description)) return;
  for (const std::string& note : volume_notes(drive, description, diagnostics_on_terminal()))
    write_note(note);
}
