#pragma once
// orbelt-cli eval: scores a saved disparity map against a Middlebury ground
// truth and prints the bad-pixel shares at 0.5, 1, 2 and 4 px and the mean
// absolute error for each mask, as a table or as JSON. Exit status 0 when
// scored, 2 on a usage or input error.
namespace orbelt {

int runEvalCommand(int argc, char** argv);

}  // namespace orbelt
