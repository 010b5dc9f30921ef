// Translation of the benchmark's logical paths to POSIX paths.
//
// A logical path is a drive string followed by backslash-separated names,
// such as "C:\Varnoquelbit1733650000\test0.dat" or
// "/mnt/vol\Varnoquelbit1733650000\copy3.dat". On POSIX:
//   - every backslash is a path separator and becomes '/';
//   - a leading drive letter and colon ("C:", "d:") stands for the current
//     directory: "C:" -> ".", "C:\bench" -> "./bench", "C:bench" -> "./bench";
//   - anything else is kept as it is, so "/mnt/vol" is absolute, "bench" is
//     relative to the current directory, and the empty drive string leaves
//     "\Varnoquelbit1" as "/Varnoquelbit1", in the root directory.
#pragma once
#include <string>

std::string native_path(const std::string& logical);
