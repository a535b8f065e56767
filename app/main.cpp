// The desktop program: one global application object, one modal dialog.
#include <QApplication>
#include <cstdio>

#include "app/AppIcon.h"
#include "app/COrbeltApp.h"
#include "app/DisplayCheck.h"
#include "app/PipelineCompute.h"

namespace {
// Built before main() like any global; it touches no Qt until run().
orbelt::COrbeltApp theApp(orbelt::pipelineComputeRunner());
}  // namespace

int main(int argc, char** argv) {
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
