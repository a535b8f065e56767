#pragma once
// Everything a program that embeds Orbelt needs, in one include:
//
//   #include <orbelt/orbelt.h>      // with find_package(Orbelt) and Orbelt::orbelt
//
// The parts can be included one by one too, by the paths they have in the
// source tree ("pipeline/PfmFile.h"); the installed tree keeps that layout.

// Errors and results of every library call.
#include "platform/Error.h"
#include "platform/Expected.h"

// A run: its options, its one entry point and the engines behind it.
#include "pipeline/Labeller.h"
#include "pipeline/Matcher.h"
#include "pipeline/RunStereo.h"
#include "pipeline/StereoOptions.h"

// After the optimizer: disparities from labels, the display grey, the
// left-right check, sub-pixel refinement and the opt-in refinements.
#include "postprocess/BackgroundFill.h"
#include "postprocess/DisplayGrey.h"
#include "postprocess/FloatDisparity.h"
#include "postprocess/LeftRightCheck.h"
#include "postprocess/MapRefinement.h"
#include "postprocess/SubpixelRefinement.h"
#include "postprocess/WeightedMedian.h"

// Files: images, float maps, NumPy arrays, the map pictures, atomic writes.
#include "io/AtomicFile.h"
#include "io/DisparityImages.h"
#include "io/DisparityMapFiles.h"
#include "io/ImageFile.h"
#include "io/NpyFile.h"
#include "io/PfmFile.h"
#include "io/RunPaths.h"

// Scoring against ground truth.
#include "eval/DisparityEvaluation.h"
