// What a drive string stands for, told on standard error the first time a
// test queries it: on a terminal the directory and the volume behind it, and
// anywhere a warning when a removable-media path is no mount point, so that
// the root file system would be measured in its place.
#pragma once
#include <string>
#include <vector>

#include "platform/volume_description.h"

void note_volume(const std::string& drive);

// The notes for a drive so described, in order; `on_terminal` adds the line
// that names the volume.
std::vector<std::string> volume_notes(const std::string& drive,
                                      const VolumeDescription& description, bool on_terminal);
