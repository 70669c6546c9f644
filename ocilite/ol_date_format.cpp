#include "ocilite/ol_date_format.h"

namespace ocilite {}  // namespace ocilite
