#pragma once
// The map files the main command can write from a finished run, in one
// table: each entry is the flag that asks for the file, how its path is
// judged before the run, and how the file is made. A new output is one more
// entry (and its path field in RequestedOutputs). The display map (with its
// default path and --no-map) and the run summary (written last, listing the
// others) are the command's own and not in the table.
#include <string>
#include <vector>

#include "cli/ComputeRequest.h"
#include "cli/OutputPlan.h"
#include "pipeline/RunStereo.h"

namespace orbelt {

struct OutputFile {
  const char* key;                      // its name in the run summary's "outputs"
  const char* flag;                     // the option that asks for it
  const char* help;                     // the option's help
  PlannedOutput plan;                   // role and accepted extensions (the path is the request's)
  std::string RequestedOutputs::*path;  // where the request keeps its path
  // Makes the file from the run and writes it atomically.
  Status (*write)(const std::string& path, const ComputeRequest& request, const StereoResult& run);
};

// The table, in the order the files are written.
const std::vector<OutputFile>& outputFiles();

}  // namespace orbelt
