#pragma once
// A benchmark score (report/DatasetReport.h's benchmarkJson) as the table
// the command line prints, one row per region: the same text after a run
// with --dataset and from `orbelt-cli eval --dataset`.
#include <string>

#include <nlohmann/json.hpp>

namespace orbelt {

// The table, each line ending in a newline; empty for a null score.
std::string benchmarkTable(const nlohmann::json& benchmark);

}  // namespace orbelt
