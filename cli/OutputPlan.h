#pragma once
// The files a run is asked to write, judged before any work starts, so a
// refused run costs no time, writes nothing and leaves earlier files intact.
#include <string>
#include <vector>

#include "platform/Expected.h"

namespace orbelt {

struct PlannedOutput {
  std::string path;                     // where the file goes
  std::string what;                     // its role in messages, e.g. "float disparity map"
  std::vector<std::string> extensions;  // accepted extensions, lower case with the dot; empty = any
  bool image = false;                   // written by the image encoder: its extension must have a writer
  bool makesFolder = false;             // its writer makes a missing folder: the folder may be made, not be there
};

// Whether the files can be written as planned: for each output, in order,
// the path must name a file (not a folder, not end in '/') in a folder that
// exists and is writable (or can be made, with makesFolder), with an
// accepted extension; and no two outputs may
// name the same file. Empty paths are skipped (output not asked for).
// Otherwise InvalidInput naming the output, its path and what is wrong.
Status checkOutputPlan(const std::vector<PlannedOutput>& outputs);

// Only the folder, file and kind checks of one path (no extension rule).
Status checkWritable(const std::string& path, const std::string& what);

// As checkWritable for a file whose writer makes its folder: the folder may
// be missing as long as the nearest part of its path that is there is a
// writable folder (not a file in the way).
Status checkCreatable(const std::string& path, const std::string& what);

}  // namespace orbelt
