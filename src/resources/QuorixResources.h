// QuorixResources.h: the resources compiled into the program (translation, style sheets, icons).
#pragma once

namespace QuorixResources {
// Registers the embedded resources; a static library's resources need this once before use.
void init();
} // namespace QuorixResources
