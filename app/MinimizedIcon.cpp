#include "app/MinimizedIcon.h"

namespace orbelt {

// C++ integer division already truncates toward zero; written out so nobody
// "fixes" it into a shift, which would round negative values down.
IconOrigin minimizedIconOrigin(int clientWidth, int clientHeight, int iconWidth, int iconHeight) {
  return {(clientWidth - iconWidth + 1) / 2, (clientHeight - iconHeight + 1) / 2};
}

}  // namespace orbelt
