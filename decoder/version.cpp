// The library's version: that of the headers it was built with.
#include "norvale/datamatrix.h"

extern "C" const char* NorvaleVersion(void)
{
    return NORVALE_VERSION_STRING;
}
