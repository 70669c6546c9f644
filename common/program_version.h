// The version both programs show: in QUILLCMD's usage text and in the
// wizard's title.
#pragma once

constexpr int program_version_major = 4;
constexpr int program_version_minor = 1;
