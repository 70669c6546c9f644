#include "ocilite/ol_text_functions.h"

namespace ocilite {}  // namespace ocilite
