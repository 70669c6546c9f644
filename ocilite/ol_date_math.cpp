#include "ocilite/ol_date_math.h"

namespace ocilite {}  // namespace ocilite
