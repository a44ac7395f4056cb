#include "resources/QuorixResources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be called outside of any namespace.
static void initTranslations()
{
    Q_INIT_RESOURCE(translations);
}

static void initLook()
{
    Q_INIT_RESOURCE(look);
}

namespace QuorixResources {
void init()
{
    initTranslations();
    initLook();
}
} // namespace QuorixResources
