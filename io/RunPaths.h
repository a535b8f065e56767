#pragma once
// Where the dialog and the command line read their default images and
// write their display map.
#include <string>

namespace orbelt {

// Default inputs, relative to the working directory.
inline constexpr const char* kDefaultRefPath = "data/Img0.png";
inline constexpr const char* kDefaultTargetPath = "data/Img1.png";

// <folder of the executable>/data/dispMap.bmp ("data/dispMap.bmp" when the
// executable's folder is unknown).
std::string defaultSavePath();

}  // namespace orbelt
