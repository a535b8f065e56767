// The desktop program: one global application object, one modal dialog.
#include <QApplication>
#include <cstdio>
#include <cstring>

#include "app/AppIcon.h"
#include "app/COrbeltApp.h"
#include "app/DisplayCheck.h"
#include "app/PipelineCompute.h"

namespace {
// Built before main() like any global; it touches no Qt until run().
orbelt::COrbeltApp theApp(orbelt::pipelineComputeRunner());

// --help and --version are answered before anything needs a display, so the
// manual page can be made from them on a machine without one.
int answerInformationOption(const char* option) {
  if (std::strcmp(option, "--version") == 0) {
    std::printf("orbelt %s\n", ORBELT_VERSION);
    return 0;
  }
  if (std::strcmp(option, "--help") == 0) {
    std::printf(
        "Usage: orbelt [--help | --version]\n"
        "Opens the Orbelt dialog, which computes a dense disparity map from a rectified colour\n"
        "stereo pair (adaptive normalized cross-correlation, then alpha-expansion over a grid MRF).\n"
        "Load Input Images picks the reference (left) and target (right) views; without them a run\n"
        "reads data/Img0.png and data/Img1.png of the working folder. Compute Disparity Map writes\n"
        "the 8-bit grey map data/dispMap.bmp beside the program. For scripts, batches and more\n"
        "outputs use orbelt-cli.\n"
        "\n"
        "Options:\n"
        "  --help     print this help and exit\n"
        "  --version  print the version and exit\n"
        "\n"
        "Exit status: 0 when the dialog closes, 2 when there is no display to open it on.\n");
    return 0;
  }
  return -1;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    if (const int status = answerInformationOption(argv[1]); status >= 0) return status;
  }
  if (const auto reason = orbelt::missingDisplayReason(orbelt::processEnvironment)) {
    std::fprintf(stderr, "orbelt: %s\n", reason->c_str());
    return 2;
  }
  QApplication application(argc, argv);
  // The name captions message boxes. No display name is set: on X11 Qt would
  // append it to every window title ("Orbelt 정보 — Orbelt").
  QApplication::setApplicationName(QStringLiteral("Orbelt"));
  // Every window of the program (about box, message boxes, file dialogs)
  // shows the program's icon, not the platform's default.
  QApplication::setWindowIcon(orbelt::loadAppIcon());
  return theApp.run();
}
