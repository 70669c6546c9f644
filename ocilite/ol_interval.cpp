#include "ocilite/ol_interval.h"

namespace ocilite {}  // namespace ocilite
