// qzt.nomain: a module that exports no `main` (the host must refuse it).
// Its one routine stays inside the module (hidden visibility by default).
#include "maxapi.h"

extern "C" int nomain_setup(void)
{
    return class_new("qzt.nomain", nullptr, nullptr, 0, nullptr, A_GIMME, 0) ? 0 : 1;
}
