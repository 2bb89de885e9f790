#include "base/environment.h"

namespace korvo {

const Environment& defaultEnvironment() {
  static const Environment env;
  return env;
}

}  // namespace korvo
