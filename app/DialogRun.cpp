#include "app/DialogRun.h"

#include <utility>

#include "io/ImageFile.h"
#include "pipeline/ColorCheck.h"
#include "pipeline/RunStereo.h"
#include "postprocess/DisplayGrey.h"

namespace orbelt {

namespace {

// Fills an empty slot from its default file.
Status fillFromDefault(cv::Mat& slot, const std::string& path, const char* role) {
  if (!slot.empty()) return {};
  Expected<cv::Mat> loaded = loadInputImage(path, role);
  if (!loaded) return std::move(loaded).error();
  slot = std::move(*loaded);
  return {};
}

// The held pair labelled with the dialog's parameters, empty slots first
// filled from the default files.
Expected<StereoResult> labelHeldPair(const StereoParams& params, ImageSlots& slots, const DialogRunContext& context) {
  if (Status ref = fillFromDefault(slots.refImage, context.defaultRefPath, "reference"); !ref) {
    return std::move(ref).error();
  }
  if (Status target = fillFromDefault(slots.targetImage, context.defaultTargetPath, "target"); !target) {
    return std::move(target).error();
  }
  StereoRequest request;
  request.left = slots.refImage;
  request.right = slots.targetImage;
  request.options = stereoOptionsFor(params);
  request.fieldNames = kDialogFieldNames;
  request.engines = context.engines;
  return runStereo(request);
}

}  // namespace

Status runDialogPipeline(const StereoParams& params, ImageSlots& slots, const DialogRunContext& context,
                         DisparityResult* resultOut) {
  // Handles, not pixel copies: a run that does not complete puts back
  // exactly what the dialog held.
  const cv::Mat heldRef = slots.refImage;
  const cv::Mat heldTarget = slots.targetImage;
  Expected<StereoResult> computed = labelHeldPair(params, slots, context);
  if (!computed) {
    slots.refImage = heldRef;
    slots.targetImage = heldTarget;
    return std::move(computed).error();
  }
  DisparityResult& result = computed->left;
  Expected<cv::Mat> map =
      renderDisplayMap(result.labels, result.width, result.height, params.baseDisparity, params.displayLevel);
  const Status saved = map ? saveImageAtomically(context.savePath, *map) : Status(std::move(map).error());

  // The run reached its end: the next one starts from the default files
  // unless new images are loaded.
  slots.refImage.release();
  slots.targetImage.release();
  if (resultOut) *resultOut = std::move(result);
  if (!saved) return ioFailure("The disparity map was computed but not saved. " + saved.error().message);
  return {};
}

DialogReaction dialogReactionTo(const Error& error) {
  switch (error.kind) {
    case ErrorKind::ColorFormat: return {.showInBox = true, .endsProgram = true, .exitStatus = kColorFormatExitStatus};
    case ErrorKind::EngineFailure: return {.showInBox = false, .endsProgram = true, .exitStatus = 1};
    default: return {};
  }
}

}  // namespace orbelt
