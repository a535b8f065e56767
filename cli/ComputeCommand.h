#pragma once
// The main command of orbelt-cli: computes the disparity map of one pair and
// writes the outputs asked for.
//
// Exit status (cli/ExitStatus.h): 0 every requested output was written; 1 an
// engine ended the run; 2 a usage, input or output-file error (judged before
// any work where possible; earlier outputs are left intact); 255 an image
// that is not a colour image.
namespace orbelt {

int runComputeCommand(int argc, char** argv);

}  // namespace orbelt
